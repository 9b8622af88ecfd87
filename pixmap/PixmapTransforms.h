// Whole-pixmap transforms that make a new pixmap: mask colour to alpha, mirroring and
// bilinear resizing.
#pragma once

#include <cstdint>

#include "pixmap/Pixmap.h"

namespace corvex {

// A new RGBA8888 pixmap in which pixels of the mask colour (alpha not compared) become
// transparent with the average colour of their non-mask neighbours, and every other pixel
// becomes opaque. Null when the pixmap cannot be converted.
Ref<TPixmap> MaskColourToAlpha(const Ref<TPixmap>& pixmap, int32_t red, int32_t green, int32_t blue);

// A new pixmap of the same format with the columns in reverse order.
Ref<TPixmap> MirrorPixmapX(const Ref<TPixmap>& pixmap);
// A new pixmap of the same format with the rows in reverse order.
Ref<TPixmap> MirrorPixmapY(const Ref<TPixmap>& pixmap);

// A new pixmap of the same format resized to width × height by bilinear filtering in RGBA8888,
// each channel truncated. A source without pixels gives a cleared pixmap; a negative size
// gives Null.
Ref<TPixmap> ScalePixmap(const Ref<TPixmap>& pixmap, int32_t width, int32_t height);

}  // namespace corvex
