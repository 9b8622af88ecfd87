// Source fonts: what a glyph and a font are, and the chain of font loaders that LoadFont asks.
#pragma once

#include <cstdint>

#include "runtime/Object.h"
#include "stream/Url.h"

namespace corvex {

// Style bits passed to LoadFont. Smooth glyphs get a transparent border and filtered,
// mipmapped images; other bits are kept and answered by Style but change nothing here.
inline constexpr int32_t FontSmooth = 4;
// Style bit asking the text functions to apply the face's pair kerning (off by default, so
// plain text measures as the sum of its advances).
inline constexpr int32_t FontKerning = 8;

// One glyph of a source font: its picture and where it goes relative to the pen.
class TGlyph : public Object {
 public:
  // The glyph's picture (a TPixmap for loaders that have one), or Null.
  virtual Ref<Object> Pixels() = 0;
  // Pixels the pen moves after the glyph.
  virtual float Advance() = 0;
  // The picture's offset from the pen position and its size.
  virtual void GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height) = 0;
};

// A source font: a numbered set of glyphs and the map from characters to them.
class TFont : public Object {
 public:
  // The style bits the font was loaded with.
  virtual int32_t Style() = 0;
  // The line height in pixels.
  virtual int32_t Height() = 0;
  // The number of glyph indices, 0 to CountGlyphs() - 1.
  virtual int32_t CountGlyphs() = 0;
  // The glyph index of a character code, or -1 when the font has no glyph for it.
  virtual int32_t CharToGlyph(int32_t code) = 0;
  // The glyph at `index`; Null for an index outside 0 to CountGlyphs() - 1.
  virtual Ref<TGlyph> LoadGlyph(int32_t index) = 0;
  // Pixels to add to the pen between the glyphs `left` and `right` (negative moves them
  // closer); 0 for fonts without pair kerning.
  virtual float Kerning(int32_t left, int32_t right);
};

// One link of the font-loader chain.
class TFontLoader : public Object {
 public:
  TFontLoader() = default;
  TFontLoader(const TFontLoader&) = delete;
  TFontLoader& operator=(const TFontLoader&) = delete;

  // The font at `url` at `size` pixels with `style` bits, or Null when this loader cannot
  // open it.
  virtual Ref<TFont> LoadFont(const Url& url, int32_t size, int32_t style) = 0;
  // The loader asked after this one; Null at the end of the chain and before AddFontLoader.
  const Ref<TFontLoader>& Next() const noexcept { return next_; }

 private:
  friend void AddFontLoader(const Ref<TFontLoader>& loader);
  Ref<TFontLoader> next_;
};

// Puts the loader at the head of the chain, so it is asked first. A loader that is already
// in the chain stays where it is (a second link would close the chain into a loop); Null is
// ignored.
void AddFontLoader(const Ref<TFontLoader>& loader);
// The head of the chain, Null before any loader is added.
Ref<TFontLoader> FontLoaders();
// The first font any loader of the chain opens, asked from the head; Null when none does.
Ref<TFont> LoadFont(const Url& url, int32_t size, int32_t style);

// The font module's initialiser; the chain starts empty.
void InitFontModule();

}  // namespace corvex
