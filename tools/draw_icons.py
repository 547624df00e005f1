#!/usr/bin/env python3
"""Draws the program's icons as small PNG files (pure Python, no imaging library).

Each icon is a list of simple shapes on a transparent square; run this script
to regenerate resources/Images/*.png after changing a drawing.
"""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "Images")


def png(path, w, h, pixels):
    raw = b"".join(b"\x00" + bytes(pixels[y * w * 4:(y + 1) * w * 4]) for y in range(h))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


class Canvas:
    def __init__(self, size=32):
        self.n = size
        self.px = bytearray(size * size * 4)

    def put(self, x, y, c):
        if 0 <= x < self.n and 0 <= y < self.n:
            i = (y * self.n + x) * 4
            self.px[i:i + 4] = bytes(c)

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c, t=1):
        self.rect(x0, y0, x1, y0 + t - 1, c)
        self.rect(x0, y1 - t + 1, x1, y1, c)
        self.rect(x0, y0, x0 + t - 1, y1, c)
        self.rect(x1 - t + 1, y0, x1, y1, c)

    def polygon(self, pts, c):
        ys = [p[1] for p in pts]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            yc = y + 0.5
            xs = []
            for i in range(len(pts)):
                (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % len(pts)]
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for k in range(0, len(xs) - 1, 2):
                for x in range(int(round(xs[k])), int(round(xs[k + 1]))):
                    self.put(x, y, c)

    def circle(self, cx, cy, r, c, fill=True, t=2):
        for y in range(self.n):
            for x in range(self.n):
                d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
                if (fill and d <= r) or (not fill and r - t <= d <= r):
                    self.put(x, y, c)

    def line(self, x0, y0, x1, y1, c, t=2):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        for s in range(steps + 1):
            x = x0 + (x1 - x0) * s / steps
            y = y0 + (y1 - y0) * s / steps
            self.rect(int(x - t / 2), int(y - t / 2), int(x - t / 2) + t - 1, int(y - t / 2) + t - 1, c)

    def save(self, name):
        png(os.path.join(OUT, name), self.n, self.n, self.px)


RED = (192, 57, 43, 255)
BLUE = (46, 134, 193, 255)
YELLOW = (244, 208, 63, 255)
GREEN = (39, 174, 96, 255)
DARK = (44, 62, 80, 255)
GREY = (149, 165, 166, 255)
WHITE = (255, 255, 255, 255)


def cube(c, a=BLUE, b=YELLOW, d=(31, 97, 141, 255)):
    c.polygon([(16, 3), (29, 9), (16, 15), (3, 9)], b)
    c.polygon([(3, 9), (16, 15), (16, 29), (3, 23)], a)
    c.polygon([(16, 15), (29, 9), (29, 23), (16, 29)], d)


def draw_all():
    os.makedirs(OUT, exist_ok=True)
    c = Canvas(); c.rect(7, 7, 24, 24, RED); c.save("stop.png")
    c = Canvas(64)
    c.polygon([(32, 4), (60, 20), (32, 36), (4, 20)], YELLOW)
    c.polygon([(4, 20), (32, 36), (32, 60), (4, 46)], BLUE)
    c.polygon([(32, 36), (60, 20), (60, 46), (32, 60)], (31, 97, 141, 255))
    c.save("logo3D.png")
    for name, fn in ICONS.items():
        c = Canvas()
        fn(c)
        c.save(name)


# Further icons register themselves here: file name -> drawing function.
ICONS = {}

if __name__ == "__main__":
    draw_all()
