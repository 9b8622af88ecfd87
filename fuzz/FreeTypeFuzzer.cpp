// Fuzzes the FreeType font loader with whole font files read through the stream layer: opens
// the font at a size taken from the first byte and renders a handful of glyphs.
#include <cstddef>
#include <cstdint>

#include "fonts/FreeTypeFont.h"
#include "fuzz/FuzzInput.h"

using namespace corvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (InitFreeTypeModule(), true);
  (void)started;
  if (size < 1) return 0;
  const int32_t pixelSize = data[0] % 48 + 1;
  fuzz::ServeAsUrl(data + 1, size - 1, "font");
  fuzz::IgnoringErrors([&] {
    const Ref<TFreeTypeFont> font = TFreeTypeFont::Load("fuzz::font", pixelSize, FontSmooth);
    if (!font) return;
    (void)font->Height();
    for (const int32_t code : {0x41, 0x67, 0x20, 0x7E, 0xE9, 0x263A}) {
      const int32_t index = font->CharToGlyph(code);
      if (const Ref<TGlyph> glyph = font->LoadGlyph(index)) {
        int32_t x = 0, y = 0, width = 0, height = 0;
        glyph->GetRect(x, y, width, height);
        (void)glyph->Advance();
      }
    }
    const int32_t count = font->CountGlyphs();
    for (int32_t i = 0; i < count && i < 16; ++i) (void)font->LoadGlyph(i);
  });
  return 0;
}
