#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the CP932 reference table that tests/platform checks decodeAnsi against.

The table comes from Python's own cp932 codec, an implementation independent of the
one the program uses. Layout of the output (little-endian 16-bit units, 31,232 bytes):

  256 units       each single byte 0x00..0xFF decoded on its own
  60 x 256 units  for each lead byte 0x81..0x9F, 0xE0..0xFC in that order,
                  the pair (lead, second) for every second byte 0x00..0xFF

A unit is the UTF-16 code unit of the one character the sequence decodes to, or
0xFFFF when the codec rejects the sequence (U+FFFF is never a CP932 character).

Usage: tools/cp932_table.py [OUTPUT]   (default tests/platform/data/cp932_reference.bin)
"""
import os
import struct
import sys

REJECTED = 0xFFFF
LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))


def decode_one(seq: bytes) -> int:
    try:
        text = seq.decode("cp932")
    except UnicodeDecodeError:
        return REJECTED
    # Every CP932 character lies in the BMP, and a lead/second pair is either one
    # character or rejected; anything else would make the layout above ambiguous.
    if len(text) != 1 or ord(text) > 0xFFFF or ord(text) == REJECTED:
        raise SystemExit(f"unexpected decoding of {seq.hex()}: {text!r}")
    return ord(text)


def table() -> list:
    units = [decode_one(bytes([b])) for b in range(256)]
    for lead in LEADS:
        units += [decode_one(bytes([lead, second])) for second in range(256)]
    return units


def main() -> None:
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "tests", "platform", "data", "cp932_reference.bin")
    out = os.path.normpath(sys.argv[1] if len(sys.argv) > 1 else default)
    units = table()
    with open(out, "wb") as f:
        f.write(struct.pack(f"<{len(units)}H", *units))
    mapped = sum(1 for u in units if u != REJECTED)
    print(f"{out}: {len(units)} sequences, {mapped} decoded, {len(units) - mapped} rejected")


if __name__ == "__main__":
    main()
