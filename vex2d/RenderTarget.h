// Render images: images whose one frame is a texture that drawing can be sent to, and the
// switch that sends all drawing (renderer, text, images, debug drawing) to one of them.
#pragma once

#include <cstdint>

#include "runtime/String.h"
#include "vex2d/Image.h"

namespace corvex {

// A one-frame image of width × height pixels that SetRenderTarget can draw into, starting
// transparent black. It draws, locks and collides like any image (Lock reads what was drawn)
// and always has a texture of its own. Flags as for images (−1: the default image flags; only
// ImgFiltered matters). Null, with RenderImageError saying why, when no 2D context is active,
// a side is below 1 or above the largest texture, or OpenGL offers no framebuffer objects.
Ref<TImage> CreateRenderImage(int32_t width, int32_t height, int32_t flags = -1);

// Sends all drawing to the render image, with a viewport and pixel projection of its own
// (origin top-left, as on screen), until the next call; Null returns drawing to the window and
// its viewport. The collected drawing is flushed first. Answers 1, or 0 (drawing stays where it
// was, RenderImageError says why) for an image that is not a render image or cannot be drawn
// into. Dropping the last reference to the current target, or making another graphics
// current, also returns drawing to the window.
int32_t SetRenderTarget(const Ref<TImage>& image);
// The render image drawing goes to; Null for the window.
Ref<TImage> RenderTarget();

// Why the last CreateRenderImage or SetRenderTarget failed; empty after one succeeded.
String RenderImageError();

}  // namespace corvex
