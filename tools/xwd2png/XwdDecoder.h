// Decoding X window dumps (the files xwd writes) of true-colour windows into pixmaps, so that
// screenshots of a program's window can be checked and kept as PNG without other tools.
#pragma once

#include "pixmap/Pixmap.h"
#include "runtime/Array.h"

namespace corvex {

// The dump as an opaque RGBA8888 pixmap. Null for anything but a complete Z-format dump of a
// true- or direct-colour window of 16, 24 or 32 bits per pixel.
Ref<TPixmap> DecodeXwd(const ByteArray& bytes);

}  // namespace corvex
