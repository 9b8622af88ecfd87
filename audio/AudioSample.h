// Audio samples: blocks of PCM frames in memory with a rate and one of six sample formats, the
// per-format tables, and conversion of frames between formats.
#pragma once

#include <array>
#include <cstdint>

#include "runtime/Object.h"

namespace corvex {

// Sample format ids. A frame holds one value per channel; 8-bit values are unsigned with 128
// as silence, 16-bit values signed. Every conversion goes through SAMPLE_STEREO16BE.
inline constexpr int32_t SAMPLE_NONE = 0;
inline constexpr int32_t SAMPLE_MONO8 = 1;
inline constexpr int32_t SAMPLE_MONO16LE = 2;
inline constexpr int32_t SAMPLE_MONO16BE = 3;
inline constexpr int32_t SAMPLE_STEREO8 = 4;
inline constexpr int32_t SAMPLE_STEREO16LE = 5;
inline constexpr int32_t SAMPLE_STEREO16BE = 6;

// How many format ids there are, the size of the per-format tables.
inline constexpr int32_t kSampleFormatCount = 7;

// A per-format table, indexed by format id 0 to 6.
using SampleFormatTable = std::array<int32_t, kSampleFormatCount>;

// Bytes of one frame.
inline constexpr SampleFormatTable SampleFormatBytes = {0, 1, 2, 2, 2, 4, 4};
// Channels of one frame.
inline constexpr SampleFormatTable SampleFormatChannels = {0, 1, 1, 1, 2, 2, 2};

// Whether `format` is one of the ids 0 to 6.
constexpr bool IsSampleFormat(int32_t format) noexcept {
  return format >= 0 && format < kSampleFormatCount;
}

// The id's name, such as "SAMPLE_STEREO16LE"; "SAMPLE_UNKNOWN" outside 0 to 6.
const char* SampleFormatName(int32_t format) noexcept;

// PCM frames in memory. Frame i lies at Samples() + i × SampleFormatBytes[Format()].
class TAudioSample : public Object {
 public:
  ~TAudioSample() override;
  TAudioSample(const TAudioSample&) = delete;
  TAudioSample& operator=(const TAudioSample&) = delete;

  // A new sample with the same frames, rate and format.
  virtual Ref<TAudioSample> Copy() const;
  // A new sample with every frame converted to `format`; an id outside 1 to 6 (unless it is
  // the sample's own) raises TRuntimeException "Unimplemented sample format conversion".
  virtual Ref<TAudioSample> Convert(int32_t format) const;

  // A sample owning fresh memory for `length` frames (contents undefined). Null for a negative
  // length, an id outside 0 to 6, more than 2^31 - 1 bytes or memory that cannot be had.
  static Ref<TAudioSample> Create(int32_t length, int32_t hertz, int32_t format);
  // A sample over memory the caller owns and keeps alive (Capacity() is -1). Null for a
  // negative length, an id outside 0 to 6 or more than 2^31 - 1 bytes.
  static Ref<TAudioSample> CreateOver(void* address, int32_t length, int32_t hertz, int32_t format);

  // The first frame, the number of frames, the playback rate and the format id.
  uint8_t* Samples() const noexcept { return samples_; }
  int32_t Length() const noexcept { return length_; }
  int32_t Hertz() const noexcept { return hertz_; }
  int32_t Format() const noexcept { return format_; }
  // Bytes owned at Samples(), or -1 when the memory belongs to someone else.
  int32_t Capacity() const noexcept { return capacity_; }
  // Bytes of all frames: Length() × bytes per frame.
  int32_t ByteCount() const noexcept { return length_ * SampleFormatBytes[format_]; }

  // Sets the length to `length` frames, for loaders that learn while reading how many frames
  // the data holds. Growing past the owned memory reallocates it (the new frames are
  // undefined); shrinking keeps the memory. False, changing nothing, for a negative length, more
  // than 2^31 - 1 bytes, growing a sample over borrowed memory, or memory that cannot be had.
  bool Resize(int32_t length) noexcept;

 private:
  TAudioSample() = default;

  uint8_t* samples_ = nullptr;
  int32_t length_ = 0;
  int32_t hertz_ = 0;
  int32_t format_ = SAMPLE_NONE;
  int32_t capacity_ = -1;
};

// TAudioSample::Create.
Ref<TAudioSample> NewAudioSample(int32_t length, int32_t hertz, int32_t format);
// TAudioSample::CreateOver.
Ref<TAudioSample> WrapAudioSample(void* address, int32_t length, int32_t hertz, int32_t format);

// Converts `count` frames from one format to another. Equal formats copy; otherwise each frame
// gives what expanding it to SAMPLE_STEREO16BE (8-bit c becomes the bytes c - 128, c) and
// packing that would give (the two channels average with truncation toward zero; 8-bit output
// is (value + 32768) / 257), in one pass. Ids outside 1 to 6 raise TRuntimeException
// "Unimplemented sample format conversion".
void ConvertSampleData(const void* source, int32_t sourceFormat, void* dest, int32_t destFormat,
                       int32_t count);

}  // namespace corvex
