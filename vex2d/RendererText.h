// The renderer's text functions: drawing and measuring text with the active renderer state's
// font, and choosing that font. Like the drawing commands, the functions that use the state
// raise TRuntimeException ("No 2D graphics context is active") when no 2D context is current.
#pragma once

#include <cstdint>

#include "runtime/String.h"
#include "stream/Url.h"
#include "vex2d/ImageFont.h"

namespace corvex {

// Draws the text with the state's font, its handle at (x, y), through the renderer's matrix
// and origin.
void DrawText(const String& text, float x, float y);
// The sum of the whole-pixel advances of the characters the font has (with each pair's kerning
// when the font kerns); a surrogate pair is one character; line feeds do not start new lines.
int32_t TextWidth(const String& text);
// The font's line height; the text is not examined.
int32_t TextHeight(const String& text);
// Stores the font in the state; Null selects the default font.
void SetRendererFont(const Ref<TImageFont>& font);
// The state's font.
Ref<TImageFont> GetRendererFont();
// TImageFont::Load: an image font over the first font the loader chain opens, or Null.
Ref<TImageFont> LoadRendererFont(const Url& url, int32_t size, int32_t style);

}  // namespace corvex
