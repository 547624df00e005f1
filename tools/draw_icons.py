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


ORANGE = (230, 126, 34, 255)
PURPLE = (142, 68, 173, 255)
LIGHTBLUE = (133, 193, 233, 255)


def folder(c, body, tab):
    c.rect(3, 8, 13, 11, tab)
    c.rect(3, 11, 28, 26, body)
    c.frame(3, 11, 28, 26, DARK)


def floppy(c, body):
    c.rect(4, 4, 27, 27, body)
    c.rect(9, 4, 22, 12, WHITE)
    c.rect(18, 6, 20, 10, body)
    c.rect(8, 17, 23, 27, WHITE)
    c.line(10, 20, 21, 20, GREY, 1)
    c.line(10, 23, 21, 23, GREY, 1)
    c.frame(4, 4, 27, 27, DARK)


def small_cube(c, x, y):
    c.polygon([(x + 5, y), (x + 10, y + 3), (x + 5, y + 6), (x, y + 3)], YELLOW)
    c.polygon([(x, y + 3), (x + 5, y + 6), (x + 5, y + 11), (x, y + 8)], BLUE)
    c.polygon([(x + 5, y + 6), (x + 10, y + 3), (x + 10, y + 8), (x + 5, y + 11)], (31, 97, 141, 255))


def wave(c, y0, colour, t=2, amp=3):
    pts = [(x, y0 + amp * (((x // 6) % 2) * 2 - 1) * ((x % 6) / 6.0 if (x // 6) % 2 == 0 else 1 - (x % 6) / 6.0))
           for x in range(2, 31)]
    for (xa, ya), (xb, yb) in zip(pts, pts[1:]):
        c.line(xa, ya, xb, yb, colour, t)


def surface_patch(c, colour, y0=14):
    # a tilted, wavy sheet
    top = [(3, y0 + 2), (10, y0 - 2), (17, y0 + 1), (24, y0 - 3), (29, y0)]
    bottom = [(29, y0 + 10), (22, y0 + 13), (15, y0 + 10), (8, y0 + 14), (3, y0 + 12)]
    c.polygon(top + bottom, colour)
    for (xa, ya), (xb, yb) in zip(top, top[1:]):
        c.line(xa, ya, xb, yb, DARK, 1)


def play(c, colour):
    c.polygon([(8, 4), (27, 16), (8, 28)], colour)


def arrow_up(c, x, colour):
    c.polygon([(x - 5, 12), (x, 3), (x + 5, 12)], colour)
    c.rect(x - 1, 12, x + 1, 15, colour)


def arrow_down(c, x, colour):
    c.polygon([(x - 5, 19), (x, 28), (x + 5, 19)], colour)
    c.rect(x - 1, 16, x + 1, 19, colour)


def draw_open_blue(c):
    folder(c, LIGHTBLUE, BLUE)


def draw_open_1(c):
    folder(c, (250, 229, 140, 255), YELLOW)
    small_cube(c, 12, 13)


def draw_save_proj2(c):
    floppy(c, BLUE)


def draw_save(c):
    floppy(c, DARK)
    small_cube(c, 10, 16)


def draw_window_size(c):
    c.frame(3, 5, 28, 26, DARK, 2)
    c.rect(3, 5, 28, 8, BLUE)
    c.line(8, 13, 23, 21, ORANGE, 2)
    c.polygon([(6, 11), (12, 12), (8, 16)], ORANGE)
    c.polygon([(25, 23), (19, 22), (23, 18)], ORANGE)


def draw_fit_window(c):
    c.frame(3, 3, 28, 28, DARK, 2)
    c.rect(10, 10, 21, 21, GREEN)
    for (x, y, dx, dy) in ((6, 6, 1, 1), (25, 6, -1, 1), (6, 25, 1, -1), (25, 25, -1, -1)):
        c.line(x, y, x + 3 * dx, y + 3 * dy, DARK, 2)


def draw_cube_opac(c):
    cube(c)


def draw_surface_opac(c):
    surface_patch(c, (72, 201, 176, 255), 12)


def draw_cube_surf(c):
    cube(c)
    wave(c, 18, ORANGE, 3)


def draw_faults_icon2(c):
    c.polygon([(6, 3), (14, 3), (20, 28), (12, 28)], (230, 176, 170, 255))
    c.line(10, 3, 16, 28, RED, 3)
    c.polygon([(18, 3), (24, 3), (29, 28), (23, 28)], (230, 176, 170, 255))
    c.line(21, 3, 26, 28, RED, 2)


def draw_net(c):
    for x in (6, 15, 24):
        c.line(x, 3, x + 3, 28, BLUE, 2)
    for y in (8, 20):
        c.line(3, y, 28, y - 3, DARK, 2)


def draw_slice(c):
    cube(c, (174, 214, 241, 255), (252, 243, 207, 255), (169, 204, 227, 255))
    c.polygon([(9, 6), (22, 12), (22, 26), (9, 20)], ORANGE)
    c.line(9, 6, 22, 12, DARK, 1)


def draw_up_down(c):
    arrow_up(c, 16, GREEN)
    arrow_down(c, 16, RED)
    c.line(3, 16, 8, 16, DARK, 1)
    c.line(24, 16, 29, 16, DARK, 1)


def draw_spreadsheet(c):
    c.rect(3, 4, 28, 27, WHITE)
    c.rect(3, 4, 28, 9, GREEN)
    for y in (9, 15, 21, 27):
        c.line(3, y, 28, y, DARK, 1)
    for x in (3, 12, 20, 28):
        c.line(x, 4, x, 27, DARK, 1)


def draw_start_green(c):
    play(c, GREEN)


def draw_start_inv(c):
    play(c, ORANGE)
    c.rect(3, 4, 5, 28, ORANGE)


def draw_start_inv_horizon(c):
    c.polygon([(8, 3), (24, 12), (8, 21)], PURPLE)
    wave(c, 26, BLUE, 2, 2)


def draw_logo_earth(c):
    c.circle(16, 16, 14, BLUE)
    c.polygon([(8, 8), (15, 6), (17, 11), (12, 15), (9, 13)], GREEN)
    c.polygon([(17, 17), (24, 14), (27, 20), (21, 26), (18, 23)], GREEN)
    c.circle(16, 16, 14, DARK, fill=False, t=1)


def draw_logo_2(c):
    c.rect(3, 20, 28, 28, (160, 120, 80, 255))
    c.rect(3, 13, 28, 19, YELLOW)
    c.line(3, 24, 28, 17, RED, 2)
    c.circle(16, 8, 5, BLUE)


# Further icons register themselves here: file name -> drawing function.
ICONS = {
    "logo_earth.png": draw_logo_earth,
    "logo_2.png": draw_logo_2,
    "open_blue.png": draw_open_blue,
    "open_1.png": draw_open_1,
    "save_proj2.png": draw_save_proj2,
    "save.png": draw_save,
    "window_size.png": draw_window_size,
    "fit__window.png": draw_fit_window,
    "cube_opac.png": draw_cube_opac,
    "surface_opac.png": draw_surface_opac,
    "cube_surf.png": draw_cube_surf,
    "faults_icon2.png": draw_faults_icon2,
    "net.png": draw_net,
    "slice.png": draw_slice,
    "up_down.png": draw_up_down,
    "spreadsheet.png": draw_spreadsheet,
    "start_green.png": draw_start_green,
    "start_inv.png": draw_start_inv,
    "start_inv_horizon.png": draw_start_inv_horizon,
}

# Colour-scale previews of the preferences (80 x 16): the stops of each scale
# and whether it blends in HSV (the ion preset) or RGB.
GRADIENT_STRIPS = {
    "gpJet.png": ([(0, (0, 0, 100)), (0.15, (0, 50, 255)), (0.35, (0, 255, 255)),
                   (0.65, (255, 255, 0)), (0.85, (255, 30, 0)), (1, (100, 0, 0))], False),
    "gpGrayScale.png": ([(0, (0, 0, 0)), (1, (255, 255, 255))], False),
    "gpHot.png": ([(0, (50, 0, 0)), (0.2, (180, 10, 0)), (0.4, (245, 50, 0)),
                   (0.6, (255, 150, 10)), (0.8, (255, 255, 50)), (1, (255, 255, 255))], False),
    "gpIon.png": ([(0, (50, 10, 10)), (0.45, (0, 0, 255)), (0.8, (0, 255, 255)), (1, (0, 255, 0))], True),
    "gpSeismic.png": ([(0, (0, 0, 76)), (0.25, (0, 0, 255)), (0.5, (255, 255, 255)),
                       (0.75, (255, 0, 0)), (1, (127, 0, 0))], False),
    "gpSeismic_landmark.png": ([(0, (176, 15, 15)), (0.49, (209, 237, 191)), (0.51, (255, 255, 255)),
                                (0.53, (222, 255, 255)), (1, (0, 0, 0))], False),
}


def gradient_colour(stops, hsv, t):
    import colorsys
    for (pa, ca), (pb, cb) in zip(stops, stops[1:]):
        if t <= pb:
            f = 0.0 if pb == pa else (t - pa) / (pb - pa)
            break
    else:
        return stops[-1][1]
    if not hsv:
        return tuple(int(round(a + (b - a) * f)) for a, b in zip(ca, cb))
    ha = colorsys.rgb_to_hsv(*[v / 255.0 for v in ca])
    hb = colorsys.rgb_to_hsv(*[v / 255.0 for v in cb])
    h0, h1 = ha[0], hb[0]
    if h1 - h0 > 0.5:
        h0 += 1.0
    elif h1 - h0 < -0.5:
        h1 += 1.0
    h = ((1 - f) * h0 + f * h1) % 1.0
    rgb = colorsys.hsv_to_rgb(h, (1 - f) * ha[1] + f * hb[1], (1 - f) * ha[2] + f * hb[2])
    return tuple(int(round(v * 255)) for v in rgb)


def draw_gradient_strips():
    w, h = 80, 16
    for name, (stops, hsv) in GRADIENT_STRIPS.items():
        row = []
        for x in range(w):
            row.extend(gradient_colour(stops, hsv, x / (w - 1)) + (255,))
        png(os.path.join(OUT, name), w, h, row * h)


if __name__ == "__main__":
    draw_all()
    draw_gradient_strips()
