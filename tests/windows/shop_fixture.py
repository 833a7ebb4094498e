"""A shop's folders as the Windows tests meet them: 200 applications named the way shops name them,
in a tree with long names, blanks, "Program Files (x86)", accented and Cyrillic folder names, a
folder name of 100 characters and a library project (an .APP whose build makes a .DLL).

build(root) makes the tree under `root` and returns its folders, each with the names of its
applications; LIBRARY names the library project. Used by the wine tests of nightjar.com; a test
written in C++ makes the same tree with `python3 shop_fixture.py ROOT`.
"""
import os
import sys

LIBRARY = ("Shared Libraries", "LibCoreServices.APP")
LONG_FOLDER = ("Quarterly reports of the northern region, kept by the accounts office since nineteen "
               "ninety-eight")[:100].ljust(100, "x")
assert len(LONG_FOLDER) == 100

# Folder (relative, "/" between levels) and its applications' file names.
FOLDERS = [
    ("Program Files (x86)/Shop Apps", ["Invoice%02d.APP" % n for n in range(1, 41)] + ["CustomerAccounts.APP"]),
    ("B\u00fccher", ["Buchung%02d.APP" % n for n in range(1, 31)]),
    ("Caf\u00e9", ["CAFE%02d.APP" % n for n in range(1, 31)]),
    ("\u0411\u0443\u0445\u0433\u0430\u043b\u0442\u0435\u0440\u0438\u044f",
     ["\u0421\u0447\u0451\u0442%02d.APP" % n for n in range(1, 21)]),
    (LONG_FOLDER, ["Report%03d.APP" % n for n in range(1, 26)]),
    ("Customer Accounts", ["Account Statement %02d.APP" % n for n in range(1, 31)]),
    ("Short", ["PAY%02d.APP" % n for n in range(1, 24)]),
    (LIBRARY[0], [LIBRARY[1]]),
]
assert sum(len(names) for _, names in FOLDERS) == 200


def build(root):
    """Writes every application file under `root`; returns [(folder path, [names])]."""
    made = []
    for folder, names in FOLDERS:
        path = os.path.join(root, *folder.split("/"))
        os.makedirs(path, exist_ok=True)
        for name in names:
            with open(os.path.join(path, name), "w", newline="\r\n") as app:
                app.write("PROGRAM\n" if (folder, name) != LIBRARY else "TARGET=DLL\n")
        made.append((path, names))
    return made


if __name__ == "__main__":
    for folder, names in build(sys.argv[1]):
        print(len(names), folder)
