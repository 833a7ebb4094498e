#!/usr/bin/env python3
"""nightjar.com under wine with names outside plain ASCII, as a user in a folder named "Bücher"
meets them: the list kept in the records' code page, a make that finds its files and an HTML report
that names them as they are; a file named
in Cyrillic, which the code page cannot hold, taken by its short name (never as "???"), with no
other application's output touched; and a batch whose output goes through a pipe, which ends when
nightjar.com ends although the stand-in it started runs on.

Usage: console_text_wine_test.py NIGHTJAR_COM IDE_STANDIN_EXE. Runs in a fresh folder of its own,
in the wine prefix of the environment (WINEPREFIX); every stand-in started is ended.
"""
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ElementTree

NIGHTJAR_COM = sys.argv[1] if len(sys.argv) > 1 else ""
STANDIN_EXE = sys.argv[2] if len(sys.argv) > 2 else ""
STEP_LIMIT_S = 180


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class NamesAndPipesTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="nightjar-text-")
        self.bin = os.path.join(self.root, "bin")
        self.work = os.path.join(self.root, "B\u00fccher")
        os.makedirs(self.bin)
        os.makedirs(self.work)
        shutil.copy(NIGHTJAR_COM, os.path.join(self.bin, "nightjar.com"))
        shutil.copy(STANDIN_EXE, os.path.join(self.bin, "CW20.exe"))
        self.log = os.path.join(self.root, "standin.log")
        with open(os.path.join(self.bin, "CW20.ini"), "w") as ini:
            ini.write(f"write_delay_ms=300\nlog={windows_path(self.log)}\n")

    def tearDown(self):
        if os.path.exists(self.log):
            with open(self.log, errors="replace") as lines:
                for pid in re.findall(r"started pid=(\d+)", lines.read()):
                    subprocess.run(["wine", "taskkill", "/F", "/PID", pid], capture_output=True, timeout=60)
        shutil.rmtree(self.root, ignore_errors=True)

    def nightjar(self, *arguments):
        # Standard error to a file: under wine a stand-in that nightjar.com starts keeps it open.
        err_path = os.path.join(self.root, "err.txt")
        with open(err_path, "wb") as err:
            done = subprocess.run(["wine", os.path.join(self.bin, "nightjar.com"), *arguments], cwd=self.work,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err, timeout=STEP_LIMIT_S)
        with open(err_path, "rb") as err:
            errors = err.read()
        text = lambda data: data.decode("utf-8").replace("\r\n", "\n")
        return done.returncode, text(done.stdout), text(errors)

    def write(self, name, text="PROGRAM\n"):
        with open(os.path.join(self.work, name), "w") as f:
            f.write(text)

    def stored_rows(self):
        """The Apps records' directory and name bytes, as the record file holds them."""
        db = sqlite3.connect(os.path.join(self.work, "APPS.db"))
        db.text_factory = bytes
        table = [row[0] for row in db.execute("select name from sqlite_master where type='table'")][0].decode()
        columns = [row[1].decode() for row in db.execute(f"pragma table_info({table})")]
        rows = [dict(zip(columns, row)) for row in db.execute(f"select * from {table}")]
        db.close()
        return rows

    def test_names_in_the_code_page_and_short_names_for_the_rest(self):
        self.write("A.APP")
        self.write("XYZ.APP")
        self.write("XYZ.EXE", "the other application's output")
        self.write("\u041a\u0438\u0440.APP")  # Cyrillic: not in the code page
        code, out, err = self.nightjar("add", "*.APP")
        self.assertEqual(code, 0, err)
        folder = windows_path(self.work) + "\\"
        self.assertIn("added " + folder + "A.APP\n", out)
        stored = self.stored_rows()
        for row in stored:
            self.assertEqual(row["DriveNPath"], folder.encode("cp1252"))
            self.assertNotIn(b"?", row["Application"])
        names = sorted(row["Application"] for row in stored)
        self.assertEqual(names[:2], [b"A.APP", b"XYZ.APP"])
        self.assertEqual(len(names), 3, "the Cyrillic name is taken by its short name where wine gives one")
        short = names[2].decode("cp1252")
        self.assertIn("~", short)

        # The Cyrillic name on the command line is taken by its short path too.
        code, out, err = self.nightjar("run", "make-exe", "--app", "\u041a\u0438\u0440.APP")
        self.assertEqual(code, 0, out + err)
        self.assertIn(short + "  Make Finished\n", out)
        with open(os.path.join(self.work, "XYZ.EXE")) as f:
            self.assertEqual(f.read(), "the other application's output")

        code, out, err = self.nightjar("run", "make-exe", "--app", "a.app", "--html", "report.html")
        self.assertEqual(code, 0, out + err)
        self.assertTrue(os.path.exists(os.path.join(self.work, "A.EXE")))
        # The HTML report parses as XML and names the application by its path, "Bücher" as it was.
        page = ElementTree.parse(os.path.join(self.work, "report.html")).getroot()
        self.assertIn(folder + "A.APP", "".join(page.itertext()))
        code, out, err = self.nightjar("list")
        self.assertEqual(code, 0, err)
        self.assertIn("  " + folder + "A.APP  made, ", out)

    def test_a_piped_batch_ends_when_nightjar_com_ends(self):
        self.write("A.APP")
        code, _, err = self.nightjar("add", "A.APP")
        self.assertEqual(code, 0, err)
        # nightjar.com starts the stand-in itself; the stand-in runs on after the batch. Its standard
        # error stays the shell's under wine (wine keeps it for its own messages), so that goes to a
        # file, as in a nightly job.
        started = time.monotonic()
        errors = os.path.join(self.root, "err.txt")
        done = subprocess.run(f"wine '{os.path.join(self.bin, 'nightjar.com')}' run make-exe --all 2>'{errors}' | cat",
                              shell=True, cwd=self.work, stdin=subprocess.DEVNULL, capture_output=True, timeout=90)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn(b"A.APP  Make Finished", done.stdout)
        with open(self.log, errors="replace") as lines:
            self.assertIn("started pid=", lines.read())
        self.assertLess(time.monotonic() - started, 60)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
