#!/usr/bin/env python3
"""End-to-end scenarios: the real INSTALL.EXE under Wine, driven by e2e_driver.

Each scenario builds a medium in a temporary directory, prepares the Wine
prefix (the Programs folder, the stand-in Notepad), runs the driver with a
script of steps, and judges what the driver saw (its transcript) together with
the files and shortcuts left in the prefix, read back from the Linux side
(shortcuts with lnkinfo, an independent parser of .lnk files).

    run_e2e.py --list
    run_e2e.py --scenario NAME --env STATEDIR/env --installer INSTALL.EXE \
               --driver e2e_driver.exe --notepad e2e_notepad.exe \
               --directx e2e_directx.exe --sample-program brackenvue.exe

Exit code 0: passed; 1: failed; 77: skipped (the scenario cannot be set up on
this machine).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77

DIALOG_CAPTION = "Brackenvue Installation"
DEFAULT_DIR = "C:\\Program Files\\Brackenvue"
DEFAULT_FOLDER = "Brackenvue"
APP_NAME = "INSTALL"  # message-box caption: INSTALL.EXE without its extension

COMPLETE_TEXT = ("The installation is complete. To run Brackenvue, choose\n"
                 "Start Menu, then Programs, then Brackenvue.")
README_TEXT = ("Information about the new release will now be displayed.\n"
               "Please read it! Please! Pleeeeeease!")
DIRECTX_TEXT = ("DirectX is required to run Brackenvue. Do you want\n"
                "to install it now? If you aren't sure, press Yes -\n"
                "it won't harm anything if DirectX is already installed.")
NOT_COMPLETED_TEXT = "The installation could not be completed."
PROGRAMS_UNREADABLE_TEXT = "I couldn't read the Programs Directory."


class Failed(Exception):
    pass


class Skipped(Exception):
    pass


def check(cond, message):
    if not cond:
        raise Failed(message)


# ---- transcript -------------------------------------------------------------

TOKEN = re.compile(r'(\w+)=("(?:[^"\\]|\\.)*"|\S*)')


def unquote(value):
    if not value.startswith('"'):
        return value
    out = []
    s = value[1:-1]
    i = 0
    while i < len(s):
        c = s[i]
        if c == "\\" and i + 1 < len(s):
            n = s[i + 1]
            if n == "n":
                out.append("\n")
            elif n == "r":
                out.append("\r")
            elif n == "x":
                out.append(chr(int(s[i + 2:i + 4], 16)))
                i += 2
            else:
                out.append(n)
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


class Event(dict):
    def __init__(self, line):
        super().__init__()
        self.line = line
        head, _, rest = line.partition(" ")
        self.kind = head
        # "progress shown ..." and "dialog hidden ...": the second word is part of the kind.
        word, _, tail = rest.partition(" ")
        if word and "=" not in word and head in ("progress", "dialog", "key"):
            self.kind = head + " " + word
            rest = tail
        for m in TOKEN.finditer(rest):
            self[m.group(1)] = unquote(m.group(2))

    def t(self):
        return int(self["t"])


def parse_transcript(text):
    return [Event(line) for line in text.splitlines() if line.strip()]


def describe(events):
    return "\n".join("    " + e.line for e in events)


# ---- paths between Linux and the prefix ---------------------------------------

def to_windows(path):
    """A Linux path as Wine sees it through drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Prefix:
    def __init__(self, env):
        self.env = env
        self.root = env["WINEPREFIX"]

    def linux(self, windows_path):
        """The Linux path of a C: path of the prefix."""
        check(windows_path[:2].upper() == "C:", "not a C: path: " + windows_path)
        rest = windows_path[2:].replace("\\", "/").lstrip("/")
        return os.path.join(self.root, "drive_c", rest)


# ---- the scenario runner ------------------------------------------------------

class Runner:
    def __init__(self, args):
        self.args = args
        self.env = load_env(args.env)
        self.prefix = Prefix(self.env)
        self.work = tempfile.mkdtemp(prefix="e2e-")
        self.records = os.path.join(self.work, "records")
        os.makedirs(self.records)
        self.env["E2E_RECORD_DIR"] = to_windows(self.records)
        info = self.wine_driver(["--info"], timeout=60)[1]
        fields = dict(line.split("=", 1) for line in info.splitlines() if "=" in line)
        self.programs_win = fields["programs"].strip()
        self.windir_win = fields["windir"].strip()
        self.programs = self.prefix.linux(self.programs_win)
        self.cleanup_paths = []
        self.restore_programs()
        # Notepad from the Windows directory is the stand-in: it records its
        # command line instead of opening a window.
        shutil.copyfile(args.notepad, self.prefix.linux(self.windir_win + "\\notepad.exe"))

    def close(self):
        self.restore_programs()
        for p in self.cleanup_paths:
            remove(p)
        shutil.rmtree(self.work, ignore_errors=True)

    # -- Wine

    def wine_driver(self, argv, timeout):
        """Runs the driver under Wine; returns (exit code, stdout, stderr).

        Its output goes to files, not pipes: Wine's own background processes
        (services, explorer), started with the first program of a prefix,
        inherit the descriptors and would hold a pipe open for the wineserver's
        whole life.
        """
        out_path = os.path.join(self.work, "driver.out")
        err_path = os.path.join(self.work, "driver.err")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            try:
                proc = subprocess.run(["wine", self.args.driver] + argv, env=self.env, stdin=subprocess.DEVNULL,
                                      stdout=out, stderr=err, timeout=timeout)
                rc = proc.returncode
            except subprocess.TimeoutExpired:
                rc = None
        with open(out_path, "r", errors="replace") as f:
            stdout = f.read().replace("\r\n", "\n")
        with open(err_path, "r", errors="replace") as f:
            stderr = f.read()
        check(rc is not None, "the driver did not end within %d s:\n%s" % (timeout, stdout))
        return rc, stdout, stderr

    def drive(self, medium, steps, timeout=60):
        """Runs INSTALL.EXE from the medium through the driver; returns the events."""
        installer = os.path.join(medium, "INSTALL.EXE")
        shutil.copyfile(self.args.installer, installer)
        script = os.path.join(self.work, "script.txt")
        with open(script, "w") as f:
            f.write("\n".join(steps) + "\n")
        rc, stdout, stderr = self.wine_driver(["--exe", to_windows(installer), "--medium", to_windows(medium),
                                               "--script", to_windows(script), "--timeout", str(timeout)],
                                              timeout=timeout + 30)
        print("--- transcript")
        print(stdout.rstrip())
        if stderr.strip():
            print("--- driver stderr")
            print(stderr.rstrip())
        events = parse_transcript(stdout)
        check(rc == 0 and events and events[-1].kind == "done", "the driver failed (exit %d)" % rc)
        return events

    # -- the prefix

    def restore_programs(self):
        """Undoes what the unreadable-folder scenario does, even after a crash."""
        saved = self.programs + ".e2e-saved"
        if os.path.isdir(saved):
            remove(self.programs)
            os.rename(saved, self.programs)
        os.makedirs(self.programs, exist_ok=True)

    def clean_install(self, install_dir_win=DEFAULT_DIR, folder=DEFAULT_FOLDER):
        """Removes what an installation left, now and after the scenario."""
        paths = [self.prefix.linux(install_dir_win), os.path.join(self.programs, folder)]
        for p in paths:
            remove(p)
        self.cleanup_paths += paths

    def snapshot(self):
        """Every path under drive_c with its size and modification time."""
        root = os.path.join(self.prefix.root, "drive_c")
        state = {}
        for d, dirs, files in os.walk(root):
            rel = os.path.relpath(d, root)
            if rel.split(os.sep)[0] in ("windows",) and "temp" in rel.lower():
                continue
            for name in dirs + files:
                p = os.path.join(d, name)
                try:
                    st = os.lstat(p)
                except OSError:
                    continue
                state[os.path.relpath(p, root)] = (st.st_size, st.st_mtime_ns)
        return state

    # -- records of the stand-ins

    def record(self, name, wait_for_end=True):
        """The stand-in's record as a dict, or None if it never ran."""
        path = os.path.join(self.records, name + ".txt")
        deadline = time.time() + 15
        while True:
            lines = []
            if os.path.exists(path):
                with open(path, "r", errors="replace") as f:
                    lines = f.read().splitlines()
            if not wait_for_end or any(l.startswith("end=") for l in lines) or time.time() > deadline:
                break
            if not lines and time.time() > deadline - 13:
                break  # nothing started within two seconds: it never ran
            time.sleep(0.1)
        if not lines:
            return None
        rec = {"starts": sum(1 for l in lines if l.startswith("cmdline="))}
        for l in lines:
            k, _, v = l.partition("=")
            rec.setdefault(k, v)
        return rec


def load_env(env_file):
    check(os.path.exists(env_file), "no Wine environment: %s is missing" % env_file)
    out = subprocess.run(["bash", "-c", 'set -a; . "$1"; env -0', "env", env_file],
                         stdout=subprocess.PIPE, check=True).stdout
    env = {}
    for item in out.split(b"\0"):
        if b"=" in item:
            k, _, v = item.partition(b"=")
            env[k.decode()] = v.decode(errors="replace")
    return env


def remove(path):
    if os.path.islink(path) or os.path.isfile(path):
        os.remove(path)
    elif os.path.isdir(path):
        shutil.rmtree(path)


# ---- media --------------------------------------------------------------------

class Medium:
    """A distribution directory: setup.inf and the files it lists."""

    def __init__(self, runner, name="medium"):
        self.runner = runner
        self.dir = os.path.join(runner.work, name)
        os.makedirs(self.dir)
        self.entries = []  # (file name, shortcut name)
        self.directives = []

    def path(self, name):
        """The Linux path of a name as the manifest spells it ("data\\levels.dat")."""
        return os.path.join(self.dir, *name.split("\\"))

    def add(self, name, shortcut, data=None, source=None, listed=True, present=True):
        path = self.path(name)
        if present:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if source:
                shutil.copyfile(source, path)
            else:
                with open(path, "wb") as f:
                    f.write(data if data is not None else ("%s\r\n" % name).encode() * 40)
        if listed:
            self.entries.append((name, shortcut))
        return path

    def put(self, name, source):
        shutil.copyfile(source, os.path.join(self.dir, name))

    def write_manifest(self, head=b""):
        """head: bytes before the count line (a byte-order mark)."""
        lines = [str(len(self.entries))]
        lines += ["%s %s" % e for e in self.entries]
        lines += self.directives
        # CR LF line ends, as a medium prepared on Windows has them.
        with open(os.path.join(self.dir, "setup.inf"), "wb") as f:
            f.write(head + ("\r\n".join(lines) + "\r\n").encode())


def standard_medium(runner, readme=True, directx=False):
    m = Medium(runner)
    m.add("brackenvue.exe", "Brackenvue", source=runner.args.sample_program)
    m.add("readme.txt", "Read Me", data=b"Brackenvue release notes.\r\n" * 20)
    m.add("sample.dat", "Sample Data", data=bytes(range(256)) * 64)
    if readme:
        m.directives.append(".readme readme.txt")
    if directx:
        m.directives.append(".directx")
        m.put("directx.exe", runner.args.directx)
    m.write_manifest()
    return m


# ---- judging ------------------------------------------------------------------

def boxes(events):
    return [e for e in events if e.kind == "box"]


def expect_boxes(events, expected):
    """expected: list of dicts of box fields; each box must match in order."""
    got = boxes(events)
    msg = "message boxes differ.\n  expected:\n%s\n  saw:\n%s" % (
        "\n".join("    %r" % e for e in expected), describe(got) or "    (none)")
    check(len(got) == len(expected), msg)
    for g, e in zip(got, expected):
        for k, v in e.items():
            check(g.get(k) == v, msg + "\n  first difference: %s is %r, expected %r" % (k, g.get(k), v))


def error_box(text):
    # ShowErrorBox: no owner, so the dialog behind it stays enabled.
    return {"caption": "Error", "owner": "none", "buttons": "ok", "icon": "error", "text": text}


def app_box(text, icon="none", buttons="ok"):
    # A framework box: owned by the install dialog, captioned with the program's name.
    return {"caption": APP_NAME, "owner": "dialog", "buttons": buttons, "icon": icon, "text": text}


def first(events, kind, **fields):
    for e in events:
        if e.kind == kind and all(e.get(k) == v for k, v in fields.items()):
            return e
    return None


def expect_exit(events):
    check(first(events, "exit") is not None, "the installer did not end")


def expect_progress_protocol(events, entries):
    """The progress window came and went before any box, owned by the dialog."""
    shown = first(events, "progress shown")
    gone = first(events, "progress gone")
    check(shown is not None, "no progress window was seen")
    check(shown["owner"] == "dialog", "the progress window's owner is %s, not the install dialog" % shown["owner"])
    check(gone is not None, "the progress window never went away")
    box = boxes(events)[0] if boxes(events) else None
    if box:
        check(gone.t() <= box.t(), "the progress window was still there when the first box came")
    for r in (e for e in events if e.kind == "progress" and "range" in e):
        check(r["range"] == "0..%d" % (2 * entries), "progress range %s, expected 0..%d" % (r["range"], 2 * entries))
    positions = [int(e["pos"]) for e in events if e.kind == "progress" and "pos" in e]
    check(positions == sorted(positions), "the progress bar went backwards: %s" % positions)
    check(all(0 <= p <= 2 * entries for p in positions), "progress positions out of range: %s" % positions)
    statuses = [e["status"] for e in events if e.kind == "progress" and "status" in e]
    # A sample taken while the window is being destroyed reads an empty text:
    # only the empty status before the run sets the first one counts.
    first_set = next((i for i, s in enumerate(statuses) if s), len(statuses))
    statuses = statuses[:first_set] + [s for s in statuses[first_set:] if s]
    allowed = ["", "Copying files...", "Creating shortcuts..."]
    check(all(s in allowed for s in statuses), "unexpected status texts: %s" % statuses)
    check(statuses == sorted(statuses, key=allowed.index), "status texts out of order: %s" % statuses)


def lnkinfo(path):
    out = subprocess.run(["lnkinfo", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         text=True, errors="replace", timeout=30).stdout
    fields = {}
    for line in out.splitlines():
        m = re.match(r"\s*(Local path|Description|Working directory)\s*:\s?(.*)$", line)
        if m:
            fields[m.group(1)] = m.group(2).rstrip()
    return fields, out


def expect_installed(runner, medium, install_dir_win, folder):
    """Every listed file copied unchanged; one link per file with the right properties."""
    inst = runner.prefix.linux(install_dir_win)
    program_folder = os.path.join(runner.programs, *folder.split("\\"))
    for name, shortcut in medium.entries:
        src = medium.path(name)
        dst = os.path.join(inst, *name.split("\\"))
        check(os.path.isfile(dst), "%s was not installed" % dst)
        with open(src, "rb") as a, open(dst, "rb") as b:
            check(a.read() == b.read(), "%s differs from the medium's copy" % dst)
        link = os.path.join(program_folder, *(shortcut + ".lnk").split("\\"))
        check(os.path.isfile(link), "no shortcut %s" % link)
        fields, raw = lnkinfo(link)
        target = install_dir_win + "\\" + name
        # The target's own folder: the installation directory, or the
        # entry's folder under it.
        want = {"Local path": target,
                "Description": "Brackenvue",
                "Working directory": target.rsplit("\\", 1)[0]}
        for k, v in want.items():
            check(fields.get(k) == v, "shortcut %s: %s is %r, expected %r\n%s" % (link, k, fields.get(k), v, raw))
    links = sorted(os.path.relpath(os.path.join(d, f), program_folder).replace(os.sep, "\\")
                   for d, _, files in os.walk(program_folder) for f in files)
    check(links == sorted(s + ".lnk" for _, s in medium.entries), "unexpected files in the program folder: %s" % links)


def expect_nothing_written(before, after):
    added = sorted(set(after) - set(before))
    changed = sorted(p for p in set(after) & set(before) if after[p] != before[p])
    check(not added and not changed, "files were written: added %s, changed %s" % (added[:10], changed[:10]))


# ---- scenarios ----------------------------------------------------------------

SCENARIOS = {}


def scenario(fn):
    SCENARIOS[fn.__name__] = fn
    return fn


@scenario
def startup(r):
    """Listing sorted without "." folders or files, the defaults, no selection, focus on the directory field."""
    r.clean_install()
    made = ["zeta", "Alpha", "beta", ".cache", "Brackenvue"]
    for name in made:
        os.makedirs(os.path.join(r.programs, name), exist_ok=True)
    open(os.path.join(r.programs, "Notepad.lnk"), "wb").close()
    r.cleanup_paths += [os.path.join(r.programs, n) for n in made + ["Notepad.lnk"]]
    m = standard_medium(r)
    before = r.snapshot()
    ev = r.drive(m.dir, ["wait-dialog", "dump", "click 2", "wait-exit"])
    d = first(ev, "dialog")
    check(d["caption"] == DIALOG_CAPTION and d["owner"] == "none", "dialog: %s" % d.line)
    check(first(ev, "field")["text"] == DEFAULT_DIR, "directory field: %s" % first(ev, "field").line)
    combo = first(ev, "combo")
    check(combo["text"] == DEFAULT_FOLDER, "program folder text: %s" % combo.line)
    check(combo["cursel"] == "-1", "a list item is selected: %s" % combo.line)
    items = [e["text"] for e in ev if e.kind == "item"]
    on_disk = [n for n in os.listdir(r.programs)
               if os.path.isdir(os.path.join(r.programs, n)) and not n.startswith(".")]
    check(items == sorted(on_disk, key=str.lower),
          "the list is %s; the Programs folder holds %s" % (items, sorted(on_disk, key=str.lower)))
    check([i for i in items if i in ("Alpha", "beta", "zeta")] == ["Alpha", "beta", "zeta"],
          "Alpha, beta, zeta not listed in this order: %s" % items)
    check("Brackenvue" in items, "the existing Brackenvue folder is not listed")
    check(".cache" not in items and "Notepad.lnk" not in items, "a dot folder or a file is listed: %s" % items)
    check(first(ev, "focus")["id"] == "1000", "the focus is on %s, not the directory field" % first(ev, "focus")["id"])
    expect_boxes(ev, [])
    expect_exit(ev)
    expect_nothing_written(before, r.snapshot())


def exit_scenario(steps):
    def run(r):
        r.clean_install()
        m = standard_medium(r)
        before = r.snapshot()
        ev = r.drive(m.dir, ["wait-dialog"] + steps + ["wait-exit"])
        expect_boxes(ev, [])
        check(first(ev, "progress shown") is None, "an installation started")
        expect_exit(ev)
        expect_nothing_written(before, r.snapshot())
        check(r.record("notepad", wait_for_end=False) is None, "Notepad was started")
    return run


SCENARIOS["exit_button"] = exit_scenario(["click 2"])
SCENARIOS["exit_escape"] = exit_scenario(["key 0 escape"])
SCENARIOS["exit_close_box"] = exit_scenario(["close"])


@scenario
def install_readme(r):
    """A complete installation with the defaults, started with ENTER in the directory field."""
    r.clean_install()
    m = standard_medium(r)
    # Notepad takes its time, so that an installer waiting for it would show.
    r.env["E2E_NOTEPAD_SLEEP_MS"] = "3000"
    ev = r.drive(m.dir, ["wait-dialog", "key 1000 enter", "box ok", "box ok", "wait-exit"])
    expect_boxes(ev, [app_box(COMPLETE_TEXT, icon="information"), app_box(README_TEXT)])
    check(all(b["dialog_enabled"] == "0" for b in boxes(ev)), "the dialog was not disabled by its own boxes")
    expect_progress_protocol(ev, len(m.entries))
    expect_exit(ev)
    hidden = first(ev, "dialog hidden")
    check(hidden and hidden.t() >= boxes(ev)[1].t(), "the dialog ended before the readme notice")
    expect_installed(r, m, DEFAULT_DIR, DEFAULT_FOLDER)
    rec = r.record("notepad")
    check(rec is not None, "Notepad was not started")
    want = r.windir_win + "\\notepad.exe " + DEFAULT_DIR + "\\readme.txt"
    check(rec["cmdline"] == want, "Notepad's command line is %r, expected %r" % (rec["cmdline"], want))
    check(rec["starts"] == 1, "Notepad was started %d times" % rec["starts"])
    check(int(rec["start"]) >= boxes(ev)[1].t(), "Notepad started before the readme notice was shown")
    check(first(ev, "exit").t() < int(rec["end"]), "the installer waited for Notepad to end")
    check(r.record("directx", wait_for_end=False) is None, "directx.exe was started")


@scenario
def install_directx_yes(r):
    """DirectX answered Yes: the installer runs directx.exe from the medium and waits for it."""
    r.clean_install()
    m = standard_medium(r, readme=True, directx=True)
    ev = r.drive(m.dir, ["wait-dialog", "click 1006", "box ok", "box yes", "wait-exit"])
    # With DirectX asked for, the readme is neither announced nor opened.
    expect_boxes(ev, [app_box(COMPLETE_TEXT, icon="information"), app_box(DIRECTX_TEXT, buttons="yes,no")])
    expect_exit(ev)
    expect_installed(r, m, DEFAULT_DIR, DEFAULT_FOLDER)
    rec = r.record("directx")
    check(rec is not None, "directx.exe was not started")
    check(rec["cmdline"] == "directx.exe", "directx.exe's command line is %r" % rec["cmdline"])
    check(rec["cwd"].rstrip("\\").lower() == to_windows(m.dir).lower(),
          "directx.exe ran in %r, not on the medium" % rec["cwd"])
    answered = [e for e in ev if e.kind == "answer"][-1]
    hidden = first(ev, "dialog hidden")
    check(int(rec["start"]) >= answered.t(), "directx.exe started before the question was answered")
    check(hidden is not None and hidden.t() >= int(rec["end"]),
          "the dialog ended before directx.exe did (ended %s, directx.exe %s..%s)"
          % (hidden and hidden.t(), rec["start"], rec["end"]))
    check(r.record("notepad", wait_for_end=False) is None, "Notepad was started although DirectX was asked for")


@scenario
def install_directx_no(r):
    """DirectX answered No; ENTER in the program-folder box; a chosen directory and a nested folder."""
    install_dir = "C:\\Games\\Bv e2e"
    folder = "Games\\Brackenvue e2e"
    r.clean_install(install_dir, folder.split("\\")[0])
    r.clean_install("C:\\Games", "Games")
    m = standard_medium(r, readme=False, directx=True)
    ev = r.drive(m.dir, ["wait-dialog", "set 1000 " + install_dir + "\\", "set 1001 " + folder,
                         "key 1001 enter", "box ok", "box no", "wait-exit"])
    expect_boxes(ev, [app_box(COMPLETE_TEXT, icon="information"), app_box(DIRECTX_TEXT, buttons="yes,no")])
    expect_exit(ev)
    # One trailing backslash is dropped from the directory.
    expect_installed(r, m, install_dir, folder)
    check(r.record("directx", wait_for_end=False) is None, "directx.exe was started after No")
    check(r.record("notepad", wait_for_end=False) is None, "Notepad was started without a readme")


@scenario
def install_bom_manifest(r):
    """A setup.inf saved with a UTF-8 byte-order mark installs like one without."""
    r.clean_install()
    m = Medium(r)
    m.add("brackenvue.exe", "Brackenvue", source=r.args.sample_program)
    m.add("readme.txt", "Read Me", data=b"Brackenvue release notes.\r\n")
    m.directives.append(".readme readme.txt")
    m.write_manifest(head=b"\xef\xbb\xbf")
    ev = r.drive(m.dir, ["wait-dialog", "click 1006", "box ok", "box ok", "wait-exit"])
    expect_boxes(ev, [app_box(COMPLETE_TEXT, icon="information"), app_box(README_TEXT)])
    expect_progress_protocol(ev, len(m.entries))
    expect_exit(ev)
    expect_installed(r, m, DEFAULT_DIR, DEFAULT_FOLDER)
    rec = r.record("notepad")
    check(rec is not None and rec["cmdline"].endswith(DEFAULT_DIR + "\\readme.txt"),
          "Notepad was not started on the installed readme: %s" % rec)


@scenario
def install_subfolders(r):
    """An entry in a folder of the medium goes to that folder under the installation directory; a
    shortcut name with a folder gets that folder under the program folder."""
    r.clean_install()
    m = Medium(r)
    m.add("brackenvue.exe", "Brackenvue", source=r.args.sample_program)
    m.add("data\\levels.dat", "Levels", data=bytes(range(256)) * 8)
    m.add("docs\\en\\manual.txt", "Docs\\Manual", data=b"The manual.\r\n")
    m.write_manifest()
    ev = r.drive(m.dir, ["wait-dialog", "click 1006", "box ok", "wait-exit"])
    expect_boxes(ev, [app_box(COMPLETE_TEXT, icon="information")])
    expect_progress_protocol(ev, len(m.entries))
    expect_exit(ev)
    expect_installed(r, m, DEFAULT_DIR, DEFAULT_FOLDER)
    check(os.path.isdir(os.path.join(r.programs, DEFAULT_FOLDER, "Docs")), "no Docs folder in the program folder")


@scenario
def stop_then_retry(r):
    """A stop (result 0) leaves the dialog open as it was; a second try in the same process succeeds."""
    r.clean_install()
    blocker = r.prefix.linux("C:\\e2e-blocker")
    with open(blocker, "w") as f:
        f.write("a regular file where a directory is needed\n")
    r.cleanup_paths.append(blocker)
    bad_dir = "C:\\e2e-blocker\\Brackenvue"
    m = standard_medium(r)
    ev = r.drive(m.dir, ["wait-dialog", "set 1000 " + bad_dir, "set 1001 Brackenvue e2e",
                         "click 1006", "box ok", "idle 500", "dump",
                         "set 1000 " + DEFAULT_DIR, "set 1001 " + DEFAULT_FOLDER,
                         "click 1006", "box ok", "box ok", "wait-exit"])
    r.cleanup_paths.append(os.path.join(r.programs, "Brackenvue e2e"))
    stop_box = error_box("I couldn't create the program directory:\n%s\n" % bad_dir)
    expect_boxes(ev, [stop_box, app_box(COMPLETE_TEXT, icon="information"), app_box(README_TEXT)])
    first_box = boxes(ev)[0]
    check(first_box["dialog_visible"] == "1" and first_box["dialog_enabled"] == "1",
          "the Error box disabled or hid the dialog: %s" % first_box.line)
    # After the stop the fields keep the user's texts.
    check(first(ev, "field")["text"] == bad_dir, "the directory field changed: %s" % first(ev, "field").line)
    check(first(ev, "combo")["text"] == "Brackenvue e2e", "the folder text changed: %s" % first(ev, "combo").line)
    check(first(ev, "dialog", visible="1", enabled="1") is not None, "the dialog is not usable after the stop")
    shown = [e for e in ev if e.kind == "progress shown"]
    check(len(shown) == 1 and shown[0].t() > first_box.t(), "progress windows: %s" % describe(shown))
    expect_installed(r, m, DEFAULT_DIR, DEFAULT_FOLDER)
    check(os.path.isfile(blocker), "the blocking file was touched")
    # The run stopped at the installation directory, before the program folder.
    check(not os.path.exists(os.path.join(r.programs, "Brackenvue e2e")),
          "the stopped run created its program folder")


@scenario
def stop_no_space(r):
    """Not enough space on a small real disk: result 0, nothing written there, the dialog stays."""
    r.clean_install()
    disk = os.path.join(r.work, "small-disk")
    os.makedirs(disk)
    # A 1 MiB RAM disk, seen by Wine as drive X:.
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", disk],
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        raise Skipped("cannot mount a small tmpfs here (needs root)")
    drive = os.path.join(r.prefix.root, "dosdevices", "x:")
    try:
        remove(drive)
        os.symlink(disk, drive)
        m = Medium(r)
        m.add("brackenvue.exe", "Brackenvue", source=r.args.sample_program)
        # More than half of the disk: the check asks for twice the total.
        m.add("sample.dat", "Sample Data", data=b"\x5a" * (600 * 1024))
        m.write_manifest()
        ev = r.drive(m.dir, ["wait-dialog", "set 1000 X:\\Brackenvue", "click 1006", "box ok", "idle 300",
                             "click 2", "wait-exit"])
        left = os.listdir(disk)
    finally:
        remove(drive)
        subprocess.run(["umount", disk], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    expect_boxes(ev, [error_box("There is not enough space on the destination disk.\nPlease choose another location.")])
    check(boxes(ev)[0]["dialog_enabled"] == "1", "the Error box disabled the dialog")
    check(first(ev, "progress shown") is None, "the progress window opened although the space check failed")
    check(left == [], "files were written to the full disk: %s" % left)
    check(not os.path.exists(os.path.join(r.programs, DEFAULT_FOLDER)), "the program folder was created")
    expect_exit(ev)


@scenario
def failure_missing_file(r):
    """A listed file missing from the medium: result -1, two boxes in order, nothing written."""
    r.clean_install()
    m = Medium(r)
    m.add("brackenvue.exe", "Brackenvue", source=r.args.sample_program)
    m.add("missing.dat", "Missing", present=False)
    m.directives.append(".readme brackenvue.exe")
    m.write_manifest()
    before = r.snapshot()
    ev = r.drive(m.dir, ["wait-dialog", "click 1006", "box ok", "box ok", "wait-exit"])
    expect_boxes(ev, [error_box("I can't find the installation file 'missing.dat'"), app_box(NOT_COMPLETED_TEXT)])
    b1, b2 = boxes(ev)
    check(b1["dialog_visible"] == "1" and b1["dialog_enabled"] == "1",
          "the dialog was ended or disabled before the engine's message: %s" % b1.line)
    hidden = first(ev, "dialog hidden")
    check(hidden is not None and b1.t() <= hidden.t() <= b2.t(),
          "the dialog must end between the two boxes: %s" % (hidden and hidden.line))
    expect_exit(ev)
    expect_nothing_written(before, r.snapshot())
    check(r.record("notepad", wait_for_end=False) is None, "Notepad was started after a failure")


@scenario
def programs_unreadable(r):
    """The Programs folder cannot be listed: one Error box, the dialog never shows, nothing written."""
    r.clean_install()
    saved = r.programs + ".e2e-saved"
    os.rename(r.programs, saved)
    # A regular file in the folder's place: the shell still names the path,
    # but it cannot be listed.
    with open(r.programs, "w") as f:
        f.write("not a folder\n")
    m = standard_medium(r)
    try:
        before = r.snapshot()
        ev = r.drive(m.dir, ["box ok", "wait-exit"])
        after = r.snapshot()
    finally:
        r.restore_programs()
    expect_boxes(ev, [error_box(PROGRAMS_UNREADABLE_TEXT)])
    # Wine's DialogBox still shows a template with WS_VISIBLE for a moment
    # after EndDialog in WM_INITDIALOG, which Windows does not; what counts
    # is that the dialog never came up before or with the box, so the user
    # could never act on it.
    shown = first(ev, "dialog shown")
    answered = first(ev, "answer")
    check(shown is None or shown.t() >= answered.t(),
          "the install dialog was shown before the error box was answered: %s" % (shown and shown.line))
    check(boxes(ev)[0]["dialog_visible"] == "0", "the install dialog was on the screen with the box")
    expect_exit(ev)
    expect_nothing_written(before, after)


LARGE_FILE_BYTES = int(os.environ.get("E2E_LARGE_FILE_MB", "1536")) * 1024 * 1024


@scenario
def large_file_not_hung(r):
    """During a long copy the windows keep answering the system (not "Not Responding")."""
    r.clean_install()
    m = Medium(r)
    m.add("brackenvue.exe", "Brackenvue", source=r.args.sample_program)
    big = m.add("big.bin", "Big", data=b"")
    # A sparse file: costs no disk on the medium, but the copy writes it all.
    with open(big, "r+b") as f:
        f.truncate(LARGE_FILE_BYTES)
    m.write_manifest()
    try:
        ev = r.drive(m.dir, ["wait-dialog", "click 1006", "box ok", "wait-exit"], timeout=120)
    finally:
        remove(r.prefix.linux(DEFAULT_DIR + "\\big.bin"))
    expect_boxes(ev, [app_box(COMPLETE_TEXT, icon="information")])
    expect_progress_protocol(ev, 2)
    shown, gone = first(ev, "progress shown"), first(ev, "progress gone")
    duration = gone.t() - shown.t()
    resp = first(ev, "responsive")
    print("progress window up for %d ms; %s" % (duration, resp.line))
    # An installer that does not look at its queue during the copy answers
    # only when the copy is over: its slowest reply is about the whole copy.
    # One that pumps answers within its pump interval, plus a stall of the
    # disk now and then.
    limit = 2000
    if duration < 2 * limit:
        raise Skipped("the copy took only %d ms: too short to tell a responsive installer from a stuck one; "
                      "raise E2E_LARGE_FILE_MB" % duration)
    check(int(resp["samples"]) >= 3, "too few responsiveness samples: %s" % resp.line)
    check(resp["hung"] == "0", "the windows were reported hung during the copy: %s" % resp.line)
    check(int(resp["max_reply_ms"]) < limit,
          "the windows took %s ms to answer during a %d ms copy" % (resp["max_reply_ms"], duration))
    # The long copy gives time to read the window: the range for two entries,
    # and the first file counted while the second one is copied.
    check(first(ev, "progress", status="Copying files...") is not None, "\"Copying files...\" was never seen")
    check(first(ev, "progress", range="0..4") is not None, "the range 0..4 was never seen")
    check(first(ev, "progress", pos="1") is not None, "the position 1 was never seen during the long copy")
    expect_exit(ev)


# ---- main ---------------------------------------------------------------------

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
    args = ap.parse_args()
    if args.list:
        print(";".join(SCENARIOS))
        return 0
    if args.scenario not in SCENARIOS:
        print("unknown scenario %r; known: %s" % (args.scenario, ", ".join(SCENARIOS)), file=sys.stderr)
        return 2
    doc = SCENARIOS[args.scenario].__doc__
    print("scenario %s%s" % (args.scenario, ": " + doc if doc else ""))
    r = None
    try:
        r = Runner(args)
        SCENARIOS[args.scenario](r)
    except Failed as e:
        print("FAILED: %s" % e)
        return 1
    except Skipped as e:
        print("SKIPPED: %s" % e)
        return SKIP
    finally:
        if r:
            r.close()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
