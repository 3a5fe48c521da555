#!/usr/bin/env python3
"""scripts/winetools.py without Wine: how lnkinfo's text is read, the paths
between Linux and a prefix, the Programs folder of a prefix made on disk, and
the environment of a session file. Every Wine-side check trusts these."""

import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                "scripts"))
import winetools  # noqa: E402

# The shape of lnkinfo 20181227's report of a link the shell wrote.
LNKINFO_TEXT = """lnkinfo 20181227

Windows Shortcut information:
\tContains a link target identifier
\tContains a description string
\tContains a working directory string

Link information:
\tDrive type\t\t\t: Fixed (3)
\tVolume label\t\t\t: 
\tLocal path\t\t\t: C:\\Program Files\\Brackenvue\\sample.dat
\tDescription\t\t\t: Brackenvue: the sample
\tWorking directory\t\t: C:\\Program Files\\Brackenvue

Link target identifier:
\tShell item list
\t\tNumber of items\t\t: 5
"""


class ParseLnkinfo(unittest.TestCase):
    CASES = [
        # (what, text, expected properties)
        ("a shell link", LNKINFO_TEXT,
         {"target": "C:\\Program Files\\Brackenvue\\sample.dat", "description": "Brackenvue: the sample",
          "workdir": "C:\\Program Files\\Brackenvue"}),
        ("not a link: lnkinfo's error only", "lnkinfo 20181227\n\nUnable to open file: x.\n",
         {"target": None, "description": None, "workdir": None}),
        ("an empty description is there, not missing", "\tDescription\t: \n\tLocal path\t: C:\\a b \r\n",
         {"target": "C:\\a b", "description": "", "workdir": None}),
        ("the first of two counts; other labels that end alike do not",
         "\tRelative path\t: ..\\x\n\tLocal path\t: C:\\one\n\tLocal path\t: C:\\two\n"
         "\tNetwork path\t: \\\\s\\x\n",
         {"target": "C:\\one", "description": None, "workdir": None}),
        ("a value keeps its own leading blank after lnkinfo's", "\tDescription\t:  two blanks\n",
         {"target": None, "description": " two blanks", "workdir": None}),
    ]

    def test_cases(self):
        for what, text, want in self.CASES:
            with self.subTest(what):
                self.assertEqual(winetools.parse_lnkinfo(text), want)


class Paths(unittest.TestCase):
    def test_round_trip_and_refusals(self):
        prefix = "/s/prefix"
        # (C: path, its Linux path, the C: path read back from that)
        for win, lin, back in (("C:\\Program Files\\Bv", "/s/prefix/drive_c/Program Files/Bv", "C:\\Program Files\\Bv"),
                               ("c:/users/root", "/s/prefix/drive_c/users/root", "C:\\users\\root"),
                               ("C:\\", "/s/prefix/drive_c/", "C:\\")):
            with self.subTest(win):
                self.assertEqual(winetools.linux_path(prefix, win), lin)
                self.assertEqual(winetools.windows_path(prefix, lin), back)
        for bad in ("D:\\x", "\\\\server\\share", "x"):
            with self.subTest(bad), self.assertRaises(ValueError):
                winetools.linux_path(prefix, bad)
        for outside in ("/s/prefix", "/s/prefix/drive_cx/y", "/elsewhere"):
            with self.subTest(outside), self.assertRaises(ValueError):
                winetools.windows_path(prefix, outside)
        self.assertEqual(winetools.to_windows("/tmp/a b/m"), "Z:\\tmp\\a b\\m")


class ProgramsDir(unittest.TestCase):
    def make_profile(self, prefix, user):
        menu = os.path.join(prefix, "drive_c", "users", user, "AppData", "Roaming", "Microsoft", "Windows",
                            "Start Menu")
        os.makedirs(menu)
        return os.path.join(menu, "Programs")

    def test_the_accounts_profile_not_public(self):
        with tempfile.TemporaryDirectory() as prefix:
            self.make_profile(prefix, "Public")
            self.make_profile(prefix, "aaa-another")
            mine = self.make_profile(prefix, winetools.pwd.getpwuid(os.getuid()).pw_name)
            # Programs itself may be missing or replaced by a file for a moment.
            self.assertEqual(winetools.programs_dir(prefix), mine)
            with open(mine, "w") as f:
                f.write("not a folder\n")
            self.assertEqual(winetools.programs_dir(prefix), mine)

    def test_no_profile(self):
        with tempfile.TemporaryDirectory() as prefix:
            self.make_profile(prefix, "Public")
            with self.assertRaises(winetools.WineToolsError):
                winetools.programs_dir(prefix)


class SessionEnv(unittest.TestCase):
    def test_exports_over_the_base(self):
        with tempfile.TemporaryDirectory() as state:
            with open(os.path.join(state, "env"), "w") as f:
                f.write("export WINEPREFIX=%s\nexport WINEDEBUG=-all\nexport PATH=/nowhere\n"
                        % "/state/with\\ blank/prefix")
            base = {"KEEP": "1", "WINEDEBUG": "+all", "PWD": "/somewhere"}
            for where in (state, os.path.join(state, "env")):
                with self.subTest(where):
                    env = winetools.session_env(where, base=base)
                    self.assertEqual(env, {"KEEP": "1", "WINEDEBUG": "-all", "PWD": "/somewhere",
                                           "WINEPREFIX": "/state/with blank/prefix", "PATH": "/nowhere"})

    def test_no_session(self):
        with tempfile.TemporaryDirectory() as state:
            with self.assertRaises(winetools.WineToolsError):
                winetools.session_env(state)


if __name__ == "__main__":
    unittest.main()
