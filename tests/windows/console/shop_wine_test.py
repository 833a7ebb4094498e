#!/usr/bin/env python3
"""nightjar.com under wine over a shop's folders (shop_fixture: 200 applications with long names,
blanks, "Program Files (x86)", accented and Cyrillic folders, a folder name of 100 characters and a
library project): every application is added with add, tagged, sent to the stand-in once by a make
of the changed ones and counted once; the library is made by its own batch, named by its long path.

Usage: shop_wine_test.py NIGHTJAR_COM IDE_STANDIN_EXE. Runs in a fresh folder of its own, in the
wine prefix of the environment (WINEPREFIX); every stand-in started is ended.
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

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import shop_fixture  # noqa: E402

NIGHTJAR_COM = sys.argv[1] if len(sys.argv) > 1 else ""
STANDIN_EXE = sys.argv[2] if len(sys.argv) > 2 else ""
STEP_LIMIT_S = 300


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class ShopTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="nj-shop-")
        self.bin = os.path.join(self.root, "bin")
        self.work = os.path.join(self.root, "work")
        os.makedirs(self.bin)
        os.makedirs(self.work)
        shutil.copy(NIGHTJAR_COM, os.path.join(self.bin, "nightjar.com"))
        shutil.copy(STANDIN_EXE, os.path.join(self.bin, "CW20.exe"))
        self.log = os.path.join(self.root, "standin.log")
        with open(os.path.join(self.bin, "CW20.ini"), "w") as ini:
            ini.write(f"write_delay_ms=20\nlog={windows_path(self.log)}\n")

    def tearDown(self):
        if os.path.exists(self.log):
            with open(self.log, errors="replace") as lines:
                for pid in re.findall(r"started pid=(\d+)", lines.read()):
                    subprocess.run(["wine", "taskkill", "/F", "/PID", pid], capture_output=True, timeout=60)
        shutil.rmtree(self.root, ignore_errors=True)

    def nightjar(self, *arguments):
        # Output to files: under wine the stand-in that nightjar.com starts keeps its parent's ends open.
        out_path, err_path = os.path.join(self.root, "out.txt"), os.path.join(self.root, "err.txt")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            done = subprocess.run(["wine", os.path.join(self.bin, "nightjar.com"), *arguments], cwd=self.work,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=STEP_LIMIT_S)

        def text(path):
            with open(path, "rb") as stream:
                return stream.read().decode("utf-8", "replace").replace("\r\n", "\n")

        return done.returncode, text(out_path), text(err_path)

    def test_every_application_of_a_shop_is_added_sent_once_and_counted_once(self):
        shop = shop_fixture.build(os.path.join(self.root, "shop"))
        added = []
        for folder, names in shop:
            code, out, err = self.nightjar("add", windows_path(folder) + "\\*.APP")
            self.assertEqual(code, 0, out + err)
            lines = [line[len("added "):] for line in out.splitlines() if line.startswith("added ")]
            self.assertEqual(len(lines), len(names), out + err)
            added += lines
        self.assertEqual(len(set(path.upper() for path in added)), 200)
        # Nothing stored with "?", and every stored path fits the record.
        for path in added:
            self.assertNotIn("?", path)
            directory, name = path.rsplit("\\", 1)
            self.assertLessEqual(len(directory) + 1, 80, path)
            self.assertLessEqual(len(name), 12, path)

        code, out, err = self.nightjar("list")
        self.assertEqual((code, len(out.splitlines())), (0, 200), err)
        code, out, err = self.nightjar("tag", "--all")
        self.assertEqual(code, 0, err)
        self.assertIn("tagged 200 applications", out)
        # The library is found by its long path although it is stored by its short one.
        library = windows_path(os.path.join(self.root, "shop", *shop_fixture.LIBRARY))
        code, out, err = self.nightjar("untag", library)
        self.assertEqual(code, 0, out + err)

        code, out, err = self.nightjar("run", "make-exe", "--changed", "--junit", "report.xml")
        self.assertEqual(code, 0, out + err)
        self.assertEqual(len(re.findall(r"  Begin Make\n", out)), 199, out)
        self.assertIn("Batch ended: 199 finished, of 199", out)
        report = ElementTree.parse(os.path.join(self.work, "report.xml")).getroot()
        self.assertEqual((report.get("tests"), report.get("failures")), ("199", "0"))
        self.assertEqual(len(set(case.get("name").upper() for case in report.iter("testcase"))), 199)
        with open(self.log, errors="replace") as lines:
            sent = collections.Counter(re.findall(r"execute \[ExecuteProject\((.*)\)\]", lines.read()))
        self.assertEqual(len(sent), 199)
        self.assertEqual(set(sent.values()), {1})
        for folder, names in shop:
            made = [name for name in os.listdir(folder) if name.upper().endswith(".EXE")]
            expected = 0 if os.path.basename(folder) == shop_fixture.LIBRARY[0] else len(names)
            self.assertEqual(len(made), expected, folder)

        code, out, err = self.nightjar("run", "make-dll", "--app", library)
        self.assertEqual(code, 0, out + err)
        self.assertIn("Batch ended: 1 finished, of 1", out)
        libraries = os.listdir(os.path.join(self.root, "shop", shop_fixture.LIBRARY[0]))
        self.assertEqual(len([name for name in libraries if name.upper().endswith(".DLL")]), 1, libraries)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
