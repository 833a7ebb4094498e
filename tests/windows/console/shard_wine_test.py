#!/usr/bin/env python3
"""nightjar.com under wine as three CI agents: each has its own copy of one folder set (its own
APPS, listed alike) and makes its shard with run --shard K/3, one agent after another. Their JUnit
reports together hold each application exactly once, each folder's applications in one report, the
numbered library in the first; each copy has the outputs of its own shard only.

Usage: shard_wine_test.py NIGHTJAR_COM IDE_STANDIN_EXE, in the wine prefix of WINEPREFIX.
"""
import os
import shutil
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

import shop_wine_test
from shop_wine_test import windows_path

NIGHTJAR_COM, STANDIN_EXE = (sys.argv[1:] + ["", ""])[:2]
FOLDERS = [  # relative, and the applications' file names (each fits the record: no short names)
    ("Shop Apps", ["Inv%02d.APP" % n for n in range(1, 6)]),
    ("Caf\u00e9", ["CAFE%02d.APP" % n for n in range(1, 4)]),
    ("Stock", ["ITEMS.APP", "Orders.APP"]),
    ("Payroll", ["PAY%02d.APP" % n for n in range(1, 5)]),
    ("Reports", ["Quarter.APP", "Year.APP", "Month.APP"]),
    ("Libraries", ["CoreLib.APP"]),
]
AGENTS = 3


class ShardTest(unittest.TestCase):
    nightjar = shop_wine_test.ShopTest.nightjar
    tearDown = shop_wine_test.ShopTest.tearDown

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="nj-shard-")
        self.bin = os.path.join(self.root, "bin")
        os.makedirs(self.bin)
        shutil.copy(NIGHTJAR_COM, os.path.join(self.bin, "nightjar.com"))
        shutil.copy(STANDIN_EXE, os.path.join(self.bin, "CW20.exe"))
        self.log = os.path.join(self.root, "standin.log")
        with open(os.path.join(self.bin, "CW20.ini"), "w") as ini:
            ini.write(f"write_delay_ms=20\nlog={windows_path(self.log)}\n")

    def agent(self, k):
        """Agent k's copy of the folder set, listed and tagged as every agent lists it, with the
        library numbered; its folder, where APPS is."""
        copy = os.path.join(self.root, "agent%d" % k)
        self.work = os.path.join(copy, "work")
        os.makedirs(self.work)
        for folder, names in FOLDERS:
            path = os.path.join(copy, "shop", folder)
            os.makedirs(path)
            for name in names:
                with open(os.path.join(path, name), "w", newline="\r\n") as app:
                    app.write("PROGRAM\n")
            self.nightjar("add", windows_path(path) + "\\*.APP")
        self.nightjar("tag", "--all")
        self.nightjar("order", "CoreLib.APP", "1")
        return copy

    def test_three_agents_make_each_application_once(self):
        made = {}  # the application (folder/name, upper case) -> the agents that reported it
        for k in range(1, AGENTS + 1):
            copy = self.agent(k)
            shop = windows_path(os.path.join(copy, "shop")).upper() + "\\"
            listed = self.nightjar("list", "--shard", "%d/%d" % (k, AGENTS))
            self.assertTrue(listed.startswith("shard %d of %d: " % (k, AGENTS)), listed)
            self.nightjar("run", "make-exe", "--shard", "%d/%d" % (k, AGENTS), "--junit", "report.xml")
            report = ElementTree.parse(os.path.join(self.work, "report.xml")).getroot()
            names = [case.get("name") for case in report.iter("testcase")]
            self.assertTrue(names, "shard %d is empty" % k)
            self.assertEqual(report.get("failures"), "0")
            for name in names:
                self.assertTrue(name.upper().startswith(shop), (name, shop))  # this agent's own copy
                folder, application = name.rsplit("\\", 1)
                key = (folder.rsplit("\\", 1)[1].upper(), application.upper())
                made.setdefault(key, []).append(k)
            # This copy has outputs for its own shard's applications only.
            outputs = set()
            for folder, _ in FOLDERS:
                path = os.path.join(copy, "shop", folder)
                outputs |= {(folder.upper(), name.upper()[:-4] + ".APP") for name in os.listdir(path)
                            if name.upper().endswith(".EXE")}
            self.assertEqual(len(outputs), len(names), sorted(outputs))
            if k == 1:
                self.assertTrue(names[0].upper().endswith("\\LIBRARIES\\CORELIB.APP"), names)

        expected = {(folder.upper(), name.upper()) for folder, names in FOLDERS for name in names}
        self.assertEqual(set(made), expected)
        self.assertEqual({key: agents for key, agents in made.items() if len(agents) != 1}, {})
        by_folder = {}
        for (folder, _), agents in made.items():
            by_folder.setdefault(folder, set()).update(agents)
        self.assertEqual({folder: agents for folder, agents in by_folder.items() if len(agents) != 1}, {})


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
