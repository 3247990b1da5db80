#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the opening window's pictures into opening/art/.

Four frame pictures (uncompressed 4-bit BMP, standard 16-colour palette, rows
bottom-up, no resolution) and the window's 32 x 32 16-colour icon. The figures are
built from simple shapes so they can be adjusted here and redrawn:

    python3 tools/draw_opening_art.py [--preview DIR]

--preview also writes each picture as an 8x enlarged PNG, for looking at them.
Python standard library only.
"""
import math
import os
import struct
import sys
import zlib

# The standard 16-colour palette, in index order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
CLEAR = -1  # icon background: see-through


class Canvas:
    def __init__(self, width, height, fill=BLACK):
        self.w, self.h = width, height
        self.px = [[fill] * width for _ in range(height)]

    def set(self, x, y, c):
        x, y = int(x), int(y)
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x]

    def ellipse(self, cx, cy, rx, ry, c, where=None):
        """Fills the pixels whose centres lie inside the ellipse; `where` filters them."""
        for y in range(self.h):
            for x in range(self.w):
                dx = (x + 0.5 - cx) / rx
                dy = (y + 0.5 - cy) / ry
                if dx * dx + dy * dy <= 1.0 and (where is None or where(x, y)):
                    self.px[y][x] = c

    def polygon(self, points, c):
        """Even-odd fill, sampled at pixel centres."""
        n = len(points)
        for y in range(self.h):
            yc = y + 0.5
            xs = []
            for i in range(n):
                x0, y0 = points[i]
                x1, y1 = points[(i + 1) % n]
                if (y0 <= yc < y1) or (y1 <= yc < y0):
                    xs.append(x0 + (yc - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(int(math.ceil(a - 0.5)), int(math.floor(b - 0.5)) + 1):
                    self.set(x, y, c)

    def line(self, x0, y0, x1, y1, c):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        for i in range(steps + 1):
            t = i / steps
            self.set(round(x0 + (x1 - x0) * t), round(y0 + (y1 - y0) * t), c)

    def star(self, cx, cy, r, c, inner=0.45, turn=0.0):
        pts = []
        for i in range(10):
            a = -math.pi / 2 + turn + i * math.pi / 5
            rr = r if i % 2 == 0 else r * inner
            pts.append((cx + rr * math.cos(a), cy + rr * math.sin(a)))
        self.polygon(pts, c)

    def sparkle(self, x, y, c, size=1):
        self.set(x, y, WHITE)
        for d in range(1, size + 1):
            for dx, dy in ((d, 0), (-d, 0), (0, d), (0, -d)):
                self.set(x + dx, y + dy, c)


# ---------------------------------------------------------------- the ball figure

def ball_figure(cv, ox, oy, pose, feet=True):
    """The small round figure, a sky-blue ball with a sprout on its head; (ox, oy) is
    the centre of its body. Pose 'a' holds the wand up, pose 'b' tilts it forward."""
    cx, cy, r = ox, oy, 11.6
    # sprout: a stem and two leaves
    cv.line(cx, cy - r - 4, cx, cy - r + 1, c=GREEN)
    cv.ellipse(cx - 2.6, cy - r - 4.2, 2.6, 1.5, LIME)
    cv.ellipse(cx + 2.6, cy - r - 5.2, 2.6, 1.5, GREEN)
    # feet behind the body
    for fx in ((cx - 5.5, cx + 5.5) if feet else ()):
        cv.ellipse(fx, cy + 11.8, 4.8, 2.8, BLUE)
        cv.ellipse(fx, cy + 13.0, 4.2, 1.6, NAVY, where=lambda x, y: y + 0.5 > cy + 12.8)
    # body, shaded toward the lower right, lit at the upper left
    cv.ellipse(cx, cy, r, r, AQUA)
    cv.ellipse(cx, cy, r, r, TEAL,
               where=lambda x, y: (x + 0.5 - (cx - 4)) ** 2 + (y + 0.5 - (cy - 4)) ** 2 > (r + 2.0) ** 2)
    cv.ellipse(cx - 5, cy - 5.5, 2.4, 1.6, WHITE)
    # eyes: tall ovals with a glint; pose b glances toward the wand
    look = 1 if pose == 'b' else 0
    for ex in (cx - 3.5, cx + 3.5):
        cv.ellipse(ex + look, cy - 0.5, 1.5, 2.7, BLACK)
        cv.set(ex + look - 1, cy - 2, WHITE)
    # cheeks and a small smile
    for px in (cx - 8, cx - 7, cx + 7, cx + 8):
        cv.set(px, cy + 3, FUCHSIA)
    cv.set(cx - 1 + look, cy + 4, NAVY)
    cv.set(cx + look, cy + 5, NAVY)
    cv.set(cx + 1 + look, cy + 4, NAVY)
    # the left arm, a nub on the far side
    cv.ellipse(cx - 11.8, cy + 3, 2.2, 2.6, AQUA)
    cv.set(cx - 13, cy + 4, TEAL)
    # the wand and its star
    hx, hy = cx + 12, cy + 3
    if pose == 'a':
        tip = (hx + 3, hy - 14)
        cv.line(hx, hy, *tip, c=SILVER)
        cv.line(hx + 1, hy, tip[0] + 1, tip[1], c=GRAY)
        cv.star(tip[0] + 0.5, tip[1] - 3.5, 5.0, YELLOW)
        cv.set(tip[0], tip[1] - 4, WHITE)
        cv.sparkle(tip[0] - 8, tip[1] - 8, WHITE)
    else:
        tip = (hx + 5, hy - 7)
        cv.line(hx, hy, *tip, c=SILVER)
        cv.line(hx, hy + 1, tip[0], tip[1] + 1, c=GRAY)
        cv.star(tip[0] + 2.4, tip[1] - 3.2, 4.6, YELLOW, turn=0.35)
        cv.set(tip[0] + 2, tip[1] - 3, WHITE)
        cv.sparkle(tip[0] - 4, tip[1] - 11, WHITE)
        cv.sparkle(tip[0] + 3, tip[1] + 6, YELLOW, size=0)
    # the hand over the wand
    cv.ellipse(hx - 0.5, hy + 0.5, 2.3, 2.3, AQUA)
    cv.set(hx + 1, hy + 2, TEAL)


# ------------------------------------------------------------- the taller character

def tall_figure(cv, ox, oy, pose):
    """The taller character: a young wizard in a pointed hat and a long robe. (ox, oy)
    is the top-left corner of a 42 x 88 figure box; pose 'c' stands with the wand
    lowered, pose 'd' raises it."""
    X = lambda v: ox + v
    Y = lambda v: oy + v
    # hair falling behind the shoulders
    cv.polygon([(X(9), Y(26)), (X(31), Y(26)), (X(33), Y(47)), (X(7), Y(47))], YELLOW)
    cv.polygon([(X(8), Y(40)), (X(12), Y(40)), (X(11), Y(48)), (X(7), Y(47))], OLIVE)
    cv.polygon([(X(28), Y(40)), (X(32), Y(40)), (X(33), Y(47)), (X(29), Y(48))], OLIVE)
    # robe: a long bell with a shaded right side, collar and belt
    robe = [(X(14), Y(42)), (X(26), Y(42)), (X(33), Y(80)), (X(7), Y(80))]
    cv.polygon(robe, BLUE)
    cv.polygon([(X(22), Y(46)), (X(26), Y(42)), (X(33), Y(80)), (X(25), Y(80))], NAVY)
    cv.line(X(7), Y(79), X(33), Y(79), c=AQUA)
    cv.polygon([(X(15), Y(41)), (X(25), Y(41)), (X(20), Y(48))], WHITE)
    cv.line(X(12), Y(56), X(28), Y(56), c=YELLOW)
    cv.line(X(12), Y(57), X(28), Y(57), c=OLIVE)
    cv.set(X(20), Y(56), WHITE)
    # boots
    cv.polygon([(X(12), Y(80)), (X(18), Y(80)), (X(18), Y(86)), (X(10), Y(86))], RED)
    cv.polygon([(X(22), Y(80)), (X(28), Y(80)), (X(30), Y(86)), (X(22), Y(86))], RED)
    cv.line(X(10), Y(87), X(18), Y(87), c=MAROON)
    cv.line(X(22), Y(87), X(30), Y(87), c=MAROON)
    # face
    cv.ellipse(X(20), Y(32), 8.2, 8.8, WHITE)
    cv.ellipse(X(20), Y(32), 8.2, 8.8, SILVER,
               where=lambda x, y: (x + 0.5 - X(18.5)) ** 2 + (y + 0.5 - Y(30.5)) ** 2 > 9.4 ** 2)
    # straight fringe under the hat
    cv.polygon([(X(11), Y(23)), (X(29), Y(23)), (X(29.5), Y(30)), (X(27), Y(27)), (X(25), Y(28)),
                (X(22.5), Y(27)), (X(20), Y(28)), (X(17.5), Y(27)), (X(15), Y(28)), (X(13), Y(27)),
                (X(10.5), Y(30))], YELLOW)
    # eyes: open while standing, happy arcs in the final pose
    if pose == 'c':
        for ex in (16.5, 23.5):
            cv.ellipse(X(ex), Y(32.5), 1.4, 2.4, BLACK)
            cv.set(X(ex - 0.5), Y(31.5), WHITE)
        for px, py in ((18, 36), (19, 37), (20, 37), (21, 36)):
            cv.set(X(px), Y(py), MAROON)
    else:
        for ex in (16, 24):
            cv.set(X(ex - 2), Y(33), BLACK)
            cv.set(X(ex - 1), Y(32), BLACK)
            cv.set(X(ex), Y(32), BLACK)
            cv.set(X(ex + 1), Y(33), BLACK)
        for px, py in ((17, 36), (18, 37), (19, 37), (20, 37), (21, 37), (22, 36)):
            cv.set(X(px), Y(py), MAROON)
        cv.set(X(19), Y(38), RED)
        cv.set(X(20), Y(38), RED)
    cv.set(X(13), Y(35), RED)
    cv.set(X(14), Y(35), RED)
    cv.set(X(26), Y(35), RED)
    cv.set(X(27), Y(35), RED)
    # hat: a tall cone leaning back, a wide brim and a star on it
    cv.polygon([(X(12), Y(22)), (X(28), Y(22)), (X(22), Y(6)), (X(15), Y(0)), (X(16), Y(7))], BLUE)
    cv.polygon([(X(21), Y(22)), (X(28), Y(22)), (X(22), Y(6)), (X(18), Y(3))], NAVY)
    cv.polygon([(X(3), Y(21)), (X(37), Y(21)), (X(34), Y(25)), (X(6), Y(25))], BLUE)
    cv.line(X(6), Y(25), X(34), Y(25), c=NAVY)
    cv.line(X(12), Y(19), X(27), Y(19), c=YELLOW)
    cv.star(X(18.5), Y(13), 3.2, YELLOW)
    # the left arm hangs by the robe
    cv.polygon([(X(13), Y(43)), (X(16), Y(44)), (X(11), Y(62)), (X(8), Y(61))], BLUE)
    cv.ellipse(X(9.5), Y(63), 2.2, 2.2, WHITE)
    if pose == 'c':
        # right arm down, the wand held low and pointing forward and down
        cv.polygon([(X(24), Y(44)), (X(27), Y(43)), (X(32), Y(60)), (X(29), Y(61))], NAVY)
        hx, hy = X(31.5), Y(62)
        cv.line(hx, hy, X(37), Y(73), c=SILVER)
        cv.line(hx + 1, hy, X(38), Y(73), c=GRAY)
        cv.star(X(38.5), Y(76), 3.4, YELLOW, turn=0.6)
        cv.set(X(38), Y(76), WHITE)
        cv.ellipse(hx, hy, 2.2, 2.2, WHITE)
    else:
        # right arm thrown up, the wand high with its star and a trail of sparkles
        cv.polygon([(X(24), Y(44)), (X(27), Y(42)), (X(37), Y(30)), (X(39), Y(33))], NAVY)
        hx, hy = X(38.5), Y(31)
        cv.line(hx, hy, X(48), Y(15), c=SILVER)
        cv.line(hx + 1, hy, X(49), Y(15), c=GRAY)
        cv.star(X(50.5), Y(10.5), 5.6, YELLOW, turn=0.2)
        cv.star(X(50.5), Y(10.5), 2.2, WHITE, turn=0.2)
        cv.ellipse(hx, hy, 2.2, 2.2, WHITE)
        cv.sparkle(X(42), Y(4), AQUA)
        cv.sparkle(X(56), Y(20), FUCHSIA)
        cv.sparkle(X(45), Y(21), WHITE, size=0)
        cv.sparkle(X(55), Y(2), WHITE, size=0)


# ---------------------------------------------------------------------- the files

def bmp_bytes(cv):
    row = ((cv.w * 4 + 31) // 32) * 4
    data = bytearray()
    for y in range(cv.h - 1, -1, -1):  # bottom-up
        line = bytearray(row)
        for x in range(cv.w):
            c = cv.px[y][x]
            if x % 2 == 0:
                line[x // 2] |= c << 4
            else:
                line[x // 2] |= c
        data += line
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
    # 40-byte info header: BI_RGB, no resolution, all 16 colours used.
    info = struct.pack('<IiiHHIIiiII', 40, cv.w, cv.h, 1, 4, 0, len(data), 0, 0, 0, 0)
    return header + info + palette + bytes(data)


def ico_bytes(cv):
    """One 32 x 32 4-bit image with its transparency mask."""
    assert cv.w == 32 and cv.h == 32
    xor = bytearray()
    mask = bytearray()
    for y in range(cv.h - 1, -1, -1):
        line = bytearray(16)
        bits = bytearray(4)
        for x in range(cv.w):
            c = cv.px[y][x]
            if c == CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
                c = BLACK
            line[x // 2] |= (c << 4) if x % 2 == 0 else c
        xor += line
        mask += bits
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    info = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 4, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + palette + bytes(xor) + bytes(mask)
    head = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    return head + entry + image


def png_bytes(cv, scale):
    raw = bytearray()
    for y in range(cv.h * scale):
        raw.append(0)
        for x in range(cv.w * scale):
            c = cv.px[y // scale][x // scale]
            raw += bytes((64, 64, 64) if c == CLEAR else PALETTE[c])

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)

    ihdr = struct.pack('>IIBBBBB', cv.w * scale, cv.h * scale, 8, 2, 0, 0, 0)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b'')


def draw_all():
    # The sprite moves 70 twips left for frame B and 20 twips right for frame D; the
    # figures are drawn offset by the same amount in pixels, so the body keeps its
    # place on screen while the wand swings.
    a = Canvas(37, 37)
    ball_figure(a, 14.5, 20.5, 'a')
    b = Canvas(43, 37)
    ball_figure(b, 19.5, 20.5, 'b')
    # Both tall frames stand on the same screen row: C (89 high) keeps its last row free.
    c = Canvas(42, 89)
    tall_figure(c, 1, 0, 'c')
    d = Canvas(58, 88)
    tall_figure(d, 0, 0, 'd')
    icon = Canvas(32, 32, fill=CLEAR)
    ball_figure(icon, 13.5, 19.5, 'a', feet=False)  # the icon is too small for the feet
    return {'frame_a.bmp': a, 'frame_b.bmp': b, 'frame_c.bmp': c, 'frame_d.bmp': d, 'opening.ico': icon}


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = os.path.join(root, 'opening', 'art')
    os.makedirs(out, exist_ok=True)
    preview = None
    if len(argv) >= 2 and argv[0] == '--preview':
        preview = argv[1]
        os.makedirs(preview, exist_ok=True)
    for name, cv in draw_all().items():
        data = ico_bytes(cv) if name.endswith('.ico') else bmp_bytes(cv)
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)
        if preview:
            with open(os.path.join(preview, name.rsplit('.', 1)[0] + '.png'), 'wb') as f:
                f.write(png_bytes(cv, 8))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
