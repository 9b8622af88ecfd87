// Image fonts: fonts whose glyphs are images the renderer can draw, made on first use from a
// source font, and the built-in 8 × 16 default font decoded from "tarnfont.bin".
#pragma once

#include <cstdint>

#include "runtime/Array.h"
#include "runtime/String.h"
#include "vex2d/Font.h"

namespace corvex {

class TImage;

// A glyph whose picture is an image.
class TImageGlyph : public TGlyph {
 public:
  // Out of line, where TImage is complete.
  TImageGlyph();
  ~TImageGlyph() override;

  // The glyph's image, or Null.
  Ref<Object> Pixels() override;
  // `advance`, and the offset and size fields.
  float Advance() override { return advance; }
  void GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height) override;

  // The glyph's picture (Null when it has none) and how far the pen moves after it.
  Ref<TImage> image;
  float advance = 0;
  int32_t offsetX = 0;  // offset of the picture from the pen position
  // The rest of the placement, in pixels.
  int32_t offsetY = 0;
  int32_t glyphWidth = 0;
  int32_t glyphHeight = 0;
};

// A font the renderer draws with. Each glyph is made at most once, from the source font's
// glyph, and kept for the font's life.
class TImageFont : public TFont {
 public:
  // The source's style, 0 without a source.
  int32_t Style() override;
  // The source's line height, 16 without a source.
  int32_t Height() override;
  // The number of glyph slots.
  int32_t CountGlyphs() override { return glyphs.Length(); }
  // The source's answer; without a source, code - 32 for codes 32 to 127 and -1 otherwise.
  int32_t CharToGlyph(int32_t code) override;
  // LoadImageGlyph.
  Ref<TGlyph> LoadGlyph(int32_t index) override;
  // The source's kerning, 0 without a source.
  float Kerning(int32_t left, int32_t right) override;
  // Whether the text functions apply kerning: the style has FontKerning.
  bool Kerns();
  // The glyph at `index`, made from the source's glyph on first request. Null outside 0 to
  // CountGlyphs() - 1 and when the source has no glyph there.
  Ref<TImageGlyph> LoadImageGlyph(int32_t index);

  // Draws the text with the pen starting at (x, y): each glyph's picture through the matrix
  // (xx, xy, yx, yy), the pen moving by each advance (and, when the font kerns, each pair's
  // kerning) along the transformed x axis. A surrogate pair is one character. Characters
  // without a glyph are skipped without moving the pen.
  void Draw(const String& text, float x, float y, float xx, float xy, float yx, float yy);

  // An image font over the first font the loader chain opens, or Null. Smooth styles give
  // filtered, mipmapped glyph images.
  static Ref<TImageFont> Load(const Url& url, int32_t size, int32_t style);
  // The built-in font: the 96 characters 32 to 127, each 8 × 16 pixels and advancing by 8,
  // white on transparent.
  static Ref<TImageFont> CreateDefault();

  Ref<TFont> source;  // Null for the built-in font
  // One slot per glyph, Null until the glyph is first made.
  Array<Ref<TImageGlyph>> glyphs;
  int32_t imageFlags = 0;  // flags of the glyph images
};

// The image-font module's initialiser: registers the built-in font's bytes as the embedded
// file "tarnfont.bin".
void InitImageFontModule();

}  // namespace corvex
