// Fuzzes the pixmap loader chain (TGA, PNG, JPEG and BMP recognised by content) with whole
// files, and reads every pixel of what comes out so that a pixmap claiming more than it holds
// is caught.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "pixmap/Pixmap.h"
#include "pixmap/PixmapLoader.h"

using namespace corvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (InitPixmapModule(), InitTgaLoaderModule(), InitPngLoaderModule(),
                               InitJpegLoaderModule(), InitBmpLoaderModule(), true);
  (void)started;
  fuzz::IgnoringErrors([&] {
    const Ref<TPixmap> pixmap = ReadPixmap(fuzz::InputStream(data, size));
    if (!pixmap) return;
    uint32_t sum = 0;
    for (int32_t y = 0; y < pixmap->Height(); ++y) {
      for (int32_t x = 0; x < pixmap->Width(); ++x) sum += pixmap->GetPixel(x, y);
    }
    volatile uint32_t sink = sum;
    (void)sink;
  });
  return 0;
}
