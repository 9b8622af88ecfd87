// Fuzzes the packed-font index: the input is the index file; its atlas is missing, so the
// tables are built without a picture. Text is measured and looked up through every group.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "pac/Pac.h"
#include "pac/PacImage.h"

using namespace corvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (InitPacModule(), true);
  (void)started;
  fuzz::ServeAsUrl(data, size, "index.pac");
  fuzz::IgnoringErrors([&] {
    const Ref<TPac> pac = TPac::Load("fuzz::index.pac", 0);
    if (!pac) return;
    for (const auto& [name, frames] : pac->groups) {
      (void)pac->FirstFrame(name);
      const Ref<TPacImage> image = TPacImage::Create(pac, name);
      (void)image->TextWidth("Hello,\nworld ~", 1.5f, 0);
      (void)image->TextWidth("Hello", 0, 1);
      (void)image->TextHeight("a\nb");
    }
  });
  return 0;
}
