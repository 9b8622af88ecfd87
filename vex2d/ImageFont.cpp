#include "vex2d/ImageFont.h"

#include "pixmap/PixelFormats.h"
#include "pixmap/Pixmap.h"
#include "runtime/Module.h"
#include "stream/EmbeddedFiles.h"
#include "vex2d/Image.h"

// The built-in font, compiled in from assets/tarnfont/tarnfont.bin.
namespace corvex::embedded {
extern const uint8_t kTarnFont[];
extern const int32_t kTarnFontSize;
}  // namespace corvex::embedded

namespace corvex {
namespace {

constexpr int32_t kDefaultFirstCode = 32;
constexpr int32_t kDefaultGlyphCount = 96;
constexpr int32_t kDefaultGlyphWidth = 8;
constexpr int32_t kDefaultGlyphHeight = 16;

// The built-in font's glyphs side by side, set bits opaque white on transparent black. Without
// the font's bytes (an initialiser that did not run) the glyphs stay blank but keep their
// size, so text still measures right.
Ref<TPixmap> DefaultFontStrip() {
  const Ref<TPixmap> strip =
      TPixmap::Allocate(kDefaultGlyphCount * kDefaultGlyphWidth, kDefaultGlyphHeight, PIXEL_RGBA8888, 4);
  strip->Fill(0);
  const String name("tarnfont.bin");
  const uint8_t* bits = EmbeddedFileData(name);
  if (bits == nullptr || EmbeddedFileSize(name) < kDefaultGlyphCount * kDefaultGlyphHeight) return strip;
  for (int32_t row = 0; row < kDefaultGlyphHeight; ++row) {
    for (int32_t glyph = 0; glyph < kDefaultGlyphCount; ++glyph) {
      const uint8_t byte = bits[row * kDefaultGlyphCount + glyph];
      for (int32_t column = 0; column < kDefaultGlyphWidth; ++column) {
        strip->SetPixel(glyph * kDefaultGlyphWidth + column, row, (byte >> column) & 1 ? 0xFFFFFFFFu : 0u);
      }
    }
  }
  return strip;
}

}  // namespace

TImageGlyph::TImageGlyph() = default;
TImageGlyph::~TImageGlyph() = default;

Ref<Object> TImageGlyph::Pixels() {
  return image;
}

void TImageGlyph::GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
  x = offsetX;
  y = offsetY;
  width = glyphWidth;
  height = glyphHeight;
}

int32_t TImageFont::Style() {
  return source ? source->Style() : 0;
}

int32_t TImageFont::Height() {
  return source ? source->Height() : kDefaultGlyphHeight;
}

int32_t TImageFont::CharToGlyph(int32_t code) {
  if (source) return source->CharToGlyph(code);
  const bool covered = code >= kDefaultFirstCode && code < kDefaultFirstCode + kDefaultGlyphCount;
  return covered ? code - kDefaultFirstCode : -1;
}

Ref<TGlyph> TImageFont::LoadGlyph(int32_t index) {
  return LoadImageGlyph(index);
}

float TImageFont::Kerning(int32_t left, int32_t right) {
  return source ? source->Kerning(left, right) : 0.0f;
}

bool TImageFont::Kerns() {
  return (Style() & FontKerning) != 0;
}

Ref<TImageGlyph> TImageFont::LoadImageGlyph(int32_t index) {
  if (index < 0 || index >= glyphs.Length()) return Null;
  if (glyphs[index]) return glyphs[index];
  if (!source) return Null;
  const Ref<TGlyph> from = source->LoadGlyph(index);
  if (!from) return Null;

  const Ref<TImageGlyph> glyph = New<TImageGlyph>();
  glyph->advance = from->Advance();
  from->GetRect(glyph->offsetX, glyph->offsetY, glyph->glyphWidth, glyph->glyphHeight);
  if (const Ref<TPixmap> pixels = Cast<TPixmap>(from->Pixels())) {
    glyph->image = TImage::Load(pixels->Duplicate(), imageFlags, 0, 0, 0);
  }
  glyphs[index] = glyph;
  return glyph;
}

void TImageFont::Draw(const String& text, float x, float y, float xx, float xy, float yx, float yy) {
  const bool kerns = Kerns();
  int32_t previous = -1;
  for (int32_t at = 0, units = 1; at < text.Length(); at += units) {
    const int32_t index = CharToGlyph(text.CodePointAt(at, units));
    if (index == -1) continue;
    const Ref<TImageGlyph> glyph = LoadImageGlyph(index);
    if (!glyph) continue;
    if (kerns && previous != -1) {
      const float kerning = Kerning(previous, index);
      x += kerning * xx;
      y += kerning * yx;
    }
    previous = index;
    if (const Ref<TImage>& image = glyph->image) {
      const auto offsetX = static_cast<float>(glyph->offsetX);
      const auto offsetY = static_cast<float>(glyph->offsetY);
      image->RenderFrame(0, 0, 0, static_cast<float>(image->width), static_cast<float>(image->height),
                         x + offsetX * xx + offsetY * xy, y + offsetX * yx + offsetY * yy);
    }
    x += glyph->advance * xx;
    y += glyph->advance * yx;
  }
}

Ref<TImageFont> TImageFont::Load(const Url& url, int32_t size, int32_t style) {
  const Ref<TFont> from = LoadFont(url, size, style);
  if (!from) return Null;
  const Ref<TImageFont> font = New<TImageFont>();
  font->source = from;
  font->glyphs = Array<Ref<TImageGlyph>>(from->CountGlyphs());
  font->imageFlags = (style & FontSmooth) != 0 ? ImgFiltered | ImgMipmapped : 0;
  return font;
}

Ref<TImageFont> TImageFont::CreateDefault() {
  InitImageFontModule();
  const Ref<TImageFont> font = New<TImageFont>();
  font->glyphs = Array<Ref<TImageGlyph>>(kDefaultGlyphCount);
  const Ref<TPixmap> strip = DefaultFontStrip();
  for (int32_t index = 0; index < kDefaultGlyphCount; ++index) {
    const Ref<TImageGlyph> glyph = New<TImageGlyph>();
    glyph->advance = static_cast<float>(kDefaultGlyphWidth);
    glyph->glyphWidth = kDefaultGlyphWidth;
    glyph->glyphHeight = kDefaultGlyphHeight;
    const Ref<TPixmap> cell =
        strip->SubWindow(index * kDefaultGlyphWidth, 0, kDefaultGlyphWidth, kDefaultGlyphHeight)->Duplicate();
    glyph->image = TImage::Load(cell, 0, 0, 0, 0);
    font->glyphs[index] = glyph;
  }
  return font;
}

void InitImageFontModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitImageModule();
  InitFontModule();
  AddEmbeddedFile(String("tarnfont.bin"), embedded::kTarnFont, embedded::kTarnFontSize);
}

}  // namespace corvex
