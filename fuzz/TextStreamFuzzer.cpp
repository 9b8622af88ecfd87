// Fuzzes text streams in every encoding: the first byte picks the encoding (the four and an
// unknown id), the second a mix of reads; the rest is the text. Whole-text loading with
// byte-order-mark detection reads the same bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "stream/TextStream.h"

using namespace corvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (InitTextStreamModule(), true);
  (void)started;
  if (size < 2) return 0;
  const int32_t encoding = data[0] % 5 + 1;  // 5 is no encoding at all
  const uint8_t operations = data[1];
  const uint8_t* text = data + 2;
  const size_t textSize = size - 2;

  fuzz::IgnoringErrors([&] {
    const Ref<TTextStream> stream = TTextStream::Create(fuzz::InputStream(text, textSize), encoding);
    for (int32_t step = 0; step < 256 && !stream->Eof(); ++step) {
      switch ((operations >> (step % 4 * 2)) & 3) {
        case 0:
          (void)stream->ReadLine();
          break;
        case 1:
          (void)stream->ReadInt();
          (void)stream->ReadDouble();
          break;
        case 2: {
          uint8_t bytes[40];
          (void)stream->Read(bytes, static_cast<int32_t>(sizeof bytes));
          break;
        }
        default:
          (void)stream->ReadString(step % 17);
          (void)stream->ReadChar();
          break;
      }
    }
    (void)stream->ReadAll();
  });
  fuzz::IgnoringErrors([&] { (void)LoadTextFile(fuzz::InputStream(text, textSize)); });
  return 0;
}
