// JPEG reading and writing through libjpeg (API version 62): the JPEG loader of the chain,
// DecodeJPEG and EncodeJPEG.
#pragma once

#include <cstdint>

#include "pixmap/PixmapLoader.h"

namespace corvex {

// Decodes JPEG files with DecodeJPEG.
class TPixmapLoaderJPG : public TPixmapLoader {
 public:
  Ref<TPixmap> LoadFrom(const Ref<TStream>& stream) override;
};

// Decodes a JPEG from a URL or stream: grayscale as GRAY8, colour as RGB888. Null for data
// libjpeg rejects (an empty stream included), other component counts (CMYK) and images beyond
// the pixmap size limits. A stream that ends early decodes up to an end-of-image marker put in
// its place. Exceptions of the stream propagate; a stream passed in stays open.
Ref<TPixmap> DecodeJPEG(const Url& source);

// Writes the pixmap, converted to RGB888 (alpha dropped), as a baseline JPEG of `quality`
// (1 to 100). Answers 1 when written, 0 when the pixmap is empty or its RGB888 form is beyond
// kMaxPixmapBytes (nothing is opened then), the destination does not open or libjpeg fails.
// Exceptions of the stream propagate.
int32_t EncodeJPEG(const Ref<TPixmap>& pixmap, const Url& destination, int32_t quality);

}  // namespace corvex
