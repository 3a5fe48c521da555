#!/usr/bin/env python3
"""Fault scenarios: the real INSTALL.EXE under Wine meeting faults that are
made real for the test (a drive that fills up, sizes over 4 GiB, a missing
drive, an unreadable listed file, a program folder that cannot be made, the
longest inputs, thousands of files, a DLL planted beside the program). Built
on run_e2e.py: the same driver, runner,
media and judging; each scenario is one test.

    faults_e2e.py --list
    faults_e2e.py --scenario NAME --env STATEDIR/env --installer INSTALL.EXE \
                  --driver e2e_driver.exe --notepad e2e_notepad.exe \
                  --directx e2e_directx.exe --sample-program brackenvue.exe \
                  --planted-dll faults_planted.dll --dll-probe faults_dll_probe.exe

Drives of a given size are tmpfs mounts mapped as Wine drive letters; they
need root (the tests run as root) and are unmounted whatever happens. Where
a mount is refused the scenario is skipped (exit code 77).
"""

import argparse
import contextlib
import os
import shutil
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_e2e as e2e  # noqa: E402
from run_e2e import Failed, Medium, app_box, boxes, check, error_box, first  # noqa: E402

NOT_ENOUGH_SPACE = "There is not enough space on the destination disk.\nPlease choose another location."
COMPLETE = e2e.COMPLETE_TEXT
KiB = 1024
MiB = 1024 * KiB
GiB = 1024 * MiB


class Skip(Exception):
    pass


# ---- drives made for a test -------------------------------------------------------

@contextlib.contextmanager
def tmpfs_drive(runner, letter, size_bytes):
    """A tmpfs of size_bytes mapped as drive LETTER: in the prefix; yields its Linux path.

    Unmapped and unmounted on the way out, also when the scenario fails."""
    mount_dir = os.path.join(runner.work, "drive-" + letter)
    link = os.path.join(runner.prefix.root, "dosdevices", letter + ":")
    os.makedirs(mount_dir)
    if os.path.lexists(link):
        # Left by a run that was killed (a timeout) before it could clean up:
        # these letters belong to these scenarios.
        stale = os.readlink(link)
        os.remove(link)
        if subprocess.run(["mountpoint", "-q", stale]).returncode == 0:
            subprocess.run(["umount", "-l", stale])
    size_kib = size_bytes // KiB
    res = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dk,mode=0755" % size_kib, "tmpfs", mount_dir],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if res.returncode != 0:
        os.rmdir(mount_dir)
        raise Skip("cannot mount a tmpfs here (%s)" % res.stdout.strip())
    try:
        os.symlink(mount_dir, link)
        try:
            yield mount_dir
        finally:
            os.remove(link)
    finally:
        if subprocess.run(["umount", mount_dir]).returncode != 0:
            subprocess.run(["umount", "-l", mount_dir])
        os.rmdir(mount_dir)


def free_bytes(path):
    st = os.statvfs(path)
    return st.f_bavail * st.f_frsize


def sparse(path, size):
    """A file of `size` bytes that costs no disk: the medium is only measured."""
    with open(path, "wb") as f:
        f.truncate(size)


def listing(root):
    """Every file under root with its size, relative to root."""
    out = {}
    for d, _, files in os.walk(root):
        for name in files:
            p = os.path.join(d, name)
            out[os.path.relpath(p, root)] = os.path.getsize(p)
    return out


def stop_then_exit(runner, medium, install_dir, folder=e2e.DEFAULT_FOLDER):
    """Install into install_dir; the run stops (result 0, the dialog stays); then Exit."""
    return runner.drive(medium.dir, ["wait-dialog", "set 1000 " + install_dir, "set 1001 " + folder,
                                     "click 1006", "box ok", "idle 300", "dump", "click 2", "wait-exit"])


def expect_stop(events, message):
    box = error_box(message)
    if len(message) > 200:
        # A box that wide runs off the Xvfb screen, where the driver cannot
        # see its icon to tell which one it is.
        del box["icon"]
    e2e.expect_boxes(events, [box])
    b = boxes(events)[0]
    check(b["dialog_visible"] == "1" and b["dialog_enabled"] == "1", "the dialog did not stay usable: %s" % b.line)
    check(first(events, "dialog", visible="1", enabled="1") is not None, "the dialog is not usable after the stop")
    e2e.expect_exit(events)


# ---- scenarios ---------------------------------------------------------------------

SCENARIOS = {}


def scenario(fn):
    SCENARIOS[fn.__name__] = fn
    return fn


@scenario
def faults_disk_fills_part_way(r):
    """The destination fills up in the middle of the last file: message, result 0, no half file."""
    # tmpfs gives every file at least one 4 KiB page, the space check counts
    # bytes (as every cluster-based file system does to a lesser degree). So
    # 420 files of one byte pass a check that wants twice 1 MiB + 420 bytes
    # of 2.5 MiB free, then take 1.64 MiB, and the 1 MiB file that follows
    # fits only partly.
    r.clean_install(folder="Brackenvue faults")
    m = Medium(r)
    small = ["s%03d.txt" % i for i in range(420)]
    for name in small:
        m.add(name, name, data=b"x")
    m.add("big.dat", "Big", data=bytes(range(256)) * (MiB // 256))
    m.write_manifest()
    total = len(small) + MiB
    with tmpfs_drive(r, "r", 2560 * KiB) as drive:
        free = free_bytes(drive)
        check(free >= 2 * total, "the test drive has %d bytes free, the check needs %d" % (free, 2 * total))
        ev = stop_then_exit(r, m, "R:\\Brackenvue", "Brackenvue faults")
        installed = listing(drive)
    expect_stop(ev, "I couldn't copy big.dat to R:\\Brackenvue\\big.dat.")
    e2e.expect_progress_protocol(ev, len(m.entries))
    check("Brackenvue/big.dat" not in installed,
          "a truncated big.dat of %s bytes was left under the installed name" % installed.get("Brackenvue/big.dat"))
    check(all(installed.get("Brackenvue/" + n) == 1 for n in small),
          "the files before big.dat were not all installed: %d of %d"
          % (sum(1 for n in small if installed.get("Brackenvue/" + n) == 1), len(small)))
    check(not os.path.exists(os.path.join(r.programs, "Brackenvue faults", "Big.lnk")), "a link was written")


@scenario
def faults_space_over_4gib_refused(r):
    """A medium of 4.5 GiB (sparse, files over 2 GiB) against a 3 GiB drive: the space message, nothing written."""
    # 4.5 GiB kept to 32 bits is 0.5 GiB, doubled 1 GiB: a 32-bit check would
    # pass on a 3 GiB drive and start copying.
    r.clean_install()
    m = Medium(r)
    m.add("brackenvue.exe", "Brackenvue", source=r.args.sample_program)
    sparse(m.add("data1.cab", "Data 1", data=b""), 5 * GiB // 2)
    sparse(m.add("data2.cab", "Data 2", data=b""), 2 * GiB)
    m.write_manifest()
    with tmpfs_drive(r, "s", 3 * GiB) as drive:
        ev = stop_then_exit(r, m, "S:\\Brackenvue")
        written = listing(drive)
        dirs = os.listdir(drive)
    expect_stop(ev, NOT_ENOUGH_SPACE)
    check(first(ev, "progress shown") is None, "the progress window was shown")
    check(not written and not dirs, "the refused run wrote to the drive: %s %s" % (dirs, written))


@scenario
def faults_space_over_4gib_free_accepted(r):
    """A drive with 4 GiB + 64 KiB free (a 32-bit figure would read 64 KiB) takes a 100 KiB medium."""
    r.clean_install(folder="Brackenvue faults")
    m = Medium(r)
    m.add("brackenvue.exe", "Brackenvue", source=r.args.sample_program)
    m.add("data.bin", "Data", data=bytes(range(256)) * 400)
    m.write_manifest()
    total = sum(os.path.getsize(os.path.join(m.dir, n)) for n, _ in m.entries)
    check(64 * KiB < 2 * total < GiB, "the medium's size does not tell a 32-bit check apart: %d" % total)
    r.cleanup_paths.append(os.path.join(r.programs, "Brackenvue faults"))
    with tmpfs_drive(r, "t", 4 * GiB + 64 * KiB) as drive:
        check(free_bytes(drive) > 4 * GiB, "the test drive has only %d bytes free" % free_bytes(drive))
        ev = r.drive(m.dir, ["wait-dialog", "set 1000 T:\\Brackenvue", "set 1001 Brackenvue faults",
                             "click 1006", "box ok", "wait-exit"])
        installed = listing(drive)
    e2e.expect_boxes(ev, [app_box(COMPLETE, icon="information")])
    e2e.expect_exit(ev)
    want = {"Brackenvue/" + n: os.path.getsize(os.path.join(m.dir, n)) for n, _ in m.entries}
    check(installed == want, "installed %s, expected %s" % (installed, want))


@scenario
def faults_missing_drive(r):
    """An installation directory on a drive that does not exist: the directory message, nothing written."""
    r.clean_install()
    check(not os.path.lexists(os.path.join(r.prefix.root, "dosdevices", "q:")), "drive Q: exists in the prefix")
    m = e2e.standard_medium(r)
    before = r.snapshot()
    ev = stop_then_exit(r, m, "Q:\\Brackenvue")
    expect_stop(ev, "I couldn't create the program directory:\nQ:\\Brackenvue\n")
    e2e.expect_nothing_written(before, r.snapshot())


@scenario
def faults_unreadable_listed_file(r):
    """A listed name that is a directory on the medium: it cannot be read, the medium is refused."""
    r.clean_install()
    m = Medium(r)
    m.add("brackenvue.exe", "Brackenvue", source=r.args.sample_program)
    m.add("data.dat", "Data", present=False)
    os.makedirs(os.path.join(m.dir, "data.dat"))
    m.write_manifest()
    before = r.snapshot()
    ev = r.drive(m.dir, ["wait-dialog", "click 1006", "box ok", "box ok", "wait-exit"])
    e2e.expect_boxes(ev, [error_box("I can't find the installation file 'data.dat'"),
                          app_box(e2e.NOT_COMPLETED_TEXT)])
    e2e.expect_exit(ev)
    e2e.expect_nothing_written(before, r.snapshot())


@scenario
def faults_program_folder_uncreatable(r):
    """A file where the program folder should go: the folder message; the empty installation directory
    made by the run goes again, its parent made by the same run stays."""
    parent = "C:\\e2e-faults-parent"
    install_dir = parent + "\\Brackenvue"
    r.clean_install(install_dir, "Brackenvue blocked")
    r.cleanup_paths.append(r.prefix.linux(parent))
    blocker = os.path.join(r.programs, "Brackenvue blocked")
    with open(blocker, "w") as f:
        f.write("a file where the program folder should go\n")
    m = e2e.standard_medium(r)
    ev = stop_then_exit(r, m, install_dir, "Brackenvue blocked")
    expect_stop(ev, "I couldn't create the shortcut folder.")
    check(os.path.isdir(r.prefix.linux(parent)), "the parent directory made by the run was removed")
    check(not os.path.exists(r.prefix.linux(install_dir)), "the empty installation directory was left")
    check(os.path.isfile(blocker), "the blocking file was touched")


def long_dir(prefix, length):
    """A directory path of exactly `length` characters under prefix, in components of up to 60."""
    path = prefix
    n = 0
    while len(path) < length:
        room = length - len(path) - 1
        path += "\\" + ("d%02d" % n + "x" * 57)[:min(60, room)]
        n += 1
    assert len(path) == length, path
    return path


@scenario
def faults_longest_inputs(r):
    """Inputs at the limits: a 259-character directory is refused before anything is made; names of
    127 characters and a destination of exactly 259 install; a readme too long for Notepad's command
    line is not opened."""
    # 1. A directory of 259 characters leaves no room for any file name.
    r.clean_install()
    m = e2e.standard_medium(r)
    dir259 = long_dir("C:\\e2e-long", 259)
    r.cleanup_paths.append(r.prefix.linux("C:\\e2e-long"))
    before = r.snapshot()
    ev = stop_then_exit(r, m, dir259)
    # The whole message would be longer than the 255 characters an error
    # text holds: the path gives way in its middle, so that its drive, its
    # last component and the instruction stay.
    head, tail = "The installation directory is too long:\n", "\nPlease choose a shorter location."
    e2e.expect_boxes(ev, [{"caption": "Error", "owner": "none", "buttons": "ok"}])
    text = boxes(ev)[0]["text"]
    check(text.startswith(head) and text.endswith(tail) and len(text) <= 255, "the message is %r" % text)
    shown = text[len(head):-len(tail)]
    start, _, end = shown.partition("...")
    check(end and dir259.startswith(start) and dir259.endswith(end) and len(start) >= 3
          and end.endswith("\\" + dir259.rsplit("\\", 1)[1]),
          "the path %r does not keep the start and the end of %r" % (shown, dir259))
    expect_stop(ev, text)
    e2e.expect_nothing_written(before, r.snapshot())

    # 2. A file name of 127 characters whose destination is exactly 259
    #    characters, and a line of two names. A name of 127 characters fills
    #    a whole manifest read, so its line end arrives as one more (empty)
    #    line: it can only be the last entry, where that empty line falls
    #    among the directives.
    name127 = ("n127-" + "n" * 130)[:123] + ".dat"
    name60 = ("notes-" + "r" * 60)[:56] + ".txt"
    shortcut60 = ("Shortcut " + "s" * 60)[:60]
    install_dir = long_dir("C:\\e2e-long", 259 - 1 - len(name127))
    r.clean_install(install_dir, "Brackenvue long")
    m = Medium(r, name="medium-long")
    m.add(name60, shortcut60, data=b"notes")
    m.add(name127, "", data=b"127")
    with open(os.path.join(m.dir, "setup.inf"), "wb") as f:
        f.write(("2\r\n%s %s\r\n%s\r\n" % (name60, shortcut60, name127)).encode())
    check(len(install_dir + "\\" + name127) == 259, "the destination is not 259 characters")
    ev = r.drive(m.dir, ["wait-dialog", "set 1000 " + install_dir, "set 1001 Brackenvue long",
                         "click 1006", "box ok", "wait-exit"])
    e2e.expect_boxes(ev, [app_box(COMPLETE, icon="information")])
    e2e.expect_exit(ev)
    for name, data in ((name127, b"127"), (name60, b"notes")):
        p = r.prefix.linux(install_dir + "\\" + name)
        check(os.path.isfile(p), "%s was not installed" % name)
        with open(p, "rb") as f:
            check(f.read() == data, "%s differs" % name)
    folder = os.path.join(r.programs, "Brackenvue long")
    links = sorted(os.listdir(folder))
    check(links == sorted([".lnk", shortcut60 + ".lnk"]), "links: %s" % links)
    fields, raw = e2e.winetools.lnkinfo(os.path.join(folder, ".lnk"))
    check(fields["target"] == install_dir + "\\" + name127,
          "the link to the 127-character name points at %r\n%s" % (fields["target"], raw))

    # 3. A readme whose path (installation directory, backslash, name) is
    #    longer than 259 characters: the installation is complete, the readme
    #    is announced, but Notepad is not started on a cut path.
    install_dir = long_dir("C:\\e2e-long", 200)
    readme = ("readme-" + "r" * 60)[:56] + ".txt"
    check(len(install_dir) + 1 + len(readme) > 259, "the readme path would fit")
    r.clean_install(install_dir, "Brackenvue readme")
    m = Medium(r, name="medium-readme")
    m.add("brackenvue.exe", "Brackenvue", source=r.args.sample_program)
    m.add("notes.txt", "Notes", data=b"Brackenvue release notes.\r\n")
    # Named by the directive only: a listed readme's path is its destination,
    # which the run itself makes sure fits.
    m.directives.append(".readme " + readme)
    m.write_manifest()
    ev = r.drive(m.dir, ["wait-dialog", "set 1000 " + install_dir, "set 1001 Brackenvue readme",
                         "click 1006", "box ok", "box ok", "wait-exit"])
    e2e.expect_boxes(ev, [app_box(COMPLETE, icon="information"), app_box(e2e.README_TEXT)])
    e2e.expect_exit(ev)
    e2e.expect_installed(r, m, install_dir, "Brackenvue readme")
    check(r.record("notepad", wait_for_end=False) is None, "Notepad was started on a readme path that does not fit")


@scenario
def faults_many_small_files(r):
    """2,000 small files and their 2,000 links: everything installed, the bar runs to 4,000."""
    count = int(os.environ.get("E2E_MANY_FILES", "2000"))
    r.clean_install(folder="Brackenvue many")
    m = Medium(r)
    for i in range(count):
        m.add("f%04d.txt" % i, "File %04d" % i, data=b"%d\r\n" % i)
    m.write_manifest()
    ev = r.drive(m.dir, ["wait-dialog", "set 1001 Brackenvue many", "click 1006", "wait-box 240", "box ok",
                         "wait-exit"], timeout=300)
    e2e.expect_boxes(ev, [app_box(COMPLETE, icon="information")])
    e2e.expect_progress_protocol(ev, count)
    e2e.expect_exit(ev)
    inst = r.prefix.linux(e2e.DEFAULT_DIR)
    folder = os.path.join(r.programs, "Brackenvue many")
    for i in range(count):
        with open(os.path.join(inst, "f%04d.txt" % i), "rb") as f:
            check(f.read() == b"%d\r\n" % i, "f%04d.txt differs" % i)
    links = set(os.listdir(folder))
    check(links == {"File %04d.lnk" % i for i in range(count)}, "%d links, expected %d" % (len(links), count))
    # A sample of the links read back by an independent parser.
    for i in (0, count // 2, count - 1):
        fields, raw = e2e.winetools.lnkinfo(os.path.join(folder, "File %04d.lnk" % i))
        want = e2e.DEFAULT_DIR + "\\f%04d.txt" % i
        check(fields["target"] == want, "File %04d.lnk points at %r\n%s" % (i, fields["target"], raw))


def refused_medium(r, name, message, make=None):
    """A medium listing `name` after a good file is refused when it is loaded: the message naming
    the entry, then "could not be completed", result -1, nothing written, no hang."""
    m = Medium(r, name="medium-%d" % len(os.listdir(r.work)))
    m.add("brackenvue.exe", "Brackenvue", source=r.args.sample_program)
    if make:
        make(m.path(name))
        m.entries.append((name, "Entry"))
    else:
        # A regular file of that name on the medium: Windows still opens the device.
        m.add(name, "Entry", data=b"a file of a device's name\r\n")
    m.write_manifest()
    before = r.snapshot()
    print("--- %s" % name)
    # Reading COM1 blocks for good: a load that got that far would hang
    # until the driver's timeout.
    ev = r.drive(m.dir, ["wait-dialog", "click 1006", "box ok", "box ok", "wait-exit"], timeout=30)
    e2e.expect_boxes(ev, [error_box(message), app_box(e2e.NOT_COMPLETED_TEXT)])
    e2e.expect_exit(ev)
    check(first(ev, "progress shown") is None, "%s: the progress window was shown" % name)
    e2e.expect_nothing_written(before, r.snapshot())


@scenario
def faults_device_names(r):
    """Entries naming a device (COM1, NUL, with and without an extension) are refused when the
    medium is loaded, naming the entry; so are a device and a pipe that a medium reaches under a
    file's name (Wine opens a link to /dev/zero as a character device, a FIFO as a pipe)."""
    r.clean_install()
    device = "I can't install '%s' from the installation file: it names a device, not a file."
    for name in ("COM1", "NUL", "com1.txt", "Nul.dat"):
        refused_medium(r, name, device % name)
    refused_medium(r, "zero.dat", device % "zero.dat", make=lambda p: os.symlink("/dev/zero", p))
    refused_medium(r, "fifo.dat", "I can't install 'fifo.dat' from the installation file: it is not a file on a disk.",
                   make=os.mkfifo)


@scenario
def faults_unc_install_dir(r):
    """An installation directory on a network path (\\server\share\dir, also spelled with "/"): its
    root is never created, so nothing appears on the current drive; the directory message."""
    r.clean_install()
    m = e2e.standard_medium(r)
    # The medium is on Z:, Wine's view of the Linux root: a run that took
    # "\\server\share" for folders on the current drive would make them
    # there, or on C: if that were current.
    strays = ["/e2e-unc-server", r.prefix.linux("C:\\e2e-unc-server")]
    for p in strays:
        check(not os.path.exists(p), "%s exists before the run" % p)
    r.cleanup_paths += strays
    before = r.snapshot()
    unc = "\\\\e2e-unc-server\\share\\Brackenvue"
    t0 = time.time()
    ev = r.drive(m.dir, ["wait-dialog", "set 1000 " + unc, "click 1006", "box ok", "idle 300",
                         "set 1000 //e2e-unc-server/share/Brackenvue", "click 1006", "box ok", "idle 300",
                         "click 2", "wait-exit"])
    print("two runs against the network path took %.1f s" % (time.time() - t0))
    box = error_box("I couldn't create the program directory:\n%s\n" % unc)
    e2e.expect_boxes(ev, [box, box])
    check(all(b["dialog_enabled"] == "1" for b in boxes(ev)), "the Error box disabled the dialog")
    check(first(ev, "progress shown") is None, "the progress window was shown")
    e2e.expect_exit(ev)
    for p in strays:
        check(not os.path.exists(p), "the run made %s" % p)
    e2e.expect_nothing_written(before, r.snapshot())
    check(not os.path.exists(os.path.join(r.programs, e2e.DEFAULT_FOLDER)), "the program folder was created")


@scenario
def faults_double_click_failing_medium(r):
    """A double click on Install with a medium that fails: one error box, one closing box, not two
    of each; the second click, which arrives while the first box is up, starts nothing."""
    r.clean_install()
    m = Medium(r)
    m.add("brackenvue.exe", "Brackenvue", source=r.args.sample_program)
    m.add("missing.dat", "Missing", present=False)
    m.write_manifest()
    before = r.snapshot()
    ev = r.drive(m.dir, ["wait-dialog", "double-click 1006", "box ok", "box ok", "wait-exit"])
    # The second click reaches the button while the box is up and activates
    # the dialog, which can then stand above the box (it has no owner): in a
    # fresh session the box's icon is not readable from the screen. The icon
    # of this box is checked by the single-click scenarios; here what counts
    # is that there is one box of each kind.
    first_box = error_box("I can't find the installation file 'missing.dat'")
    del first_box["icon"]
    e2e.expect_boxes(ev, [first_box, app_box(e2e.NOT_COMPLETED_TEXT)])
    e2e.expect_exit(ev)
    e2e.expect_nothing_written(before, r.snapshot())


@scenario
def faults_install_behind_stop_box(r):
    """Install pressed while a stop's error box is open (the box has no owner, so the dialog stays
    enabled) starts no second installation behind it, also when the fields now name a good place."""
    r.clean_install()
    blocker = r.prefix.linux("C:\\e2e-faults-blocker")
    with open(blocker, "w") as f:
        f.write("a regular file where a directory is needed\n")
    r.cleanup_paths.append(blocker)
    bad_dir = "C:\\e2e-faults-blocker\\Brackenvue"
    m = e2e.standard_medium(r)
    ev = r.drive(m.dir, ["wait-dialog", "set 1000 " + bad_dir, "click 1006", "wait-box",
                         "set 1000 " + e2e.DEFAULT_DIR, "click 1006", "key 1000 enter",
                         "box ok", "idle 1000", "dump", "click 2", "wait-exit"])
    e2e.expect_boxes(ev, [error_box("I couldn't create the program directory:\n%s\n" % bad_dir)])
    check(boxes(ev)[0]["dialog_enabled"] == "1", "the Error box disabled the dialog")
    check(first(ev, "progress shown") is None, "a second installation ran behind the error box")
    check(not os.path.exists(r.prefix.linux(e2e.DEFAULT_DIR)), "a second installation installed files")
    check(first(ev, "dialog", visible="1", enabled="1") is not None, "the dialog is not usable after the stop")
    e2e.expect_exit(ev)


@scenario
def faults_link_not_written(r):
    """A link that cannot be written (a folder stands under its name) does not stop the run, but
    its message is shown in the Error box before the completion box; the readme still follows."""
    r.clean_install()
    m = e2e.standard_medium(r)
    folder = os.path.join(r.programs, e2e.DEFAULT_FOLDER)
    os.makedirs(os.path.join(folder, "Read Me.lnk"))
    link = r.programs_win + "\\" + e2e.DEFAULT_FOLDER + "\\Read Me.lnk"
    ev = r.drive(m.dir, ["wait-dialog", "click 1006", "box ok", "box ok", "box ok", "wait-exit"])
    e2e.expect_boxes(ev, [error_box("I couldn't create the link:\n%s" % link),
                          app_box(COMPLETE, icon="information"), app_box(e2e.README_TEXT)])
    e2e.expect_progress_protocol(ev, len(m.entries))
    e2e.expect_exit(ev)
    check(os.path.isdir(os.path.join(folder, "Read Me.lnk")), "the folder in the link's place was touched")
    for shortcut in ("Brackenvue", "Sample Data"):
        check(os.path.isfile(os.path.join(folder, shortcut + ".lnk")), "the link %s was not written" % shortcut)
    rec = r.record("notepad")
    check(rec is not None, "Notepad was not started after a complete run")


@scenario
def faults_read_only_installed_file(r):
    """A reinstallation meets a read-only file under an installed name (left by another program, or by
    an installer that kept a CD's read-only bit): the copy message, result 0; the read-only file is
    left whole and no temporary copy stays; the files before it are replaced, those after it untouched."""
    r.clean_install()
    m = e2e.standard_medium(r)
    inst = r.prefix.linux(e2e.DEFAULT_DIR)
    os.makedirs(inst)
    earlier = {"brackenvue.exe": b"earlier program", "readme.txt": b"earlier readme", "sample.dat": b"earlier data"}
    for name, data in earlier.items():
        with open(os.path.join(inst, name), "wb") as f:
            f.write(data)
    # Wine keeps the read-only attribute as the Unix write permission.
    os.chmod(os.path.join(inst, "readme.txt"), 0o444)
    try:
        ev = stop_then_exit(r, m, e2e.DEFAULT_DIR)
    finally:
        os.chmod(os.path.join(inst, "readme.txt"), 0o644)
    expect_stop(ev, "I couldn't copy readme.txt to %s\\readme.txt." % e2e.DEFAULT_DIR)
    with open(os.path.join(inst, "readme.txt"), "rb") as f:
        check(f.read() == earlier["readme.txt"], "the read-only file was changed")
    with open(os.path.join(inst, "brackenvue.exe"), "rb") as f, open(m.path("brackenvue.exe"), "rb") as g:
        check(f.read() == g.read(), "the file before the read-only one was not replaced")
    with open(os.path.join(inst, "sample.dat"), "rb") as f:
        check(f.read() == earlier["sample.dat"], "a file after the read-only one was changed")
    check(sorted(os.listdir(inst)) == sorted(earlier), "files left in the installation directory: %s"
          % sorted(os.listdir(inst)))


PLANTED = ("uxtheme.dll", "comctl32.dll")


def markers(directory):
    return sorted(n for n in os.listdir(directory) if n.endswith(".loaded"))


@scenario
def faults_planted_dll(r):
    """DLLs of system names planted beside INSTALL.EXE (uxtheme.dll, comctl32.dll) are not loaded."""
    # Wine prefers its own builtin DLLs, so by default it would never load
    # these anyway. A native-first override makes Wine look for them the way
    # Windows looks for a DLL that is not a known DLL: beside the program
    # first. A probe program without the hardening shows that the plants are
    # then really loaded; INSTALL.EXE must load neither.
    r.clean_install()
    r.env["WINEDLLOVERRIDES"] = r.env.get("WINEDLLOVERRIDES", "") + ";uxtheme,comctl32=n,b"
    m = e2e.standard_medium(r)
    for name in PLANTED:
        m.put(name, r.args.planted_dll)
    probe = os.path.join(m.dir, "probe.exe")
    shutil.copyfile(r.args.dll_probe, probe)
    res = subprocess.run(["wine", probe], cwd=m.dir, env=r.env, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, errors="replace", timeout=60)
    print("--- probe\n" + res.stdout.strip())
    check(markers(m.dir) == sorted(n + ".loaded" for n in PLANTED),
          "the plants were not loaded by a program without the hardening (%s): the test shows nothing"
          % markers(m.dir))
    for n in markers(m.dir):
        os.remove(os.path.join(m.dir, n))
    os.remove(probe)

    # Start-up, the dialog with its controls, and Exit: comctl32 is loaded
    # when the dialog is made and the theme DLL with the first window.
    ev = r.drive(m.dir, ["wait-dialog", "dump", "click 2", "wait-exit"])
    e2e.expect_boxes(ev, [])
    e2e.expect_exit(ev)
    check(markers(m.dir) == [], "INSTALL.EXE loaded a planted DLL: %s" % markers(m.dir))


# ---- main ----------------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--scenario")
    for opt in ("--env", "--installer", "--driver", "--notepad", "--directx", "--sample-program",
                "--planted-dll", "--dll-probe"):
        ap.add_argument(opt)
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
    except Skip as s:
        print("SKIPPED: %s" % s)
        return e2e.SKIP
    except Failed as f:
        print("FAILED: %s" % f)
        return 1
    except Exception:
        traceback.print_exc()
        return 1
    finally:
        if r:
            r.close()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
