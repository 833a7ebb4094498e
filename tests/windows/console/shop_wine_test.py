#!/usr/bin/env python3
"""nightjar.com under wine over a shop's folders: 200 applications with long names, blanks, "Program
Files (x86)", accented and Cyrillic folders, a folder name of 100 characters and a library project.
Every application is added, tagged, sent to the stand-in once by a make of the changed ones and
counted once; the library is made by its own batch, named by its long path.

Usage: shop_wine_test.py NIGHTJAR_COM IDE_STANDIN_EXE, in the wine prefix of WINEPREFIX.
"""
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

NIGHTJAR_COM, STANDIN_EXE = (sys.argv[1:] + ["", ""])[:2]
LIBRARY = ("Shared Libraries", "LibCoreServices.APP")  # its build makes a .DLL
FOLDERS = [  # relative, "/" between levels, and the applications' file names
    ("Program Files (x86)/Shop Apps", ["Invoice%02d.APP" % n for n in range(1, 41)] + ["CustomerAccounts.APP"]),
    ("B\u00fccher", ["Buchung%02d.APP" % n for n in range(1, 31)]),
    ("Caf\u00e9", ["CAFE%02d.APP" % n for n in range(1, 31)]),
    ("\u0411\u0443\u0445\u0433\u0430\u043b\u0442\u0435\u0440\u0438\u044f",
     ["\u0421\u0447\u0451\u0442%02d.APP" % n for n in range(1, 21)]),
    ("Quarterly reports of the northern region, kept by the accounts office since nineteen ninety-eight"
     [:100].ljust(100, "x"), ["Report%03d.APP" % n for n in range(1, 26)]),
    ("Customer Accounts", ["Account Statement %02d.APP" % n for n in range(1, 31)]),
    ("Short", ["PAY%02d.APP" % n for n in range(1, 24)]),
    (LIBRARY[0], [LIBRARY[1]]),
]


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class ShopTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="nj-shop-")
        self.bin, self.work = os.path.join(self.root, "bin"), os.path.join(self.root, "work")
        os.makedirs(self.bin)
        os.makedirs(self.work)
        shutil.copy(NIGHTJAR_COM, os.path.join(self.bin, "nightjar.com"))
        shutil.copy(STANDIN_EXE, os.path.join(self.bin, "CW20.exe"))
        self.log = os.path.join(self.root, "standin.log")
        with open(os.path.join(self.bin, "CW20.ini"), "w") as ini:
            ini.write(f"write_delay_ms=20\nlog={windows_path(self.log)}\n")
        self.shop = []  # (folder, names)
        for folder, names in FOLDERS:
            path = os.path.join(self.root, "shop", *folder.split("/"))
            os.makedirs(path)
            for name in names:
                with open(os.path.join(path, name), "w", newline="\r\n") as app:
                    app.write("TARGET=DLL\n" if (folder, name) == LIBRARY else "PROGRAM\n")
            self.shop.append((path, names))

    def tearDown(self):
        with open(self.log if os.path.exists(self.log) else os.devnull, errors="replace") as lines:
            for pid in re.findall(r"started pid=(\d+)", lines.read()):
                subprocess.run(["wine", "taskkill", "/F", "/PID", pid], capture_output=True, timeout=60)
        shutil.rmtree(self.root, ignore_errors=True)

    def nightjar(self, *arguments):
        """The output of a run that must succeed: to files, as under wine the stand-in keeps its
        parent's ends open."""
        with open(os.path.join(self.root, "out"), "w+b") as out, open(os.path.join(self.root, "err"), "w+b") as err:
            done = subprocess.run(["wine", os.path.join(self.bin, "nightjar.com"), *arguments], cwd=self.work,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=300)
            out.seek(0), err.seek(0)
            output, errors = (f.read().decode("utf-8", "replace").replace("\r\n", "\n") for f in (out, err))
        self.assertEqual(done.returncode, 0, output + errors)
        return output

    def test_every_application_of_a_shop_is_added_sent_once_and_counted_once(self):
        added = []
        for folder, names in self.shop:
            out = self.nightjar("add", windows_path(folder) + "\\*.APP")
            # "added LONG PATH", or "added LONG PATH as STORED PATH" where the record holds short names
            lines = [line[len("added "):].rsplit(" as ", 1)[-1] for line in out.splitlines() if line.startswith("added ")]
            self.assertEqual(len(lines), len(names), out)
            # One folder, one spelling: the names that need short forms take them, the folder stays as it is
            self.assertEqual(len(set(path.rsplit("\\", 1)[0].upper() for path in lines)), 1, out)
            added += lines
        self.assertEqual(len(set(path.upper() for path in added)), 200)
        for path in added:  # nothing stored with "?", and every path fits the record
            directory, name = path.rsplit("\\", 1)
            self.assertTrue("?" not in path and len(directory) < 80 and len(name) <= 12, path)
        self.assertEqual(len(self.nightjar("list").splitlines()), 200)
        self.assertIn("tagged 200 applications", self.nightjar("tag", "--all"))
        library = windows_path(os.path.join(self.root, "shop", *LIBRARY))
        self.nightjar("untag", library)  # found by its long path, stored by its short one

        out = self.nightjar("run", "make-exe", "--changed", "--junit", "report.xml")
        self.assertEqual(len(re.findall(r"  Begin Make\n", out)), 199, out)
        self.assertIn("Batch ended: 199 finished, of 199", out)
        report = ElementTree.parse(os.path.join(self.work, "report.xml")).getroot()
        self.assertEqual((report.get("tests"), report.get("failures")), ("199", "0"))
        self.assertEqual(len(set(case.get("name").upper() for case in report.iter("testcase"))), 199)
        with open(self.log, errors="replace") as lines:
            sent = collections.Counter(re.findall(r"execute \[ExecuteProject\((.*)\)\]", lines.read()))
        self.assertEqual((len(sent), set(sent.values())), (199, {1}))
        for folder, names in self.shop:
            made = [name for name in os.listdir(folder) if name.upper().endswith(".EXE")]
            self.assertEqual(len(made), 0 if folder.endswith(LIBRARY[0]) else len(names), folder)

        self.assertIn("Batch ended: 1 finished, of 1", self.nightjar("run", "make-dll", "--app", library))
        made = os.listdir(os.path.join(self.root, "shop", LIBRARY[0]))
        self.assertEqual(len([name for name in made if name.upper().endswith(".DLL")]), 1, made)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
