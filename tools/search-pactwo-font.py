#!/usr/bin/python3
"""Searches fonts and pixel sizes for the one whose metrics come closest to the figures the
demo's packed font (assets/pactwo/) was designed around.

For every font file and size it measures what corvex-packfont would write: the hinted advance
(charW) of characters 32 to 126, loaded with FreeType's default hinting and truncated to whole
pixels, and whether every glyph fits its 30 x 47 cell with the advance box centred and the
font's line centred. It compares space, "Q", "!", "~", the smallest and largest charW and the
widest line of the demo's paragraph (sum of charW, spacing 0) with the designed figures and
ranks by

    score = |space - 8| + |Q - 24| + |! - 13| + |~ - 21| + |min - 7| + |max - 30|
            + |widest line - 646| / 10

Fractional sizes are set as a character size in 26.6 units at 72 dpi, which for whole sizes is
what the framework's loader asks for.

Usage: tools/search-pactwo-font.py [--top N] [--from PX] [--to PX] [--step PX] [FONT ...]
Without FONT arguments it searches the TrueType and OpenType files under /usr/share/fonts.
Needs python3-freetype (only for this search; the build does not use it).
"""
import argparse
import glob
import os
import sys

import freetype

DESIGNED = {"space": 8, "Q": 24, "!": 13, "~": 21, "min": 7, "max": 30, "widest": 646}
CELL_WIDTH, CELL_HEIGHT = 30, 47
PARAGRAPH = ("Centered Text dolor sit amet, consectetuer\n"
             "adipiscing elit, sed diam nonummy euismod\n"
             "dolore magna aliquam erat volutpat laoreet.")


def measure(path, size):
    """Answers the measures of `path` at `size` pixels, or None if the font will not load."""
    try:
        face = freetype.Face(path)
        if not face.is_scalable:
            return None
        face.set_char_size(0, int(round(size * 64)), 72, 72)
    except freetype.FT_Exception:
        return None
    metrics = face.size
    ascender = metrics.ascender >> 6
    height = metrics.height >> 6
    line_top = int((CELL_HEIGHT - height) / 2)  # C++ division truncates toward zero
    advances = {}
    clipped = 0
    for code in range(32, 127):
        if face.get_char_index(code) == 0:
            return None  # a missing character would leave a frame empty
        face.load_char(chr(code), freetype.FT_LOAD_DEFAULT)
        slot = face.glyph
        advance = slot.advance.x >> 6
        advances[chr(code)] = advance
        bitmap = slot.bitmap
        if bitmap.width == 0 or bitmap.rows == 0:
            continue
        x = int((CELL_WIDTH - advance) / 2) + slot.bitmap_left
        y = line_top + ascender - slot.bitmap_top
        if x < 0 or y < 0 or x + bitmap.width > CELL_WIDTH or y + bitmap.rows > CELL_HEIGHT:
            clipped += 1
    widest = max(sum(advances[c] for c in line) for line in PARAGRAPH.split("\n"))
    values = {"space": advances[" "], "Q": advances["Q"], "!": advances["!"], "~": advances["~"],
              "min": min(advances.values()), "max": max(advances.values()), "widest": widest}
    score = sum(abs(values[k] - DESIGNED[k]) for k in DESIGNED if k != "widest")
    score += abs(values["widest"] - DESIGNED["widest"]) / 10
    family = face.family_name.decode("utf-8", "replace") if face.family_name else "?"
    style = face.style_name.decode("utf-8", "replace") if face.style_name else "?"
    return {"font": f"{family} {style}", "file": path, "size": size, "score": score,
            "clipped": clipped, "line": height, **values}


def size_range(values):
    """"28.5 to 29.25" for a run of sizes, "29" for one."""
    low, high = min(values), max(values)
    return f"{low:g}" if low == high else f"{low:g} to {high:g}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("fonts", nargs="*")
    parser.add_argument("--top", type=int, default=20, help="rows to print [20]")
    parser.add_argument("--from", dest="low", type=float, default=24.0, help="smallest size [24]")
    parser.add_argument("--to", dest="high", type=float, default=34.0, help="largest size [34]")
    parser.add_argument("--step", type=float, default=0.25, help="size step [0.25]")
    parser.add_argument("--all", action="store_true", help="also rank fonts that do not fit the cells")
    args = parser.parse_args()
    fonts = args.fonts or sorted(
        p for p in glob.glob("/usr/share/fonts/**/*", recursive=True)
        if os.path.splitext(p)[1].lower() in (".ttf", ".otf"))
    sizes = []
    size = args.low
    while size <= args.high + 1e-9:
        sizes.append(round(size, 4))
        size += args.step
    results = []
    for path in fonts:
        for size in sizes:
            result = measure(path, size)
            if result and (args.all or (result["clipped"] == 0 and result["max"] <= CELL_WIDTH
                                        and result["line"] <= CELL_HEIGHT)):
                results.append(result)
    # Sizes of one file that measure the same (hinted TrueType snaps to whole pixels) share a row.
    groups = {}
    for r in results:
        key = (r["file"],) + tuple(r[k] for k in DESIGNED) + (r["clipped"],)
        if key in groups:
            groups[key]["sizes"].append(r["size"])
        else:
            groups[key] = {**r, "sizes": [r["size"]]}
    results = sorted(groups.values(),
                     key=lambda r: (r["score"], abs(r["widest"] - DESIGNED["widest"]), r["file"], r["sizes"][0]))
    print(f"{len(fonts)} font files x {len(sizes)} sizes; designed: charW {DESIGNED['min']} to "
          f"{DESIGNED['max']}, Q {DESIGNED['Q']}, space {DESIGNED['space']}, ! {DESIGNED['!']}, "
          f"~ {DESIGNED['~']}, widest line {DESIGNED['widest']}")
    print("| font | file (under /usr/share/fonts) | px | charW | Q | space | ! | ~ | widest line | clipped | score |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    for r in results[:args.top]:
        print(f"| {r['font']} | {os.path.relpath(r['file'], '/usr/share/fonts')} | {size_range(r['sizes'])} | {r['min']} to {r['max']} "
              f"| {r['Q']} | {r['space']} | {r['!']} | {r['~']} | {r['widest']} | {r['clipped']} "
              f"| {r['score']:.1f} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
