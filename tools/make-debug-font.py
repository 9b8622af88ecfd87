#!/usr/bin/env python3
"""Makes the 1536-byte 8 by 16 debug font from an X11 PCF bitmap font.

Usage: make-debug-font.py FONT.pcf[.gz] OUTPUT.bin [--show]

The output holds the 96 characters 32 to 127 as 16 rows of 96 bytes: byte j of row i is row i
of the glyph for character 32 + j, bit k (least significant first) being pixel column k. Each
glyph is placed in its 8 by 16 cell by its bearings and the font's ascent; a character the
font lacks stays blank. --show prints every glyph as text for a visual check.
"""
import gzip
import struct
import sys

PCF_METRICS = 1 << 2
PCF_BITMAPS = 1 << 3
PCF_BDF_ENCODINGS = 1 << 5
PCF_BDF_ACCELERATORS = 1 << 8
PCF_ACCELERATORS = 1 << 1

PCF_BYTE_MASK = 1 << 2  # multi-byte numbers are most significant byte first
PCF_BIT_MASK = 1 << 3  # the leftmost pixel is the most significant bit
PCF_COMPRESSED_METRICS = 0x100

CELL_WIDTH, CELL_HEIGHT, FIRST, COUNT = 8, 16, 32, 96


class Table:
    def __init__(self, data, offset):
        self.data = data
        self.format = struct.unpack_from("<i", data, offset)[0]
        self.pos = offset + 4
        self.order = ">" if self.format & PCF_BYTE_MASK else "<"

    def read(self, code):
        value = struct.unpack_from(self.order + code, self.data, self.pos)
        self.pos += struct.calcsize(code)
        return value[0] if len(value) == 1 else value


def read_tables(data):
    if data[:4] != b"\x01fcp":
        sys.exit("not a PCF font")
    (count,) = struct.unpack_from("<i", data, 4)
    tables = {}
    for index in range(count):
        kind, _fmt, _size, offset = struct.unpack_from("<iiii", data, 8 + 16 * index)
        tables[kind] = offset
    return tables


def read_metrics(table):
    metrics = []
    if table.format & PCF_COMPRESSED_METRICS:
        for _ in range(table.read("h")):
            values = [table.read("B") - 0x80 for _ in range(5)]
            metrics.append(tuple(values))
    else:
        for _ in range(table.read("i")):
            metrics.append(table.read("hhhhhH")[:5])
    return metrics  # (left bearing, right bearing, advance, ascent, descent)


def read_bitmaps(table):
    count = table.read("i")
    offsets = [table.read("i") for _ in range(count)]
    sizes = [table.read("i") for _ in range(4)]
    pad = table.format & 3
    start = table.pos
    return offsets, table.data[start:start + sizes[pad]], 1 << pad


def read_encoding(table):
    min2, max2, min1, max1, _default = (table.read("h") for _ in range(5))
    indices = [table.read("H") for _ in range((max2 - min2 + 1) * (max1 - min1 + 1))]

    def glyph_of(code):
        if min1 != 0 or not min2 <= code <= max2:
            return None
        index = indices[code - min2]
        return None if index == 0xFFFF else index

    return glyph_of


def font_ascent(data, tables):
    offset = tables.get(PCF_BDF_ACCELERATORS, tables.get(PCF_ACCELERATORS))
    table = Table(data, offset)
    table.pos += 8  # seven flags and a pad byte
    return table.read("i"), table.read("i")


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    raw = open(sys.argv[1], "rb").read()
    data = gzip.decompress(raw) if raw[:2] == b"\x1f\x8b" else raw
    tables = read_tables(data)
    metrics = read_metrics(Table(data, tables[PCF_METRICS]))
    bitmap_table = Table(data, tables[PCF_BITMAPS])
    offsets, bits, row_pad = read_bitmaps(bitmap_table)
    msb_first = bool(bitmap_table.format & PCF_BIT_MASK)
    if (bitmap_table.format >> 4) & 3 and bool(bitmap_table.format & PCF_BYTE_MASK) != msb_first:
        sys.exit("fonts with swapped scan units are not handled")
    glyph_of = read_encoding(Table(data, tables[PCF_BDF_ENCODINGS]))
    ascent, descent = font_ascent(data, tables)
    if ascent + descent != CELL_HEIGHT:
        sys.exit("font is %d pixels high, not %d" % (ascent + descent, CELL_HEIGHT))

    out = bytearray(CELL_HEIGHT * COUNT)
    for j in range(COUNT):
        glyph = glyph_of(FIRST + j)
        if glyph is None:
            continue
        left, right, _advance, glyph_ascent, glyph_descent = metrics[glyph]
        width = right - left
        stride = (width + 7) // 8
        stride = (stride + row_pad - 1) // row_pad * row_pad
        for r in range(glyph_ascent + glyph_descent):
            y = ascent - glyph_ascent + r
            for c in range(width):
                byte = bits[offsets[glyph] + r * stride + c // 8]
                bit = 7 - c % 8 if msb_first else c % 8
                x = left + c
                if byte >> bit & 1:
                    if not (0 <= x < CELL_WIDTH and 0 <= y < CELL_HEIGHT):
                        sys.exit("glyph %d leaves its cell" % (FIRST + j))
                    out[y * COUNT + j] |= 1 << x
    open(sys.argv[2], "wb").write(out)

    if "--show" in sys.argv:
        for j in range(COUNT):
            print("character %d %r" % (FIRST + j, chr(FIRST + j)))
            for i in range(CELL_HEIGHT):
                print("".join("#" if out[i * COUNT + j] >> k & 1 else "." for k in range(8)))


if __name__ == "__main__":
    main()
