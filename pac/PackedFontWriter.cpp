#include "pac/PackedFontWriter.h"

#include <algorithm>

#include "pac/Pac.h"
#include "pac/PacImage.h"
#include "pixmap/PngCodec.h"
#include "runtime/Exceptions.h"
#include "stream/StreamClosing.h"
#include "stream/Url.h"
#include "util/FileSystem.h"

namespace corvex {
namespace {

// Transparent white: filtering at a glyph's edge then fades its colour out instead of
// darkening it.
constexpr uint32_t kBlank = 0x00FFFFFF;
constexpr int32_t kBestPngCompression = 9;

// Copies the glyph's picture with its top-left corner at (left, top) of the atlas, keeping
// inside the cell (cellX, cellY); answers whether any visible pixel fell outside.
bool PasteGlyph(const Ref<TPixmap>& picture, const Ref<TPixmap>& atlas, const PackedFontLayout& layout,
                int32_t cellX, int32_t cellY, int64_t left, int64_t top) {
  bool clipped = false;
  for (int32_t r = 0; r < picture->Height(); ++r) {
    for (int32_t c = 0; c < picture->Width(); ++c) {
      const uint32_t argb = picture->GetPixel(c, r);
      if ((argb >> 24) == 0) continue;
      const int64_t x = left + c;
      const int64_t y = top + r;
      if (x < cellX || x >= cellX + layout.cellWidth || y < cellY || y >= cellY + layout.cellHeight) {
        clipped = true;
        continue;
      }
      atlas->SetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), argb);
    }
  }
  return clipped;
}

String FrameName(const String& group, int32_t k) {
  return k == 0 ? group : group + "_" + String::FromInt(int64_t{k} + 1);
}

}  // namespace

String CheckPackedFontLayout(const PackedFontLayout& layout) {
  if (layout.count < 1) return "the character count must be at least 1";
  if (layout.first < kPacFirstCharacter || int64_t{layout.first} + layout.count - 1 > 0xFFFF) {
    return "characters must lie between 32 and 65535";
  }
  if (layout.cellWidth < 1 || layout.cellHeight < 1) return "cells must be at least 1 by 1 pixels";
  if (layout.columns < 1) return "there must be at least one column";
  if (!IsAcceptablePixmapSize(layout.atlasWidth, layout.atlasHeight, 4))
    return "the atlas size is not possible";
  const int64_t usedColumns = std::min(layout.count, layout.columns);
  const int64_t rows = (int64_t{layout.count} + layout.columns - 1) / layout.columns;
  if (usedColumns * layout.cellWidth > layout.atlasWidth || rows * layout.cellHeight > layout.atlasHeight) {
    return "the cells do not fit in the atlas";
  }
  const String& group = layout.group;
  if (group.IsEmpty() || group.StartsWith("#") || group.Find(", ") >= 0 || group.Find("\n") >= 0 ||
      group.Find("\r") >= 0 || group.Find(String::FromBytes("\0", 1)) >= 0) {
    return "the group name must not be empty, start with '#' or hold \", \" or line breaks";
  }
  return String();
}

void PackedFontCell(const PackedFontLayout& layout, int32_t k, int32_t& x, int32_t& y) {
  x = k % layout.columns * layout.cellWidth;
  y = k / layout.columns * layout.cellHeight;
}

PackedFontSheet RenderPackedFont(const Ref<TFont>& font, const PackedFontLayout& layout) {
  const String problem = CheckPackedFontLayout(layout);
  if (!problem.IsEmpty()) throw TRuntimeException(problem);

  PackedFontSheet sheet;
  sheet.atlas = NewPixmap(layout.atlasWidth, layout.atlasHeight, PIXEL_RGBA8888, 4);
  sheet.atlas->Fill(kBlank);
  sheet.advances = Array<int32_t>(layout.count);
  const int64_t lineTop = layout.lineTop == kCentreLineInCell
                              ? (int64_t{layout.cellHeight} - font->Height()) / 2
                              : layout.lineTop;

  for (int32_t k = 0; k < layout.count; ++k) {
    const int32_t index = font->CharToGlyph(layout.first + k);
    const Ref<TGlyph> glyph = index < 0 ? Ref<TGlyph>() : font->LoadGlyph(index);
    if (!glyph) {
      ++sheet.missingGlyphs;
      continue;
    }
    const int32_t advance = TruncateToInt32(glyph->Advance());
    sheet.advances[k] = advance;
    const Ref<TPixmap> picture = Cast<TPixmap>(glyph->Pixels());
    if (!picture) continue;  // a glyph without ink, such as the space

    int32_t cellX = 0;
    int32_t cellY = 0;
    PackedFontCell(layout, k, cellX, cellY);
    int32_t gx = 0, gy = 0, gw = 0, gh = 0;
    glyph->GetRect(gx, gy, gw, gh);
    const int64_t pen = cellX + (int64_t{layout.cellWidth} - advance) / 2;
    if (PasteGlyph(picture, sheet.atlas, layout, cellX, cellY, pen + gx, cellY + lineTop + gy)) {
      ++sheet.clippedGlyphs;
    }
  }
  return sheet;
}

bool SavePackedFont(const PackedFontSheet& sheet, const PackedFontLayout& layout, const String& indexUrl,
                    const String& comment) {
  const Ref<TStream> index = OpenWriteStream(Url(indexUrl));
  if (!index) return false;
  const bool written = UseAndClose(index, [&] {
    // A line break in the comment would start a frame line.
    const String oneLine = comment.Replace(u'\n', u' ').Replace(u'\r', u' ').Replace(u'\0', u' ');
    bool ok = index->WriteLine("#" + oneLine) &&
              index->WriteLine("#frames: " + String::FromInt(layout.count)) &&
              index->WriteLine("#name, x, y, w, h, charW, parent, frame");
    for (int32_t k = 0; ok && k < layout.count; ++k) {
      int32_t x = 0;
      int32_t y = 0;
      PackedFontCell(layout, k, x, y);
      const String separator(", ");
      ok = index->WriteLine(FrameName(layout.group, k) + separator + String::FromInt(x) + separator +
                            String::FromInt(y) + separator + String::FromInt(layout.cellWidth) + separator +
                            String::FromInt(layout.cellHeight) + separator +
                            String::FromInt(sheet.advances[k]) + separator + layout.group + separator +
                            String::FromInt(layout.first + k - kPacFirstCharacter));
    }
    return ok;
  });
  return written &&
         EncodePNG(sheet.atlas, Url(WithoutExtension(indexUrl) + ".png"), kBestPngCompression) == 1;
}

}  // namespace corvex
