// Making packed fonts: a source font's characters rendered into the cells of an atlas, one cell
// per character, and written as an index and its PNG atlas that TPac::Load reads back.
#pragma once

#include <cstdint>
#include <limits>

#include "pixmap/Pixmap.h"
#include "runtime/Array.h"
#include "runtime/String.h"
#include "vex2d/Font.h"

namespace corvex {

// `lineTop` value that centres the font's line height in the cell.
inline constexpr int32_t kCentreLineInCell = std::numeric_limits<int32_t>::min();

// Where the characters go. Frame k holds character `first` + k in the cell at column
// k mod `columns` and row k div `columns`. Every frame belongs to `group` with the number
// TPacImage looks the character up by, its code minus 32.
struct PackedFontLayout {
  // The first character and how many follow it, the cell size and columns of the grid, and
  // the atlas size, all in pixels but the counts.
  int32_t first = 32;
  int32_t count = 95;
  int32_t cellWidth = 30;
  int32_t cellHeight = 47;
  int32_t columns = 17;
  int32_t atlasWidth = 512;
  int32_t atlasHeight = 512;
  // Pixels from the cell's top to the top of the font's line, or kCentreLineInCell.
  int32_t lineTop = kCentreLineInCell;
  String group = "font";
};

// What a layout is wrong about, or "" when it can be packed: cells, columns and counts must be
// positive, the characters 16-bit codes from 32 on, every cell inside an atlas that a pixmap can hold, and
// the group name non-empty, not starting with '#' and free of ", " and line breaks (the index
// could not be read back otherwise).
String CheckPackedFontLayout(const PackedFontLayout& layout);
// The top-left corner of frame k's cell in the atlas.
void PackedFontCell(const PackedFontLayout& layout, int32_t k, int32_t& x, int32_t& y);

// A rendered atlas with the advance of every frame.
struct PackedFontSheet {
  // RGBA8888; glyphs keep their colours (white for alpha-only glyphs), the rest is transparent.
  Ref<TPixmap> atlas;
  // The advance (charW) of each frame, from the font's glyph advances truncated to pixels.
  Array<int32_t> advances;
  // Characters the font has no glyph for: their cells stay blank and their advance is 0.
  int32_t missingGlyphs = 0;
  // Glyphs with visible pixels outside their cell, which are cut off.
  int32_t clippedGlyphs = 0;
};

// Renders the layout's characters. In its cell each glyph's pen stands (cellWidth - advance)
// div 2 from the left, so that the advance box is centred, and the line top at `lineTop`.
// Raises TRuntimeException with CheckPackedFontLayout's text for a bad layout.
PackedFontSheet RenderPackedFont(const Ref<TFont>& font, const PackedFontLayout& layout);

// Writes the index to `indexUrl` (the comment line, "#frames: N", the column line, then one
// line per frame, each ending CR LF) and the atlas as PNG to the same name with ".png" in
// place of its extension. Answers false when either does not open or cannot be written.
bool SavePackedFont(const PackedFontSheet& sheet, const PackedFontLayout& layout, const String& indexUrl,
                    const String& comment);

}  // namespace corvex
