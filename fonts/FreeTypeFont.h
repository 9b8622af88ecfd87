// The FreeType font loader: outline and bitmap font files opened at a pixel size, their glyphs
// rendered into alpha pixmaps with placement and advance.
#pragma once

#include <cstdint>

#include "pixmap/Pixmap.h"
#include "runtime/Array.h"
#include "runtime/String.h"
#include "vex2d/Font.h"

struct FT_FaceRec_;  // FreeType's face record; its header stays out of the public interface

namespace corvex {

// The largest pixel size FreeType opens a face at; Load takes larger requests as this size.
// A glyph too large for a pixmap at the chosen size keeps its placement and advance and has no
// picture.
inline constexpr int32_t kMaxFreeTypePixelSize = 65535;

// Owns an open FreeType face and closes it once.
class FreeTypeFace {
 public:
  FreeTypeFace() noexcept = default;
  // Takes ownership of an open face.
  explicit FreeTypeFace(FT_FaceRec_* face) noexcept : face_(face) {}
  // Faces move, so only one owner ever closes them.
  FreeTypeFace(FreeTypeFace&& other) noexcept : face_(other.Release()) {}
  FreeTypeFace& operator=(FreeTypeFace&& other) noexcept;
  FreeTypeFace(const FreeTypeFace&) = delete;
  FreeTypeFace& operator=(const FreeTypeFace&) = delete;
  ~FreeTypeFace();

  // The open face, or null.
  FT_FaceRec_* Get() const noexcept { return face_; }
  // Gives up the face without closing it.
  FT_FaceRec_* Release() noexcept;

 private:
  FT_FaceRec_* face_ = nullptr;
};

// A glyph rendered by FreeType: an alpha picture (or none) and its placement.
class TFreeTypeGlyph : public TGlyph {
 public:
  // `pixels`, `advance` and the four placement fields.
  Ref<Object> Pixels() override { return pixels; }
  float Advance() override { return advance; }
  void GetRect(int32_t& outX, int32_t& outY, int32_t& outWidth, int32_t& outHeight) override;

  Ref<TPixmap> pixels;  // PIXEL_ALPHA8, or Null for an empty glyph
  // How far the pen moves after the glyph, in pixels.
  float advance = 0;
  int32_t x = 0;  // picture offset from the pen position, y measured down from the line top
  // The rest of the placement, in pixels.
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// A font face opened at one pixel size. Font glyph index i is FreeType glyph index i + 1, so
// FreeType's missing-glyph index 0 has no font index.
class TFreeTypeFont : public TFont {
 public:
  // The style bits given to Load, the size metrics' line height, and FreeType's glyph count.
  int32_t Style() override { return style_; }
  int32_t Height() override { return height_; }
  int32_t CountGlyphs() override { return glyphs_.Length(); }
  // FreeType's index for the code minus 1: -1 when the face maps the code to nothing (or to
  // an index beyond its glyphs).
  int32_t CharToGlyph(int32_t code) override;
  // Rendered on first request and kept; a glyph FreeType cannot load is empty (no picture,
  // advance 0), and one whose picture cannot be made (too large for a pixmap, no bitmap
  // buffer) keeps its placement and advance without a picture. Null outside 0 to
  // CountGlyphs() - 1.
  Ref<TGlyph> LoadGlyph(int32_t index) override;
  // The face's pair kerning in whole pixels, whatever the style (FontKerning tells the text
  // functions to use it); 0 for faces without kerning and indices outside the glyphs.
  float Kerning(int32_t left, int32_t right) override;

  // The font at `url` at the largest size from `size` down that the face accepts, or Null.
  // A url with "::" after its first character is read whole through the stream layer and
  // opened from memory; anything else is a file path. Sizes below 1 give Null; sizes above
  // kMaxFreeTypePixelSize are taken as that size.
  static Ref<TFreeTypeFont> Load(const String& url, int32_t size, int32_t style);

  // The size metrics in whole pixels (descender is negative below the baseline).
  int32_t Ascender() const noexcept { return ascender_; }
  int32_t Descender() const noexcept { return descender_; }
  // The pixel size the face was opened at.
  int32_t PixelSize() const noexcept { return pixelSize_; }

 private:
  ByteArray fontData_;  // a memory face reads these: declared first, so they outlive it
  FreeTypeFace face_;
  int32_t style_ = 0;
  int32_t height_ = 0;
  int32_t ascender_ = 0;
  int32_t descender_ = 0;
  int32_t pixelSize_ = 0;
  Array<Ref<TFreeTypeGlyph>> glyphs_;
};

// The loader registered in the font-loader chain: opens string URLs with TFreeTypeFont::Load.
class TFreeTypeFontLoader : public TFontLoader {
 public:
  // TFreeTypeFont::Load for a non-empty string URL; anything else gives Null.
  Ref<TFont> LoadFont(const Url& url, int32_t size, int32_t style) override;
};

// The FreeType module's initialiser: adds one TFreeTypeFontLoader to the font-loader chain.
void InitFreeTypeModule();

}  // namespace corvex
