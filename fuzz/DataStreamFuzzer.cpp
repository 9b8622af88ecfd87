// Fuzzes object data streams with the registered data types of banks, lists, pixmaps and images:
// reads objects one after another until the input ends or is rejected.
#include <cstddef>
#include <cstdint>

#include "data/DataStream.h"
#include "data/List.h"
#include "fuzz/FuzzInput.h"
#include "pixmap/Pixmap.h"
#include "stream/Bank.h"
#include "vex2d/Image.h"

using namespace corvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The graphics driver's data type is left out: reading it opens a window.
  static const bool started = (InitDataStreamModule(), InitBankModule(), InitListModule(), InitPixmapModule(),
                               InitImageModule(), true);
  (void)started;
  fuzz::IgnoringErrors([&] {
    const Ref<TStream> input = fuzz::InputStream(data, size);
    const Ref<TDataStream> stream = TDataStream::Create(input);
    for (int32_t i = 0; i < 64 && !input->Eof(); ++i) {
      const Ref<Object> object = stream->ReadObject();
      if (const Ref<TList> list = Cast<TList>(object)) (void)list->ToArray();
    }
  });
  return 0;
}
