// Immediate-mode OpenGL drawing for debugging, without any renderer state: text in the built-in
// 8 by 16 font, filled rectangles and raw pixmaps, plus the texture helpers they rest on. The
// drawing functions work in pixels from the top left of the current viewport, save and restore
// the GL state they touch, and do nothing while no GL context is current.
#pragma once

#include <cstdint>

#include "pixmap/Pixmap.h"
#include "runtime/String.h"

namespace corvex {

// Draws the text with its top left at (x, y): every character advances 8 pixels, characters 32
// to 127 as 8 by 16 glyphs modulated by the current colour; others leave a gap.
void GLDebugText(const String& text, float x, float y);
// One filled rectangle in the current colour.
void GLDebugRect(float x, float y, float width, float height);
// Draws the pixmap's pixels (not a texture) with its top left at (x, y).
void GLDebugPixmap(const Ref<TPixmap>& pixmap, float x, float y);

// Registers the function that issues drawing a layer above has collected and not yet given to
// OpenGL (the 2D driver's batch), called before each debug drawing so that it lands on top of
// what was drawn before it. Null: nothing is waiting anywhere.
void SetGLPendingDrawingFlush(void (*flush)());

// Uploads the pixmap as a new RGBA8 texture of a size the GL accepts (resized to it when
// needed), with every mipmap level down to 1 by 1 when `mipmapped`; answers its name. Sets no
// texture parameters; the binding and unpack row length stay as they were.
uint32_t GLTextureFromPixmap(const Ref<TPixmap>& pixmap, bool mipmapped);
// Raises both sides to powers of two, then halves the larger-than-1 sides until the GL accepts
// the size; "Unable to calculate tex size" when even 1 by 1 is refused.
void GLFitTextureSize(int32_t& width, int32_t& height);
// The smallest power of two at least n: 1 for n up to 1, at most 2^30.
int32_t NextPow2(int32_t n);

}  // namespace corvex
