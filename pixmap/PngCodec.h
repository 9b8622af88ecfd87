// PNG reading and writing through libpng: the PNG loader of the chain, DecodePNG and EncodePNG.
#pragma once

#include <cstdint>

#include "pixmap/PixmapLoader.h"

namespace corvex {

// Decodes PNG files with DecodePNG.
class TPixmapLoaderPNG : public TPixmapLoader {
 public:
  Ref<TPixmap> LoadFrom(const Ref<TStream>& stream) override;
};

// Decodes a PNG from a URL or stream: gray as GRAY8, RGB as RGB888, gray with alpha and RGB
// with alpha as RGBA8888; palettes and transparency chunks expand, 16-bit samples become 8-bit.
// Null for another signature, an image beyond the pixmap size limits, or data libpng rejects
// (corrupt or truncated). Exceptions of the stream propagate; a stream passed in stays open.
Ref<TPixmap> DecodePNG(const Url& source);

// Writes the pixmap as an 8-bit PNG (gray, RGB or RGB with alpha; other formats are converted
// to RGBA8888 first) at zlib compression `level`. Answers 1 on success, 0 when the pixmap is
// empty or beyond kMaxPixmapBytes (nothing is opened then), the destination does not open or
// libpng fails. Exceptions of the stream propagate.
int32_t EncodePNG(const Ref<TPixmap>& pixmap, const Url& destination, int32_t level);

}  // namespace corvex
