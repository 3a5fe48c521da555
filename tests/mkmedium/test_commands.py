#!/usr/bin/env python3
"""mkmedium's three commands on real folders (the Linux build).

    test_commands.py --tool mkmedium

init: makes a setup.inf that check finds clean (subfolders, a readme, the
medium's own files left out, shortcut names kept apart); never replaces an
existing setup.inf without --force; writes nothing when a file cannot be
listed. image: refuses a medium with errors and leaves an earlier image as it
was; otherwise writes an ISO whose Joliet tree (what Windows reads) holds the
medium and an autorun.inf that starts INSTALL.EXE. Exit code 0 when all pass.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import media  # noqa: E402

failures = []


def check(cond, message):
    if not cond:
        failures.append(message)
        print("FAIL  " + message)
    return cond


def run(tool, *argv):
    proc = subprocess.run([tool] + list(argv), stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def joliet_tree(iso, into):
    """Extracts the image's Joliet tree, the names Windows reads from a CD."""
    res = subprocess.run(["xorriso", "-read_fs", "norock", "-joliet", "on", "-indev", iso,
                          "-osirrox", "on", "-extract", "/", into],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    check(res.returncode == 0, "xorriso could not extract %s:\n%s" % (iso, res.stdout))
    tree = {}
    for d, _, files in os.walk(into):
        for name in files:
            p = os.path.join(d, name)
            tree[os.path.relpath(p, into).replace(os.sep, "\\")] = read(p)
    return tree


def test_init(tool, work):
    m = os.path.join(work, "init")
    for rel, data in media.FILES.items():
        write(os.path.join(m, rel), data)
    write(os.path.join(m, "data", "levels.dat"), b"levels\r\n" * 9)
    write(os.path.join(m, "data", "sample.txt"), b"another sample\r\n")  # its stem is taken already
    write(os.path.join(m, "directx.exe"), b"MZ directx")
    write(os.path.join(m, "autorun.inf"), b"[autorun]\r\n")
    rc, out, err = run(tool, "init", m)
    if not check(rc == 0, "init failed (exit %d): %s" % (rc, err)):
        return
    text = read(os.path.join(m, "setup.inf"))
    check(b"\n" not in text.replace(b"\r\n", b""), "setup.inf has line ends other than CR LF: %r" % text)
    lines = text.decode().split("\r\n")
    check(lines[0] == "5" and lines[-1] == "", "the count line is %r (expected 5): %r" % (lines[0], text))
    names = [l.split(" ", 1)[0] for l in lines[1:6]]
    check(sorted(names) == sorted(["brackenvue.exe", "readme.txt", "sample.dat", "data\\levels.dat",
                                   "data\\sample.txt"]), "init listed %s" % names)
    check(".readme readme.txt" in lines, "no .readme line: %r" % lines)
    shortcuts = [l.split(" ", 1)[1].lower() for l in lines[1:6]]
    check(len(set(shortcuts)) == 5, "shortcut names repeat: %s" % shortcuts)

    rc, out, err = run(tool, "check", m, "--json")
    report = json.loads(out)
    check(rc == 0 and report["problems"] == [], "check after init is not clean (exit %d): %s" %
          (rc, report["problems"]))

    # Never replaced without --force, and then only whole.
    write(os.path.join(m, "setup.inf"), b"1\r\nreadme.txt Mine\r\n")
    rc, out, err = run(tool, "init", m)
    check(rc == 2 and "--force" in err, "init over an existing setup.inf: exit %d, %r" % (rc, err))
    check(read(os.path.join(m, "setup.inf")) == b"1\r\nreadme.txt Mine\r\n", "init changed an existing setup.inf")
    rc, out, err = run(tool, "init", m, "--force")
    check(rc == 0 and read(os.path.join(m, "setup.inf")) == text, "init --force did not write the same setup.inf")
    check(sorted(os.listdir(m)) == sorted(["INSTALL.EXE", "brackenvue.exe", "readme.txt", "sample.dat", "data",
                                           "directx.exe", "autorun.inf", "setup.inf"]),
          "init left other files behind: %s" % sorted(os.listdir(m)))

    # A file that cannot be listed: nothing is written, and the message names it.
    bad = os.path.join(work, "init-bad")
    write(os.path.join(bad, "INSTALL.EXE"), media.INSTALLER)
    write(os.path.join(bad, "my game.exe"), b"MZ")
    write(os.path.join(bad, "ok.dat"), b"ok")
    rc, out, err = run(tool, "init", bad)
    check(rc == 2 and "my game.exe" in err, "init with a blank in a name: exit %d, %r" % (rc, err))
    check(not os.path.exists(os.path.join(bad, "setup.inf")), "init wrote a setup.inf it refused")
    check(sorted(os.listdir(bad)) == ["INSTALL.EXE", "my game.exe", "ok.dat"], "init left files: %s" %
          os.listdir(bad))


def test_image(tool, work):
    m = os.path.join(work, "image")
    for rel, data in media.FILES.items():
        write(os.path.join(m, rel), data)
    write(os.path.join(m, "data", "levels.dat"), b"levels\r\n" * 9)
    rc, out, err = run(tool, "init", m)
    check(rc == 0, "init failed: %s" % err)
    iso = os.path.join(work, "out", "medium.iso")
    os.makedirs(os.path.dirname(iso))
    rc, out, err = run(tool, "image", m, iso, "--label", "Bv_Sample")
    if not check(rc == 0 and os.path.isfile(iso), "image failed (exit %d): %s%s" % (rc, out, err)):
        return
    tree = joliet_tree(iso, os.path.join(work, "extracted"))
    want = {rel.replace("/", "\\"): data for rel, data in media.FILES.items()}
    want["data\\levels.dat"] = b"levels\r\n" * 9
    want["setup.inf"] = read(os.path.join(m, "setup.inf"))
    autorun = tree.pop("autorun.inf", b"")
    check(tree == want, "the image holds %s, the medium %s" % (sorted(tree), sorted(want)))
    check(autorun == b"[autorun]\r\nopen=INSTALL.EXE\r\nicon=INSTALL.EXE,0\r\n", "autorun.inf is %r" % autorun)
    res = subprocess.run(["xorriso", "-indev", iso, "-pvd_info"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         text=True)
    check("BV_SAMPLE" in res.stdout, "the volume is not labelled BV_SAMPLE:\n%s" % res.stdout)
    check(sorted(os.listdir(os.path.dirname(iso))) == ["medium.iso"],
          "image left files beside the image: %s" % os.listdir(os.path.dirname(iso)))

    # A medium with errors: refused, and the earlier image is kept as it was.
    earlier = read(iso)
    os.remove(os.path.join(m, "sample.dat"))
    rc, out, err = run(tool, "image", m, iso)
    check(rc == 2 and "error: setup.inf:" in out and "missing-file" in out,
          "image of a broken medium: exit %d\n%s%s" % (rc, out, err))
    check(read(iso) == earlier, "a refused image changed the earlier one")
    check(sorted(os.listdir(os.path.dirname(iso))) == ["medium.iso"], "a refused image left files")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tool", required=True)
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="mkmedium-commands-")
    try:
        test_init(args.tool, work)
        if shutil.which("xorriso"):
            test_image(args.tool, work)
        else:
            check(False, "xorriso is not installed (scripts/setup-deps.sh installs it)")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
