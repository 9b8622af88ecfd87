// The MP3 loader of the sample-loader chain, decoding through libmpg123.
#pragma once

#include "audio/AudioSampleLoader.h"

namespace corvex {

// Decodes MP3 data completely into a 16-bit little-endian sample (SAMPLE_MONO16LE or
// SAMPLE_STEREO16LE). Null for other data, more than two channels or a decoding error; data
// that ends early keeps what was decoded.
class TAudioSampleLoaderMP3 : public TAudioSampleLoader {
 public:
  Ref<TAudioSample> LoadFrom(const Ref<TStream>& stream) override;
};

}  // namespace corvex
