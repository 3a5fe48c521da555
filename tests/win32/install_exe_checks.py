#!/usr/bin/env python3
"""Checks of the program file INSTALL.EXE itself, without running it (no Wine):

- its import table: only Windows' own known DLLs, no C++ or gcc runtime DLL,
  nothing the loader would look for beside the program, and the newer loader
  calls looked up at run time instead of imported;
- its size: a 32-bit INSTALL.EXE stays within its budget, so a toolchain
  change that brings back the runtime's error paths (see
  platform/win32/lean_runtime.cpp) fails here, not only in the benchmark.

    install_exe_checks.py --installer INSTALL.EXE --objdump OBJDUMP [--budget BYTES]
"""

import argparse
import re
import subprocess
import sys

# Windows' own DLLs that INSTALL.EXE may import. Known DLLs (never looked for
# beside the program) are marked: only those may be bound at load time,
# before the program can restrict the search.
SYSTEM_DLLS = {"kernel32.dll": True, "user32.dll": True, "gdi32.dll": True, "shell32.dll": True,
               "ole32.dll": True, "oleaut32.dll": True, "advapi32.dll": True, "msvcrt.dll": True,
               "comctl32.dll": False, "comdlg32.dll": True, "shlwapi.dll": True}

BUDGET_BYTES = 192 * 1024


def fail(message):
    print("FAILED: " + message)
    sys.exit(1)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--installer", required=True)
    ap.add_argument("--objdump", required=True)
    ap.add_argument("--budget", type=int, default=BUDGET_BYTES)
    args = ap.parse_args()

    out = subprocess.run([args.objdump, "-p", args.installer], stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, errors="replace", timeout=60)
    if out.returncode != 0:
        fail("objdump failed:\n" + out.stdout)
    dlls = [d.lower() for d in re.findall(r"^\s*DLL Name: (\S+)", out.stdout, re.M)]
    functions = set(re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\w+)\s*$", out.stdout, re.M))
    print("imports: %s" % ", ".join(dlls))
    if not dlls:
        fail("no import table found:\n" + out.stdout[:2000])
    runtime = [d for d in dlls if re.match(r"lib(stdc\+\+|gcc|winpthread)", d)]
    if runtime:
        fail("runtime DLLs that Windows does not have: %s" % runtime)
    foreign = [d for d in dlls if d not in SYSTEM_DLLS]
    if foreign:
        fail("DLLs outside the allowed system DLLs: %s" % foreign)
    searched = [d for d in dlls if not SYSTEM_DLLS[d]]
    if searched:
        fail("imported DLLs that are not known DLLs, looked for beside INSTALL.EXE at start-up: %s" % searched)
    late = {"SetDefaultDllDirectories", "SetDllDirectoryA", "AddDllDirectory"} & functions
    if late:
        fail("imports missing from older Windows (resolve them at run time): %s" % sorted(late))
    with open(args.installer, "rb") as f:
        image = f.read()
    for name in (b"SetDefaultDllDirectories", b"SetDllDirectoryA"):
        if name not in image:
            fail("%s is not looked up by INSTALL.EXE" % name.decode())

    # The budget is the shipped program's, the 32-bit one; the 64-bit build of
    # the same sources exists only to run the tests where 32-bit Wine cannot.
    pe32 = re.search(r"^Magic\s+010b", out.stdout, re.M) is not None
    print("size: %d bytes (%.1f KiB)%s" % (len(image), len(image) / 1024.0,
                                          "" if pe32 else ", a 64-bit build: no budget"))
    if pe32 and len(image) > args.budget:
        fail("INSTALL.EXE is %d bytes, over its budget of %d" % (len(image), args.budget))
    print("passed")


if __name__ == "__main__":
    main()
