#!/usr/bin/env python3
"""nightjar.com under wine with several stand-ins running at once, each a process of its own with
its own log, talking real DDE messages across processes: the batch uses only the IDE program it is
given; four IDEs make twelve applications side by side, never two of one folder at once, whether
they acknowledge a command at once or only once its make is done; an IDE that dies mid-make leaves
the batch and the others make the rest.

Usage: pool_wine_test.py NIGHTJAR_COM IDE_STANDIN_EXE, in the wine prefix of WINEPREFIX.
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

from shop_wine_test import windows_path

NIGHTJAR_COM, STANDIN_EXE = (sys.argv[1:] + ["", ""])[:2]


class PoolTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="nj-pool-")
        self.bin, self.work = os.path.join(self.root, "bin"), os.path.join(self.root, "work")
        os.makedirs(self.bin)
        os.makedirs(self.work)
        shutil.copy(NIGHTJAR_COM, os.path.join(self.bin, "nightjar.com"))
        self.programs = {}  # two installed IDEs of one name, in two folders
        for ide in ("First IDE", "Second IDE"):
            folder = os.path.join(self.root, ide)
            os.makedirs(folder)
            shutil.copy(STANDIN_EXE, os.path.join(folder, "CW20.exe"))
            self.programs[ide] = os.path.join(folder, "CW20.exe")
        self.standins = []  # (process, log)

    def tearDown(self):
        for process, log in self.standins:
            for pid in self.pids(log):
                subprocess.run(["wine", "taskkill", "/F", "/PID", pid], capture_output=True, timeout=60)
            try:
                process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(self.root, ignore_errors=True)

    @staticmethod
    def pids(log):
        with open(log if os.path.exists(log) else os.devnull, errors="replace") as lines:
            return re.findall(r"started pid=(\d+)", lines.read())

    @staticmethod
    def events(log):
        """The log's lines as (milliseconds, event)."""
        with open(log, errors="replace") as lines:
            return [(int(line.split(" ", 1)[0]), line.split(" ", 1)[1].rstrip("\r\n"))
                    for line in lines if " " in line]

    def start_standin(self, ide, name, *settings):
        """Starts the stand-in of `ide` with its own log and settings, and waits until it offers the
        service. Returns its log's path and its process id."""
        log = os.path.join(self.root, name + ".log")
        process = subprocess.Popen(["wine", self.programs[ide], "--log=" + windows_path(log), *settings],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.standins.append((process, log))
        deadline = time.monotonic() + 60
        while not any(event.startswith("ready ") for _, event in (self.events(log) if os.path.exists(log) else [])):
            self.assertLess(time.monotonic(), deadline, "the stand-in %s did not come up" % name)
            time.sleep(0.05)
        return log, self.pids(log)[0]

    def run_nightjar(self, *arguments):
        """Exit code and output of a run (to files: under wine the stand-ins keep their parent's ends
        open)."""
        with open(os.path.join(self.root, "out"), "w+b") as out, open(os.path.join(self.root, "err"), "w+b") as err:
            done = subprocess.run(["wine", os.path.join(self.bin, "nightjar.com"), *arguments], cwd=self.work,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=300)
            out.seek(0), err.seek(0)
            output, errors = (f.read().decode("utf-8", "replace").replace("\r\n", "\n") for f in (out, err))
        return done.returncode, output + errors

    def nightjar(self, *arguments):
        code, output = self.run_nightjar(*arguments)
        self.assertEqual(code, 0, output)
        return output

    def shop(self, folders, per_folder):
        """`folders` folders of `per_folder` applications each, listed and tagged."""
        for f in range(folders):
            path = os.path.join(self.root, "shop", "Branch %02d" % (f + 1))
            os.makedirs(path)
            for a in range(per_folder):
                with open(os.path.join(path, "Branch%02dApp%d.APP" % (f + 1, a + 1)), "w", newline="\r\n") as app:
                    app.write("PROGRAM\n")
            self.nightjar("add", windows_path(path) + "\\*.APP")
        self.nightjar("tag", "--all")

    def report(self):
        """The JUnit report's cases as {application: (ide process, failure or None)}."""
        suite = ElementTree.parse(os.path.join(self.work, "report.xml")).getroot()
        cases = {}
        for case in suite.iter("testcase"):
            self.assertNotIn(case.get("name"), cases)
            process = re.findall(r"Sent to the IDE of process (\d+)", case.findtext("system-out") or "")
            failure = case.find("failure")
            # The IDE is sent the stored path, which the case names in its output where it differs.
            stored = re.findall(r"Stored as (.+)", case.findtext("system-out") or "")
            cases[(stored[0] if stored else case.get("name")).rsplit("\\", 1)[1].upper()] = (
                process[0] if process else None, None if failure is None else failure.get("message"))
        return cases

    def makes(self, log):
        """Each make a stand-in carried out: (application, folder, from ms, to ms), from its
        command to the output it wrote."""
        started = {}
        spans = []
        for ms, event in self.events(log):
            command = re.match(r"execute \[ExecuteProject\((.*)\\([^\\]*)\.app\)\]", event, re.IGNORECASE)
            if command:
                started[command.group(2).upper()] = (command.group(1).upper(), ms)
            wrote = re.match(r"wrote .*\\([^\\]*)\.EXE$", event, re.IGNORECASE)
            if wrote and wrote.group(1).upper() in started:
                folder, since = started.pop(wrote.group(1).upper())
                spans.append((wrote.group(1).upper() + ".APP", folder, since, ms))
        return spans

    def test_only_the_chosen_program_is_used_when_two_run(self):
        first, _ = self.start_standin("First IDE", "first")
        second, second_pid = self.start_standin("Second IDE", "second")
        self.shop(1, 3)
        out = self.nightjar("run", "make-exe", "--ide", windows_path(self.programs["Second IDE"]), "--junit",
                            "report.xml")
        self.assertIn("Connected to CW20.exe (process %s) in %s\n" % (second_pid, windows_path(
            os.path.dirname(self.programs["Second IDE"]))), out)
        self.assertIn("Batch ended: 3 finished, of 3", out)
        self.assertEqual([e for _, e in self.events(first) if e.startswith("execute")], [])
        self.assertEqual(len([e for _, e in self.events(second) if e.startswith("execute")]), 3)
        self.assertEqual({process for process, _ in self.report().values()}, {second_pid})

    def test_four_ides_make_twelve_applications_side_by_side(self):
        self.four_ides_make_twelve("--write_delay_ms=1000")

    def test_four_ides_that_make_inside_the_dde_call_make_twelve_side_by_side(self):
        self.four_ides_make_twelve("--ack_delay_ms=1000", "--write_at_ack")

    def four_ides_make_twelve(self, *settings):
        """Four stand-ins with `settings` make twelve applications in six folders: each once, by the
        IDE the report names, three or more at once, never two of one folder at once."""
        logs = dict(self.start_standin("First IDE", "ide%d" % n, *settings) for n in range(1, 5))
        self.shop(6, 2)
        out = self.nightjar("run", "make-exe", "--ides", "4", "--ide", windows_path(self.programs["First IDE"]),
                            "--junit", "report.xml")
        self.assertIn("Batch ended: 12 finished, of 12", out)
        cases = self.report()
        self.assertEqual(len(cases), 12)
        self.assertTrue(all(failure is None for _, failure in cases.values()), cases)
        self.assertEqual({process for process, _ in cases.values()}, set(logs.values()))

        spans = {log: self.makes(log) for log in logs}
        made = [span[0] for log_spans in spans.values() for span in log_spans]
        self.assertEqual(sorted(made), sorted(cases))  # each application made once, by the IDE named
        for log, pid in logs.items():
            self.assertEqual({span[0] for span in spans[log]}, {a for a, (p, _) in cases.items() if p == pid})
        # The makes of different IDEs overlap in time: at some moment three or more were at work.
        every = [span for log_spans in spans.values() for span in log_spans]
        at_once = max(sum(1 for other in every if other[2] <= span[2] < other[3]) for span in every)
        self.assertGreaterEqual(at_once, 3, spans)
        # Never two of one folder at once.
        for a in every:
            for b in every:
                if a is not b and a[1] == b[1]:
                    self.assertFalse(a[2] < b[3] and b[2] < a[3], (a, b))

    def test_an_ide_that_dies_mid_make_leaves_and_the_others_make_the_rest(self):
        logs = [self.start_standin("First IDE", "steady%d" % n, "--write_delay_ms=700") for n in (1, 2)]
        dying, dying_pid = self.start_standin("First IDE", "dying", "--write_delay_ms=700", "--die_at_command=2",
                                              "--die_after_ms=300")
        self.shop(9, 1)
        code, out = self.run_nightjar("run", "make-exe", "--ides", "3", "--ide",
                                      windows_path(self.programs["First IDE"]), "--junit", "report.xml")
        self.assertEqual(code, 1, out)
        self.assertIn("dying", [e for _, e in self.events(dying)])
        self.assertIn("IDE CW20.exe (process %s) left the batch; the others go on" % dying_pid, out)
        self.assertIn("Batch ended: 8 finished, 1 failed, of 9", out)
        cases = self.report()
        failed = {a: (p, f) for a, (p, f) in cases.items() if f is not None}
        self.assertEqual(len(failed), 1, cases)
        self.assertEqual(list(failed.values())[0][0], dying_pid)  # the one the dead IDE had
        steady = {pid for _, pid in logs}
        self.assertTrue(all(p in steady for a, (p, f) in cases.items() if f is None and p != dying_pid), cases)
        made = [name for _, _, names in os.walk(os.path.join(self.root, "shop")) for name in names
                if name.upper().endswith(".EXE")]
        self.assertEqual(len(made), 8, made)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
