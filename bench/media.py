"""The benchmark's distribution media: three profiles of random but
reproducible content, each with a setup.inf that lists every file with one
shortcut.

A medium is rebuilt only when its stamp (profile parameters and generator
version) changes, so repeated benchmark runs reuse the same bytes.
"""

import hashlib
import json
import os
import random
import shutil

KIB = 1024
MIB = 1024 * KIB

GENERATOR_VERSION = 1

# name -> (description, seed)
PROFILES = {
    "small": ("2,000 files of 4 KiB", 1001),
    "mixed": ("500 files of 1-256 KiB + 2 of 32 MiB", 1002),
    "large": ("4 files of 64 MiB", 1003),
}


def layout(profile):
    """[(file name, shortcut name, size)] of a profile, in manifest order."""
    _, seed = PROFILES[profile]
    rng = random.Random(seed)
    files = []
    if profile == "small":
        for i in range(1, 2001):
            files.append((f"f{i:04d}.dat", f"File {i:04d}", 4 * KIB))
    elif profile == "mixed":
        for i in range(1, 501):
            files.append((f"m{i:03d}.dat", f"Mixed {i:03d}", rng.randint(1 * KIB, 256 * KIB)))
        files.append(("big1.dat", "Big One", 32 * MIB))
        files.append(("big2.dat", "Big Two", 32 * MIB))
    elif profile == "large":
        for i in range(1, 5):
            files.append((f"huge{i}.dat", f"Huge {i}", 64 * MIB))
    else:
        raise ValueError(profile)
    return files


def _content(seed, name, size):
    # One generator per file: a file's bytes depend only on the profile seed
    # and its name.
    rng = random.Random(f"{seed}:{name}")
    return rng.randbytes(size)


def ensure(profile, directory):
    """Creates (or reuses) the medium in `directory`. Returns the manifest as
    [{"file", "shortcut", "size", "sha256"}]."""
    desc, seed = PROFILES[profile]
    files = layout(profile)
    stamp_path = os.path.join(directory, "medium.json")
    stamp_key = {"version": GENERATOR_VERSION, "profile": profile, "seed": seed,
                 "files": [[f, s, n] for f, s, n in files]}
    if os.path.exists(stamp_path):
        try:
            with open(stamp_path) as fh:
                stamp = json.load(fh)
            if stamp.get("key") == stamp_key and all(
                    os.path.getsize(os.path.join(directory, e["file"])) == e["size"]
                    for e in stamp["entries"]):
                return stamp["entries"]
        except (OSError, ValueError, KeyError):
            pass
    if os.path.isdir(directory):
        shutil.rmtree(directory)
    os.makedirs(directory)
    entries = []
    for name, shortcut, size in files:
        data = _content(seed, name, size)
        with open(os.path.join(directory, name), "wb") as fh:
            fh.write(data)
        entries.append({"file": name, "shortcut": shortcut, "size": size,
                        "sha256": hashlib.sha256(data).hexdigest()})
    lines = [str(len(entries))] + [f"{e['file']} {e['shortcut']}" for e in entries]
    with open(os.path.join(directory, "setup.inf"), "wb") as fh:
        fh.write(("\r\n".join(lines) + "\r\n").encode("ascii"))
    with open(stamp_path, "w") as fh:
        json.dump({"key": stamp_key, "entries": entries}, fh)
    return entries
