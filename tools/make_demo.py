#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Regenerates everything in demo/: the three bundled programmes and their media.

    python3 tools/make_demo.py            # writes into <repo>/demo
    python3 tools/make_demo.py --out DIR  # writes somewhere else

Scenario sources live in tools/demo/KIVO.NNN.txt as UTF-8 with any line ends, so that
they are easy to edit; the player wants CP932 with CR LF, which is what lands in demo/.
Pictures are drawn here, music is composed here, the jingle and sound effects are
synthesised here. Only the voice clips and the GIF/JPEG encoding lean on Debian tools
(espeak-ng, ImageMagick's convert); those are needed to regenerate, never to play.

Everything is deterministic for a given set of tool versions: no clocks, seeded noise.
"""
from __future__ import annotations

import argparse
import array
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import wave
from pathlib import Path

TOOLS = Path(__file__).resolve().parent
REPO = TOOLS.parent
SOURCES = TOOLS / "demo"
RATE = 22050  # every WAV we write: mono, 16-bit, 22050 Hz


# ---------------------------------------------------------------------------
# Scenario files
# ---------------------------------------------------------------------------

# Characters an editor likes to produce that CP932 cannot hold; their CP932 look-alikes.
CP932_LOOKALIKES = {
    "\u301c": "\uff5e",  # wave dash -> full-width tilde
    "\u2014": "\u2015",  # em dash -> horizontal bar
    "\u2212": "\uff0d",  # minus sign -> full-width hyphen-minus
    "\u2016": "\u2225",  # double vertical line -> parallel to
    "\u00a2": "\uffe0", "\u00a3": "\uffe1", "\u00ac": "\uffe2",
}


def convert_scenario(src: Path, dst: Path) -> None:
    text = src.read_text(encoding="utf-8")
    if text.startswith("\ufeff"):
        text = text[1:]  # a BOM would become part of the title field
    lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    out = bytearray()
    for number, line in enumerate(lines, 1):
        line = "".join(CP932_LOOKALIKES.get(c, c) for c in line)
        try:
            out += line.encode("cp932") + b"\r\n"
        except UnicodeEncodeError as e:
            bad = line[e.start:e.end]
            sys.exit(f"{src}:{number}: {bad!r} (U+{ord(bad[0]):04X}) has no CP932 form")
    dst.write_bytes(bytes(out))


# ---------------------------------------------------------------------------
# A small anti-aliased raster: shapes are filled as spans on a supersampled grid,
# then averaged down. Coordinates are in output pixels (floats).
# ---------------------------------------------------------------------------

def mix(c0, c1, t):
    return tuple(int(round(a + (b - a) * t)) for a, b in zip(c0, c1))


class Canvas:
    def __init__(self, w, h, bg=(255, 255, 255), ss=3):
        self.w, self.h, self.ss = w, h, ss
        self.W, self.H = w * ss, h * ss
        self.px = bytearray(bytes(bg) * (self.W * self.H))

    # -- primitive: one horizontal run of samples [x0, x1] inclusive
    def _span(self, Y, X0, X1, col, a):
        if Y < 0 or Y >= self.H:
            return
        X0, X1 = max(X0, 0), min(X1, self.W - 1)
        if X1 < X0:
            return
        o = (Y * self.W + X0) * 3
        n = X1 - X0 + 1
        if a >= 1.0:
            self.px[o:o + n * 3] = bytes(col) * n
            return
        seg = self.px[o:o + n * 3]
        r, g, b = col
        for i in range(0, n * 3, 3):
            seg[i] = int(seg[i] + (r - seg[i]) * a)
            seg[i + 1] = int(seg[i + 1] + (g - seg[i + 1]) * a)
            seg[i + 2] = int(seg[i + 2] + (b - seg[i + 2]) * a)
        self.px[o:o + n * 3] = seg

    def _rows(self, y0, y1):
        s = self.ss
        return range(max(0, int(math.floor(y0 * s))), min(self.H, int(math.ceil(y1 * s)) + 1))

    def _xspan(self, Y, xa, xb, col, a):
        s = self.ss
        X0 = int(math.ceil(xa * s - 0.5))
        X1 = int(math.floor(xb * s - 0.5))
        self._span(Y, X0, X1, col, a)

    # -- shapes
    def rect(self, x0, y0, x1, y1, col, a=1.0):
        for Y in self._rows(y0, y1):
            yc = (Y + 0.5) / self.ss
            if y0 <= yc < y1:
                self._xspan(Y, x0, x1, col, a)

    def vgradient(self, x0, y0, x1, y1, c0, c1):
        for Y in self._rows(y0, y1):
            yc = (Y + 0.5) / self.ss
            if y0 <= yc < y1:
                self._xspan(Y, x0, x1, mix(c0, c1, (yc - y0) / max(1e-9, y1 - y0)), 1.0)

    def ellipse(self, cx, cy, rx, ry, col, a=1.0):
        for Y in self._rows(cy - ry, cy + ry):
            dy = (Y + 0.5) / self.ss - cy
            if abs(dy) < ry:
                half = rx * math.sqrt(1 - (dy / ry) ** 2)
                self._xspan(Y, cx - half, cx + half, col, a)

    def circle(self, cx, cy, r, col, a=1.0):
        self.ellipse(cx, cy, r, r, col, a)

    def ring(self, cx, cy, r, width, col):
        self.polygon(arc_points(cx, cy, r + width / 2, r + width / 2, 0, 360, 48)
                     + arc_points(cx, cy, r - width / 2, r - width / 2, 360, 0, 48), col)

    def polygon(self, pts, col, a=1.0):
        ys = [p[1] for p in pts]
        n = len(pts)
        for Y in self._rows(min(ys), max(ys)):
            yc = (Y + 0.5) / self.ss
            xs = []
            for i in range(n):
                (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % n]
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for k in range(0, len(xs) - 1, 2):
                self._xspan(Y, xs[k], xs[k + 1], col, a)

    def line(self, x0, y0, x1, y1, w, col, a=1.0):
        dx, dy = x1 - x0, y1 - y0
        d = math.hypot(dx, dy) or 1e-9
        nx, ny = -dy / d * w / 2, dx / d * w / 2
        self.polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)], col, a)
        if a >= 1.0:
            self.circle(x0, y0, w / 2, col)
            self.circle(x1, y1, w / 2, col)

    def polyline(self, pts, w, col):
        for p, q in zip(pts, pts[1:]):
            self.line(p[0], p[1], q[0], q[1], w, col)

    def rrect(self, x0, y0, x1, y1, r, col, a=1.0):
        r = min(r, (x1 - x0) / 2, (y1 - y0) / 2)
        pts = (arc_points(x1 - r, y0 + r, r, r, -90, 0, 8) + arc_points(x1 - r, y1 - r, r, r, 0, 90, 8)
               + arc_points(x0 + r, y1 - r, r, r, 90, 180, 8) + arc_points(x0 + r, y0 + r, r, r, 180, 270, 8))
        self.polygon(pts, col, a)

    def star(self, cx, cy, ro, ri, col, rot=-90, a=1.0):
        pts = []
        for k in range(10):
            r = ro if k % 2 == 0 else ri
            t = math.radians(rot + k * 36)
            pts.append((cx + r * math.cos(t), cy + r * math.sin(t)))
        self.polygon(pts, col, a)

    def text(self, x, y, s, scale, col):
        for ch in s:
            glyph = FONT.get(ch)
            if glyph is None:
                x += 4 * scale
                continue
            for row, bits in enumerate(glyph):
                for colno, bit in enumerate(bits):
                    if bit == "#":
                        self.rect(x + colno * scale, y + row * scale, x + (colno + 1) * scale,
                                  y + (row + 1) * scale, col)
            x += (len(glyph[0]) + 1) * scale

    # -- output: averaged down, top row first, 3 bytes per pixel
    def rows(self):
        s, W = self.ss, self.W
        n = s * s
        out = []
        for y in range(self.h):
            band = [self.px[(y * s + k) * W * 3:(y * s + k + 1) * W * 3] for k in range(s)]
            colsum = [sum(t) for t in zip(*band)] if s > 1 else list(band[0])
            row = bytearray(self.w * 3)
            for c in range(3):
                ch = colsum[c::3]
                row[c::3] = bytes((sum(ch[i:i + s]) + n // 2) // n for i in range(0, W, s))
            out.append(bytes(row))
        return out


def arc_points(cx, cy, rx, ry, a0, a1, n):
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * k / n)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * k / n))) for k in range(n + 1)]


# 5x7 (some narrower) glyphs for the few Latin letters and digits in the pictures.
FONT = {k: v.split("|") for k, v in {
    "0": ".###.|#...#|#..##|#.#.#|##..#|#...#|.###.",
    "1": "..#..|.##..|..#..|..#..|..#..|..#..|.###.",
    "2": ".###.|#...#|....#|...#.|..#..|.#...|#####",
    "3": "####.|....#|....#|.###.|....#|....#|####.",
    "4": "...#.|..##.|.#.#.|#..#.|#####|...#.|...#.",
    "5": "#####|#....|####.|....#|....#|#...#|.###.",
    "6": ".###.|#....|#....|####.|#...#|#...#|.###.",
    "7": "#####|....#|...#.|..#..|.#...|.#...|.#...",
    "8": ".###.|#...#|#...#|.###.|#...#|#...#|.###.",
    "9": ".###.|#...#|#...#|.####|....#|....#|.###.",
    "A": ".###.|#...#|#...#|#####|#...#|#...#|#...#",
    "C": ".###.|#...#|#....|#....|#....|#...#|.###.",
    "E": "#####|#....|#....|####.|#....|#....|#####",
    "I": "###|.#.|.#.|.#.|.#.|.#.|###",
    "K": "#...#|#..#.|#.#..|##...|#.#..|#..#.|#...#",
    "L": "#....|#....|#....|#....|#....|#....|#####",
    "M": "#...#|##.##|#.#.#|#.#.#|#...#|#...#|#...#",
    "N": "#...#|##..#|#.#.#|#..##|#...#|#...#|#...#",
    "O": ".###.|#...#|#...#|#...#|#...#|#...#|.###.",
    "P": "####.|#...#|#...#|####.|#....|#....|#....",
    "Q": ".###.|#...#|#...#|#...#|#.#.#|#..#.|.##.#",
    "R": "####.|#...#|#...#|####.|#.#..|#..#.|#...#",
    "T": "#####|..#..|..#..|..#..|..#..|..#..|..#..",
    "U": "#...#|#...#|#...#|#...#|#...#|#...#|.###.",
    "V": "#...#|#...#|#...#|#...#|#...#|.#.#.|..#..",
    "Z": "#####|....#|...#.|..#..|.#...|#....|#####",
    "?": ".###.|#...#|....#|...#.|..#..|.....|..#..",
    "!": "#|#|#|#|#|.|#",
    "/": "....#|...#.|...#.|..#..|.#...|.#...|#....",
    "-": ".....|.....|.....|#####|.....|.....|.....",
    "°": "###|#.#|###|...|...|...|...",
}.items()}


def text_width(s, scale):
    return sum((len(FONT[c][0]) + 1) * scale if c in FONT else 4 * scale for c in s) - scale


# ---------------------------------------------------------------------------
# Picture files
# ---------------------------------------------------------------------------

def write_bmp(path: Path, rows, w, h):
    """Classic 24-bit Windows bitmap (BITMAPINFOHEADER, bottom-up rows, no compression)."""
    stride = (w * 3 + 3) & ~3
    pad = b"\0" * (stride - w * 3)
    body = bytearray()
    for row in reversed(rows):
        bgr = bytearray(row)
        bgr[0::3], bgr[2::3] = row[2::3], row[0::3]
        body += bgr + pad
    header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(body), 3780, 3780, 0, 0)
    path.write_bytes(header + info + bytes(body))


def find_convert():
    # Prefer the real ImageMagick binary over any wrapper earlier on PATH.
    for cand in ("/usr/bin/convert", shutil.which("convert"), shutil.which("magick")):
        if cand and os.path.exists(cand):
            return cand
    sys.exit("ImageMagick's convert is needed for GIF and JPEG (apt-get install imagemagick)")


def save_picture(canvas: Canvas, path: Path):
    rows = canvas.rows()
    ext = path.suffix.lower()
    if ext == ".bmp":
        write_bmp(path, rows, canvas.w, canvas.h)
        return
    with tempfile.TemporaryDirectory() as tmp:
        ppm = Path(tmp) / "in.ppm"
        ppm.write_bytes(b"P6 %d %d 255\n" % (canvas.w, canvas.h) + b"".join(rows))
        if ext == ".gif":
            opts = ["+dither", "-colors", "128"]
        else:
            opts = ["-quality", "88", "-sampling-factor", "2x2", "-interlace", "none"]
        subprocess.run([find_convert(), str(ppm), "-strip", *opts, str(path)], check=True)


# ---------------------------------------------------------------------------
# Cast portraits: 96 x 96, each with a closed (rest) and an open (talk) mouth
# ---------------------------------------------------------------------------

SIZE = 96
INK = (50, 35, 35)
WHITE = (255, 255, 255)


def eyes(c, y, dx, r=5.2, cx=48, col=INK):
    for x in (cx - dx, cx + dx):
        c.ellipse(x, y, r * 0.85, r, col)
        c.circle(x + r * 0.3, y - r * 0.4, r * 0.32, WHITE)


def mouth(c, cx, y, talk, w=7.0, open_h=6.5, lip=(120, 40, 40), tongue=(235, 110, 120)):
    if talk:
        c.ellipse(cx, y + open_h * 0.45, w * 0.85, open_h, lip)
        c.ellipse(cx, y + open_h * 0.95, w * 0.55, open_h * 0.45, tongue)
    else:
        c.polyline(arc_points(cx, y - 2, w, 4, 20, 160, 10), 1.8, lip)


def portrait_miruko(talk):
    c = Canvas(SIZE, SIZE, (255, 214, 226), ss=4)
    c.circle(70, 22, 30, (255, 230, 238))
    hair = (96, 56, 34)
    c.rrect(16, 20, 80, 86, 22, hair)                       # bob, behind the face
    c.polygon([(18, 96), (22, 80), (38, 74), (58, 74), (74, 80), (78, 96)], (44, 62, 124))  # blazer
    c.polygon([(38, 74), (48, 90), (58, 74)], WHITE)          # collar
    c.rect(43, 64, 53, 78, (250, 215, 185))                   # neck
    c.polygon([(43, 74), (48, 82), (53, 74)], (250, 215, 185))
    c.ellipse(48, 46, 25, 27, (255, 226, 200))                # face
    c.polygon(arc_points(48, 40, 28, 24, 180, 360, 16) + [(74, 36), (60, 30), (50, 36), (36, 30), (22, 36)], hair)
    c.ellipse(22, 66, 7, 14, hair)
    c.ellipse(74, 66, 7, 14, hair)
    c.polygon([(62, 18), (76, 11), (74, 27)], (220, 40, 70))   # ribbon
    c.polygon([(62, 18), (52, 10), (56, 25)], (220, 40, 70))
    c.circle(62, 18, 3.2, (250, 90, 120))
    brow = -1.5 if talk else 0
    c.line(34, 40 + brow, 41, 38.5 + brow, 1.6, hair)
    c.line(55, 38.5 + brow, 62, 40 + brow, 1.6, hair)
    eyes(c, 48, 11, r=5.0)
    c.ellipse(30, 58, 5, 3, (255, 150, 160), 0.6)
    c.ellipse(66, 58, 5, 3, (255, 150, 160), 0.6)
    mouth(c, 48, 61, talk, w=6, open_h=5.5)
    return c


def portrait_ponta(talk):
    c = Canvas(SIZE, SIZE, (200, 228, 255), ss=4)
    c.circle(24, 20, 26, (222, 240, 255))
    fur, dark, cream = (160, 108, 64), (78, 52, 34), (246, 232, 204)
    c.polygon([(14, 96), (20, 80), (36, 73), (60, 73), (76, 80), (82, 96)], WHITE)          # shirt
    c.polygon([(45, 74), (51, 74), (53, 80), (50, 96), (46, 96), (43, 80)], (40, 90, 200))  # tie
    c.polygon([(14, 96), (20, 80), (36, 73), (42, 96)], (90, 110, 140))                   # jacket
    c.polygon([(82, 96), (76, 80), (60, 73), (54, 96)], (90, 110, 140))
    for x in (24, 72):                                                                   # ears
        c.circle(x, 24, 11, fur)
        c.circle(x, 25, 6, dark)
    c.ellipse(48, 48, 30, 27, fur)
    c.ellipse(48, 33, 8, 6, dark, 0.5)                                                   # forehead mark
    for x, s in ((34, -1), (62, 1)):                                                     # eye mask
        c.polygon([(x - 11 * s, 40), (x + 8 * s, 42), (x + 10 * s, 52), (x - 2 * s, 58), (x - 13 * s, 50)], dark)
    c.ellipse(48, 60, 16, 12, cream)
    for x in (35, 61):
        c.circle(x, 48, 5.2, WHITE)
        c.circle(x + 0.5, 48.5, 3.2, INK)
        c.circle(x + 1.5, 47.2, 1.1, WHITE)
    c.ellipse(48, 54, 5, 3.6, (40, 28, 24))
    c.circle(46.5, 53, 1.0, (140, 120, 110))
    if talk:
        mouth(c, 48, 60, True, w=6, open_h=5)
    else:
        c.polyline(arc_points(44.5, 58, 3.5, 3, 10, 170, 8), 1.5, (70, 40, 30))
        c.polyline(arc_points(51.5, 58, 3.5, 3, 10, 170, 8), 1.5, (70, 40, 30))
    c.ellipse(24, 62, 4, 2.5, (255, 150, 150), 0.35)
    c.ellipse(72, 62, 4, 2.5, (255, 150, 150), 0.35)
    return c


def portrait_neko(talk):
    c = Canvas(SIZE, SIZE, (255, 244, 196), ss=4)
    c.circle(74, 74, 30, (255, 250, 220))
    fur, stripe, pink = (244, 168, 76), (206, 112, 40), (250, 160, 170)
    c.polygon([(14, 96), (20, 80), (36, 74), (60, 74), (76, 80), (82, 96)], (250, 250, 250))  # chef coat
    for y in (82, 90):
        c.circle(42, y, 1.8, (200, 200, 210))
        c.circle(54, y, 1.8, (200, 200, 210))
    c.polygon([(40, 74), (48, 82), (56, 74)], (220, 60, 60))                                # scarf
    c.polygon([(20, 44), (24, 16), (42, 30)], fur)                                          # ears
    c.polygon([(76, 44), (72, 16), (54, 30)], fur)
    c.polygon([(25, 36), (27, 22), (36, 31)], pink)
    c.polygon([(71, 36), (69, 22), (60, 31)], pink)
    c.ellipse(48, 50, 29, 25, fur)
    # chef hat: a puffy top on a band, sitting between the ears
    for x, y, r in ((38, 12, 9), (48, 8, 10), (58, 12, 9)):
        c.circle(x, y, r, (252, 252, 252))
    c.rrect(32, 12, 64, 28, 3, (252, 252, 252))
    c.rect(32, 24, 64, 29, (232, 232, 240))
    for x in (40, 48, 56):                                                                  # forehead stripes
        c.polygon([(x - 3, 29), (x + 3, 29), (x, 37)], stripe)
    c.ellipse(48, 60, 14, 9, (255, 236, 210))
    for x in (36, 60):
        c.ellipse(x, 47, 4.6, 5.4, (60, 120, 60))
        c.ellipse(x, 47, 1.8, 4.6, INK)
        c.circle(x + 1.4, 45.2, 1.2, WHITE)
    c.polygon([(45, 55), (51, 55), (48, 58)], (230, 110, 120))
    for s in (-1, 1):                                                                       # whiskers
        for dy in (-2, 2):
            c.line(48 + s * 14, 58 + dy / 2, 48 + s * 30, 56 + dy * 2.2, 0.9, (120, 80, 50))
    if talk:
        mouth(c, 48, 60, True, w=5.5, open_h=5)
    else:
        c.polyline(arc_points(45, 59, 3, 2.5, 10, 170, 8), 1.4, (120, 60, 40))
        c.polyline(arc_points(51, 59, 3, 2.5, 10, 170, 8), 1.4, (120, 60, 40))
    return c


def portrait_piko(talk):
    c = Canvas(SIZE, SIZE, (206, 244, 214), ss=4)
    c.circle(22, 76, 28, (226, 252, 232))
    metal, edge = (196, 206, 218), (112, 124, 140)
    c.rrect(22, 74, 74, 100, 6, edge)                                                       # body
    c.rrect(24, 76, 72, 100, 5, (170, 182, 198))
    c.rrect(38, 82, 58, 96, 3, (60, 70, 90))
    c.text(44, 85, "P", 1.4, (120, 255, 200))
    c.rect(42, 66, 54, 76, edge)                                                            # neck
    c.line(48, 20, 48, 8, 2, edge)                                                          # antenna
    c.circle(48, 7, 4.5, (236, 60, 60) if talk else (200, 50, 50))
    c.circle(46.8, 5.8, 1.4, (255, 180, 180))
    c.circle(15, 44, 6, edge)                                                               # ear bolts
    c.circle(81, 44, 6, edge)
    c.rrect(16, 18, 80, 68, 10, edge)
    c.rrect(18, 20, 78, 66, 9, metal)
    c.rect(20, 22, 76, 25, (220, 228, 236))
    for x in (34, 62):
        c.circle(x, 38, 9, (60, 70, 90))
        c.circle(x, 38, 6.5, (80, 220, 255) if talk else (60, 190, 235))
        c.circle(x - 2, 36, 2, WHITE)
    c.rrect(22, 49, 30, 54, 2, (255, 170, 100))
    c.rrect(66, 49, 74, 54, 2, (255, 170, 100))
    if talk:
        c.rrect(36, 50, 60, 63, 3, (40, 44, 60))
        for i, hgt in enumerate((3, 7, 10, 6, 9, 4)):
            x = 39 + i * 3.6
            c.rect(x, 56.5 - hgt / 2, x + 2.4, 56.5 + hgt / 2, (255, 220, 90))
    else:
        c.rrect(36, 54, 60, 59, 2, (40, 44, 60))
        for i in range(5):
            c.rect(39 + i * 4.4, 55.5, 40.5 + i * 4.4, 57.5, (110, 120, 140))
    return c


PORTRAITS = {
    "MIRUKO": portrait_miruko,
    "PONTA": portrait_ponta,
    "NEKO": portrait_neko,
    "PIKO": portrait_piko,
}


# ---------------------------------------------------------------------------
# View pictures (at most 256 x 256, the size of the view area)
# ---------------------------------------------------------------------------

def sun(c, cx, cy, r):
    for k in range(12):
        t = math.radians(k * 30)
        c.line(cx + math.cos(t) * r * 1.3, cy + math.sin(t) * r * 1.3,
               cx + math.cos(t) * r * 1.75, cy + math.sin(t) * r * 1.75, max(1.5, r * 0.18), (255, 170, 30))
    c.circle(cx, cy, r, (255, 200, 40))
    c.circle(cx - r * 0.25, cy - r * 0.25, r * 0.55, (255, 226, 110))


def cloud(c, cx, cy, s, col=(250, 250, 252), shade=(205, 212, 225)):
    for dx, dy, r in ((-0.9, 0.25, 0.55), (0.9, 0.25, 0.55), (-0.35, -0.15, 0.75), (0.4, -0.3, 0.65)):
        c.circle(cx + dx * s, cy + dy * s + 2, r * s, shade)
    c.rrect(cx - 1.4 * s, cy, cx + 1.4 * s, cy + 0.8 * s + 2, 0.4 * s, shade)
    for dx, dy, r in ((-0.9, 0.25, 0.55), (0.9, 0.25, 0.55), (-0.35, -0.15, 0.75), (0.4, -0.3, 0.65)):
        c.circle(cx + dx * s, cy + dy * s, r * s, col)
    c.rrect(cx - 1.4 * s, cy, cx + 1.4 * s, cy + 0.8 * s, 0.4 * s, col)


def umbrella(c, cx, cy, s, col=(60, 120, 230)):
    c.polygon(arc_points(cx, cy, s, s * 0.8, 180, 360, 16)
              + [(cx + s, cy), (cx + s * 0.5, cy - s * 0.12), (cx, cy), (cx - s * 0.5, cy - s * 0.12)], col)
    c.line(cx, cy, cx, cy + s * 0.9, max(1.2, s * 0.09), (90, 70, 60))
    c.polyline(arc_points(cx - s * 0.18, cy + s * 0.9, s * 0.18, s * 0.18, 0, 180, 6), max(1.2, s * 0.09), (90, 70, 60))
    for dx, dy in ((-0.9, 0.5), (0.75, 0.4), (-0.5, 1.1), (0.4, 1.15)):
        x, y = cx + dx * s, cy + dy * s
        c.polygon([(x, y - s * 0.18), (x + s * 0.08, y), (x - s * 0.08, y)], (120, 170, 255))
        c.circle(x, y, s * 0.08, (120, 170, 255))


def label_box(c, x, y, s, col=(255, 255, 255), bg=(40, 60, 110)):
    w = text_width(s, 2) + 8
    c.rrect(x - w / 2, y, x + w / 2, y + 20, 5, bg)
    c.text(x - w / 2 + 4, y + 3, s, 2, col)


def scene_studio():
    c = Canvas(256, 192, (30, 40, 80))
    c.vgradient(0, 0, 256, 120, (28, 40, 92), (70, 100, 170))
    # city skyline backdrop through a big window
    c.rect(30, 22, 226, 108, (120, 170, 230))
    c.vgradient(30, 22, 226, 108, (130, 190, 245), (250, 215, 170))
    sun(c, 190, 50, 11)
    rnd = random.Random(11)
    x = 30
    while x < 226:
        w, h = rnd.randint(12, 24), rnd.randint(18, 50)
        c.rect(x, 108 - h, min(226, x + w), 108, (92, 110, 150))
        for wy in range(int(108 - h + 5), 104, 8):
            for wx in range(int(x + 3), int(min(226, x + w) - 3), 6):
                if rnd.random() < 0.5:
                    c.rect(wx, wy, wx + 3, wy + 4, (255, 236, 150))
        x += w + rnd.randint(1, 4)
    for xx in (30, 95, 160, 226):
        c.rect(xx - 2, 22, xx + 2, 108, (40, 50, 80))
    c.rect(28, 20, 228, 24, (40, 50, 80))
    c.rect(28, 106, 228, 110, (40, 50, 80))
    # "ON AIR" lamp
    c.rrect(96, 4, 160, 19, 4, (70, 0, 0))
    c.rrect(98, 6, 158, 17, 3, (235, 40, 40))
    c.text(128 - text_width("ON AIR", 1.2) / 2, 7.3, "ON AIR", 1.2, (255, 240, 240))
    # floor and news desk
    c.vgradient(0, 120, 256, 192, (90, 70, 60), (50, 40, 35))
    c.polygon([(24, 132), (232, 132), (250, 192), (6, 192)], (200, 130, 70))
    c.polygon([(24, 132), (232, 132), (236, 140), (20, 140)], (236, 176, 110))
    c.rrect(100, 146, 156, 180, 8, (40, 60, 120))
    c.circle(128, 163, 12, (250, 250, 255))
    c.text(128 - text_width("MKL", 1.4) / 2, 158, "MKL", 1.4, (40, 60, 120))
    # two microphones
    for mx in (70, 186):
        c.line(mx, 132, mx, 116, 1.6, (60, 60, 70))
        c.ellipse(mx, 113, 3.5, 5, (40, 40, 50))
    # spotlights
    for sx in (40, 216):
        c.polygon([(sx - 6, 0), (sx + 6, 0), (sx + 60 * (1 if sx < 128 else -1) + 30, 192),
                   (sx + 60 * (1 if sx < 128 else -1) - 30, 192)], (255, 250, 200), 0.12)
    return c


def island_points(cx, cy, r, seed, n=40, rough=0.22):
    rnd = random.Random(seed)
    bumps = [rnd.uniform(-rough, rough) for _ in range(6)]
    pts = []
    for k in range(n):
        t = 2 * math.pi * k / n
        f = 1 + sum(b * math.sin((i + 2) * t + i) for i, b in enumerate(bumps)) / 2
        pts.append((cx + r * f * math.cos(t) * 1.15, cy + r * f * math.sin(t) * 0.9))
    return pts


def scene_weather_map():
    c = Canvas(256, 256, (90, 160, 220))
    c.vgradient(0, 0, 256, 256, (110, 180, 235), (60, 130, 205))
    for y in range(20, 256, 24):                       # faint latitude lines
        c.rect(0, y, 256, y + 0.7, (150, 200, 240))
    c.polygon(island_points(124, 128, 78, 4), (90, 170, 90))
    c.polygon(island_points(124, 132, 60, 4, rough=0.15), (120, 190, 105))
    c.polygon(island_points(222, 52, 18, 9), (90, 170, 90))
    c.polygon(island_points(34, 214, 14, 7), (90, 170, 90))
    c.ellipse(110, 120, 14, 10, (150, 130, 90))          # a mountain in the middle
    c.polygon([(96, 124), (110, 100), (124, 124)], (130, 110, 80))
    c.polygon([(105, 109), (110, 100), (115, 109)], WHITE)
    # forecasts: north cloudy, centre sunny, south rain
    cloud(c, 128, 62, 15)
    label_box(c, 128, 80, "19°")
    sun(c, 170, 130, 13)
    label_box(c, 170, 152, "24°")
    umbrella(c, 82, 176, 16)
    label_box(c, 82, 196, "21°")
    sun(c, 222, 40, 7)
    c.rect(0, 236, 256, 256, (30, 50, 100))
    c.text(8, 242, "MKL", 1.2, (220, 230, 255))
    return c


def scene_week():
    c = Canvas(252, 132, (240, 246, 255))
    c.rect(0, 0, 252, 22, (40, 60, 110))
    for i in range(7):
        x = 2 + i * 36
        col = (255, 210, 210) if i == 6 else (230, 236, 250) if i % 2 == 0 else (245, 248, 255)
        c.rect(x, 24, x + 34, 130, col)
        c.text(x + 17 - text_width(str(i + 1), 2) / 2, 5, str(i + 1), 2, WHITE)
    kinds = ["sun", "sun", "cloud", "rain", "rain", "cloud", "sun"]
    highs = [22, 23, 21, 19, 20, 24, 26]
    lows = [14, 15, 15, 16, 15, 16, 17]
    for i, (k, hi, lo) in enumerate(zip(kinds, highs, lows)):
        cx = 2 + i * 36 + 17
        if k == "sun":
            sun(c, cx, 52, 8)
        elif k == "cloud":
            cloud(c, cx, 52, 9)
        else:
            umbrella(c, cx, 46, 11)
        c.text(cx - text_width(str(hi), 2) / 2, 82, str(hi), 2, (220, 60, 40))
        c.text(cx - text_width(str(lo), 2) / 2, 104, str(lo), 2, (40, 90, 210))
    return c


def radish(c, cx, top, h):
    for dx, ang in ((-10, -30), (0, -5), (10, 25), (-4, -15), (6, 12)):
        t = math.radians(ang - 90)
        c.polygon([(cx + dx * 0.3, top + 4), (cx + dx + math.cos(t) * h * 0.35 - 6, top + math.sin(t) * h * 0.4),
                   (cx + dx + math.cos(t) * h * 0.42, top + math.sin(t) * h * 0.46),
                   (cx + dx + math.cos(t) * h * 0.35 + 6, top + math.sin(t) * h * 0.4)], (70, 150, 60))
    c.polygon([(cx - 16, top + 4)] + arc_points(cx, top + 4, 16, 8, 180, 360, 10)
              + [(cx + 16, top + 4), (cx + 12, top + h * 0.8), (cx + 2, top + h)] + [(cx - 3, top + h * 0.97),
                                                                                    (cx - 13, top + h * 0.78)],
              (250, 250, 244))
    c.polygon([(cx - 14, top + 4), (cx + 14, top + 4), (cx + 13, top + 18), (cx - 13, top + 18)], (200, 235, 180), 0.8)
    for k in range(5):
        y = top + 30 + k * h * 0.13
        c.line(cx - 9 + k, y, cx - 4 + k, y + 1, 0.8, (210, 210, 200))


def scene_news_radish():
    c = Canvas(240, 180, (150, 200, 250))
    c.vgradient(0, 0, 240, 110, (120, 180, 245), (215, 235, 255))
    cloud(c, 50, 30, 11)
    cloud(c, 190, 22, 8)
    c.ellipse(60, 118, 110, 26, (120, 180, 90))
    c.ellipse(200, 120, 90, 20, (100, 165, 80))
    c.vgradient(0, 112, 240, 180, (150, 110, 70), (110, 80, 50))
    for y in range(120, 180, 12):
        c.rect(0, y, 240, y + 3, (128, 92, 58))
    # a red barn for scale
    c.rect(170, 76, 222, 116, (190, 50, 40))
    c.polygon([(164, 78), (196, 56), (228, 78)], (120, 40, 35))
    c.rect(188, 92, 204, 116, (240, 230, 210))
    c.line(188, 92, 204, 116, 1.5, (190, 50, 40))
    c.line(204, 92, 188, 116, 1.5, (190, 50, 40))
    radish(c, 96, 62, 104)
    c.star(140, 74, 14, 7, (255, 215, 60))            # the prize rosette
    c.circle(140, 74, 6, (230, 70, 60))
    return c


def pumpkin(c, cx, cy, r):
    col, dark = (240, 140, 30), (205, 105, 20)
    for dx in (-0.55, 0.55):
        c.ellipse(cx + dx * r, cy, r * 0.62, r * 0.8, dark)
    c.ellipse(cx, cy, r * 0.55, r * 0.85, col)
    c.ellipse(cx - r * 0.2, cy - r * 0.3, r * 0.18, r * 0.25, (255, 190, 90), 0.6)
    c.line(cx, cy - r * 0.8, cx + r * 0.15, cy - r * 1.1, r * 0.16, (90, 120, 40))


def scene_field():
    c = Canvas(256, 176)
    c.vgradient(0, 0, 256, 90, (150, 170, 200), (220, 228, 240))
    cloud(c, 70, 30, 16, (235, 238, 245), (180, 188, 205))
    cloud(c, 190, 40, 12, (235, 238, 245), (180, 188, 205))
    c.ellipse(128, 96, 180, 24, (110, 150, 80))
    c.vgradient(0, 92, 256, 176, (90, 140, 60), (60, 110, 40))
    rnd = random.Random(5)
    for row, y in enumerate((104, 124, 150)):
        for k in range(6 - row):
            x = 20 + k * (216 / (5 - row) if row < 5 else 0) + rnd.uniform(-8, 8)
            c.ellipse(x + 10, y + 8, 16 + row * 4, 5 + row, (70, 120, 40))
            pumpkin(c, x, y, 8 + row * 4)
    # a few raindrops: the shower has reached the field
    for _ in range(28):
        x, y = rnd.uniform(0, 256), rnd.uniform(0, 100)
        c.line(x, y, x - 2, y + 7, 1.0, (120, 150, 210))
    # the reporter's microphone flag in the corner
    c.rrect(200, 130, 248, 168, 6, (40, 60, 110))
    c.text(224 - text_width("LIVE", 1.6) / 2, 143, "LIVE", 1.6, WHITE)
    return c


def scene_kitchen():
    c = Canvas(256, 192, (250, 246, 236))
    for y in range(0, 120, 16):                     # tiled wall
        for x in range(0 if (y // 16) % 2 == 0 else -8, 256, 16):
            c.rect(x + 1, y + 1, x + 15, y + 15, (236, 244, 248))
    c.rect(0, 0, 256, 120, (200, 220, 230), 0.25)
    # shelf with jars and hanging utensils
    c.rect(20, 30, 130, 34, (170, 120, 80))
    for i, col in enumerate(((240, 200, 80), (220, 90, 70), (120, 180, 90), (250, 240, 220))):
        x = 28 + i * 26
        c.rrect(x, 12, x + 18, 30, 3, col)
        c.rect(x + 2, 10, x + 16, 14, (140, 110, 90))
    c.rect(150, 18, 240, 21, (120, 120, 130))
    for i in range(4):
        x = 162 + i * 22
        c.line(x, 21, x, 50, 2, (150, 150, 160))
        if i % 2 == 0:
            c.ellipse(x, 56, 6, 8, (150, 150, 160))
        else:
            c.rect(x - 5, 50, x + 5, 62, (150, 150, 160))
    # window
    c.rect(40, 48, 110, 100, (160, 200, 240))
    c.vgradient(42, 50, 108, 98, (160, 210, 250), (230, 240, 250))
    sun(c, 90, 64, 7)
    c.rect(74, 48, 76, 100, (170, 120, 80))
    c.rect(40, 73, 110, 75, (170, 120, 80))
    # counter, stove, pan with an egg
    c.rect(0, 120, 256, 192, (150, 100, 70))
    c.rect(0, 116, 256, 128, (230, 230, 236))
    c.rect(0, 128, 256, 132, (190, 190, 200))
    c.rrect(140, 100, 236, 120, 4, (60, 60, 70))
    c.ellipse(166, 112, 16, 3, (90, 90, 110))
    c.ellipse(210, 112, 16, 3, (90, 90, 110))
    c.ellipse(166, 106, 20, 7, (40, 40, 48))
    c.line(184, 104, 214, 96, 4, (40, 40, 48))
    c.ellipse(166, 104, 11, 4, WHITE)
    c.circle(166, 104, 4, (255, 200, 40))
    c.polyline([(206, 102), (204, 96), (208, 90), (205, 84)], 1.3, (200, 200, 210))  # steam
    c.rrect(30, 98, 96, 118, 5, (250, 250, 250))                                     # bowl + whisk
    c.ellipse(63, 99, 33, 5, (255, 226, 120))
    c.line(80, 96, 104, 72, 2, (160, 160, 170))
    for k in range(3):
        c.line(100 - k * 3, 76 + k * 3, 90 + k * 2, 66 + k * 3, 1, (160, 160, 170))
    for x in range(10, 256, 40):                                                    # cupboard doors
        c.rect(x + 2, 138, x + 36, 188, (170, 118, 84))
        c.circle(x + 30, 160, 2, (230, 200, 120))
    return c


def scene_ingredients():
    c = Canvas(240, 200, (250, 236, 210))
    for y in range(0, 200, 20):
        c.rect(0, y, 240, y + 10, (244, 224, 196))
    c.ellipse(120, 150, 116, 44, (190, 140, 90))                       # cutting board
    c.ellipse(120, 146, 112, 40, (222, 178, 120))
    # rice bowl
    c.polygon(arc_points(60, 90, 34, 30, 0, 180, 20), (80, 120, 190))
    c.ellipse(60, 90, 34, 8, (70, 105, 170))
    c.ellipse(60, 86, 30, 14, WHITE)
    c.circle(56, 80, 10, (250, 250, 250))
    # eggs
    for x, y in ((114, 140), (136, 148), (124, 158)):
        c.ellipse(x + 1, y + 2, 11, 14, (220, 190, 150))
        c.ellipse(x, y, 11, 14, (255, 246, 230))
        c.ellipse(x - 3, y - 5, 3, 4, WHITE)
    # tomato
    c.circle(180, 140, 20, (230, 50, 40))
    c.ellipse(173, 132, 6, 4, (255, 140, 120))
    c.star(180, 121, 8, 3, (70, 140, 60))
    # half an onion
    c.ellipse(74, 156, 24, 18, (240, 220, 160))
    for r in (18, 13, 8, 3):
        c.ring(74, 156, r, 1.2, (220, 190, 120))
    # ketchup bottle and butter
    c.rrect(170, 40, 206, 106, 8, (220, 40, 40))
    c.rrect(178, 22, 198, 42, 4, (250, 250, 250))
    c.rrect(176, 60, 200, 84, 3, (255, 240, 200))
    c.circle(188, 72, 6, (230, 60, 40))
    c.rrect(116, 62, 150, 84, 3, (255, 236, 140))
    c.polygon([(116, 62), (124, 54), (158, 54), (150, 62)], (255, 246, 190))
    c.polygon([(150, 62), (158, 54), (158, 76), (150, 84)], (240, 216, 110))
    return c


def scene_omurice():
    c = Canvas(256, 200)
    for y in range(0, 200, 20):                                          # gingham tablecloth
        for x in range(0, 256, 20):
            c.rect(x, y, x + 20, y + 20, (250, 250, 250) if (x // 20 + y // 20) % 2 else (240, 190, 190))
    c.rect(0, 0, 256, 200, (255, 255, 255), 0.15)
    c.ellipse(130, 112, 110, 70, (200, 200, 210))                       # plate
    c.ellipse(128, 108, 110, 70, (255, 255, 255))
    c.ellipse(128, 108, 90, 56, (245, 245, 250))
    c.ellipse(128, 122, 80, 26, (230, 90, 60))                          # a bit of ketchup rice showing
    c.ellipse(128, 106, 72, 40, (240, 190, 60))                         # the omelette
    c.ellipse(128, 100, 66, 32, (255, 214, 80))
    c.ellipse(108, 90, 24, 10, (255, 236, 150), 0.8)
    # ketchup heart
    hx, hy, s = 132, 98, 16
    pts = [(hx + s * 16 * math.sin(t) ** 3 / 16, hy - s * (13 * math.cos(t) - 5 * math.cos(2 * t)
            - 2 * math.cos(3 * t) - math.cos(4 * t)) / 16) for t in [k * 2 * math.pi / 48 for k in range(48)]]
    c.polygon(pts, (200, 30, 30))
    c.ellipse(126, 92, 4, 2.5, (240, 110, 100))
    # parsley, spoon
    for dx, dy in ((0, 0), (5, -3), (7, 3), (-4, 4)):
        c.circle(196 + dx, 132 + dy, 4, (60, 150, 60))
    c.line(230, 60, 246, 176, 4, (190, 190, 200))
    c.ellipse(229, 52, 9, 14, (200, 200, 210))
    return c


def scene_pudding():
    c = Canvas(200, 200)
    c.vgradient(0, 0, 200, 200, (255, 236, 240), (250, 210, 220))
    for k in range(14):
        c.circle(14 + (k * 53) % 180, 12 + (k * 37) % 80, 3, (255, 255, 255), 0.6)
    c.ellipse(100, 160, 84, 22, (200, 200, 210))
    c.ellipse(100, 156, 84, 22, (255, 255, 255))
    c.polygon([(56, 150), (70, 78), (130, 78), (144, 150)], (250, 212, 110))   # pudding body
    c.ellipse(100, 150, 44, 10, (250, 212, 110))
    c.polygon([(68, 88), (70, 78), (130, 78), (132, 88)], (150, 80, 30))       # caramel top
    c.ellipse(100, 78, 30, 7, (130, 66, 24))
    for x in (74, 96, 118):                                                    # drips
        c.ellipse(x, 92, 4, 8, (150, 80, 30))
    c.polygon([(62, 140), (68, 96), (74, 96), (70, 140)], (255, 236, 170), 0.7)
    c.ellipse(100, 70, 18, 6, WHITE)                                           # cream
    c.circle(94, 66, 7, WHITE)
    c.circle(106, 66, 7, WHITE)
    c.circle(100, 60, 7, WHITE)
    c.polyline([(102, 52), (108, 36), (118, 28)], 1.6, (80, 120, 50))          # cherry
    c.circle(101, 52, 8, (210, 20, 40))
    c.circle(98, 49, 2.4, (255, 140, 150))
    return c


def scene_quiz_studio():
    c = Canvas(256, 192, (40, 20, 60))
    c.vgradient(0, 0, 256, 192, (50, 20, 80), (20, 10, 40))
    for k in range(5):                                         # light beams
        x = 20 + k * 54
        c.polygon([(x - 5, 0), (x + 5, 0), (x + 30 - k * 12, 130), (x - 10 - k * 12, 130)],
                  (255, 240, 160), 0.10)
    c.rrect(68, 10, 188, 86, 8, (20, 20, 30))                  # big screen with a "?"
    c.rrect(72, 14, 184, 82, 6, (40, 110, 220))
    c.vgradient(72, 14, 184, 82, (60, 140, 240), (30, 80, 190))
    c.text(128 - text_width("?", 7) / 2, 24, "?", 7, (255, 240, 80))
    c.text(80, 18, "QUIZ", 1.6, WHITE)
    c.rect(0, 130, 256, 192, (70, 40, 100))
    c.polygon([(0, 130), (256, 130), (256, 136), (0, 136)], (255, 200, 80))
    for i, col in enumerate(((255, 120, 160), (150, 110, 70), (244, 168, 76))):
        x = 40 + i * 88
        c.polygon([(x - 30, 112), (x + 30, 112), (x + 26, 170), (x - 26, 170)], (235, 235, 245))
        c.rect(x - 30, 112, x + 30, 120, col)
        c.ellipse(x, 110, 9, 4, (200, 40, 40))                 # answer buzzer
        c.ellipse(x, 107, 8, 4, (255, 80, 80))
        c.text(x - text_width(str(i + 1), 3) / 2, 134, str(i + 1), 3, (80, 60, 110))
    for k in range(40):
        x, y = (k * 67) % 256, 178 + (k * 13) % 14
        c.circle(x, y, 1.6, (255, 230, 120) if k % 3 else (150, 220, 255))
    return c


STAR_SPOTS = [(40, 52, 16), (120, 34, 12), (200, 60, 18), (78, 120, 14), (168, 128, 12), (44, 190, 13), (150, 198, 16)]


def scene_stars():
    c = Canvas(240, 240)
    c.vgradient(0, 0, 240, 240, (10, 14, 50), (40, 40, 110))
    rnd = random.Random(3)
    for _ in range(60):
        c.circle(rnd.uniform(0, 240), rnd.uniform(0, 220), rnd.uniform(0.4, 1.0), (200, 210, 255))
    c.circle(206, 196, 22, (250, 240, 190))                    # crescent moon
    c.circle(196, 188, 20, mix((10, 14, 50), (40, 40, 110), 188 / 240))  # sky colour bites the moon
    for x, y, r in STAR_SPOTS:
        c.star(x, y, r + 2, (r + 2) * 0.45, (255, 180, 40))
        c.star(x, y, r, r * 0.45, (255, 232, 90))
    c.rect(0, 222, 240, 240, (20, 20, 40))
    c.text(6, 226, "Q1", 2, (255, 232, 90))
    return c


def rabbit(c, col, eye=None):
    c.ellipse(118, 168, 46, 34, col)                           # body
    c.circle(160, 178, 10, col)                                # tail
    c.ellipse(90, 118, 28, 24, col)                            # head
    c.polygon([(78, 104), (60, 38), (70, 34), (90, 100)], col)  # ears
    c.ellipse(68, 64, 9, 30, col)
    c.polygon([(92, 100), (100, 34), (110, 36), (104, 102)], col)
    c.ellipse(104, 64, 9, 30, col)
    c.ellipse(96, 196, 18, 7, col)                             # feet
    c.ellipse(146, 198, 20, 7, col)
    if eye:
        c.ellipse(68, 66, 4, 20, (250, 190, 200))
        c.ellipse(104, 66, 4, 20, (250, 190, 200))
        c.circle(80, 114, 3.5, eye)
        c.circle(81, 113, 1.1, WHITE)
        c.ellipse(64, 124, 3, 2, (240, 140, 150))
        c.ellipse(84, 128, 6, 3, (255, 170, 180), 0.6)


def scene_silhouette():
    c = Canvas(224, 224)
    c.vgradient(0, 0, 224, 224, (250, 170, 80), (250, 230, 150))
    c.circle(170, 60, 26, (255, 240, 200))
    c.rect(0, 196, 224, 224, (40, 30, 30))
    rabbit(c, (30, 24, 28))
    c.text(6, 6, "Q2 ?", 2, (90, 40, 30))
    return c


def scene_rabbit():
    c = Canvas(224, 224)
    c.vgradient(0, 0, 224, 224, (190, 230, 255), (230, 248, 255))
    c.rect(0, 196, 224, 224, (120, 190, 90))
    for k in range(9):
        x = 12 + k * 25
        c.circle(x, 204, 3, (255, 230, 90) if k % 2 else (255, 160, 190))
    rabbit(c, (250, 250, 250), eye=(200, 40, 60))
    c.text(6, 6, "Q2 !", 2, (40, 90, 160))
    return c


def note_glyph(c, x, y, s, col):
    c.ellipse(x, y, s * 0.55, s * 0.4, col)
    c.line(x + s * 0.5, y, x + s * 0.5, y - s * 1.6, s * 0.14, col)
    c.polygon([(x + s * 0.45, y - s * 1.6), (x + s * 1.1, y - s * 1.2), (x + s * 1.1, y - s * 0.95),
               (x + s * 0.45, y - s * 1.35)], col)


def scene_stage():
    c = Canvas(256, 200)
    c.vgradient(0, 0, 256, 200, (20, 16, 48), (60, 30, 80))
    c.polygon([(0, 0), (42, 0), (30, 150), (0, 160)], (170, 30, 50))        # curtains
    c.polygon([(256, 0), (214, 0), (226, 150), (256, 160)], (170, 30, 50))
    for x in (10, 22, 234, 246):
        c.line(x, 0, x - (4 if x < 128 else -4), 150, 1.2, (130, 20, 40))
    c.rect(0, 0, 256, 14, (200, 40, 60))
    for k in range(9):
        c.ellipse(14 + k * 29, 14, 15, 6, (200, 40, 60))
    c.polygon([(116, 14), (140, 14), (190, 150), (66, 150)], (255, 250, 210), 0.18)   # spot
    c.rect(0, 150, 256, 200, (120, 80, 50))
    c.rect(0, 150, 256, 154, (190, 140, 90))
    c.ellipse(128, 160, 70, 10, (255, 250, 210), 0.25)
    # a tiny robot dancing in the spot
    c.rect(120, 120, 136, 150, (150, 160, 180))
    c.line(120, 124, 104, 108, 4, (150, 160, 180))
    c.line(136, 124, 152, 136, 4, (150, 160, 180))
    c.line(124, 150, 116, 160, 4, (120, 130, 150))
    c.line(132, 150, 140, 160, 4, (120, 130, 150))
    c.rrect(114, 96, 142, 120, 5, (190, 200, 215))
    c.circle(122, 106, 3.5, (60, 190, 235))
    c.circle(134, 106, 3.5, (60, 190, 235))
    c.rect(122, 113, 134, 116, (40, 44, 60))
    c.line(128, 96, 128, 88, 1.5, (120, 130, 150))
    c.circle(128, 87, 3, (230, 60, 60))
    for x, y, s, col in ((70, 70, 9, (255, 220, 90)), (180, 56, 8, (140, 220, 255)), (196, 104, 7, (255, 150, 200)),
                         (58, 118, 7, (160, 255, 170)), (92, 40, 6, (255, 200, 120))):
        note_glyph(c, x, y, s, col)
    return c


SCENES = {
    "STUDIO.BMP": scene_studio,
    "TENKIZU.GIF": scene_weather_map,
    "SHUKAN.GIF": scene_week,
    "NEWS1.JPG": scene_news_radish,
    "HATAKE.JPG": scene_field,
    "KITCHEN.BMP": scene_kitchen,
    "ZAIRYO.GIF": scene_ingredients,
    "OMURICE.JPG": scene_omurice,
    "PUDDING.JPG": scene_pudding,
    "QSTUDIO.BMP": scene_quiz_studio,
    "Q1.GIF": scene_stars,
    "Q2.JPG": scene_silhouette,
    "A2.GIF": scene_rabbit,
    "STAGE.JPG": scene_stage,
}


# ---------------------------------------------------------------------------
# General MIDI tunes, composed here and written as Standard MIDI Files (format 1)
# ---------------------------------------------------------------------------

TPQ = 480
NOTE_BASE = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def note_number(name):
    """'C4' is middle C (60); sharps '#', flats 'b'."""
    pc = NOTE_BASE[name[0]]
    rest = name[1:]
    while rest and rest[0] in "#b":
        pc += 1 if rest[0] == "#" else -1
        rest = rest[1:]
    return 12 * (int(rest) + 1) + pc


CHORD_SHAPES = {"": (0, 4, 7), "m": (0, 3, 7), "7": (0, 4, 7, 10), "m7": (0, 3, 7, 10), "maj7": (0, 4, 7, 11),
                "6": (0, 4, 7, 9), "dim": (0, 3, 6), "sus4": (0, 5, 7)}


def parse_chord(sym):
    root = sym[0]
    rest = sym[1:]
    if rest[:1] in ("#", "b"):
        root += rest[0]
        rest = rest[1:]
    return note_number(root + "3") % 12, CHORD_SHAPES[rest]


class Track:
    def __init__(self, name, channel=0, program=None, volume=100, pan=64, reverb=40):
        self.name, self.channel = name, channel
        self.events = []  # (tick, order, bytes)
        if program is not None:
            self.add(0, bytes([0xC0 | channel, program]))
        if channel is not None:
            for cc, v in ((7, volume), (10, pan), (91, reverb)):
                self.add(0, bytes([0xB0 | channel, cc, v]))

    def add(self, tick, data, order=1):
        self.events.append((int(round(tick)), order, data))

    def note(self, start_beat, beats, key, vel):
        if not 0 <= key <= 127:
            return
        on = start_beat * TPQ
        off = on + max(1, beats * TPQ - 10)
        self.add(on, bytes([0x90 | self.channel, key, max(1, min(127, vel))]), order=2)
        self.add(off, bytes([0x80 | self.channel, key, 0]), order=0)

    def chunk(self):
        def vlq(n):
            out = [n & 0x7F]
            n >>= 7
            while n:
                out.append(0x80 | (n & 0x7F))
                n >>= 7
            return bytes(reversed(out))

        body = bytearray(vlq(0) + b"\xff\x03" + vlq(len(self.name.encode())) + self.name.encode())
        last = 0
        for tick, _, data in sorted(self.events, key=lambda e: (e[0], e[1])):
            body += vlq(tick - last) + data
            last = tick
        body += vlq(0) + b"\xff\x2f\x00"
        return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)


def write_smf(path: Path, tracks, bpm, meter):
    conductor = Track("kivo demo", channel=None)
    conductor.add(0, b"\xff\x51\x03" + (60_000_000 // bpm).to_bytes(3, "big"))
    conductor.add(0, bytes([0xFF, 0x58, 4, meter, 2, 24, 8]))
    data = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks) + 1, TPQ)
    data += conductor.chunk() + b"".join(t.chunk() for t in tracks)
    path.write_bytes(data)


def compose(path: Path, tune: dict):
    meter, bpm = tune["meter"], tune["bpm"]
    vol = {"lead": 104, "comp": 78, "pad": 64, "bass": 100, "drums": 96, **tune.get("vols", {})}
    lead = Track("melody", 0, tune["lead"], volume=vol["lead"], pan=64)
    comp = Track("chords", 1, tune["comp"][1], volume=vol["comp"], pan=44)
    pad = Track("pad", 2, tune["pad"], volume=vol["pad"], pan=84, reverb=70) if tune.get("pad") is not None else None
    bass = Track("bass", 3, tune["bass"][1], volume=vol["bass"], pan=64, reverb=10)
    drums = Track("drums", 9, None, volume=vol["drums"], pan=64, reverb=30)
    comp_style, bass_style, drum_style = tune["comp"][0], tune["bass"][0], tune.get("drums")

    bars = []  # (melody tokens, chords in the bar, section start?)
    for key in tune["form"]:
        sec = tune["sections"][key]
        for i, (mel, ch) in enumerate(zip(sec["mel"], sec["chords"])):
            bars.append((mel, ch.split(), i == 0))
    bars.append((f"{tune['last']}:{meter}", [tune["end"]], True))

    for b, (mel, chords, sec_start) in enumerate(bars):
        t0 = b * meter
        final = b == len(bars) - 1
        # melody
        pos = t0
        for tok in mel.split():
            name, dur = tok.split(":")
            dur = float(dur)
            if name != "r":
                accent = 12 if (pos - t0) % 1 == 0 and (pos - t0) % 2 == 0 else 0
                lead.note(pos, dur * (0.92 if not final else 1.0), note_number(name), 84 + accent)
            pos += dur
        assert abs(pos - t0 - meter) < 1e-6, f"{path.name}: bar {b + 1} has {pos - t0} beats"
        # harmony, one chord per equal part of the bar
        span = meter / len(chords)
        for k, sym in enumerate(chords):
            root, shape = parse_chord(sym)
            s = t0 + k * span
            # close voicing between F3 and E4, under the melody
            voicing = sorted({48 + (root + iv) % 12 + (12 if (root + iv) % 12 < 5 else 0) for iv in shape})
            if final:
                for n in voicing:
                    comp.note(s, span, n, 70)
            elif comp_style == "stab":
                for beat in range(int(span)):
                    if (k * span + beat) % 2 == 1:
                        for n in voicing:
                            comp.note(s + beat, 0.4, n, 70)
            elif comp_style == "offbeat":
                for e in range(int(span * 2)):
                    if e % 2 == 1:
                        for n in voicing:
                            comp.note(s + e / 2, 0.3, n, 66)
            elif comp_style == "waltz":
                for beat in (1, 2):
                    for n in voicing:
                        comp.note(s + beat, 0.8, n, 60)
            elif comp_style == "arp":
                seq = voicing + [voicing[0] + 12] + voicing[1:][::-1]
                for e in range(int(span * 2)):
                    comp.note(s + e / 2, 0.5, seq[e % len(seq)], 62 + (8 if e % 4 == 0 else 0))
            if pad is not None:
                for n in voicing:
                    pad.note(s, span, n, 50)
            # bass
            r = 36 + root if root < 7 else 24 + root
            nxt_root = parse_chord((chords[k + 1] if k + 1 < len(chords) else
                                    (bars[b + 1][1][0] if b + 1 < len(bars) else sym)))[0]
            nr = 36 + nxt_root if nxt_root < 7 else 24 + nxt_root
            if final:
                bass.note(s, span, r, 96)
            elif bass_style == "pop":
                for off, iv, d in ((0, 0, 1.4), (1.5, 0, 0.5), (2, 7, 0.9), (3, 0, 0.5), (3.5, 12, 0.5)):
                    if off < span:
                        bass.note(s + off, d, r + iv, 96 if off == 0 else 82)
            elif bass_style == "walk":
                third = shape[1]
                line = [r, r + third, r + 7, nr + (1 if nr < r + 7 else -1)]
                for i in range(int(span)):
                    bass.note(s + i, 0.9, line[i % 4], 92 if i == 0 else 80)
            elif bass_style == "octave":
                for e in range(int(span * 2)):
                    bass.note(s + e / 2, 0.45, r + (12 if e % 2 else 0), 96 if e % 2 == 0 else 80)
            elif bass_style == "waltz":
                bass.note(s, 0.9, r if (b % 2 == 0) else r + 7, 90)
            elif bass_style == "gentle":
                bass.note(s, span * 0.5, r, 80)
                if span >= 2:
                    bass.note(s + span / 2, span * 0.5, r + 7, 70)
        # drums
        if not drum_style:
            pass
        elif final:
            drums.note(t0, 2, 49, 100)
            drums.note(t0, 1, 36, 110)
        else:
            if sec_start and drum_style in ("pop", "quiz", "robot"):
                drums.note(t0, 1, 49, 96)
            for e in range(meter * 4):  # sixteenth steps
                at = t0 + e / 4
                beat, sub = divmod(e, 4)
                if drum_style == "pop":
                    if sub == 0 and beat in (0, 2) or (beat == 2 and sub == 2):
                        drums.note(at, 0.25, 36, 104)
                    if sub == 0 and beat in (1, 3):
                        drums.note(at, 0.25, 38, 96)
                    if sub in (0, 2):
                        drums.note(at, 0.25, 42, 70 if sub else 84)
                elif drum_style == "light":
                    if sub == 0 and beat == 0:
                        drums.note(at, 0.25, 36, 80)
                    if sub == 0 and beat in (1, 3):
                        drums.note(at, 0.25, 37, 64)
                    if sub in (0, 2):
                        drums.note(at, 0.25, 70, 52 if sub else 62)
                elif drum_style == "swing":
                    if sub == 0:
                        drums.note(at, 0.3, 51, 80 if beat % 2 else 70)
                    if sub == 3 and beat in (1, 3):  # the swung "and" before the next beat
                        drums.note(at - 0.08, 0.2, 51, 58)
                    if sub == 0 and beat in (1, 3):
                        drums.note(at, 0.25, 44, 70)
                    if sub == 0 and beat == 0:
                        drums.note(at, 0.25, 36, 62)
                elif drum_style == "quiz":
                    if sub == 0:
                        drums.note(at, 0.25, 36, 108)
                    if sub == 0 and beat in (1, 3):
                        drums.note(at, 0.25, 38, 100)
                    if sub == 2:
                        drums.note(at, 0.25, 46, 72)
                elif drum_style == "tick":
                    if sub == 0:
                        drums.note(at, 0.25, 76 if beat % 2 == 0 else 77, 84)
                    if sub == 2:
                        drums.note(at, 0.25, 70, 40)
                elif drum_style == "robot":
                    if (beat, sub) in ((0, 0), (1, 2), (2, 0), (2, 3)):
                        drums.note(at, 0.25, 36, 110)
                    if sub == 0 and beat in (1, 3):
                        drums.note(at, 0.25, 39, 100)
                    drums.note(at, 0.2, 42, 80 if sub % 2 == 0 else 56)
                    if b % 2 == 1 and beat == 3 and sub == 2:
                        drums.note(at, 0.25, 56, 80)
    tracks = [t for t in (lead, comp, pad, bass, drums) if t is not None and len(t.events) > 4]
    write_smf(path, tracks, bpm, meter)
    return len(bars) * meter * 60.0 / bpm


def sec(mel, chords):
    return {"mel": mel, "chords": chords}


TUNES = {
    # Morning news theme: trumpet over strings, a bright pop beat.
    "NEWS.MID": dict(end="C", bpm=126, meter=4, lead=56, comp=("stab", 0), pad=48, bass=("pop", 33), drums="pop",
                     last="C5", form="IAaBa", sections={
        "I": sec(["r:4", "r:3 G4:1"], ["C", "G7"]),
        "A": sec(["G4:0.5 C5:0.5 E5:1 G5:1.5 E5:0.5", "A5:1 G5:0.5 E5:0.5 C5:1.5 r:0.5",
                  "F5:0.5 F5:0.5 A5:1 C6:1 A5:1", "G5:1.5 F5:0.5 E5:0.5 D5:0.5 B4:1"], ["C", "Am", "F", "G"]),
        "a": sec(["G4:0.5 C5:0.5 E5:1 G5:1.5 E5:0.5", "A5:1 G5:0.5 E5:0.5 C6:1.5 r:0.5",
                  "F5:1 A5:1 G5:1 F5:0.5 D5:0.5", "C5:3 G4:1"], ["C", "Am", "Dm7 G7", "C"]),
        "B": sec(["A5:0.5 A5:0.5 C6:1 A5:1 F5:1", "B5:0.5 B5:0.5 D6:1 B5:1 G5:1",
                  "G5:1 E5:1 A5:1 C6:1", "D6:1 C6:0.5 B5:0.5 A5:1 G5:1"], ["F", "G", "Em Am", "Dm7 G7"]),
    }),
    # Weather: flute and marimba, light percussion.
    "TENKI.MID": dict(end="F", bpm=104, meter=4, lead=73, comp=("arp", 12), pad=None, bass=("gentle", 32), drums="light",
                      last="F5", form="IAaBa", sections={
        "I": sec(["r:4"], ["F"]),
        "A": sec(["C5:1 F5:1 A5:1.5 G5:0.5", "F5:1 D5:1 A4:2", "Bb4:1 D5:1 F5:1 Bb5:1", "A5:1 G5:0.5 F5:0.5 E5:2"],
                 ["F", "Dm", "Bb", "C"]),
        "a": sec(["C5:1 F5:1 A5:1.5 G5:0.5", "F5:1 D5:1 A5:2", "Bb5:1 A5:1 G5:1 E5:1", "F5:3 r:1"],
                 ["F", "Dm", "Bb C", "F"]),
        "B": sec(["D6:1.5 C6:0.5 Bb5:1 F5:1", "E5:1.5 F5:0.5 G5:2", "A5:1 G5:1 F5:1 D5:1", "G5:1 Bb5:1 A5:1 G5:1"],
                 ["Bb", "C", "Am Dm", "Gm7 C7"]),
    }),
    # Cooking corner: vibraphone, walking bass, brushes-and-ride swing.
    "COOKING.MID": dict(end="G6", bpm=116, meter=4, lead=11, comp=("stab", 0), pad=None, bass=("walk", 32), drums="swing",
                        last="G5", form="IAaBa", sections={
        "I": sec(["r:4", "r:4"], ["G6", "D7"]),
        "A": sec(["B4:1 D5:0.5 G5:1 F#5:0.5 E5:1", "D5:1.5 B4:0.5 G4:2", "C5:0.5 E5:0.5 A5:1 G5:0.5 E5:0.5 C5:1",
                  "D5:1 F#5:1 A5:1 C6:1"], ["Gmaj7", "Em7", "Am7", "D7"]),
        "a": sec(["B4:1 D5:0.5 G5:1 F#5:0.5 E5:1", "D5:1.5 B4:0.5 G5:2", "A5:1 G5:0.5 E5:0.5 F#5:1 D5:1",
                  "G5:3 r:1"], ["Gmaj7", "Em7", "Am7 D7", "G6"]),
        "B": sec(["E5:1 G5:1 B5:1.5 A5:0.5", "G5:1 Eb5:1 C5:2", "D5:1 F#5:1 E5:1 G#5:1", "A5:1 C6:1 B5:1 A5:1"],
                 ["Cmaj7", "Cm7", "Bm7 E7", "Am7 D7"]),
    }),
    # Quiz theme: square lead, octave synth bass, four on the floor.
    "QUIZ.MID": dict(vols={"lead": 62, "comp": 50, "bass": 70, "drums": 80}, end="Em", bpm=148, meter=4, lead=80, comp=("offbeat", 62), pad=None, bass=("octave", 38), drums="quiz",
                     last="E5", form="IAaBa", sections={
        "I": sec(["r:4", "r:2 B4:1 D#5:1"], ["Em", "B7"]),
        "A": sec(["E5:0.5 E5:0.5 G5:0.5 E5:0.5 B5:1 A5:0.5 G5:0.5", "E5:0.5 G5:0.5 C6:1 B5:0.5 A5:0.5 G5:1",
                  "F#5:0.5 A5:0.5 D6:1 C6:0.5 B5:0.5 A5:1", "B5:1 D#5:1 F#5:1 B4:1"], ["Em", "C", "D", "B7"]),
        "a": sec(["E5:0.5 E5:0.5 G5:0.5 E5:0.5 B5:1 A5:0.5 G5:0.5", "E5:0.5 G5:0.5 C6:1 B5:0.5 A5:0.5 G5:1",
                  "A5:0.5 C6:0.5 E6:1 D#6:1 B5:1", "E6:2 r:2"], ["Em", "C", "Am B7", "Em"]),
        "B": sec(["G5:0.5 G5:0.5 G5:0.5 A5:0.5 G5:1 E5:1", "F#5:0.5 F#5:0.5 F#5:0.5 G5:0.5 A5:2",
                  "B5:1 A5:0.5 G5:0.5 F#5:1 D5:1", "E5:1 G5:1 B5:1 E6:1"], ["C", "D", "Bm", "Em B7"]),
    }),
    # Thinking time: pizzicato and celesta over a ticking clock.
    "THINK.MID": dict(end="Am", bpm=96, meter=4, lead=8, comp=("arp", 45), pad=None, bass=("gentle", 45), drums="tick",
                      last="A5", form="ABAB", sections={
        "A": sec(["E5:1 r:1 C5:1 r:1", "F5:1 r:1 D5:1 r:1", "G#5:1 r:1 B5:1 r:1", "A5:2 r:2"],
                 ["Am", "Dm", "E7", "Am"]),
        "B": sec(["A5:1 r:1 C6:1 r:1", "A5:1 r:1 F5:1 r:1", "E5:1 r:1 G#5:1 B5:1", "E6:2 r:2"],
                 ["F", "Dm", "E7", "E7"]),
    }),
    # A waltz (the music quiz asks for its metre): violin, piano oom-pah-pah.
    "HOSHI.MID": dict(end="C", bpm=138, meter=3, lead=40, comp=("waltz", 0), pad=None, bass=("waltz", 32), drums=None,
                      last="C5", form="IABA", sections={
        "I": sec(["r:3", "r:3"], ["C", "C"]),
        "A": sec(["C5:1 E5:1 G5:1", "C6:2 B5:1", "A5:1 G5:1 F5:1", "D5:3", "B4:1 D5:1 G5:1", "B5:2 A5:1",
                  "G5:1 F5:1 E5:1", "C5:3"], ["C", "C", "F", "G7", "G7", "G7", "C", "C"]),
        "B": sec(["E5:1 A5:1 C6:1", "E6:2 D6:1", "D6:1 C6:1 A5:1", "F5:3", "F5:1 G5:1 B5:1", "D6:2 B5:1",
                  "C6:1 G5:1 E5:1", "C5:3"], ["Am", "Am", "Dm", "Dm", "G7", "G7", "C", "C"]),
    }),
    # The robot's new song: saw lead, octave bass, a stiff dance beat.
    "ROBO.MID": dict(vols={"lead": 60, "comp": 56, "bass": 64, "drums": 84}, end="Cm", bpm=112, meter=4, lead=81, comp=("offbeat", 89), pad=None, bass=("octave", 39),
                     drums="robot", last="C5", form="IAaBa", sections={
        "I": sec(["r:4", "r:4"], ["Cm", "Cm"]),
        "A": sec(["C5:0.5 r:0.5 C5:0.5 Eb5:0.5 G5:0.5 r:0.5 F5:0.5 Eb5:0.5", "D5:0.5 r:0.5 D5:0.5 Eb5:0.5 C5:1 r:1",
                  "Ab4:0.5 C5:0.5 Eb5:0.5 Ab5:0.5 G5:1 Eb5:1", "F5:0.5 r:0.5 F5:0.5 G5:0.5 Bb5:1 D5:1"],
                 ["Cm", "Cm", "Ab", "Bb"]),
        "a": sec(["C5:0.5 r:0.5 C5:0.5 Eb5:0.5 G5:0.5 r:0.5 F5:0.5 Eb5:0.5", "D5:0.5 r:0.5 D5:0.5 Eb5:0.5 C5:1 r:1",
                  "Ab5:1 G5:1 F5:1 D5:1", "C5:2 r:2"], ["Cm", "Cm", "Ab Bb", "Cm"]),
        "B": sec(["F5:1 Ab5:1 C6:1 Ab5:1", "G5:1 Bb5:1 D6:1 Bb5:1",
                  "C6:0.5 Bb5:0.5 Ab5:0.5 G5:0.5 F5:0.5 Eb5:0.5 D5:0.5 C5:0.5", "B4:1 D5:1 F5:1 G5:1"],
                 ["Fm", "Gm", "Ab", "G7"]),
    }),
    # Closing theme: music box and harp over soft strings.
    "ENDING.MID": dict(end="F", bpm=84, meter=4, lead=10, comp=("arp", 46), pad=49, bass=("gentle", 32), drums=None,
                       last="F5", form="AaBa", sections={
        "A": sec(["A5:2 C6:1 A5:1", "G5:3 E5:1", "F5:1 A5:1 D6:1 C6:1", "Bb5:1 A5:1 G5:2"], ["F", "C", "Dm", "Bb C"]),
        "a": sec(["A5:2 C6:1 A5:1", "G5:3 E5:1", "D5:1 F5:1 E5:1 G5:1", "F5:4"], ["F", "C", "Bb C", "F"]),
        "B": sec(["D6:2 C6:1 Bb5:1", "A5:2 F5:2", "G5:1 A5:1 Bb5:1 D6:1", "C6:3 r:1"], ["Bb", "F", "Gm", "C7"]),
    }),
}


# ---------------------------------------------------------------------------
# WAV: the opening jingle, sound effects and voice clips
# ---------------------------------------------------------------------------

def write_wav(path: Path, samples, level=0.89):
    """Normalises the peak to `level` (0.89 is about -1 dBFS)."""
    peak = max(1e-9, max(abs(s) for s in samples))
    scale = level / peak * 32767
    data = array.array("h", (int(max(-32767, min(32767, s * scale))) for s in samples))
    if sys.byteorder == "big":
        data.byteswap()
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data.tobytes())


def bell(freq, dur, start, buf, amp=1.0, decay=3.0):
    i0 = int(start * RATE)
    for i in range(int(dur * RATE)):
        if i0 + i >= len(buf):
            break
        t = i / RATE
        env = math.exp(-decay * t) * min(1.0, t / 0.004)
        v = (math.sin(2 * math.pi * freq * t) + 0.45 * math.sin(2 * math.pi * freq * 2.0 * t) * math.exp(-2 * t)
             + 0.25 * math.sin(2 * math.pi * freq * 3.01 * t) * math.exp(-5 * t)
             + 0.12 * math.sin(2 * math.pi * freq * 4.2 * t) * math.exp(-9 * t))
        buf[i0 + i] += amp * env * v


def hz(name):
    return 440.0 * 2 ** ((note_number(name) - 69) / 12)


def jingle():
    """ZUDEMO.WAV: a rising bell arpeggio that opens onto a shimmering major chord."""
    buf = [0.0] * int(2.8 * RATE)
    for k, n in enumerate(("C5", "E5", "G5", "C6", "E6")):
        bell(hz(n), 1.2, 0.02 + k * 0.11, buf, 0.7, 4.0)
    for n in ("C5", "G5", "C6", "E6", "G6"):
        bell(hz(n), 2.2, 0.62, buf, 0.45, 1.8)
    for k, n in enumerate(("G6", "C7", "E7", "G7")):
        bell(hz(n), 0.6, 0.9 + k * 0.09, buf, 0.18, 6.0)
    # soft low fifth underneath so it is not all treble
    for i in range(int(0.62 * RATE), len(buf)):
        t = i / RATE - 0.62
        buf[i] += 0.25 * math.exp(-1.6 * t) * min(1, t / 0.05) * (math.sin(2 * math.pi * hz("C3") * t)
                                                                   + 0.5 * math.sin(2 * math.pi * hz("G3") * t))
    n = len(buf)
    for i in range(int(0.2 * RATE)):  # fade out the tail
        buf[n - 1 - i] *= i / (0.2 * RATE)
    return buf


def pinpon():
    buf = [0.0] * int(1.3 * RATE)
    bell(hz("E6") * 0.999, 0.9, 0.0, buf, 1.0, 3.5)
    bell(hz("C6"), 1.0, 0.38, buf, 1.0, 3.0)
    return buf


def bubu():
    buf = [0.0] * int(0.95 * RATE)
    for start in (0.0, 0.45):
        i0 = int(start * RATE)
        for i in range(int(0.38 * RATE)):
            t = i / RATE
            env = min(1.0, t / 0.01) * min(1.0, (0.38 - t) / 0.03)
            ph1, ph2 = (t * 110) % 1.0, (t * 116.5) % 1.0
            buf[i0 + i] += env * ((1 if ph1 < 0.5 else -1) + 0.7 * (2 * ph2 - 1))
    return buf


def applause():
    rnd = random.Random(42)
    n = int(2.4 * RATE)
    buf = [0.0] * n
    t = 0.0
    while t < 2.2:
        i0 = int(t * RATE)
        amp = rnd.uniform(0.3, 1.0) * (1.0 if t < 1.4 else max(0.0, (2.2 - t) / 0.8))
        lp = 0.0
        cut = rnd.uniform(0.25, 0.6)
        for i in range(int(0.05 * RATE)):
            if i0 + i >= n:
                break
            lp += cut * (rnd.uniform(-1, 1) - lp)   # a little colour per clapper
            buf[i0 + i] += amp * lp * math.exp(-i / (0.008 * RATE))
        t += rnd.expovariate(45)
    return buf


def read_wav_mono(path: Path):
    with wave.open(str(path), "rb") as w:
        ch, width, rate, frames = w.getnchannels(), w.getsampwidth(), w.getframerate(), w.readframes(w.getnframes())
    if width != 2:
        sys.exit(f"{path}: expected 16-bit samples")
    data = array.array("h")
    data.frombytes(frames)
    if sys.byteorder == "big":
        data.byteswap()
    samples = [sum(data[i:i + ch]) / ch / 32768 for i in range(0, len(data), ch)]
    if rate != RATE:  # linear resampling is plenty for speech
        ratio = rate / RATE
        out = []
        for k in range(int(len(samples) / ratio)):
            x = k * ratio
            i = int(x)
            f = x - i
            out.append(samples[i] * (1 - f) + samples[min(i + 1, len(samples) - 1)] * f)
        samples = out
    return samples


def trim(samples, thresh=0.01, keep=0.06):
    idx = [i for i, s in enumerate(samples) if abs(s) > thresh]
    if not idx:
        return samples
    pad = int(keep * RATE)
    return samples[max(0, idx[0] - pad):idx[-1] + pad]


def robotise(samples):
    # Ring modulation against a low carrier, mixed with the dry voice: a friendly robot.
    return [0.45 * s + 0.75 * s * math.sin(2 * math.pi * 55 * i / RATE) for i, s in enumerate(samples)]


# espeak-ng reads kana far better than kanji, so the clips are written in kana
# (and the particle "は" as "わ", as it is spoken); "・" makes it spell letters, so none.
VOICES = {
    "miruko": ["-v", "ja+f3", "-p", "62", "-s", "150"],
    "ponta": ["-v", "ja+m3", "-p", "30", "-s", "140"],
    "neko": ["-v", "ja+f2", "-p", "85", "-s", "165"],
    "piko": ["-v", "ja", "-p", "45", "-s", "140"],
}
CLIPS = {
    "OHAYO.WAV": ("miruko", "おはようございます！ みるかなもーにんぐの、じかんです。"),
    "HARE.WAV": ("ponta", "きょうわ、ぜんいきで、はれるでしょう。"),
    "NYUSU.WAV": ("miruko", "にゅーすの、じかんです。"),
    "ROBO.WAV": ("piko", "ぴぴっ。こちら、げんばの、ぴこです。"),
    "BYEBYE.WAV": ("miruko", "ばいばーい！ また、みてね。"),
    "IRASSHAI.WAV": ("neko", "いらっしゃいませにゃ！"),
    "ITADAKI.WAV": ("ponta", "いただきまーす！"),
    "OISHII.WAV": ("ponta", "おいしーい！"),
    "GOCHISO.WAV": ("ponta", "ごちそうさまでした！"),
    "QUIZ.WAV": ("piko", "くいず、あんど、みゅーじっく、はじまるよ！"),
}
# name: (synthesiser, peak level); the buzzer is nearly all energy, so it peaks lower
SYNTH_CLIPS = {"PINPON.WAV": (pinpon, 0.89), "BUBU.WAV": (bubu, 0.4), "HAKUSHU.WAV": (applause, 0.89)}


def make_voice(path: Path, who: str, text: str):
    espeak = shutil.which("espeak-ng")
    if not espeak:
        sys.exit("espeak-ng is needed for the voice clips (apt-get install espeak-ng)")
    with tempfile.TemporaryDirectory() as tmp:
        raw = Path(tmp) / "raw.wav"
        subprocess.run([espeak, *VOICES[who], "-w", str(raw), text], check=True)
        samples = trim(read_wav_mono(raw))
    if who == "piko":
        samples = robotise(samples)
    write_wav(path, samples)


# ---------------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out", type=Path, default=REPO / "demo", help="target folder (default: demo/)")
    args = ap.parse_args()
    out: Path = args.out
    out.mkdir(parents=True, exist_ok=True)

    for src in sorted(SOURCES.glob("KIVO.[0-9][0-9][0-9].txt")):
        convert_scenario(src, out / src.stem)
        print("scenario", src.stem)
    for name, draw in PORTRAITS.items():
        for n, talk in (("1", False), ("2", True)):
            save_picture(draw(talk), out / f"{name}{n}.BMP")
        print("portrait", name)
    for name, draw in SCENES.items():
        c = draw()
        assert c.w <= 256 and c.h <= 256, name
        save_picture(c, out / name)
        print("picture ", name)
    for name, tune in TUNES.items():
        secs = compose(out / name, tune)
        print(f"music    {name} {secs:.0f} s")
    write_wav(out / "ZUDEMO.WAV", jingle())
    print("jingle   ZUDEMO.WAV")
    for name, (fn, level) in SYNTH_CLIPS.items():
        write_wav(out / name, fn(), level)
        print("effect  ", name)
    for name, (who, text) in CLIPS.items():
        make_voice(out / name, who, text)
        print("voice   ", name)
    total = sum(p.stat().st_size for p in out.iterdir() if p.is_file())
    print(f"{out}: {total / 1024:.0f} KiB in total")


if __name__ == "__main__":
    main()
