// Fuzzes the pixmap loader chain (TGA, PNG, JPEG and BMP recognised by content) with whole
// files, and reads the edges of what comes out so that a pixmap claiming more than it holds is
// caught.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "pixmap/Pixmap.h"
#include "pixmap/PixmapLoader.h"
#include "runtime/Log.h"

using namespace corvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started =
      (InitPixmapModule(), InitTgaLoaderModule(), InitPngLoaderModule(), InitJpegLoaderModule(),
       InitBmpLoaderModule(), SetLogHandler(nullptr, LogLevel::Error), true);  // no warning per input
  (void)started;
  fuzz::IgnoringErrors([&] {
    const Ref<TPixmap> pixmap = ReadPixmap(fuzz::InputStream(data, size));
    if (!pixmap || pixmap->Width() < 1 || pixmap->Height() < 1) return;
    // The first and last row whole and both ends of every row: memory shorter than the size
    // claimed shows up here, at a cost that stays small for large pictures.
    uint32_t sum = 0;
    const int32_t last = pixmap->Height() - 1;
    for (int32_t x = 0; x < pixmap->Width(); ++x) sum += pixmap->GetPixel(x, 0) + pixmap->GetPixel(x, last);
    for (int32_t y = 0; y <= last; ++y)
      sum += pixmap->GetPixel(0, y) + pixmap->GetPixel(pixmap->Width() - 1, y);
    volatile uint32_t sink = sum;
    (void)sink;
  });
  return 0;
}
