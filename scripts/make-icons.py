#!/usr/bin/env python3
"""Draws the program's icon: a dark rounded face, a green waveform and a red
record dot. Writes assets/icons/orvane-recorder.svg and one PNG per size of
the hicolor theme, from the same shapes; small sizes leave out the waveform.
Run it again after changing the shapes: python3 scripts/make-icons.py"""
import os
import struct
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "assets", "icons")
SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
CANVAS = 256.0
FACE = (40, 44, 52)
WAVE = (80, 200, 80)
DOT = (220, 40, 40)
BAR_HEIGHTS = [24, 56, 96, 136, 80, 40, 40, 80, 136, 96, 56, 24]


def shapes(detailed):
    """(kind, geometry, colour) in drawing order, in canvas units."""
    out = [("rrect", (16, 16, 240, 240, 44), FACE)]
    if detailed:
        for i, h in enumerate(BAR_HEIGHTS):
            x = 38 + i * 16 + (28 if i >= 6 else 0) - 14
            out.append(("rrect", (x, 128 - h / 2, x + 10, 128 + h / 2, 5), WAVE))
        out.append(("circle", (128, 128, 62), FACE))
    out.append(("circle", (128, 128, 50 if detailed else 64), DOT))
    return out


def inside(kind, g, x, y):
    if kind == "circle":
        cx, cy, r = g
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    x0, y0, x1, y1, r = g
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def render(size):
    detailed = size >= 32
    todo = shapes(detailed)
    n = 4  # samples per axis
    rows = []
    scale = CANVAS / size
    for py in range(size):
        row = bytearray([0])  # filter: none
        for px in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) * scale
                    y = (py + (sy + 0.5) / n) * scale
                    colour = None
                    for kind, geo, col in todo:
                        if inside(kind, geo, x, y):
                            colour = col
                    if colour:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            if a:
                row += bytes([r // a, g // a, b // a, a * 255 // (n * n)])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return png(size, b"".join(rows))


def png(size, raw):
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def svg():
    def hexc(c):
        return "#%02x%02x%02x" % c
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">']
    for kind, g, col in shapes(True):
        if kind == "circle":
            parts.append('  <circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (g[0], g[1], g[2], hexc(col)))
        else:
            x0, y0, x1, y1, r = g
            parts.append('  <rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s"/>'
                         % (x0, y0, x1 - x0, y1 - y0, r, hexc(col)))
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def main():
    os.makedirs(ROOT, exist_ok=True)
    with open(os.path.join(ROOT, "orvane-recorder.svg"), "w") as f:
        f.write(svg())
    for size in SIZES:
        with open(os.path.join(ROOT, "orvane-recorder-%d.png" % size), "wb") as f:
            f.write(render(size))


if __name__ == "__main__":
    main()
