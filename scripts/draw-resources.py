#!/usr/bin/env python3
"""Draws the program's toolbar bitmaps, the grid watermark and the application icon.

Every picture is described below in plain shapes on a 16 x 16 grid (a 0..16 coordinate
square), drawn 8 times larger with coverage sampling and scaled down, so edges are smooth.
The output is committed: src/ui/win32/res/*.bmp (32-bit BGRA with straight alpha) and
sonimo.ico. Run it again after changing a description:  scripts/draw-resources.py
"""
import math
import os
import random
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "ui", "win32", "res")
SS = 8  # samples per output pixel along each axis


class Canvas:
    def __init__(self, w, h, units=16.0):
        self.w, self.h = w * SS, h * SS
        self.out_w, self.out_h = w, h
        self.k = self.w / units  # pixels of the big canvas per description unit
        self.px = [[(0.0, 0.0, 0.0, 0.0)] * self.w for _ in range(self.h)]

    def _blend(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            r, g, b, a = c
            R, G, B, A = self.px[y][x]
            na = a + A * (1 - a)
            if na == 0:
                return
            self.px[y][x] = ((r * a + R * A * (1 - a)) / na, (g * a + G * A * (1 - a)) / na,
                             (b * a + B * A * (1 - a)) / na, na)

    def fill(self, inside, color, box=None):
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        for y in range(max(0, int(y0)), min(self.h, int(y1) + 1)):
            for x in range(max(0, int(x0)), min(self.w, int(x1) + 1)):
                if inside((x + 0.5) / self.k, (y + 0.5) / self.k):
                    self._blend(x, y, color)

    def polygon(self, pts, color):
        def inside(px, py):
            n, c = len(pts), False
            for i in range(n):
                (ax, ay), (bx, by) = pts[i], pts[(i + 1) % n]
                if (ay > py) != (by > py) and px < (bx - ax) * (py - ay) / (by - ay) + ax:
                    c = not c
            return c
        xs, ys = [p[0] for p in pts], [p[1] for p in pts]
        self.fill(inside, color, (min(xs) * self.k - 1, min(ys) * self.k - 1, max(xs) * self.k + 1, max(ys) * self.k + 1))

    def rect(self, x0, y0, x1, y1, color):
        self.polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], color)

    def circle(self, cx, cy, r, color, width=None):
        def inside(px, py):
            d = math.hypot(px - cx, py - cy)
            return d <= r if width is None else abs(d - r) <= width / 2
        m = r + (width or 0)
        self.fill(inside, color, ((cx - m) * self.k - 1, (cy - m) * self.k - 1, (cx + m) * self.k + 1, (cy + m) * self.k + 1))

    def line(self, pts, color, width=1.5):
        hw = width / 2
        for (ax, ay), (bx, by) in zip(pts, pts[1:]):
            dx, dy = bx - ax, by - ay
            ll = dx * dx + dy * dy or 1e-9

            def inside(px, py, ax=ax, ay=ay, dx=dx, dy=dy, ll=ll):
                t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / ll))
                return math.hypot(px - ax - t * dx, py - ay - t * dy) <= hw
            self.fill(inside, color, ((min(ax, bx) - hw) * self.k - 1, (min(ay, by) - hw) * self.k - 1,
                                      (max(ax, bx) + hw) * self.k + 1, (max(ay, by) + hw) * self.k + 1))

    def curve(self, f, x0, x1, color, width=1.5, steps=64):
        self.line([(x0 + (x1 - x0) * i / steps, f(x0 + (x1 - x0) * i / steps)) for i in range(steps + 1)], color, width)

    def pixels(self):
        """Box-filtered down to the output size, straight alpha, rows top to bottom."""
        rows = []
        for oy in range(self.out_h):
            row = []
            for ox in range(self.out_w):
                r = g = b = a = 0.0
                for y in range(oy * SS, oy * SS + SS):
                    for x in range(ox * SS, ox * SS + SS):
                        pr, pg, pb, pa = self.px[y][x]
                        r += pr * pa; g += pg * pa; b += pb * pa; a += pa
                n = SS * SS
                row.append((r / a, g / a, b / a, a / n) if a else (0, 0, 0, 0))
            rows.append(row)
        return rows


def rgb(h, alpha=1.0):
    return (int(h[1:3], 16) / 255, int(h[3:5], 16) / 255, int(h[5:7], 16) / 255, alpha)


def bgra(p):
    r, g, b, a = p
    return bytes((round(b * 255), round(g * 255), round(r * 255), round(a * 255)))


def write_bmp(path, rows):
    h, w = len(rows), len(rows[0])
    data = b"".join(bgra(p) for row in reversed(rows) for p in row)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 32, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(head + info + data)


def write_ico(path, images):
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for rows in images:
        h, w = len(rows), len(rows[0])
        xor = b"".join(bgra(p) for row in reversed(rows) for p in row)
        mask_stride = ((w + 31) // 32) * 4
        mask = b"\0" * (mask_stride * h)  # alpha decides; the AND mask stays clear
        info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        blob = info + xor + mask
        entries.append(struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs))


def write_png(path, rows):
    """8-bit RGBA, straight alpha, one IDAT."""
    h, w = len(rows), len(rows[0])
    raw = b"".join(b"\0" + b"".join(bytes((round(p[0] * 255), round(p[1] * 255), round(p[2] * 255), round(p[3] * 255)))
                                     for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


INK = rgb("#1f3f7a")      # waveforms
GREEN = rgb("#2e9e3e")
RED = rgb("#c0392b")
GREY = rgb("#5a5f66")

# --- the pictures, each a short plain description and the shapes that draw it ----------


def wave(fn):
    def draw(c):
        c.line([(1, 8), (15, 8)], rgb("#9aa5b5"), 0.8)  # the zero line
        fn(c)
    return draw


def noise(color, roughness, seed):
    def draw(c):
        rnd = random.Random(seed)
        y, pts = 8.0, []
        for i in range(29):
            y = 8 + (rnd.uniform(-5.5, 5.5) if roughness > 0.5 else (y - 8) * 0.7 + rnd.uniform(-2.6, 2.6))
            pts.append((1 + i * 0.5, max(2.0, min(14.0, y))))
        c.line(pts, color, 1.1)
    return draw


def gear(c):
    for i in range(8):
        a = i * math.pi / 4
        c.line([(8 + 4.5 * math.cos(a), 8 + 4.5 * math.sin(a)), (8 + 7 * math.cos(a), 8 + 7 * math.sin(a))], GREY, 2.2)
    c.circle(8, 8, 4.8, GREY)
    c.circle(8, 8, 2.0, (0, 0, 0, 0))
    c.circle(8, 8, 2.0, rgb("#e8eaed"))


def floppy(c):
    c.polygon([(2, 2), (12.5, 2), (14, 3.5), (14, 14), (2, 14)], rgb("#2d5fa8"))
    c.rect(4.5, 2, 11, 6.5, rgb("#e8eef8"))
    c.rect(9, 2.8, 10.3, 5.8, rgb("#2d5fa8"))
    c.rect(4, 9, 12, 14, rgb("#f4f6f9"))
    c.line([(5.2, 11), (10.8, 11)], rgb("#9aa5b5"), 0.6)
    c.line([(5.2, 12.6), (10.8, 12.6)], rgb("#9aa5b5"), 0.6)


def eraser(c):
    c.polygon([(2, 10), (8, 3), (14, 8.5), (8.5, 14.5), (5.5, 14.5)], rgb("#e06c75"))
    c.polygon([(2, 10), (5, 6.5), (10.7, 12), (8.5, 14.5), (5.5, 14.5)], rgb("#f1f3f5"))
    c.line([(2, 10), (8, 3), (14, 8.5), (8.5, 14.5), (5.5, 14.5), (2, 10)], rgb("#7a2e35"), 0.7)


def pencil(c):
    c.polygon([(3, 13), (4, 10), (11.5, 2.5), (13.5, 4.5), (6, 12)], rgb("#e5a50a"))
    c.polygon([(3, 13), (4, 10), (6, 12)], rgb("#f3d7a8"))
    c.polygon([(11.5, 2.5), (13.5, 4.5), (12.5, 5.5), (10.5, 3.5)], rgb("#d97a8a"))
    c.line([(3, 13), (4, 10), (11.5, 2.5), (13.5, 4.5), (6, 12), (3, 13)], rgb("#5b4a2e"), 0.6)


def arrow(up):
    def draw(c):
        s = -1 if up else 1
        tip = 8 + s * 6.5
        c.polygon([(8, tip), (2.5, 8 + s * 0.5), (5.8, 8 + s * 0.5), (5.8, 8 - s * 6), (10.2, 8 - s * 6),
                   (10.2, 8 + s * 0.5), (13.5, 8 + s * 0.5)], rgb("#2d6cc0"))
    return draw


def list_icon(c):
    c.rect(2.5, 1.5, 13.5, 14.5, rgb("#f7f8fa"))
    c.line([(2.5, 1.5), (13.5, 1.5), (13.5, 14.5), (2.5, 14.5), (2.5, 1.5)], GREY, 0.8)
    for y in (4.5, 7.5, 10.5):
        c.rect(4.5, y - 0.6, 5.7, y + 0.6, INK)
        c.line([(7, y), (11.8, y)], INK, 1.0)
    c.polygon([(9, 11.5), (14.8, 14), (9, 16.2)], GREEN)


def stereo(c):
    for x0 in (1.0, 8.6):
        c.rect(x0, 5.5, x0 + 2.2, 10.5, GREY)
        c.polygon([(x0 + 2.2, 5.5), (x0 + 5.4, 2.5), (x0 + 5.4, 13.5), (x0 + 2.2, 10.5)], GREY)


def fixed_length(c):
    c.line([(2, 3), (2, 13)], INK, 1.4)
    c.line([(14, 3), (14, 13)], INK, 1.4)
    c.line([(3.5, 8), (12.5, 8)], INK, 1.2)
    c.polygon([(3, 8), (6, 5.5), (6, 10.5)], INK)
    c.polygon([(13, 8), (10, 5.5), (10, 10.5)], INK)


def loop(c):
    pts = [(8 + 5.3 * math.cos(a / 20 * 1.6 * math.pi + 0.25 * math.pi), 8 + 5.3 * math.sin(a / 20 * 1.6 * math.pi + 0.25 * math.pi)) for a in range(21)]
    c.line(pts, GREEN, 1.8)
    ex, ey = pts[-1]
    c.polygon([(ex - 3.2, ey - 2.2), (ex + 2.8, ey - 2.6), (ex - 0.2, ey + 2.8)], GREEN)


def relative_amplitude(c):
    for i, h in enumerate((11, 7, 9, 4.5)):
        x = 1.8 + i * 3.4
        c.rect(x, 14 - h, x + 2.4, 14, rgb("#2d6cc0") if i % 2 == 0 else rgb("#6aa0e0"))
    c.line([(1, 14.3), (15, 14.3)], GREY, 0.8)


def impulse(c):
    c.line([(1, 13), (15, 13)], rgb("#9aa5b5"), 0.8)
    for x in (3, 8, 13):
        c.line([(x, 13), (x, 2.5)], INK, 1.5)


DESCRIPTIONS = {
    322: ("options: a grey gear wheel", gear),
    324: ("play: a green triangle pointing right", lambda c: c.polygon([(4, 2), (14, 8), (4, 14)], GREEN)),
    325: ("stop: a dark red square", lambda c: c.rect(3, 3, 13, 13, RED)),
    326: ("relative amplitude: four bars of different heights", relative_amplitude),
    327: ("clear: an eraser", eraser),
    328: ("save: a blue floppy disk", floppy),
    329: ("edit in the companion editor: a pencil", pencil),
    333: ("raise the value: a blue arrow up", arrow(True)),
    334: ("lower the value: a blue arrow down", arrow(False)),
    335: ("sine: one period of a sine wave", wave(lambda c: c.curve(lambda x: 8 - 5.5 * math.sin((x - 1) / 14 * 2 * math.pi), 1, 15, INK))),
    336: ("square: one period of a square wave", wave(lambda c: c.line([(1, 8), (1.5, 3), (8, 3), (8, 13), (14.5, 13), (15, 8)], INK))),
    337: ("triangle: one period of a triangle wave", wave(lambda c: c.line([(1, 8), (4.5, 2.5), (11.5, 13.5), (15, 8)], INK))),
    338: ("sawtooth: two ramps with vertical drops", wave(lambda c: c.line([(1, 13), (8, 3), (8, 13), (15, 3)], INK))),
    339: ("impulse train: three vertical spikes on a base line", impulse),
    340: ("white noise: a jagged grey-blue line", noise(rgb("#7d8794"), 1.0, 1)),
    341: ("pink noise: a jagged pink line", noise(rgb("#e0609a"), 0.0, 2)),
    342: ("load a list: a page of lines with a green play mark", list_icon),
    344: ("fixed length: a double arrow between two bars", fixed_length),
    345: ("loop playback: a green circular arrow", loop),
    346: ("linear sweep: a straight rising line", wave(lambda c: c.line([(1.5, 13.5), (14.5, 2.5)], INK))),
    347: ("logarithmic sweep: a curve rising ever more steeply", wave(lambda c: c.curve(lambda x: 13.5 - 11 * ((math.exp((x - 1.5) / 13 * 2.5) - 1) / (math.exp(2.5) - 1)), 1.5, 14.5, INK))),
    349: ("stereo: two small loudspeakers side by side", stereo),
    350: ("brown noise: a slowly wandering brown line", noise(rgb("#8b5a2b"), 0.0, 3)),
    351: ("blue noise: a jagged blue line", noise(rgb("#2f6fdf"), 1.0, 4)),
    352: ("purple noise: a jagged purple line", noise(rgb("#8e44ad"), 1.0, 5)),
    353: ("grey noise: a jagged mid-grey line", noise(rgb("#888888"), 1.0, 6)),
}


def watermark():
    """323: the grid's watermark, a faint sine over its zero line in the lower right."""
    c = Canvas(96, 48, units=96.0)
    c.line([(4, 24), (92, 24)], rgb("#e3e8ef"), 1.5)
    c.curve(lambda x: 24 - 17 * math.sin((x - 4) / 88 * 2 * math.pi), 4, 92, rgb("#dbe3ee"), 5.0, 96)
    return c.pixels()


def scale_background():
    """354: the scale's strip, 1241 x 77: deep blue at the low end warming to violet at the
    high end, lighter towards the top, with faint horizontal lines like a scope screen."""
    w, h = 1241, 77
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            t = x / (w - 1)
            v = 1 - y / (h - 1)
            r = 0.10 + 0.22 * t + 0.10 * v
            g = 0.16 + 0.10 * (1 - t) + 0.12 * v
            b = 0.34 + 0.16 * v + 0.06 * t
            if y % 11 == 5:
                r, g, b = r + 0.05, g + 0.05, b + 0.06
            row.append((min(r, 1), min(g, 1), min(b, 1), 1.0))
        rows.append(row)
    return rows


def scale_thumb():
    """355: the thumb, 8 x 28: a rounded orange bar with a light edge and a centre groove."""
    c = Canvas(8, 28, units=8.0)
    c.fill(lambda x, y: (max(abs(x - 4) - 2.6, 0) ** 2 + max(abs(y - 14) - 12.6, 0) ** 2) <= 1.4 ** 2 and
           abs(x - 4) <= 4 and abs(y - 14) <= 14, rgb("#f5f7fa"))
    c.fill(lambda x, y: (max(abs(x - 4) - 1.9, 0) ** 2 + max(abs(y - 14) - 11.9, 0) ** 2) <= 1.1 ** 2, rgb("#f08a24"))
    c.line([(4, 6), (4, 22)], rgb("#b35a0c"), 0.9)
    return c.pixels()


def app_icon(size):
    """The program: a white sine on a rounded blue square."""
    c = Canvas(size, size)
    r = 3.0
    c.fill(lambda x, y: (max(abs(x - 8) - (8 - r) + 0.5, 0) ** 2 + max(abs(y - 8) - (8 - r) + 0.5, 0) ** 2) <= r * r,
           rgb("#2458a8"))
    c.curve(lambda x: 8 - 4.5 * math.sin((x - 2.5) / 11 * 2 * math.pi), 2.5, 13.5, rgb("#ffffff"), 1.8 if size < 32 else 1.4)
    return c.pixels()


def main():
    os.makedirs(OUT, exist_ok=True)
    for number, (text, draw) in sorted(DESCRIPTIONS.items()):
        c = Canvas(16, 16)
        draw(c)
        write_bmp(os.path.join(OUT, f"tb{number}.bmp"), c.pixels())
        print(number, text)
    write_bmp(os.path.join(OUT, "tb323.bmp"), watermark())
    write_ico(os.path.join(OUT, "sonimo.ico"), [app_icon(16), app_icon(32), app_icon(48)])
    write_png(os.path.join(OUT, "scale354.png"), scale_background())
    write_png(os.path.join(OUT, "scale355.png"), scale_thumb())


if __name__ == "__main__":
    main()
