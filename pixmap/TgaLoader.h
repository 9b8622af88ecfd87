// The TGA loader: uncompressed and run-length-encoded true-colour Targa files.
#pragma once

#include "pixmap/PixmapLoader.h"

namespace corvex {

// Decodes 15-, 16-, 24- and 32-bit true-colour TGA files (image types 2 and 10) of at most
// 4096 × 4096 pixels into RGB888 (15, 24 bits) or RGBA8888 (16, 32 bits) pixmaps. Rows are
// always taken as bottom-up; a set top bit of a 16-bit pixel means transparent.
class TPixmapLoaderTGA : public TPixmapLoader {
 public:
  // Null for a header outside the accepted values, including colour-mapped files.
  Ref<TPixmap> LoadFrom(const Ref<TStream>& stream) override;
};

}  // namespace corvex
