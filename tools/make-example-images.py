#!/usr/bin/env python3
"""Draws the small pictures the example programs load (assets/examples/*.png).

Usage: make-example-images.py OUTPUT_FOLDER

Every picture is computed from simple shapes with 4 x 4 supersampling for smooth edges and
written as an 8-bit RGBA PNG with the standard library alone (zlib), so the output is the same
byte for byte on every machine.
"""
import math
import struct
import sys
import zlib

SAMPLES = 4


def write_png(path, width, height, pixels):
    """Writes rows of (r, g, b, a) tuples as an RGBA PNG."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type None
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        out.write(chunk(b"IEND", b""))


def render(width, height, shade):
    """shade(x, y) answers (r, g, b) inside the shape and None outside; coverage gives alpha."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            hits, red, green, blue = 0, 0, 0, 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    colour = shade(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    if colour is not None:
                        hits += 1
                        red, green, blue = red + colour[0], green + colour[1], blue + colour[2]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((red // hits, green // hits, blue // hits, 255 * hits // (SAMPLES * SAMPLES)))
        rows.append(row)
    return rows


def inside_polygon(x, y, points):
    inside = False
    for i, (x1, y1) in enumerate(points):
        x2, y2 = points[i - 1]
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            inside = not inside
    return inside


def ship(x, y):
    """A 48 x 32 arrow-shaped ship pointing right, with a cockpit."""
    hull = [(46, 16), (4, 2), (12, 16), (4, 30)]
    if not inside_polygon(x, y, hull):
        return None
    if (x - 28) ** 2 + ((y - 16) * 1.6) ** 2 < 30:
        return (120, 220, 255)
    light = int(40 * (1 - abs(y - 16) / 16))
    return (200 + light // 2, 90 + light, 40)


def rock(x, y):
    """A 48 x 48 lumpy rock: a disc whose radius wobbles with the angle."""
    dx, dy = x - 24, y - 24
    angle = math.atan2(dy, dx)
    radius = 19 + 3 * math.sin(3 * angle) + 2 * math.cos(5 * angle + 1)
    distance = math.hypot(dx, dy)
    if distance > radius:
        return None
    grey = int(90 + 70 * (1 - distance / radius) + 20 * math.sin(7 * angle))
    return (grey, grey - 10, grey - 25)


def glow(x, y):
    """A 64 x 64 soft white-yellow glow, for additive blending."""
    distance = math.hypot(x - 32, y - 32) / 32
    if distance >= 1:
        return None
    return (255, 240, 180)


def glow_pixels():
    """The glow's alpha falls off smoothly instead of ending at an edge."""
    rows = render(64, 64, glow)
    out = []
    for py, row in enumerate(rows):
        line = []
        for px, (r, g, b, a) in enumerate(row):
            distance = min(1.0, math.hypot(px + 0.5 - 32, py + 0.5 - 32) / 32)
            line.append((r, g, b, int(a * (1 - distance) ** 2)))
        out.append(line)
    return out


def tile(x, y):
    """A 32 x 32 opaque floor tile: two greens in a checker with a dark groove."""
    if x < 1 or y < 1:
        return (30, 60, 35)
    light = ((int(x) // 16) + (int(y) // 16)) % 2
    return (60, 110, 60) if light else (50, 95, 52)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    write_png(folder + "/ship.png", 48, 32, render(48, 32, ship))
    write_png(folder + "/rock.png", 48, 48, render(48, 48, rock))
    write_png(folder + "/glow.png", 64, 64, glow_pixels())
    write_png(folder + "/tile.png", 32, 32, render(32, 32, tile))


if __name__ == "__main__":
    main()
