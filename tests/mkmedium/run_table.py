#!/usr/bin/env python3
"""Runs the table of media (media.py) through one build of mkmedium.

    run_table.py --tool mkmedium [--rehearse mkmedium_rehearse]
    run_table.py --tool mkmedium.exe --wine-run scripts/wine-run.sh

Every case: `mkmedium check --json` must report exactly the table's problems
(severity, line, code), its exit status and what INSTALL.EXE does. With
--rehearse, the engine's own RunInstall then installs the same medium in the
headless model, and what it did must be what the check said: the same result
(refuses -1, stops 0, completes 1) and, for a complete run, exactly the files
and links the check listed. With --wine-run the tool is the Windows build,
run under Wine on the same folders (cases that only a Linux folder can hold
are left out). Exit code 0 when every case passed.
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

RESULTS = {"refuses": -1, "stops": 0, "completes": 1}


def to_windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(argv, wine_run):
    if wine_run:
        argv = ["bash", wine_run] + argv
    proc = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    return proc.returncode, proc.stdout.decode("utf-8", "replace").replace("\r\n", "\n"), \
        proc.stderr.decode("utf-8", "replace")


def problems_of(report):
    return sorted(((p["severity"], p["line"], p["code"]) for p in report["problems"]), key=str)


def agree(c, report, rehearsal):
    """What the check said INSTALL.EXE does against what RunInstall did."""
    faults = []
    want = RESULTS[report["outcome"]]
    if rehearsal["result"] != want:
        faults.append("the check says INSTALL.EXE %s, RunInstall returned %d (%s)" %
                      (report["outcome"], rehearsal["result"], rehearsal["message"]))
    if report["outcome"] == "refuses" and report["message"] != rehearsal["message"]:
        faults.append("the check gives the message %r, RunInstall %r" % (report["message"], rehearsal["message"]))
    written = {w["path"].lower(): w for w in rehearsal["written"]}
    if report["outcome"] != "completes":
        if written:
            faults.append("RunInstall wrote %s" % sorted(written))
        return faults
    expected = {}
    for e in report["entries"]:
        expected[e["destination"].lower()] = ("file", e["size"])
        expected[e["link"].lower()] = ("link", e["destination"])
    for path, what in expected.items():
        w = written.get(path)
        if w is None:
            faults.append("the check lists %s, RunInstall did not write it" % path)
        elif what[0] == "file" and w["size"] != what[1] and path not in duplicates(report):
            faults.append("%s: %d bytes written, the check says %d" % (path, w["size"], what[1]))
        elif what[0] == "link" and w.get("target", "").lower() != what[1].lower() and path not in duplicates(report):
            faults.append("%s points at %s, the check says %s" % (path, w.get("target"), what[1]))
    for path in written:
        if path not in expected:
            faults.append("RunInstall wrote %s, which the check does not list" % path)
    return faults


def duplicates(report):
    """Paths listed more than once: the later entry's copy or link stays."""
    seen, dup = set(), set()
    for e in report["entries"]:
        for p in (e["destination"].lower(), e["link"].lower()):
            (dup if p in seen else seen).add(p)
    return dup


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tool", required=True)
    ap.add_argument("--rehearse")
    ap.add_argument("--wine-run")
    ap.add_argument("--case", action="append", help="run only these cases")
    args = ap.parse_args()

    work = tempfile.mkdtemp(prefix="mkmedium-table-")
    failed = []
    try:
        for c in media.CASES:
            if args.case and c["name"] not in args.case:
                continue
            if args.wine_run and c["native_only"]:
                print("skip  %-22s (a Linux folder only)" % c["name"])
                continue
            root = media.materialize(c, os.path.join(work, c["name"]))
            folder = to_windows(root) if args.wine_run else root
            rc, out, err = run([args.tool, "check", folder, "--json"] + c["args"], args.wine_run)
            faults = []
            try:
                report = json.loads(out)
            except ValueError:
                report = None
                faults.append("no JSON document (exit %d):\n%s%s" % (rc, out, err))
            if report is not None:
                got = problems_of(report)
                want = [tuple(p) for p in c["expect"]]
                if got != want:
                    faults.append("problems differ\n      expected %s\n      reported %s" % (want, got))
                if rc != c["exit"] or report["exit"] != c["exit"]:
                    faults.append("exit status %d (document %d), expected %d" % (rc, report["exit"], c["exit"]))
                if report["outcome"] != c["outcome"]:
                    faults.append("outcome %s, expected %s" % (report["outcome"], c["outcome"]))
                if args.rehearse:
                    rrc, rout, rerr = run([args.rehearse, root] + c["args"], None)
                    if rrc != 0:
                        faults.append("the rehearsal failed (exit %d): %s" % (rrc, rerr))
                    else:
                        faults += agree(c, report, json.loads(rout))
            print("%s  %-22s %s" % ("ok  " if not faults else "FAIL", c["name"], c["doc"]))
            for f in faults:
                print("      " + f)
            if faults:
                print("      the report:\n" + "\n".join("        " + l for l in out.splitlines()))
                failed.append(c["name"])
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d cases failed%s" % (len(failed), (": " + ", ".join(failed)) if failed else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
