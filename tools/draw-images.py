#!/usr/bin/env python3
"""Draws the wizard's eight images (32-bit RGBA PNGs) at 1x and 2x, and the
program's icon.

  tools/draw-images.py OUTPUT_FOLDER

writes <id>.png and <id>@2x.png for 1101 to 1108: the white logo glyph on
transparency, the four 90 x 25 button faces and the three 18 x 18 close
buttons. Every shape is drawn in its own coordinates times the scale, so the
2x images are the same pictures with twice the pixels (a one-pixel border
is two pixels wide), not an enlargement.

It also writes 128.ico, icon 128: the logo's shield in white on a green
rounded square, which reads on light and dark taskbars alike, at 16, 24, 32,
48 and 256 pixels (PNG-compressed images, as Windows Vista and later keep
them). Each size is drawn for its own pixel grid: the shield's straight edges
fall on whole pixels and only the rounded corners and the shield's point are
smoothed.
"""
import os
import struct
import sys
import zlib


class Canvas:
    """An RGBA picture in logical pixels, drawn at `scale` device pixels each."""

    def __init__(self, width, height, scale):
        self.scale = scale
        self.width = width * scale
        self.height = height * scale
        self.pixels = [[(0, 0, 0, 0)] * self.width for _ in range(self.height)]

    def fill(self, left, top, right, bottom, colour):
        """Fills the logical rectangle [left, right) x [top, bottom)."""
        s = self.scale
        for y in range(max(0, int(top * s)), min(self.height, int(bottom * s))):
            row = self.pixels[y]
            for x in range(max(0, int(left * s)), min(self.width, int(right * s))):
                row[x] = colour

    def frame(self, width, height, colour):
        """A border one logical pixel wide along the picture's edges."""
        self.fill(0, 0, width, 1, colour)
        self.fill(0, height - 1, width, height, colour)
        self.fill(0, 0, 1, height, colour)
        self.fill(width - 1, 0, width, height, colour)

    def line(self, x0, y0, x1, y1, thickness, colour):
        """A straight stroke between two logical points, covering every
        device pixel whose centre lies within thickness / 2 of the segment."""
        s = self.scale
        ax, ay, bx, by = x0 * s, y0 * s, x1 * s, y1 * s
        half = thickness * s / 2.0
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy
        for y in range(self.height):
            for x in range(self.width):
                px, py = x + 0.5, y + 0.5
                t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
                cx, cy = ax + t * dx - px, ay + t * dy - py
                if cx * cx + cy * cy <= half * half:
                    self.pixels[y][x] = colour

    def png(self):
        raw = bytearray()
        for row in self.pixels:
            raw.append(0)  # filter type None
            for r, g, b, a in row:
                raw += bytes((r, g, b, a))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)  # 8-bit RGBA
        return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


WHITE = (255, 255, 255, 255)
BORDER = (170, 170, 170, 255)


def logo(scale):
    """1101: a white shield with a notch, the product's mark, on transparency."""
    c = Canvas(13, 18, scale)
    c.fill(1, 1, 12, 11, WHITE)
    for step in range(6):  # the shield's point, narrowing downwards
        c.fill(1 + step, 11 + step, 12 - step, 12 + step, WHITE)
    c.fill(5, 4, 8, 9, (0, 0, 0, 0))  # the notch that reads as a "B" stem
    c.fill(6, 4, 7, 12, WHITE)
    return c


def solid_face(fill, scale):
    """1102: a solid grey button face."""
    c = Canvas(90, 25, scale)
    c.fill(0, 0, 90, 25, fill)
    return c


def light_face(fill, scale):
    """1103 to 1105: a light face with a grey one-pixel border."""
    c = Canvas(90, 25, scale)
    c.fill(0, 0, 90, 25, fill)
    c.frame(90, 25, BORDER)
    return c


def close_button(fill, scale):
    """1106 to 1108: a green square with a white X."""
    c = Canvas(18, 18, scale)
    c.fill(0, 0, 18, 18, fill)
    c.line(5, 5, 13, 13, 1.6, WHITE)
    c.line(13, 5, 5, 13, 1.6, WHITE)
    return c


IMAGES = {
    1101: logo,
    1102: lambda s: solid_face((112, 112, 112, 255), s),
    1103: lambda s: light_face((227, 227, 227, 255), s),
    1104: lambda s: light_face((248, 248, 248, 255), s),
    1105: lambda s: light_face((255, 255, 255, 255), s),
    1106: lambda s: close_button((0, 165, 81, 255), s),
    1107: lambda s: close_button((0, 180, 89, 255), s),
    1108: lambda s: close_button((0, 191, 94, 255), s),
}


TITLE_GREEN = (0, 165, 81)
ICON_SIZES = (16, 24, 32, 48, 256)
SAMPLES = 4  # sub-samples per pixel side where an edge is smoothed


def icon(size):
    """One size of icon 128: a green rounded square filling the icon, with the
    logo's shield (the glyph of 1101, 11 x 16 of its units) in white, about
    six tenths of the icon high, its two notch slits showing the green."""
    c = Canvas(size, size, 1)
    radius = size * 0.1875
    unit = size * 0.6 / 16
    left = (size - round(11 * unit)) // 2
    top = (size - round(16 * unit)) // 2

    def at(origin, k):
        # Glyph unit k (1 is the shield's first) as a whole device pixel.
        return origin + round((k - 1) * unit)

    x1, x5, x6, x7, x8, x12 = (at(left, k) for k in (1, 5, 6, 7, 8, 12))
    y4, y9, y11, y17 = (at(top, k) for k in (4, 9, 11, 17))
    # Below about one pixel a unit, keep each slit and the stem between them
    # one pixel wide so that the notch does not vanish.
    x6 = max(x6, x5 + 1)
    x7 = max(x7, x6 + 1)
    x8 = max(x8, x7 + 1)
    tip = (x1 + x12) / 2.0

    def in_square(x, y):
        cx = min(max(x, radius), size - radius)
        cy = min(max(y, radius), size - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius

    def in_shield(x, y):
        if x < x1 or x >= x12 or y < top or y >= y17:
            return False
        if x5 <= x < x6 or x7 <= x < x8:
            if y4 <= y < y9:
                return False  # the notch's two slits
        if y < y11:
            return True
        # The point: half its width left at each height down to the tip.
        half = (x12 - x1) / 2.0 * (y17 - y) / float(y17 - y11)
        return abs(x - tip) <= half

    step = 1.0 / SAMPLES
    offsets = [step * (i + 0.5) for i in range(SAMPLES)]
    for y in range(size):
        for x in range(size):
            near_corner = (x < radius or x >= size - radius) and (y < radius or y >= size - radius)
            near_point = y11 - 1 <= y < y17 + 1
            if near_corner or near_point:
                points = [(x + dx, y + dy) for dy in offsets for dx in offsets]
            else:
                points = [(x + 0.5, y + 0.5)]
            square = sum(1 for p in points if in_square(*p)) / float(len(points))
            shield = sum(1 for p in points if in_shield(*p)) / float(len(points))
            if square == 0:
                continue
            colour = tuple(round(g * (1 - shield) + 255 * shield) for g in TITLE_GREEN)
            c.pixels[y][x] = colour + (round(255 * square),)
    return c


def ico(pictures):
    """An .ico file of PNG-compressed images: the directory, then the data."""
    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    entries, data = b"", b""
    for size, png in pictures:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(png), offset + len(data))
        data += png
    return header + entries + data


def write(path, data):
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: draw-images.py OUTPUT_FOLDER")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for image_id, draw in IMAGES.items():
        for scale, suffix in ((1, ""), (2, "@2x")):
            write(os.path.join(out, "%d%s.png" % (image_id, suffix)), draw(scale).png())
    write(os.path.join(out, "128.ico"), ico([(size, icon(size).png()) for size in ICON_SIZES]))


if __name__ == "__main__":
    main()
