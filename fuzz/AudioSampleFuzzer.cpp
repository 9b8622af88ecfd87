// Fuzzes the audio sample loader chain (WAV, Ogg Vorbis, FLAC and MP3) with whole files, and copies what
// comes out so that a sample claiming more frames than it holds is caught.
#include <cstddef>
#include <cstdint>

#include "audio/AudioSample.h"
#include "audio/AudioSampleLoader.h"
#include "fuzz/FuzzInput.h"

using namespace corvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started =
      (InitMp3LoaderModule(), InitFlacLoaderModule(), InitOggLoaderModule(), InitWavLoaderModule(), true);
  (void)started;
  fuzz::IgnoringErrors([&] {
    const Ref<TAudioSample> sample = ReadAudioSample(fuzz::InputStream(data, size));
    if (sample) (void)sample->Copy();
  });
  return 0;
}
