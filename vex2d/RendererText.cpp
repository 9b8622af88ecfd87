#include "vex2d/RendererText.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

// The state's font; a state made without Create has none and uses the default one.
Ref<TImageFont> StateFont(const TVex2DGraphics& state) {
  Ref<TImageFont> font = state.Font();
  return font ? font : DefaultRendererFont();
}

// The running width plus one advance, added in single precision and truncated toward zero;
// a sum no int can hold saturates, and a sum that is no number leaves the width as it was.
int32_t AddAdvance(int32_t width, float advance) {
  const float sum = static_cast<float>(width) + advance;
  if (std::isnan(sum)) return width;
  if (sum >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (sum < -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(sum);
}

}  // namespace

void DrawText(const String& text, float x, float y) {
  TVex2DGraphics& state = RequireActiveState();
  const Ref<TImageFont> font = StateFont(state);
  if (!font) return;
  const float hx = state.handleOffsetX;
  const float hy = state.handleOffsetY;
  font->Draw(text, x + state.originX + hx * state.matrixXX + hy * state.matrixXY,
             y + state.originY + hx * state.matrixYX + hy * state.matrixYY, state.matrixXX, state.matrixXY,
             state.matrixYX, state.matrixYY);
}

int32_t TextWidth(const String& text) {
  const Ref<TImageFont> font = StateFont(RequireActiveState());
  if (!font) return 0;
  // Each step truncates the sum of the width so far and the advance, not the advance alone.
  // Kerning, when the font applies it, joins the advance of the glyph it moves.
  const bool kerns = font->Kerns();
  int32_t width = 0;
  int32_t previous = -1;
  for (int32_t at = 0, units = 1; at < text.Length(); at += units) {
    const int32_t index = font->CharToGlyph(text.CodePointAt(at, units));
    if (index == -1) continue;
    const Ref<TImageGlyph> glyph = font->LoadImageGlyph(index);
    if (!glyph) continue;
    const float kerning = kerns && previous != -1 ? font->Kerning(previous, index) : 0.0f;
    previous = index;
    width = AddAdvance(width, glyph->advance + kerning);
  }
  return width;
}

int32_t TextHeight(const String&) {
  const Ref<TImageFont> font = StateFont(RequireActiveState());
  return font ? font->Height() : 0;
}

void SetRendererFont(const Ref<TImageFont>& font) {
  RequireActiveState().SetFont(font ? font : DefaultRendererFont());
}

Ref<TImageFont> GetRendererFont() {
  return StateFont(RequireActiveState());
}

Ref<TImageFont> LoadRendererFont(const Url& url, int32_t size, int32_t style) {
  return TImageFont::Load(url, size, style);
}

}  // namespace corvex
