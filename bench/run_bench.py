#!/usr/bin/env python3
"""The installer benchmark: INSTALL.EXE against the bare Win32 work, against
NSIS and against cp -r, side by side under Wine, verified after every run.

Run through scripts/bench.sh, which builds the programs first. See
bench/README.md for what is measured and how to read the table.
"""

import argparse
import datetime
import hashlib
import json
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from collections import namedtuple

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lnk  # noqa: E402
import media  # noqa: E402
import nsis  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts"))
import winetools  # noqa: E402

Result = namedtuple("Result", "returncode stdout stderr")

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The product is the 32-bit build; on a machine whose kernel runs no 32-bit
# code scripts/bench.sh builds the same sources for 64-bit Windows and says so
# here (scripts/wine-preset.sh). The NSIS installer is a 32-bit program and the
# size budget is the 32-bit product's, so neither is measured then.
WINE_ARCH = os.environ.get("INSTALLER_WINE_ARCH", "win32")
WIN32_BUILD = os.path.join(ROOT, "build", WINE_ARCH)
NATIVE_BUILD = os.path.join(ROOT, "build", "native")

INSTALL_CAPTION = "Brackenvue Installation"
DESCRIPTION = "Brackenvue"
MAX_EXE_BYTES = 192 * 1024
# DLLs that come with every Windows the installer targets.
WINDOWS_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
    "ole32.dll", "oleaut32.dll", "comctl32.dll", "comdlg32.dll", "msvcrt.dll",
    "shlwapi.dll", "version.dll", "ntdll.dll",
}

CONTENDERS = ["install", "floor", "floor_window", "floor_paint", "nsis", "cp"]
LABELS = {
    "install": "INSTALL.EXE",
    "floor": "floor, no window",
    "floor_window": "floor + window",
    "floor_paint": "floor + window + paint",
    "nsis": "NSIS, silent",
    "cp": "cp -r",
}
PROFILE_ORDER = ["small", "mixed", "large"]

# The Wine session's options: wine-env.sh applies them and says what they set
# (`wine-env.sh settings`); the table is printed with that list.
WINE_ENV_OPTIONS = ["--no-menubuilder"]


# ---------------------------------------------------------------- helpers

def log(msg):
    print(msg, file=sys.stderr, flush=True)


def win(path_in_c):
    """Windows path of a path relative to drive C:."""
    return "C:\\" + path_in_c.replace("/", "\\")


def parse_kv(text):
    return {k: v for k, v in re.findall(r"(\w+)=(\S+)", text)}


def sha256_file(path):
    h = hashlib.sha256()
    with open(path, "rb") as fh:
        while True:
            block = fh.read(1 << 20)
            if not block:
                break
            h.update(block)
    return h.hexdigest()


def fmt_s(value):
    if value is None:
        return "-"
    return f"{value:.3f}" if value < 100 else f"{value:.1f}"


def fmt_ratio(value):
    return "-" if value is None else f"{value:.3f}"


def set_group_nice(pid, nice):
    """With the kernel's session autogroups on (the Linux default on desktops
    and VMs), a process's nice value only weighs against processes of its own
    session: every other session, each other engineer's build, still gets an
    equal share of the CPU. The group's own nice value is what weighs between
    sessions. The server and the display run in sessions of their own (setsid)."""
    try:
        with open(f"/proc/{pid}/autogroup", "w") as fh:
            fh.write(str(nice))
    except OSError:
        pass


# ---------------------------------------------------------------- Wine

class Wine:
    def __init__(self, state):
        self.state = os.path.abspath(state)
        self.env = None

    def start(self):
        subprocess.run(["bash", os.path.join(ROOT, "scripts", "wine-env.sh"), "start", self.state]
                       + WINE_ENV_OPTIONS, check=True, timeout=600)
        self.env = winetools.session_env(self.state)
        self.env["WINEDEBUG"] = "-all"
        if "winemenubuilder.exe=d" not in self.env.get("WINEDLLOVERRIDES", ""):
            self.env["WINEDLLOVERRIDES"] = self.env.get("WINEDLLOVERRIDES", "") + \
                ";winemenubuilder.exe=d"
        self.prefix = self.env["WINEPREFIX"]
        self.drive_c = os.path.join(self.prefix, "drive_c")
        # The first program of a server session starts Wine's background
        # services; they live as long as the server and keep the output
        # handles they were given, so they get none of ours.
        subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    def renice(self, nice):
        """Gives the prefix's running processes (the server and Wine's services,
        which may predate this run) and the display the benchmark's priority."""
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as fh:
                    if ("WINEPREFIX=" + self.prefix).encode() + b"\0" in fh.read() + b"\0":
                        pids.append(int(entry))
            except OSError:
                pass
        try:
            with open(os.path.join(self.state, "xvfb.pid")) as fh:
                pids.append(int(fh.read().strip()))
        except (OSError, ValueError):
            pass
        for pid in pids:
            try:
                os.setpriority(os.PRIO_PROCESS, pid, nice)
            except OSError:
                pass
            set_group_nice(pid, nice)

    def settings(self):
        """(setting, why) of every Wine setting of this session, as wine-env.sh states them."""
        out = subprocess.run(["bash", os.path.join(ROOT, "scripts", "wine-env.sh"), "settings"]
                             + WINE_ENV_OPTIONS, check=True, capture_output=True, text=True,
                             timeout=60).stdout
        return [tuple(line.split("\t", 1)) for line in out.splitlines() if "\t" in line]

    def stop(self):
        subprocess.run(["bash", os.path.join(ROOT, "scripts", "wine-env.sh"), "stop", self.state],
                       timeout=120)

    def run(self, args, cwd=None, timeout=900):
        """Runs a Windows program; returns (exit code, stdout, stderr).

        Output goes through files, not pipes: a Wine program can leave a
        process behind (the services Wine starts on first use, a child of the
        program) that inherits the pipe and would hold its end open."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.run(["wine"] + args, cwd=cwd, env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            return Result(proc.returncode, out.read().decode(errors="replace"),
                          err.read().decode(errors="replace"))

    def programs_dir(self):
        return winetools.programs_dir(self.prefix)


# ---------------------------------------------------------------- the bench

class Bench:
    def __init__(self, args):
        self.args = args
        self.wine = Wine(args.state)
        self.results = {}   # profile -> contender -> [seconds]
        self.extra = {}     # profile -> contender -> [dict]
        self.failures = []  # (profile, contender, round, reason)
        self.startup = {"install": [], "noop": []}
        self.lnkinfo_checked = 0
        self.load_before = os.getloadavg()[0]

    # -- setup

    def setup(self):
        if self.args.nice:
            # Other work on the machine otherwise lands in the timings; every
            # program started from here on inherits this priority.
            os.setpriority(os.PRIO_PROCESS, 0, self.args.nice)
            set_group_nice(os.getpid(), self.args.nice)
        self.wine.start()
        if self.args.nice:
            self.wine.renice(self.args.nice)
        c = self.wine.drive_c
        self.bin_dir = os.path.join(c, "bench", "bin")
        os.makedirs(self.bin_dir, exist_ok=True)
        self.exes = {
            "install": os.path.join(WIN32_BUILD, "app", "INSTALL.EXE"),
            "floor": os.path.join(WIN32_BUILD, "bench", "bench_floor.exe"),
            "drive": os.path.join(WIN32_BUILD, "bench", "bench_drive.exe"),
            "noop": os.path.join(WIN32_BUILD, "bench", "bench_noop_dialog.exe"),
        }
        for name, path in self.exes.items():
            if not os.path.exists(path):
                raise SystemExit(f"missing {path}: build the win32 preset first")
            shutil.copy2(path, os.path.join(self.bin_dir, os.path.basename(path)))
        self.win_bin = win("bench/bin")
        self.media = {}
        for profile in self.args.profiles:
            directory = os.path.join(c, "bench", "media", profile)
            t0 = time.time()
            entries = media.ensure(profile, directory)
            nsis.build(entries, directory)
            self.media[profile] = (directory, entries)
            log(f"medium {profile}: {len(entries)} files, "
                f"{sum(e['size'] for e in entries) / 1048576:.1f} MiB ({time.time() - t0:.1f} s)")

    # -- one timed run

    def dest(self, contender):
        return os.path.join(self.wine.drive_c, "bench", f"dest-{contender}")

    def folder_name(self, contender):
        return nsis.PROGRAM_FOLDER if contender == "nsis" else f"Bench-{contender}"

    def clean(self, contender):
        shutil.rmtree(self.dest(contender), ignore_errors=True)
        shutil.rmtree(os.path.join(self.wine.programs_dir(), self.folder_name(contender)),
                      ignore_errors=True)

    def run_one(self, profile, contender):
        """Returns (seconds, extra dict); raises RuntimeError on failure."""
        medium_dir, _ = self.media[profile]
        win_medium = win(f"bench/media/{profile}")
        win_dest = win(f"bench/dest-{contender}")
        folder = self.folder_name(contender)
        if contender == "cp":
            t0 = time.perf_counter()
            subprocess.run(["cp", "-r", medium_dir, self.dest(contender)], check=True,
                           timeout=900)
            return time.perf_counter() - t0, {}
        if contender == "install":
            r = self.wine.run([self.win_bin + "\\bench_drive.exe", "install",
                               self.win_bin + "\\INSTALL.EXE", win_medium, win_dest, folder])
        elif contender.startswith("floor"):
            # The window variants end like the installer's run, at the
            # completion box on the screen.
            opts = {"floor": [], "floor_window": ["--window", "--box"],
                    "floor_paint": ["--window", "--paint", "--box"]}[contender]
            r = self.wine.run([self.win_bin + "\\bench_floor.exe"] + opts + [win_dest, folder],
                              cwd=medium_dir)
        elif contender == "nsis":
            timing = os.path.join(self.wine.drive_c, "bench", "nsis-time.txt")
            if os.path.exists(timing):
                os.remove(timing)
            r = self.wine.run([self.win_bin + "\\bench_drive.exe", "run",
                               win_medium + "\\bench-nsis.exe", "/D=" + win_dest],
                              cwd=medium_dir)
        else:
            raise ValueError(contender)
        kv = parse_kv(r.stdout)
        if r.returncode != 0 or "seconds" not in kv:
            raise RuntimeError(f"exit {r.returncode}: {(r.stderr or r.stdout).strip()[-300:]}")
        if contender == "nsis":
            extra = {"process": float(kv["seconds"])}
            return nsis.read_time(timing), extra
        extra = {k: float(v) for k, v in kv.items() if k != "seconds" and re.match(r"^[\d.]+$", v)}
        return float(kv["seconds"]), extra

    # -- verification

    def verify(self, profile, contender):
        medium_dir, entries = self.media[profile]
        dest = self.dest(contender)
        problems = []
        for e in entries:
            path = os.path.join(dest, e["file"])
            if not os.path.isfile(path):
                problems.append(f"missing {e['file']}")
            elif os.path.getsize(path) != e["size"]:
                problems.append(f"size of {e['file']}")
            elif sha256_file(path) != e["sha256"]:
                problems.append(f"content of {e['file']}")
            if len(problems) > 5:
                break
        if contender != "cp" and not problems:
            folder = os.path.join(self.wine.programs_dir(), self.folder_name(contender))
            win_dest = win(f"bench/dest-{contender}")
            sample = set(random.Random(f"{profile}{contender}{time.time()}").sample(
                range(len(entries)), min(self.args.lnkinfo_sample, len(entries))))
            if self.args.lnkinfo_sample < 0:
                sample = set(range(len(entries)))
            for i, e in enumerate(entries):
                path = os.path.join(folder, e["shortcut"] + ".lnk")
                want = {"target": win_dest + "\\" + e["file"], "description": DESCRIPTION,
                        "workdir": win_dest}
                try:
                    got = {k: (v or "").rstrip("\0") for k, v in lnk.read(path).items()}
                except (OSError, ValueError, IndexError) as exc:
                    problems.append(f"link {e['shortcut']}: {exc}")
                    continue
                if {k: v.lower() for k, v in got.items()} != \
                        {k: v.lower() for k, v in want.items()}:
                    problems.append(f"link {e['shortcut']}: {got}")
                if i in sample:
                    independent, _ = winetools.lnkinfo(path)
                    self.lnkinfo_checked += 1
                    if independent != got:
                        problems.append(f"lnkinfo disagrees on {e['shortcut']}: {independent}")
                if len(problems) > 5:
                    break
        return problems

    # -- the rounds

    def rounds(self):
        order = [c for c in CONTENDERS if c in self.args.contenders]
        for rnd in range(self.args.rounds):
            for profile in self.args.profiles:
                shift = rnd % len(order)
                for contender in order[shift:] + order[:shift]:
                    self.clean(contender)
                    os.sync()  # earlier runs' writes must not land in this one
                    try:
                        seconds, extra = self.run_one(profile, contender)
                        problems = self.verify(profile, contender)
                    except (RuntimeError, subprocess.SubprocessError, OSError) as exc:
                        seconds, extra, problems = None, {}, [str(exc)]
                    self.clean(contender)
                    if problems:
                        self.failures.append((profile, contender, rnd + 1, "; ".join(problems)))
                        log(f"round {rnd + 1} {profile:5} {LABELS[contender]:24} FAILED: "
                            f"{'; '.join(problems)[:400]}")
                        continue
                    self.results.setdefault(profile, {}).setdefault(contender, []).append(seconds)
                    self.extra.setdefault(profile, {}).setdefault(contender, []).append(extra)
                    log(f"round {rnd + 1} {profile:5} {LABELS[contender]:24} {seconds:8.3f} s "
                        f"verified")
            if "install" in self.args.contenders:
                self.startup_round()
        os.sync()

    def startup_round(self):
        win_medium = win(f"bench/media/{self.args.profiles[0]}")
        for i in range(self.args.startup_samples):
            pair = [("install", "INSTALL.EXE"), ("noop", "bench_noop_dialog.exe")]
            if i % 2:
                pair.reverse()
            for key, exe in pair:
                r = self.wine.run([self.win_bin + "\\bench_drive.exe", "startup",
                                   self.win_bin + "\\" + exe, win_medium, INSTALL_CAPTION],
                                  timeout=120)
                kv = parse_kv(r.stdout)
                if r.returncode == 0 and "seconds" in kv:
                    self.startup[key].append(float(kv["seconds"]))
                else:
                    self.failures.append(("start-up", key, 0, (r.stderr or r.stdout).strip()))

    # -- the other figures

    def exe_facts(self):
        path = self.exes["install"]
        size = os.path.getsize(path)
        objdump = "i686-w64-mingw32-objdump" if WINE_ARCH == "win32" else "x86_64-w64-mingw32-objdump"
        out = subprocess.run([objdump, "-p", path], capture_output=True,
                             text=True, timeout=60).stdout
        dlls = sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", out)})
        foreign = [d for d in dlls if d not in WINDOWS_DLLS]
        return {"size": size, "dlls": dlls, "foreign": foreign}

    def load_manifest(self):
        exe = os.path.join(NATIVE_BUILD, "bench", "bench_load_manifest")
        if not os.path.exists(exe):
            return None
        out = subprocess.run([exe], capture_output=True, text=True, timeout=600)
        if out.returncode != 0:
            return {"error": out.stderr.strip()}
        rows = [parse_kv(line) for line in out.stdout.splitlines() if line.startswith("entries=")]
        summary = parse_kv(out.stdout.splitlines()[-1])
        return {"rows": rows, "linear": summary.get("linear"), "ratio": summary.get("ratio")}


# ---------------------------------------------------------------- report

def median(values):
    return statistics.median(values) if values else None


def report(bench, exe, manifest, elapsed):
    a = bench.args
    lines = []
    add = lines.append
    add("")
    add(f"Installer benchmark  {datetime.datetime.now():%Y-%m-%d %H:%M}  "
        f"rounds={a.rounds}  ({elapsed / 60:.1f} min)  nice={a.nice}  "
        f"load average {bench.load_before:.1f} before, {os.getloadavg()[0]:.1f} after "
        f"({os.cpu_count()} cores)")
    add("Times are seconds of the job alone: INSTALL.EXE from the Install click to the "
        "completion box;")
    add("floors from the manifest read to the last link (window variants: to their completion box "
        "on the screen);")
    add("NSIS its one section; cp -r the whole copy.")
    add("Every counted run was verified (sizes + SHA-256 of every file; target, description "
        "and working")
    add(f"directory of every link, {bench.lnkinfo_checked} of them also read back with "
        "lnkinfo).")
    add("")
    header = (f"{'profile':<7} {'contender':<24} {'runs':>4} {'min':>8} {'median':>8} "
              f"{'/ floor':>8} {'/ floor+win':>11} {'/ NSIS':>8}")
    add(header)
    add("-" * len(header))
    targets = []
    for profile in a.profiles:
        res = bench.results.get(profile, {})
        fl = median(res.get("floor", []))
        fw = median(res.get("floor_window", []))
        ns = median(res.get("nsis", []))
        desc = media.PROFILES[profile][0]
        add(f"{profile:<7} ({desc})")
        for c in CONTENDERS:
            if c not in a.contenders:
                continue
            vals = res.get(c, [])
            med = median(vals)
            r_fl = med / fl if med is not None and fl else None
            r_fw = med / fw if med is not None and fw else None
            r_ns = med / ns if med is not None and ns else None
            add(f"{'':<7} {LABELS[c]:<24} {len(vals):>4} {fmt_s(min(vals) if vals else None):>8} "
                f"{fmt_s(med):>8} {fmt_ratio(r_fl):>8} {fmt_ratio(r_fw):>11} {fmt_ratio(r_ns):>8}")
            if c == "install":
                # The whole window (creating, drawing, the completion box) against
                # the bare work: what the user waits for because of the window.
                targets.append((f"{profile}: INSTALL.EXE <= 1.10 x floor, no window",
                                r_fl, r_fl is not None and r_fl <= 1.10))
                targets.append((f"{profile}: INSTALL.EXE <= 1.05 x floor+window",
                                r_fw, r_fw is not None and r_fw <= 1.05))
                if profile in ("small", "mixed"):
                    targets.append((f"{profile}: INSTALL.EXE <= 0.90 x NSIS", r_ns,
                                    r_ns is not None and r_ns <= 0.90))
        paint = median(res.get("floor_paint", []))
        if paint is not None and fw:
            targets.append((f"{profile}: keeping windows painted costs < 5 % "
                            "(floor+window+paint / floor+window)", paint / fw, paint / fw < 1.05))
    add("")
    su_i, su_n = median(bench.startup["install"]), median(bench.startup["noop"])
    if su_i is not None and su_n:
        add(f"Start-up to dialog shown (medians of {len(bench.startup['install'])} / "
            f"{len(bench.startup['noop'])}): INSTALL.EXE {su_i * 1000:.1f} ms, "
            f"no-op dialog {su_n * 1000:.1f} ms, ratio {su_i / su_n:.3f}")
        targets.append(("start-up <= 1.2 x no-op dialog", su_i / su_n, su_i / su_n <= 1.2))
    add(f"INSTALL.EXE ({WINE_ARCH} build): {exe['size']} bytes ({exe['size'] / 1024:.1f} KiB); "
        f"imports {', '.join(exe['dlls'])}")
    if WINE_ARCH == "win32":
        targets.append(("INSTALL.EXE <= 192 KiB", exe["size"] / MAX_EXE_BYTES,
                        exe["size"] <= MAX_EXE_BYTES))
    else:
        targets.append(("INSTALL.EXE <= 192 KiB (the 32-bit product)", None, False))
    targets.append(("no runtime DLL beyond Windows' own", None, not exe["foreign"]))
    if manifest and "rows" in manifest:
        add("LoadManifest (native Debug build, in-memory headless platform; the model's own "
            "file lookups alone take")
        add("  " + ", ".join(f"{float(r['platform']) / float(r['seconds']) * 100:.0f} %"
                             for r in manifest["rows"]) + " of these times): " + ", ".join(
            f"{int(r['entries']):,} entries {float(r['seconds']) * 1000:.1f} ms "
            f"({float(r['ns_per_entry']) / 1000:.1f} us/entry)" for r in manifest["rows"]))
        targets.append(("LoadManifest linear (per-entry cost 100k / 1k < 3)",
                        float(manifest["ratio"]), manifest["linear"] == "yes"))
    elif manifest:
        add(f"LoadManifest: {manifest['error']}")
    add("")
    add("Targets (medians, same run):")
    for name, value, ok in targets:
        if value is None and "DLL" not in name:
            add(f"  [ -- ] {name}: not measured in this run")
            continue
        add(f"  [{'met ' if ok else 'MISS'}] {name}"
            + (f": {value:.3f}" if value is not None else ""))
    if bench.failures:
        add("")
        add(f"Failed or unverified runs ({len(bench.failures)}), not counted:")
        for profile, c, rnd, why in bench.failures:
            add(f"  {profile} {LABELS.get(c, c)} round {rnd}: {why[:300]}")
    add("")
    add("Wine settings of this run:")
    for setting, reason in bench.wine.settings():
        add(f"  - {setting}: {reason}")
    return "\n".join(lines)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--rounds", type=int, default=3, help="interleaved rounds (default 3)")
    p.add_argument("--quick", action="store_true",
                   help="one round and fewer start-up samples: a check, not a measurement")
    p.add_argument("--profiles", default=",".join(PROFILE_ORDER),
                   help="comma-separated subset of small,mixed,large")
    p.add_argument("--contenders", default=",".join(CONTENDERS),
                   help="comma-separated subset of " + ",".join(CONTENDERS))
    p.add_argument("--startup-samples", type=int, default=10,
                   help="start-up pairs per round (default 10)")
    p.add_argument("--lnkinfo-sample", type=int, default=25,
                   help="links per run also read with lnkinfo (-1: all)")
    p.add_argument("--state", default=os.path.join(ROOT, "build", "bench", "wine-state"),
                   help="private Wine state directory")
    p.add_argument("--out", default=os.path.join(ROOT, "build", "bench", "results"),
                   help="directory for the table and the raw figures")
    p.add_argument("--nice", type=int, default=-10 if os.geteuid() == 0 else 0,
                   help="scheduling priority of the benchmark and of its Wine processes "
                        "(default -10 as root: other load on the machine disturbs less)")
    p.add_argument("--keep-wine", action="store_true", help="leave Xvfb and wineserver running")
    a = p.parse_args()
    if a.quick:
        a.rounds = 1
        a.startup_samples = min(a.startup_samples, 4)
    a.profiles = [x for x in a.profiles.split(",") if x]
    a.contenders = [x for x in a.contenders.split(",") if x]
    for x in a.profiles:
        if x not in media.PROFILES:
            p.error(f"unknown profile {x}")
    for x in a.contenders:
        if x not in CONTENDERS:
            p.error(f"unknown contender {x}")
    if WINE_ARCH != "win32" and "nsis" in a.contenders:
        a.contenders.remove("nsis")
        log("the NSIS installer is a 32-bit program, which this machine cannot run: left out")
    if a.rounds < 1:
        p.error("--rounds must be at least 1")

    started = time.time()
    bench = Bench(a)
    try:
        bench.setup()
        bench.rounds()
    finally:
        if not a.keep_wine:
            bench.wine.stop()
    exe = bench.exe_facts()
    manifest = bench.load_manifest()
    text = report(bench, exe, manifest, time.time() - started)
    print(text)
    os.makedirs(a.out, exist_ok=True)
    stamp = datetime.datetime.now().strftime("%Y%m%d-%H%M%S")
    with open(os.path.join(a.out, f"bench-{stamp}.txt"), "w") as fh:
        fh.write(text + "\n")
    with open(os.path.join(a.out, f"bench-{stamp}.json"), "w") as fh:
        json.dump({"args": vars(a), "results": bench.results, "extra": bench.extra,
                   "startup": bench.startup, "failures": bench.failures, "exe": exe,
                   "load_manifest": manifest}, fh, indent=1)
    return 1 if bench.failures else 0


if __name__ == "__main__":
    sys.exit(main())
