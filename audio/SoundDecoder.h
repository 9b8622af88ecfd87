// Incremental sound decoders: what the loaders of compressed formats share with streamed music.
// A decoder turns the data of one stream into 16-bit little-endian frames of one or two
// channels, a piece at a time, and can go back to any frame.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>

#include "audio/AudioSample.h"
#include "stream/Stream.h"

namespace corvex {

class SoundDecoder {
 public:
  SoundDecoder() = default;
  SoundDecoder(const SoundDecoder&) = delete;
  SoundDecoder& operator=(const SoundDecoder&) = delete;
  virtual ~SoundDecoder() = default;

  // Decodes up to `count` frames into `out` (Channels() values a frame); answers the frames
  // written, 0 at the end of the data, -1 when the data cannot be decoded further.
  virtual int32_t Read(int16_t* out, int32_t count) = 0;
  // Goes to frame `frame` (0 is the first); false when the data cannot seek there.
  virtual bool Seek(int64_t frame) = 0;

  // Values per frame (1 or 2) and frames per second.
  int32_t Channels() const noexcept { return channels_; }
  int32_t Hertz() const noexcept { return hertz_; }
  // Frames the data announces; -1 when it does not say.
  int64_t Frames() const noexcept { return frames_; }
  // SAMPLE_MONO16LE or SAMPLE_STEREO16LE.
  int32_t Format() const noexcept { return channels_ == 1 ? SAMPLE_MONO16LE : SAMPLE_STEREO16LE; }
  // The first exception the stream raised inside the decoding library; the decoder answers
  // -1 from then on. Exceptions must not cross the libraries' C frames, so they wait here.
  std::exception_ptr Failure() const noexcept { return failure_; }

 protected:
  // Runs a stream call from a library callback, keeping the first exception.
  template <class Call>
  bool Guard(Call call) noexcept {
    if (failure_) return false;
    try {
      call();
      return true;
    } catch (...) {
      failure_ = std::current_exception();
      return false;
    }
  }

  // What the format's header announced, set by the subclass when it opens, and the first
  // exception Guard caught.
  int32_t channels_ = 0;
  int32_t hertz_ = 0;
  int64_t frames_ = -1;
  std::exception_ptr failure_;
};

// Decoders of one format over a stream positioned at the data; null when the data is not of
// that format, has more than two channels or no positive rate. The stream must stay open
// while the decoder lives.
std::unique_ptr<SoundDecoder> OpenWavDecoder(const Ref<TStream>& stream);
std::unique_ptr<SoundDecoder> OpenOggDecoder(const Ref<TStream>& stream);
std::unique_ptr<SoundDecoder> OpenFlacDecoder(const Ref<TStream>& stream);
std::unique_ptr<SoundDecoder> OpenMp3Decoder(const Ref<TStream>& stream);

// Decodes everything that is left into one sample. Memory grows with what is decoded, not with
// the length the data announces. Null on a decoding error or when the sample would pass 2^31
// bytes; data that ends before its announced length keeps what was decoded. A stream failure
// inside the decoder is raised again.
Ref<TAudioSample> DecodeWhole(SoundDecoder& decoder);

}  // namespace corvex
