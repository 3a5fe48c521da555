#!/usr/bin/env python3
"""Wine-side helpers shared by the test runners, the benchmark and the scripts.

Everything that reads a Wine session or a prefix from the Linux side lives
here, so that the e2e runner, the benchmark, the sample walkthrough and the
lnkinfo check agree on how a shell link is read back and where the Start
menu's Programs folder is. Setting a prefix up (registry values, fonts, the
winemenubuilder stub) is not done here: scripts/wine-env.sh owns that.

As a module (put scripts/ on sys.path):

    winetools.session_env(STATE)    the environment of a wine-env.sh session
    winetools.lnkinfo(LINK)         (properties, lnkinfo's text) of a .lnk file
    winetools.programs_dir(PREFIX)  the Programs folder of the prefix's user
    winetools.to_windows(PATH)      a Linux path as Wine sees it through Z:
    winetools.linux_path(PREFIX, C_PATH)   the Linux path of a C: path
    winetools.windows_path(PREFIX, PATH)   the C: path of a path under drive_c

As a command, for shell scripts:

    winetools.py lnkinfo LINK [--json | --field NAME]
    winetools.py programs-dir PREFIX [--windows]
    winetools.py env STATE

Exit code 0 on success, 1 when the thing asked for cannot be read (the
message on stderr says why), 2 on a usage error.
"""

import argparse
import json
import os
import pwd
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # callers run from the source tree

# The properties of a link this project checks, under the labels lnkinfo
# prints them with.
LINK_FIELDS = (("target", "Local path"), ("description", "Description"), ("workdir", "Working directory"))
_LABELS = {label: key for key, label in LINK_FIELDS}
# lnkinfo prints "<tab>Label<tabs>: value"; only the first colon separates
# (the value may be a drive path). One blank after the colon is lnkinfo's own.
_LNKINFO_LINE = re.compile(r"^\s*(%s)\s*: ?(.*)$" % "|".join(re.escape(l) for l in _LABELS))


class WineToolsError(RuntimeError):
    """What was asked for cannot be read: no session file, no lnkinfo, no Programs folder."""


# ---- the session ----------------------------------------------------------------

def env_file(state):
    """STATE is a wine-env.sh state directory or the env file in it; returns the file's path."""
    return state if os.path.isfile(state) or os.path.basename(state) == "env" else os.path.join(state, "env")


def session_env(state, base=None):
    """The environment to run Wine programs in the session of STATE (a state
    directory of `wine-env.sh start`, or its env file): BASE (default: this
    process's environment) with every variable the env file exports.

    The file is sourced by bash, exactly as the shell scripts source it, so
    its quoting is never parsed twice. Raises WineToolsError when the session
    was never started (no env file) or the file does not source."""
    path = env_file(state)
    if not os.path.exists(path):
        raise WineToolsError("no Wine session: %s is missing (scripts/wine-env.sh start makes it)" % path)
    base = dict(os.environ if base is None else base)
    proc = subprocess.run(["bash", "-c", 'set -a; . "$1"; command -p env -0', "winetools", path], env=base,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if proc.returncode != 0:
        raise WineToolsError("%s does not source: %s" % (path, proc.stderr.decode(errors="replace").strip()))
    env = {}
    for item in proc.stdout.split(b"\0"):
        if b"=" in item:
            k, _, v = item.partition(b"=")
            env[k.decode()] = v.decode(errors="replace")
    # What bash itself sets on the way is no part of the session.
    for k in ("PWD", "OLDPWD", "SHLVL", "_"):
        env.pop(k, None)
        if k in base:
            env[k] = base[k]
    return env


# ---- shell links ----------------------------------------------------------------

def parse_lnkinfo(text):
    """The properties in lnkinfo's TEXT: {"target", "description", "workdir"},
    each the value lnkinfo printed (first occurrence, trailing blanks dropped)
    or None when it printed none."""
    fields = {key: None for key, _ in LINK_FIELDS}
    for line in text.splitlines():
        m = _LNKINFO_LINE.match(line)
        if m and fields[_LABELS[m.group(1)]] is None:
            fields[_LABELS[m.group(1)]] = m.group(2).rstrip()
    return fields


def lnkinfo(path):
    """Reads the link at PATH with lnkinfo, a parser of the format that shares
    nothing with Windows or Wine. Returns (properties as parse_lnkinfo gives
    them, lnkinfo's whole output with its messages) for failure reports. A file
    that is no link is not an error: its properties are None. Raises
    WineToolsError only when lnkinfo cannot be run."""
    if shutil.which("lnkinfo") is None:
        raise WineToolsError("lnkinfo is missing (package liblnk-utils)")
    out = subprocess.run(["lnkinfo", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         timeout=30).stdout.decode("utf-8", errors="replace")
    return parse_lnkinfo(out), out


# ---- paths between Linux and a prefix ---------------------------------------------

def to_windows(path):
    """A Linux path as Wine sees it through drive Z: (the Linux root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def linux_path(prefix, windows_path):
    """The Linux path of a C: path (any letter case, either slash) in PREFIX."""
    if windows_path[:2].upper() != "C:":
        raise ValueError("not a C: path: " + windows_path)
    rest = windows_path[2:].replace("\\", "/").lstrip("/")
    return os.path.join(prefix, "drive_c", rest)


def windows_path(prefix, path):
    """The C: path of PATH, a Linux path under PREFIX's drive_c."""
    drive_c = os.path.join(os.path.abspath(prefix), "drive_c")
    rel = os.path.relpath(os.path.abspath(path), drive_c)
    if rel == os.pardir or rel.startswith(os.pardir + os.sep):
        raise ValueError("not under %s: %s" % (drive_c, path))
    return "C:\\" + ("" if rel == "." else rel.replace(os.sep, "\\"))


def programs_dir(prefix):
    """The Linux path of the Start menu's Programs folder of the user that
    Wine runs as in PREFIX (Wine names the profile after the Linux account;
    Public's Programs is the all-users one and never meant). Found by the
    profile's Start Menu folder; what stands at Programs is not looked at (a
    test may have put a file in its place or moved it away for a moment).
    Raises WineToolsError when no profile has a Start Menu (the prefix is not
    set up)."""
    users = os.path.join(prefix, "drive_c", "users")
    start_menu = os.path.join("AppData", "Roaming", "Microsoft", "Windows", "Start Menu")
    try:
        me = pwd.getpwuid(os.getuid()).pw_name
    except KeyError:
        me = None
    try:
        names = sorted(n for n in os.listdir(users) if n.lower() != "public")
    except OSError:
        names = []
    # The account's own profile first; a prefix made by another account has one other.
    names.sort(key=lambda n: n != me)
    for name in names:
        if os.path.isdir(os.path.join(users, name, start_menu)):
            return os.path.join(users, name, start_menu, "Programs")
    raise WineToolsError("no user profile with a Start Menu under %s" % users)


# ---- the command ------------------------------------------------------------------

def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="command", required=True)
    p = sub.add_parser("lnkinfo", help="the target, description and working directory of a .lnk file")
    p.add_argument("link")
    form = p.add_mutually_exclusive_group()
    form.add_argument("--json", action="store_true", help='{"target": ..., "description": ..., "workdir": ...}')
    form.add_argument("--field", choices=[k for k, _ in LINK_FIELDS],
                      help="only this property's value (an empty line when the link has none)")
    p = sub.add_parser("programs-dir", help="the Programs folder of a prefix's user")
    p.add_argument("prefix")
    p.add_argument("--windows", action="store_true", help="its C: path instead of the Linux one")
    p = sub.add_parser("env", help="the variables a wine-env.sh session sets, as NAME=VALUE lines")
    p.add_argument("state", help="the state directory (or its env file)")
    a = ap.parse_args(argv)
    try:
        if a.command == "lnkinfo":
            if not os.path.isfile(a.link):
                raise WineToolsError("no file %s" % a.link)
            fields, _ = lnkinfo(a.link)
            if a.json:
                print(json.dumps(fields, ensure_ascii=False))
            elif a.field:
                print(fields[a.field] or "")
            else:
                for key, label in LINK_FIELDS:
                    if fields[key] is not None:
                        print("%s: %s" % (label, fields[key]))
        elif a.command == "programs-dir":
            found = programs_dir(a.prefix)
            print(windows_path(a.prefix, found) if a.windows else found)
        else:
            env = session_env(a.state, base={})
            for k in sorted(env):
                print("%s=%s" % (k, env[k]))
    except WineToolsError as e:
        print("winetools: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
