// The BMP loader: uncompressed 1, 4, 8, 24 and 32 bits per pixel Windows bitmaps.
#pragma once

#include "pixmap/PixmapLoader.h"

namespace corvex {

// Decodes BMP files into BGR888 pixmaps (BGRA8888 for 32 bits per pixel, whose fourth byte is
// alpha). Rows stored bottom-up or, with a negative height, top-down.
class TPixmapLoaderBMP : public TPixmapLoader {
 public:
  // Null for another signature, a header it cannot size safely, compressed or 16-bit data.
  Ref<TPixmap> LoadFrom(const Ref<TStream>& stream) override;
};

}  // namespace corvex
