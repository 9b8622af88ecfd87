// WAV reading and writing: the WAV loader of the sample-loader chain and EncodeWAV.
#pragma once

#include <cstdint>

#include "audio/AudioSampleLoader.h"

namespace corvex {

// Decodes RIFF WAVE files of 8- or 16-bit PCM with one or two channels; 24- and 32-bit PCM and
// 32-bit float (plain or in the extensible layout) become 16-bit little-endian samples, rounded
// to the nearest value and held in range. Chunks before "data"
// are skipped by their size, with no realignment to even offsets. The sample holds the whole
// frames of the "data" chunk that the stream really delivers: a chunk that claims more bytes
// than remain is cut short, and a partial last frame is not read. Any positive rate loads, even
// one no device plays: the drivers resample (the mixer's step arithmetic is 64-bit and held in
// range), and a file is not refused for a rate it states correctly.
class TAudioSampleLoaderWAV : public TAudioSampleLoader {
 public:
  // Null for another header, another format or channel count, a rate of 0 or less, or a file
  // without a "data" chunk.
  Ref<TAudioSample> LoadFrom(const Ref<TStream>& stream) override;
};

// Writes the sample as a PCM WAV file (formats 1, 2, 4 and 5; a byte of padding follows an
// odd-sized data chunk). Answers 1 on success; 0, writing nothing, for another format, a rate of
// 0 or less, a byte rate (rate × frame bytes) beyond the header's 32 bits, or when the
// destination does not open. Exceptions of the stream propagate.
int32_t EncodeWAV(const Ref<TAudioSample>& sample, const Url& destination);

}  // namespace corvex
