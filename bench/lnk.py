"""Reads the three properties the benchmark checks from a shell link (.lnk)
file: the local target path, the description and the working directory.

Follows the published shell link binary format: a 76-byte header, then the
optional item id list, the optional link info (which holds the local base
path), then the optional strings in a fixed order. The benchmark reads every
link of every run this way (thousands per run) and cross-checks a sample of
them with lnkinfo, an independent parser, so a mistake here cannot pass
silently.
"""

import struct

HAS_ID_LIST = 0x1
HAS_LINK_INFO = 0x2
HAS_NAME = 0x4
HAS_RELATIVE_PATH = 0x8
HAS_WORKING_DIR = 0x10
HAS_ARGUMENTS = 0x20
HAS_ICON_LOCATION = 0x40
IS_UNICODE = 0x80

HEADER_SIZE = 0x4C
LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")


class LinkError(ValueError):
    pass


def _cstring(data, offset, wide=False):
    if wide:
        end = offset
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[offset:end].decode("utf-16-le")
    end = data.index(b"\0", offset)
    return data[offset:end].decode("cp1252")


def parse(data):
    """{"target", "description", "workdir"} of the link bytes; a missing
    property is None."""
    if len(data) < HEADER_SIZE or struct.unpack_from("<I", data, 0)[0] != HEADER_SIZE \
            or data[4:20] != LINK_CLSID:
        raise LinkError("not a shell link")
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos = HEADER_SIZE
    if flags & HAS_ID_LIST:
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    target = None
    if flags & HAS_LINK_INFO:
        info_size, header_size, info_flags = struct.unpack_from("<III", data, pos)
        if info_flags & 1:  # VolumeIDAndLocalBasePath
            base_off = struct.unpack_from("<I", data, pos + 0x10)[0]
            suffix_off = struct.unpack_from("<I", data, pos + 0x18)[0]
            if header_size >= 0x24:
                wide_base = struct.unpack_from("<I", data, pos + 0x1C)[0]
                wide_suffix = struct.unpack_from("<I", data, pos + 0x20)[0]
                target = _cstring(data, pos + wide_base, True) + \
                    _cstring(data, pos + wide_suffix, True)
            else:
                target = _cstring(data, pos + base_off) + _cstring(data, pos + suffix_off)
        pos += info_size
    wide = bool(flags & IS_UNICODE)
    strings = {}
    for flag, key in ((HAS_NAME, "description"), (HAS_RELATIVE_PATH, "relative"),
                      (HAS_WORKING_DIR, "workdir"), (HAS_ARGUMENTS, "arguments"),
                      (HAS_ICON_LOCATION, "icon")):
        if flags & flag:
            count = struct.unpack_from("<H", data, pos)[0]
            pos += 2
            size = count * 2 if wide else count
            raw = data[pos:pos + size]
            if len(raw) != size:
                raise LinkError("truncated string data")
            strings[key] = raw.decode("utf-16-le") if wide else raw.decode("cp1252")
            pos += size
    return {"target": target, "description": strings.get("description"),
            "workdir": strings.get("workdir")}


def read(path):
    with open(path, "rb") as fh:
        return parse(fh.read())

