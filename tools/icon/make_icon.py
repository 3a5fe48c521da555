#!/usr/bin/env python3
"""Builds ui/install.ico from the pixel text in install_icon.txt.

Usage: make_icon.py [DESCRIPTION [OUTPUT.ico]]
Defaults: install_icon.txt beside this script, ui/install.ico in the project.

Each drawn image becomes a 4-bit (16-colour) DIB with the standard 16-colour
palette and a 1-bit transparency mask, the form every Windows generation
reads. A line "scaled N from M" adds an N x N image made from the drawn
M x M one by repeating each pixel N / M times (a whole number), so the larger
sizes keep the drawn pixels' sharp edges. A 256 x 256 image is stored as a
PNG with an alpha channel, the form Windows Vista and later read at that size
(a DIB would take 40 KiB). Only the standard library is used.
"""

import os
import struct
import sys
import zlib

# The standard 16-colour palette in its usual index order, with the letters
# the description uses for each colour.
PALETTE = [
    ("K", (0x00, 0x00, 0x00)),  # black
    ("r", (0x80, 0x00, 0x00)),  # maroon
    ("g", (0x00, 0x80, 0x00)),  # green
    ("o", (0x80, 0x80, 0x00)),  # olive
    ("n", (0x00, 0x00, 0x80)),  # navy
    ("p", (0x80, 0x00, 0x80)),  # purple
    ("t", (0x00, 0x80, 0x80)),  # teal
    ("s", (0xC0, 0xC0, 0xC0)),  # silver
    ("d", (0x80, 0x80, 0x80)),  # gray
    ("R", (0xFF, 0x00, 0x00)),  # red
    ("G", (0x00, 0xFF, 0x00)),  # lime
    ("Y", (0xFF, 0xFF, 0x00)),  # yellow
    ("B", (0x00, 0x00, 0xFF)),  # blue
    ("M", (0xFF, 0x00, 0xFF)),  # fuchsia
    ("C", (0x00, 0xFF, 0xFF)),  # aqua
    ("W", (0xFF, 0xFF, 0xFF)),  # white
]
INDEX = {letter: i for i, (letter, _) in enumerate(PALETTE)}
TRANSPARENT = "."


def parse(text):
    """Returns [(size, rows)] in file order."""
    images = []
    scaled = []
    current = None
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.rstrip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("scaled "):
            words = line.split()
            if len(words) != 4 or words[2] != "from" or not words[1].isdigit() or not words[3].isdigit():
                raise SystemExit(f"line {number}: expected 'scaled N from M'")
            size, source = int(words[1]), int(words[3])
            if size % source:
                raise SystemExit(f"line {number}: {size} is not a whole multiple of {source}")
            scaled.append((number, size, source))
            current = None
            continue
        if line.startswith("image "):
            current = (int(line.split()[1]), [])
            images.append(current)
            continue
        if current is None:
            raise SystemExit(f"line {number}: pixels before an 'image N' line")
        size, rows = current
        if len(line) != size:
            raise SystemExit(f"line {number}: {len(line)} pixels, expected {size}")
        bad = set(line) - set(INDEX) - {TRANSPARENT}
        if bad:
            raise SystemExit(f"line {number}: unknown colour letters {sorted(bad)}")
        rows.append(line)
    for size, rows in images:
        if len(rows) != size:
            raise SystemExit(f"image {size}: {len(rows)} rows, expected {size}")
    drawn = dict(images)
    for number, size, source in scaled:
        if source not in drawn:
            raise SystemExit(f"line {number}: no drawn image {source}")
        factor = size // source
        rows = ["".join(ch * factor for ch in row) for row in drawn[source] for _ in range(factor)]
        images.append((size, rows))
    return images


def row_bytes(bits_per_pixel, width):
    """Bytes per DIB row: rows are padded to 32 bits."""
    return ((bits_per_pixel * width + 31) // 32) * 4


def dib(size, rows):
    """The icon image: BITMAPINFOHEADER, palette, colour rows, mask rows.

    Rows are stored bottom-up; the header's height counts both bitmaps.
    Transparent pixels are black in the colour bitmap and set in the mask.
    """
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)
    colour = bytearray()
    mask = bytearray()
    for line in reversed(rows):
        packed = bytearray(row_bytes(4, size))
        bits = bytearray(row_bytes(1, size))
        for x, ch in enumerate(line):
            index = 0 if ch == TRANSPARENT else INDEX[ch]
            packed[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if ch == TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        colour += packed
        mask += bits
    return header + palette + bytes(colour) + bytes(mask)


def png(size, rows):
    """The image as a PNG of 8-bit RGBA pixels; transparent pixels have alpha 0."""
    raw = bytearray()
    colours = dict(PALETTE)
    for line in rows:
        raw.append(0)  # filter: none
        for ch in line:
            raw += bytes((0, 0, 0, 0)) if ch == TRANSPARENT else bytes(colours[ch]) + b"\xff"

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def ico(images):
    """ICONDIR, one ICONDIRENTRY per image, then the images.

    A directory entry gives 256 as 0; a PNG image is entered as 32 bits per
    pixel and no palette.
    """
    blobs = [png(size, rows) if size == 256 else dib(size, rows) for size, rows in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for (size, _), blob in zip(images, blobs):
        colours, bits = (0, 32) if size == 256 else (16, 4)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "install_icon.txt")
    target = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "..", "ui", "install.ico")
    with open(source, encoding="ascii") as f:
        images = parse(f.read())
    if not images:
        raise SystemExit("no images")
    with open(target, "wb") as f:
        f.write(ico(images))


if __name__ == "__main__":
    main()
