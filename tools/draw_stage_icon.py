#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the 16 x 16, 16-colour window icon of the stage and selection windows.

A small television with its antenna, a blue screen and a talking face. Writes a
Windows icon (4 bits per pixel, standard 16-colour palette, transparency mask) to
stage/art/kivo16.ico. Run from the repository root; no third-party modules needed.

`--theme DIR` instead writes the same picture as the desktop icon, DIR/NxN/apps/kivo.png
for the hicolor sizes, each pixel enlarged to a square so the edges stay sharp.
"""
import os
import struct
import sys
import zlib

THEME_SIZES = (16, 32, 48, 64, 128, 256)

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# One hex digit per pixel (palette index); "." is transparent. Top row first.
ROWS = [
    "..9.........9...",
    "...8.......8....",
    "....8.....8.....",
    ".....8...8......",
    "......8.8.......",
    "0000000000000000",
    "0777777777777770",
    "07CCCCCCCCC77770",
    "07CCCBBBCCC79770",
    "07CCB0B0BCC77770",
    "07CCBBBBBCC7A770",
    "07CCB000BCC77770",
    "07CCCBBBCCC78870",
    "07CCCCCCCCC77770",
    "0000000000000000",
    "..00........00..",
]


def icon_bytes():
    assert len(ROWS) == 16 and all(len(r) == 16 for r in ROWS)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(ROWS):  # bitmaps are stored bottom-up
        indices = [0 if c == "." else int(c, 16) for c in row]
        for i in range(0, 16, 2):
            xor.append(indices[i] << 4 | indices[i + 1])
        bits = 0
        for c in row:
            bits = bits << 1 | (1 if c == "." else 0)
        mask += struct.pack(">H", bits) + b"\0\0"  # rows padded to 32 bits
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 16, 16, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def png_bytes(size):
    """The icon as an RGBA PNG of size x size pixels, enlarged nearest-neighbour."""
    factor = size // 16
    assert factor * 16 == size
    raw = bytearray()
    for row in ROWS:
        line = bytearray()
        for c in row:
            pixel = bytes(4) if c == "." else bytes(PALETTE[int(c, 16)]) + b"\xff"
            line += pixel * factor
        raw += (b"\0" + line) * factor  # filter type 0 per scan line

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


def write_theme(folder):
    for size in THEME_SIZES:
        out = os.path.join(folder, f"{size}x{size}", "apps")
        os.makedirs(out, exist_ok=True)
        with open(os.path.join(out, "kivo.png"), "wb") as f:
            f.write(png_bytes(size))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--theme":
        write_theme(sys.argv[2])
        return
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join("stage", "art", "kivo16.ico")
    os.makedirs(os.path.dirname(out), exist_ok=True)
    with open(out, "wb") as f:
        f.write(icon_bytes())


if __name__ == "__main__":
    main()
