#include "pac/PacImage.h"

#include "vex2d/Renderer.h"

namespace corvex {

Ref<TPacImage> TPacImage::Create(const Ref<TPac>& pac, const String& name) {
  const Ref<TPacImage> image = New<TPacImage>();
  image->pac = pac;
  image->frames = pac->FrameIndices(name);
  return image;
}

int32_t TPacImage::GlyphFrame(char16_t c) const {
  const int32_t index = int32_t{c} - kPacFirstCharacter;
  if (index < 0 || index >= frames.Length()) return -1;
  const int32_t g = frames[index];
  // The group array is shared and public: an entry changed by its owner may point anywhere.
  return g >= 0 && g < pac->FrameCount() ? g : -1;
}

int32_t TPacImage::Advance(int32_t g, int32_t monospace) const {
  return monospace != 0 ? pac->widths[g] : pac->charW[g];
}

void TPacImage::Draw(float x, float y, int32_t index) {
  if (index < 0 || index >= frames.Length()) return;
  const int32_t g = frames[index];
  if (g < 0 || g >= pac->FrameCount()) return;
  if (centred != 0) {
    pac->DrawFrame(x, y, g, static_cast<float>(pac->widths[g] / 2), static_cast<float>(pac->heights[g] / 2));
  } else {
    pac->DrawFrame(x, y, g, 0.0f, 0.0f);
  }
}

void TPacImage::DrawText(const String& text, float x, float y, float spacing, int32_t monospace,
                         int32_t perGlyph) {
  float hx = 0.0f;
  float hy = 0.0f;
  GetHandle(hx, hy);
  // The cursor is the next glyph's handle relative to the drawing point, so it counts down.
  float cx = hx;
  float cy = hy;
  const int32_t lineFrame = frames.IsEmpty() ? -1 : GlyphFrame(kPacFirstCharacter);
  const float lineHeight = lineFrame < 0 ? 0.0f : static_cast<float>(pac->heights[lineFrame]);
  for (const char16_t c : text.Units()) {
    if (c == kPacLineFeed) {
      cx = hx;
      cy -= lineHeight;
      continue;
    }
    const int32_t g = GlyphFrame(c);
    if (g < 0) continue;
    if (perGlyph == 0) {
      // The visible character sits in the middle of its cell: move the cell left so that the
      // character starts at the cursor.
      const int64_t offset = monospace != 0 ? 0 : (int64_t{pac->widths[g]} - pac->charW[g]) / 2;
      pac->DrawFrame(x, y, g, cx + static_cast<float>(offset), cy);
    } else {
      pac->DrawFrame(x - cx, y - cy, g, hx, hy);
    }
    cx -= static_cast<float>(Advance(g, monospace)) + spacing;
  }
}

int32_t TPacImage::TextWidth(const String& text, float spacing, int32_t monospace) {
  int32_t line = 0;
  int32_t widest = 0;
  for (const char16_t c : text.Units()) {
    if (c == kPacLineFeed) {
      if (line > widest) widest = line;
      line = 0;
      continue;
    }
    const int32_t g = GlyphFrame(c);
    if (g < 0) continue;
    line = TruncateToInt32(static_cast<float>(line) + static_cast<float>(Advance(g, monospace)) + spacing);
  }
  return line > widest ? line : widest;
}

int32_t TPacImage::TextHeight(const String& text) {
  int32_t lines = 1;
  for (const char16_t c : text.Units()) {
    if (c == kPacLineFeed) ++lines;
  }
  const int32_t lineHeight = pac->FrameCount() > 0 ? pac->heights[0] : 0;
  return TruncateToInt32(static_cast<double>(lines) * lineHeight);
}

}  // namespace corvex
