// corvex-xwd2png: converts an X window dump (as `xwd -id WINDOW` writes it) of a true-colour
// window to a PNG file, through the framework's own PNG encoder. tools/run-demo.sh uses it to
// keep its screenshots.
#include <cstdio>

#include "pixmap/PngCodec.h"
#include "startup/FrameworkModules.h"
#include "stream/Url.h"
#include "tools/xwd2png/XwdDecoder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("Usage: corvex-xwd2png DUMP.xwd OUTPUT.png\n", stderr);
    return 2;
  }
  corvex::InitFrameworkModules();
  corvex::ByteArray bytes;
  try {
    bytes = corvex::LoadAllBytes(argv[1]);
  } catch (const corvex::Object&) {
    std::fprintf(stderr, "corvex-xwd2png: cannot read '%s'\n", argv[1]);
    return 1;
  }
  const auto pixmap = corvex::DecodeXwd(bytes);
  if (!pixmap) {
    std::fprintf(stderr, "corvex-xwd2png: '%s' is not a true-colour window dump\n", argv[1]);
    return 1;
  }
  if (corvex::EncodePNG(pixmap, argv[2], 6) != 1) {
    std::fprintf(stderr, "corvex-xwd2png: cannot write '%s'\n", argv[2]);
    return 3;
  }
  return 0;
}
