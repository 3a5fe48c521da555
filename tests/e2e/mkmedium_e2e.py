#!/usr/bin/env python3
"""Media made by mkmedium, installed by the real INSTALL.EXE under Wine.

cdrom_autorun: the sample medium written by `mkmedium init`, checked, packed
by `mkmedium image`; the image's Joliet tree (what Windows reads from the CD)
is presented to Wine as a read-only CD-ROM drive D: and INSTALL.EXE is started
from D:\\ as autorun would; the installation must be what `check` said.

agree_<case>: representative media of mkmedium's table (tests/mkmedium/
media.py): what `mkmedium check` says INSTALL.EXE does (refuses, stops,
completes; the files and links it writes; its message) is what it does.

    mkmedium_e2e.py --list
    mkmedium_e2e.py --scenario NAME --env STATEDIR/env --installer INSTALL.EXE \\
                    --driver e2e_driver.exe --notepad e2e_notepad.exe \\
                    --directx e2e_directx.exe --sample-program brackenvue.exe \\
                    --mkmedium mkmedium --sample-dir sample/ \\
                    --drive-probe mkmedium_drive_probe.exe

The CD-ROM drive is a read-only bind mount, which needs root (the tests run
as root); where it cannot be made the scenario is skipped (exit code 77).
"""

import argparse
import contextlib
import errno
import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "mkmedium"))
import run_e2e as e2e  # noqa: E402
import media  # noqa: E402
from run_e2e import Failed, app_box, check, error_box  # noqa: E402

CD_LETTER = "d"
WINE_DRIVES_KEY = "HKLM\\Software\\Wine\\Drives"


def mkmedium(r, *argv):
    """Runs the Linux build of mkmedium; returns (exit code, stdout, stderr)."""
    proc = subprocess.run([r.args.mkmedium] + list(argv), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, errors="replace", timeout=120)
    return proc.returncode, proc.stdout, proc.stderr


def predict(r, folder):
    """`mkmedium check --json` for the folder, with the prefix's real Programs folder."""
    rc, out, err = mkmedium(r, "check", folder, "--programs", r.programs_win, "--json")
    check(rc in (0, 1, 2), "mkmedium check failed (exit %d): %s" % (rc, err))
    report = json.loads(out)
    print("--- mkmedium check says INSTALL.EXE %s" % report["outcome"])
    for p in report["problems"]:
        print("    %s: %s: %s [%s]" % (p["severity"], p["line"], p["text"], p["code"]))
    return report


def wine_quiet(r, argv):
    """A Wine program whose output does not matter (no pipes: see Runner.wine_driver)."""
    return subprocess.run(["wine"] + argv, env=r.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=60).returncode


def restart_wine(r):
    """Ends the session's Wine processes and starts its server again: Wine's
    mount manager learns the drive types from the registry when it starts."""
    subprocess.run(["wineserver", "-k"], env=r.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    state = os.path.dirname(os.path.abspath(r.args.env))
    res = subprocess.run(["bash", os.path.join(HERE, "..", "..", "scripts", "wine-env.sh"), "start", state,
                          "--arch", r.env.get("WINEARCH", "win32")],
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                         timeout=300)
    check(res.returncode == 0, "the Wine session did not start again:\n%s" % res.stdout)


@contextlib.contextmanager
def cdrom_drive(r, folder):
    """`folder` as Wine's read-only CD-ROM drive D: (a read-only bind mount, a
    dosdevices link, the drive type in Wine's registry); undone on the way out."""
    mount_dir = os.path.join(r.work, "cdrom")
    link = os.path.join(r.prefix.root, "dosdevices", CD_LETTER + ":")
    os.makedirs(mount_dir)
    if os.path.lexists(link):
        # Left by a run that was killed before it could clean up: the letter
        # belongs to this scenario.
        stale = os.path.realpath(link)
        os.remove(link)
        if subprocess.run(["mountpoint", "-q", stale]).returncode == 0:
            subprocess.run(["umount", "-l", stale])
    res = subprocess.run(["mount", "--bind", folder, mount_dir], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         text=True)
    if res.returncode != 0:
        os.rmdir(mount_dir)
        raise e2e.Skipped("cannot bind-mount the CD-ROM's folder here (%s)" % res.stdout.strip())
    try:
        res = subprocess.run(["mount", "-o", "remount,ro,bind", mount_dir], stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True)
        if res.returncode != 0:
            raise e2e.Skipped("cannot make the bind mount read-only (%s)" % res.stdout.strip())
        try:
            with open(os.path.join(mount_dir, "probe"), "wb"):
                pass
            raise Failed("the CD-ROM's folder can be written")
        except OSError as e:
            check(e.errno == errno.EROFS, "writing on the CD-ROM's folder failed with %s, not EROFS" % e)
        os.symlink(mount_dir, link)
        try:
            check(wine_quiet(r, ["reg", "add", WINE_DRIVES_KEY, "/v", CD_LETTER + ":", "/t", "REG_SZ",
                                 "/d", "cdrom", "/f"]) == 0, "could not mark D: as a CD-ROM drive")
            restart_wine(r)
            yield CD_LETTER.upper() + ":\\"
        finally:
            wine_quiet(r, ["reg", "delete", WINE_DRIVES_KEY, "/v", CD_LETTER + ":", "/f"])
            os.remove(link)
            restart_wine(r)
    finally:
        if subprocess.run(["umount", mount_dir]).returncode != 0:
            subprocess.run(["umount", "-l", mount_dir])
        os.rmdir(mount_dir)


def joliet_tree(r, iso, into):
    """Extracts the image's Joliet tree: the names Windows reads from the CD."""
    res = subprocess.run(["xorriso", "-read_fs", "norock", "-joliet", "on", "-indev", iso,
                          "-osirrox", "on", "-extract", "/", into],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    check(res.returncode == 0, "xorriso could not extract %s:\n%s" % (iso, res.stdout))


def steps_for(report):
    """The driver's script for what the check predicts; a wrong prediction
    leaves the driver waiting for a box that never comes, or a box unanswered."""
    steps = ["wait-dialog", "click 1006"]
    if report["outcome"] == "completes":
        steps += ["box ok"] + (["box ok"] if report["readme"] and report["readme"]["shown"] else [])
    elif report["outcome"] == "refuses":
        steps += ["box ok", "box ok"]
    else:
        steps += ["box ok", "click 2"]
    return steps + ["wait-exit"]


def files_under(root_linux, root_win):
    out = {}
    for d, _, files in os.walk(root_linux):
        for name in files:
            p = os.path.join(d, name)
            out[(root_win + "\\" + os.path.relpath(p, root_linux).replace(os.sep, "\\")).lower()] = p
    return out


def expect_as_checked(r, report, events):
    """The boxes, files and links of the run are those the check predicted."""
    outcome = report["outcome"]
    if outcome == "completes":
        want = [app_box(e2e.COMPLETE_TEXT, icon="information")]
        if report["readme"] and report["readme"]["shown"]:
            want.append(app_box(e2e.README_TEXT))
    elif outcome == "refuses":
        want = [error_box(report["message"]), app_box(e2e.NOT_COMPLETED_TEXT)]
    else:
        want = [{"caption": "Error", "owner": "none", "icon": "error"}]
    e2e.expect_boxes(events, want)
    e2e.expect_exit(events)

    installed = files_under(r.prefix.linux(report["installDir"]), report["installDir"])
    links = files_under(r.prefix.linux(report["programFolder"]), report["programFolder"])
    if outcome != "completes":
        check(not installed and not links, "INSTALL.EXE %s, yet wrote %s" % (outcome, sorted(installed) +
                                                                              sorted(links)))
        return
    want_files = {e["destination"].lower(): e for e in report["entries"]}
    want_links = {e["link"].lower(): e for e in report["entries"]}
    check(sorted(installed) == sorted(want_files),
          "installed %s; the check listed %s" % (sorted(installed), sorted(want_files)))
    check(sorted(links) == sorted(want_links), "links %s; the check listed %s" % (sorted(links), sorted(want_links)))
    for path, e in want_files.items():
        size = os.path.getsize(installed[path])
        check(size == e["size"], "%s has %d bytes; the check said %d" % (path, size, e["size"]))
    for path, e in want_links.items():
        fields, raw = e2e.lnkinfo(links[path])
        check(fields.get("Local path", "").lower() == e["destination"].lower(),
              "%s points at %r; the check said %s\n%s" % (path, fields.get("Local path"), e["destination"], raw))


# ---- scenarios ----------------------------------------------------------------

SCENARIOS = {}


def scenario(fn):
    SCENARIOS[fn.__name__] = fn
    return fn


@scenario
def cdrom_autorun(r):
    """The sample medium made by init and image, installed from a read-only CD-ROM drive as autorun starts it."""
    medium = os.path.join(r.work, "sample-medium")
    os.makedirs(medium)
    shutil.copyfile(r.args.sample_program, os.path.join(medium, "brackenvue.exe"))
    for name in ("readme.txt", "sample.dat"):
        shutil.copyfile(os.path.join(r.args.sample_dir, name), os.path.join(medium, name))
    shutil.copyfile(r.args.installer, os.path.join(medium, "INSTALL.EXE"))
    rc, out, err = mkmedium(r, "init", medium)
    check(rc == 0, "mkmedium init failed (exit %d): %s" % (rc, err))
    iso = os.path.join(r.work, "sample.iso")
    rc, out, err = mkmedium(r, "image", medium, iso, "--label", "BRACKENVUE")
    check(rc == 0, "mkmedium image failed (exit %d): %s%s" % (rc, out, err))
    cd = os.path.join(r.work, "cd")
    joliet_tree(r, iso, cd)
    with open(os.path.join(cd, "autorun.inf"), "rb") as f:
        autorun = f.read()
    check(b"open=INSTALL.EXE\r\n" in autorun, "autorun.inf does not start INSTALL.EXE: %r" % autorun)
    report = predict(r, cd)
    check(report["exit"] == 0 and report["outcome"] == "completes", "the sample medium is not clean: %s" %
          report["problems"])
    # The prediction is made for the prefix's Programs folder.
    r.clean_install()
    with cdrom_drive(r, cd) as root:
        probe = os.path.join(r.work, "probe.out")
        with open(probe, "wb") as f:
            subprocess.run(["wine", r.args.drive_probe, root], env=r.env, stdin=subprocess.DEVNULL, stdout=f,
                           stderr=subprocess.DEVNULL, timeout=60)
        with open(probe, "r", errors="replace") as f:
            seen = f.read().replace("\r", "")
        check("type=5\n" in seen and "writable=0\n" in seen,
              "Windows does not see %s as a read-only CD-ROM drive: %r" % (root, seen))
        script = os.path.join(r.work, "script.txt")
        with open(script, "w") as f:
            f.write("\n".join(steps_for(report)) + "\n")
        rc, stdout, stderr = r.wine_driver(["--exe", root + "INSTALL.EXE", "--medium", root,
                                            "--script", e2e.to_windows(script), "--timeout", "90"], timeout=120)
        print("--- transcript")
        print(stdout.rstrip())
        events = e2e.parse_transcript(stdout)
        check(rc == 0 and events and events[-1].kind == "done", "the driver failed (exit %d): %s" % (rc, stderr))
    expect_as_checked(r, report, events)
    rec = r.record("notepad")
    check(rec is not None and rec["cmdline"].endswith(" " + report["readme"]["path"]),
          "Notepad was not started on %s: %s" % (report["readme"]["path"], rec))


def agreement(name):
    def run(r):
        c = next(c for c in media.CASES if c["name"] == name)
        folder = media.materialize(c, os.path.join(r.work, "medium"))
        shutil.copyfile(r.args.installer, os.path.join(folder, "INSTALL.EXE"))
        report = predict(r, folder)
        check(report["outcome"] == c["outcome"], "the table says %s, the check %s" % (c["outcome"],
                                                                                     report["outcome"]))
        r.clean_install()
        events = r.drive(folder, steps_for(report), timeout=90)
        expect_as_checked(r, report, events)
    run.__doc__ = "what mkmedium check says of the table's medium %r is what INSTALL.EXE does" % name
    return run


for _case in media.CASES:
    if _case["on_wine"]:
        SCENARIOS["agree_" + _case["name"].replace("-", "_")] = agreement(_case["name"])


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--scenario")
    ap.add_argument("--env")
    ap.add_argument("--installer")
    ap.add_argument("--driver")
    ap.add_argument("--notepad")
    ap.add_argument("--directx")
    ap.add_argument("--sample-program")
    ap.add_argument("--mkmedium")
    ap.add_argument("--sample-dir")
    ap.add_argument("--drive-probe")
    args = ap.parse_args()
    if args.list:
        print(";".join(SCENARIOS))
        return 0
    if args.scenario not in SCENARIOS:
        print("unknown scenario %r; known: %s" % (args.scenario, ", ".join(SCENARIOS)), file=sys.stderr)
        return 2
    print("scenario %s: %s" % (args.scenario, SCENARIOS[args.scenario].__doc__))
    r = None
    try:
        r = e2e.Runner(args)
        SCENARIOS[args.scenario](r)
    except Failed as e:
        print("FAILED: %s" % e)
        return 1
    except e2e.Skipped as e:
        print("SKIPPED: %s" % e)
        return e2e.SKIP
    finally:
        if r:
            r.close()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
