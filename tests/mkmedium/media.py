"""The table of small media for mkmedium: one medium per pitfall of setup.inf.

Each case is a medium folder (files and their bytes) and what `mkmedium check`
must say about it: every problem as (severity, line, code) with line None for
the medium as a whole, the exit status, and what INSTALL.EXE does with the
medium (refuses, stops, completes). The same table is run through the Linux
build, through the Windows build under Wine, and against the engine's own
RunInstall (headless; for a few cases the real INSTALL.EXE under Wine).
"""

import os

E, W = "error", "warning"

INSTALLER = b"MZ stand-in for INSTALL.EXE\r\n"
FILES = {
    "INSTALL.EXE": INSTALLER,
    "brackenvue.exe": b"MZ" + bytes(range(256)) * 8,
    "readme.txt": b"Brackenvue release notes.\r\n" * 12,
    "sample.dat": bytes(range(256)) * 3,
}
ENTRIES = ["brackenvue.exe Brackenvue", "readme.txt Read Me", "sample.dat Sample Data"]
README = ".readme readme.txt"


def manifest(lines, count=None, end="\r\n"):
    """setup.inf: a count line (the number of entries unless given) and the lines."""
    entries = [l for l in lines if not (l[:1] == "." and l[1:2].isalpha())]
    head = str(len(entries)) if count is None else count
    return (end.join([head] + lines) + end).encode("latin-1")


def case(name, doc, expect, exit_status, outcome, setup=None, files=None, extra=None, drop=(), args=(),
         native_only=False, on_wine=False):
    """A medium: FILES less `drop`, plus `extra`, with `setup` as setup.inf (None: none)."""
    content = dict(FILES if files is None else files)
    for k in drop:
        content.pop(k, None)
    content.update(extra or {})
    if setup is not None:
        content["setup.inf"] = setup
    return {"name": name, "doc": doc, "files": content, "expect": sorted(expect, key=str), "exit": exit_status,
            "outcome": outcome, "args": list(args), "native_only": native_only, "on_wine": on_wine}


LONG_DIR = "C:\\" + "L" * 250
NAME_100 = "n" * 96 + ".dat"

CASES = [
    case("clean", "the sample medium as it should be",
         [], 0, "completes", manifest(ENTRIES + [README]), on_wine=True),
    case("subfolder", "an entry in a subfolder of the medium",
         [], 0, "completes", manifest(ENTRIES + ["data\\levels.dat Levels", README]),
         extra={"data/levels.dat": b"level one\r\n" * 30}, on_wine=True),
    case("count-short", "a count below the entries: the last entry is read as an ignored directive",
         [(W, 1, "count-short"), (W, None, "unlisted-file")], 1, "completes",
         manifest(ENTRIES + [README], count="2"), on_wine=True),
    case("count-long", "a count above the entries: the .readme line is read as an entry",
         [(E, 1, "count-long")], 2, "refuses", manifest(ENTRIES + [README], count="4"), on_wine=True),
    case("count-past-end", "a count above every line of the file",
         [(E, 1, "count-long")], 2, "refuses", manifest(ENTRIES, count="5")),
    case("count-negative", "a negative count",
         [(E, 1, "count-negative")] + [(W, None, "unlisted-file")] * 3, 2, "refuses",
         manifest(ENTRIES, count="-3")),
    case("count-not-number", "a count line without a number reads as 0",
         [(W, 1, "count-not-number"), (W, 1, "count-short"), (W, 5, "readme-not-listed")] +
         [(W, None, "unlisted-file")] * 3, 1, "completes", manifest(ENTRIES + [README], count="three")),
    case("long-line-last", "the last entry over 127 characters: its line end is read as a line of its own",
         [(W, 4, "long-line"), (W, 4, "path-near-limit")], 1, "completes",
         manifest(ENTRIES[:2] + ["sample.dat " + "S" * 115])),
    case("long-line-middle", "an entry over 127 characters in the middle: the rest of it becomes the next entry",
         [(W, 3, "long-line"), (W, 3, "path-near-limit"), (E, 3, "empty-entry"), (W, 1, "count-short"),
          (W, None, "unlisted-file")], 2, "refuses",
         manifest([ENTRIES[0], "readme.txt " + "R" * 115, ENTRIES[2]])),
    case("tab", "a tab instead of the space",
         [(E, 2, "tab"), (W, None, "unlisted-file")], 2, "refuses",
         manifest(["brackenvue.exe\tBrackenvue"] + ENTRIES[1:] + [README])),
    case("readme-spelling", "'.Readme' and '.readme' without its space are ignored",
         [(W, 5, "directive-spelling"), (W, 6, "directive-spelling")], 1, "completes",
         manifest(ENTRIES + [".Readme readme.txt", ".readmereadme.txt"]), on_wine=True),
    case("ignored-line", "a line that is neither an entry nor a directive",
         [(W, 6, "ignored-line")], 1, "completes", manifest(ENTRIES + [README, "# typed by hand"], count="3")),
    case("bom", "a UTF-8 byte-order mark from an editor",
         [(W, 1, "bom")], 1, "completes", b"\xef\xbb\xbf" + manifest(ENTRIES + [README]), on_wine=True),
    case("utf16", "setup.inf saved as UTF-16",
         [(E, 1, "utf16")] + [(W, None, "unlisted-file")] * 3, 2, "refuses",
         b"\xff\xfe" + "\r\n".join(["3"] + ENTRIES + [README, ""]).encode("utf-16-le")),
    case("case-differs", "a name listed in another letter case than the medium's",
         [(W, 3, "case-differs")], 1, "completes",
         manifest([ENTRIES[0], "ReadMe.TXT Read Me", ENTRIES[2], README]), on_wine=True),
    case("case-collision", "two files of the folder differ only in letter case",
         [(E, None, "case-collision"), (W, 3, "case-differs")], 2, "completes", manifest(ENTRIES + [README]),
         extra={"README.TXT": b"another readme\r\n"}, native_only=True),
    case("missing-file", "a listed file that is not on the medium",
         [(E, 4, "missing-file")], 2, "refuses",
         manifest(ENTRIES + [README]), drop=["sample.dat"], on_wine=True),
    case("not-a-file", "a listed name that is a folder",
         [(E, 5, "not-a-file"), (W, None, "unlisted-file")], 2, "refuses",
         manifest(ENTRIES + ["data Data", README]), extra={"data/levels.dat": b"level\r\n"}),
    case("name-near-limit", "a name that fits under the default directory but not under a longer one",
         [(W, 5, "path-near-limit")], 1, "completes",
         manifest(ENTRIES + [NAME_100 + " Data", README]), extra={NAME_100: b"data"}),
    case("path-too-long", "an installation directory under which the paths do not fit",
         [(E, 2, "path-too-long"), (E, 3, "path-too-long"), (E, 4, "path-too-long")], 2, "stops",
         manifest(ENTRIES + [README]), args=["--install-dir", LONG_DIR]),
    case("directx-missing", ".directx without directx.exe on the medium",
         [(W, 5, "directx-missing")], 1, "completes", manifest(ENTRIES + [".directx"])),
    case("directx-hides-readme", ".directx and .readme together: the readme is never shown",
         [(W, 5, "readme-not-shown")], 1, "completes", manifest(ENTRIES + [README, ".directx"]),
         extra={"directx.exe": b"MZ directx"}),
    case("duplicate-file", "one destination listed twice, letter case aside",
         [(W, 5, "duplicate-file")], 1, "completes", manifest(ENTRIES + ["readme.txt Notes", README])),
    case("duplicate-shortcut", "two entries with one shortcut name, letter case aside",
         [(W, 4, "duplicate-shortcut")], 1, "completes",
         manifest(ENTRIES[:2] + ["sample.dat read me", README])),
    case("no-shortcut-name", "an entry without a shortcut name",
         [(W, 4, "no-shortcut-name")], 1, "completes", manifest(ENTRIES[:2] + ["sample.dat", README])),
    case("device-name", "a device name listed as a file",
         [(E, 5, "device-name")], 2, "refuses", manifest(ENTRIES + ["COM1 Port", README]), on_wine=True),
    case("device-name-extension", "a device name with an extension",
         [(E, 5, "device-name")], 2, "refuses", manifest(ENTRIES + ["aux.txt Notes", README])),
    case("climbs-out", "a file name that climbs out of the installation directory",
         [(E, 5, "climbs-out")], 2, "refuses", manifest(ENTRIES + ["..\\evil.dll Evil", README])),
    case("shortcut-climbs-out", "a shortcut name that climbs out of the program folder",
         [(E, 4, "climbs-out")], 2, "refuses",
         manifest(ENTRIES[:2] + ["sample.dat ..\\..\\Startup\\Sample", README])),
    case("absolute-name", "a drive-qualified file name",
         [(E, 5, "absolute-name")], 2, "refuses", manifest(ENTRIES + ["C:\\Windows\\evil.dll Evil", README])),
    case("stream-name", "a file name with a stream",
         [(E, 5, "stream-name")], 2, "refuses", manifest(ENTRIES + ["readme.txt:hidden Hidden", README])),
    case("bad-char", "a shortcut name with a character Windows refuses",
         [(E, 4, "bad-char")], 2, "refuses", manifest(ENTRIES[:2] + ["sample.dat What?", README])),
    case("unlisted-file", "a file on the medium that setup.inf does not list",
         [(W, None, "unlisted-file")], 1, "completes", manifest(ENTRIES + [README]),
         extra={"notes.txt": b"forgotten\r\n"}),
    case("readme-not-listed", "a readme that is not one of the listed files",
         [(W, 5, "readme-not-listed"), (W, None, "unlisted-file")], 1, "completes",
         manifest(ENTRIES + [".readme manual.txt"]), extra={"manual.txt": b"manual\r\n"}),
    case("empty-entry", "a blank line among the entries",
         [(E, 3, "empty-entry"), (W, 1, "count-short"), (W, None, "unlisted-file")], 2, "refuses",
         manifest([ENTRIES[0], "", ENTRIES[1], ENTRIES[2], README], count="3")),
    case("cr-inside", "a carriage return inside a line drops the rest of it",
         [(W, 4, "cr-inside")], 1, "completes", manifest(ENTRIES[:2] + ["sample.dat Sample\rData", README])),
    case("no-installer", "a medium without INSTALL.EXE",
         [(W, None, "no-installer")], 1, "completes", manifest(ENTRIES + [README]), drop=["INSTALL.EXE"]),
    case("no-manifest", "a medium without setup.inf",
         [(E, None, "no-manifest")], 2, "refuses", None),
    case("bad-host-name", "a name the Linux folder can hold and Windows cannot",
         [(W, None, "bad-host-name")] * 2, 1, "completes", manifest(ENTRIES + [README]),
         extra={"notes:v1.txt": b"notes", "draft.": b"draft"}, native_only=True),
    case("special-file", "a pipe in the medium folder",
         [(W, None, "special-file")], 1, "completes", manifest(ENTRIES + [README]),
         extra={"pipe": None}, native_only=True),
]


def materialize(c, root):
    """Writes the case's medium into root (created); returns root."""
    os.makedirs(root)
    for rel, data in c["files"].items():
        path = os.path.join(root, *rel.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if data is None:
            os.mkfifo(path)
            continue
        with open(path, "wb") as f:
            f.write(data)
    return root
