#!/usr/bin/env python3
"""nightjar.com under wine against the IDE stand-in, as a nightly build would run it from a Linux
shell: the list kept with add (a wildcard), tag, list; a make over a seeded folder that prints the
log's records, exits 0 and writes a JUnit report; log; a refusing IDE (exit 1); no IDE to be found
(exit 2); a report in UTF-8 for a name outside ASCII, with one case per application though two
share a file name; a pooled run's report, each case naming its IDE. Every report is validated
against junit.xsd by xmllint (libxml2).

Usage: console_wine_test.py NIGHTJAR_COM IDE_STANDIN_EXE. Runs in a fresh folder of its own, in the
wine prefix of the environment (WINEPREFIX). Each step is bounded; every stand-in started is ended.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ElementTree

NIGHTJAR_COM = sys.argv[1] if len(sys.argv) > 1 else ""
STANDIN_EXE = sys.argv[2] if len(sys.argv) > 2 else ""
STEP_LIMIT_S = 180
SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "junit.xsd")


def windows_path(path):
    """The path as wine programs see it, through the Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class NightjarComTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="nightjar-com-")
        # The programs in a folder of their own, so the stand-in's settings file concerns only it.
        self.bin = os.path.join(self.root, "bin")
        self.work = os.path.join(self.root, "work")
        self.apps = os.path.join(self.work, "apps")
        os.makedirs(self.bin)
        os.makedirs(self.apps)
        shutil.copy(NIGHTJAR_COM, os.path.join(self.bin, "nightjar.com"))
        shutil.copy(STANDIN_EXE, os.path.join(self.bin, "CW20.exe"))
        self.settings(write_delay_ms=300)
        self.started = []  # the stand-ins this test started itself

    def tearDown(self):
        self.end_standin()
        shutil.rmtree(self.root, ignore_errors=True)

    def settings(self, **values):
        values.setdefault("log", windows_path(os.path.join(self.root, "standin.log")))
        with open(os.path.join(self.bin, "CW20.ini"), "w") as ini:
            for key, value in values.items():
                ini.write(f"{key}={value}\n")

    def end_standin(self):
        """Ends every stand-in this test started, by the process ids their logs name."""
        for log in [os.path.join(self.root, name) for name in os.listdir(self.root) if name.endswith(".log")]:
            for pid in self.pids(log):
                subprocess.run(["wine", "taskkill", "/F", "/PID", pid], capture_output=True, timeout=60)
            os.remove(log)
        for process in self.started:
            process.wait(timeout=60)

    @staticmethod
    def text(log):
        with open(log, errors="replace") as lines:
            return lines.read()

    @classmethod
    def pids(cls, log):
        return re.findall(r"started pid=(\d+)", cls.text(log))

    def start_standin(self, program, name):
        """Starts the stand-in `program` with a log of its own and waits until it is ready; its pid."""
        log = os.path.join(self.root, name + ".log")
        self.started.append(subprocess.Popen(["wine", program, "--log=" + windows_path(log), "--write_delay_ms=300"],
                                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL))
        deadline = time.monotonic() + 60
        while not (os.path.exists(log) and "ready " in self.text(log)):
            self.assertLess(time.monotonic(), deadline, "the stand-in %s did not come up" % name)
            time.sleep(0.05)
        return self.pids(log)[0]

    def nightjar(self, *arguments):
        # Output goes to files, as in a nightly job: under wine, the stand-in that nightjar.com starts
        # holds the unix ends of its parent's output, so a pipe would stay open until it exits.
        out_path, err_path = os.path.join(self.root, "out.txt"), os.path.join(self.root, "err.txt")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            done = subprocess.run(["wine", os.path.join(self.bin, "nightjar.com"), *arguments], cwd=self.work,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=STEP_LIMIT_S)

        def text(path):
            with open(path, "rb") as stream:
                return stream.read().decode("utf-8", "replace").replace("\r\n", "\n")

        return done.returncode, text(out_path), text(err_path)

    def report(self, name="report.xml"):
        """The JUnit report in the work folder, once xmllint has validated it against the schema."""
        path = os.path.join(self.work, name)
        done = subprocess.run(["xmllint", "--noout", "--schema", SCHEMA, path], capture_output=True, text=True,
                              timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        return ElementTree.parse(path).getroot()

    def seed(self, *names):
        for name in names:
            with open(os.path.join(self.apps, name), "w") as app:
                app.write("PROGRAM\n")
        code, out, err = self.nightjar("add", windows_path(self.apps) + "\\*.app")
        self.assertEqual(code, 0, err)
        for name in names:
            self.assertIn("added ", out)
            self.assertIn(name, out)
            code, _, err = self.nightjar("tag", name)
            self.assertEqual(code, 0, err)

    def test_keeps_the_list_and_makes_every_tagged_application(self):
        self.seed("INVOICE.APP", "PAYROLL.APP")
        code, out, err = self.nightjar("list")
        self.assertEqual(code, 0, err)
        self.assertEqual(out.splitlines(), ["* " + windows_path(self.apps) + "\\INVOICE.APP",
                                            "* " + windows_path(self.apps) + "\\PAYROLL.APP"])
        # Added again: reported, not added twice.
        code, out, err = self.nightjar("add", windows_path(self.apps) + "\\*.APP")
        self.assertEqual(code, 0, err)
        self.assertIn("is in the list already", err)

        code, out, err = self.nightjar("run", "make-exe", "--junit", "report.xml")
        self.assertEqual(code, 0, out + err)
        for app in ("INVOICE.APP", "PAYROLL.APP"):
            # The system's short date and time, whatever the prefix's locale orders them by.
            self.assertRegex(out, r"(?m)^\d{1,4}[./-]\d{1,2}[./-]\d{1,4} \d{1,2}[:.]\d\d( ?[AP]M)?  "
                             + app + "  Begin Make\n")
            self.assertRegex(out, app + "  Make Finished\n")
            self.assertTrue(os.path.exists(os.path.join(self.apps, app[:-4] + ".EXE")))
        self.assertIn("Batch ended: 2 finished, of 2", out)
        self.assertIn("Processing Complete", err)

        suite = self.report()
        self.assertEqual(suite.tag, "testsuite")
        self.assertEqual((suite.get("tests"), suite.get("failures")), ("2", "0"))
        self.assertRegex(suite.get("timestamp"), r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$")
        names = [case.get("name") for case in suite.iter("testcase")]
        self.assertEqual(names, [windows_path(self.apps) + "\\INVOICE.APP", windows_path(self.apps) + "\\PAYROLL.APP"])
        self.assertEqual(list(suite.iter("failure")), [])

        code, out, err = self.nightjar("log")
        self.assertEqual(code, 0, err)
        self.assertIn("INVOICE.APP  Make Finished", out)
        self.assertIn("PAYROLL.APP  Begin Make", out)

    def test_a_refusing_ide_exits_1_and_no_ide_exits_2(self):
        self.seed("INVOICE.APP")
        self.settings(refuse=1, error_number=1234, error_message="Project has 3 errors")
        code, out, err = self.nightjar("run", "make-exe", "--junit", "report.xml")
        self.assertEqual(code, 1, out + err)
        # Logged with the IDE's reason; no box for a refusal the batch goes past.
        self.assertIn("INVOICE.APP  Error 603 IDE error 1234: Project has 3 errors", out)
        self.assertNotIn("Project has 3 errors", err)
        suite = self.report()
        self.assertEqual(suite.get("failures"), "1")

        # No IDE running, and none that can be started.
        self.end_standin()
        os.remove(os.path.join(self.bin, "CW20.exe"))
        code, out, err = self.nightjar("run", "make-exe")
        self.assertEqual(code, 2, out + err)
        self.assertIn("Not Connected", err)
        self.assertNotIn("Begin Make", out)

    def test_the_report_is_utf8_with_one_case_per_application(self):
        more = os.path.join(self.work, "more")
        os.makedirs(more)
        for folder, name in ((self.apps, "B\u00dcRO.APP"), (self.apps, "INVOICE.APP"), (more, "INVOICE.APP")):
            with open(os.path.join(folder, name), "w") as app:
                app.write("PROGRAM\n")
        for folder in (self.apps, more):
            code, out, err = self.nightjar("add", windows_path(folder) + "\\*.app")
            self.assertEqual(code, 0, out + err)
        code, out, err = self.nightjar("run", "make-exe", "--all", "--junit", "report.xml")
        self.assertEqual(code, 0, out + err)
        suite = self.report()
        self.assertEqual((suite.get("tests"), suite.get("failures")), ("3", "0"))
        names = sorted(case.get("name") for case in suite.iter("testcase"))
        self.assertEqual(names, sorted([windows_path(self.apps) + "\\B\u00dcRO.APP",
                                        windows_path(self.apps) + "\\INVOICE.APP",
                                        windows_path(more) + "\\INVOICE.APP"]))

    def test_a_pooled_run_names_each_cases_ide_in_a_report_strict_readers_take(self):
        program = os.path.join(self.root, "pool", "CW20.exe")  # beside no CW20.ini of the tests
        os.makedirs(os.path.dirname(program))
        shutil.copy(STANDIN_EXE, program)
        pids = {self.start_standin(program, "pool%d" % n) for n in (1, 2)}
        self.seed("A.APP", "B.APP")
        more = os.path.join(self.work, "more")
        os.makedirs(more)
        for name in ("C.APP", "D.APP"):
            with open(os.path.join(more, name), "w") as app:
                app.write("PROGRAM\n")
        self.assertEqual(self.nightjar("add", windows_path(more) + "\\*.APP")[0], 0)
        code, out, err = self.nightjar("run", "make-exe", "--all", "--ides", "2", "--ide", windows_path(program),
                                       "--junit", "report.xml")
        self.assertEqual(code, 0, out + err)
        outputs = [case.findtext("system-out") or "" for case in self.report().iter("testcase")]
        self.assertEqual(len(outputs), 4)
        sent = [re.fullmatch(r"Sent to the IDE of process (\d+)\n", text) for text in outputs]
        self.assertTrue(all(sent), outputs)
        self.assertEqual({match.group(1) for match in sent}, pids)  # both IDEs made some

    def test_bad_arguments_print_the_usage_and_exit_2(self):
        code, out, err = self.nightjar("run", "make-everything")
        self.assertEqual(code, 2)
        self.assertIn("unknown operation", err)
        self.assertIn("Usage:", err)

    def test_an_ide_that_does_not_exist_exits_2_and_starts_nothing(self):
        self.seed("INVOICE.APP")
        missing = windows_path(os.path.join(self.root, "nowhere")) + "\\CW20.exe"
        code, out, err = self.nightjar("run", "make-exe", "--ide", missing, "--ides", "2")
        self.assertEqual(code, 2, out + err)
        self.assertIn(missing + " does not exist", err)
        self.assertNotIn("Begin Make", out)
        self.assertFalse(os.path.exists(os.path.join(self.root, "standin.log")), "an IDE was started")
        # Named from the work folder, the program is found and the batch runs.
        code, out, err = self.nightjar("run", "make-exe", "--ide", "..\\bin\\CW20.exe")
        self.assertEqual(code, 0, out + err)
        self.assertIn("INVOICE.APP  Make Finished", out)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
