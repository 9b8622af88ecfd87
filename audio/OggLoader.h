// The Ogg Vorbis loader of the sample-loader chain, decoding through vorbisfile.
#pragma once

#include "audio/AudioSampleLoader.h"

namespace corvex {

// Decodes the first logical bitstream of an Ogg Vorbis stream completely into a 16-bit
// little-endian sample (SAMPLE_MONO16LE or SAMPLE_STEREO16LE). The stream must be able to
// seek. Null for data vorbisfile does not accept, more than two channels, or a decoding
// error. When the data ends before the announced length, the sample holds what was decoded.
class TAudioSampleLoaderOGG : public TAudioSampleLoader {
 public:
  Ref<TAudioSample> LoadFrom(const Ref<TStream>& stream) override;
};

}  // namespace corvex
