#include "audio/WavCodec.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/SoundDecoder.h"
#include "runtime/LastError.h"
#include "runtime/Module.h"
#include "stream/EndianStream.h"
#include "stream/StreamClosing.h"

namespace corvex {
namespace {

// Bytes first asked of a stream that cannot say how much it holds.
constexpr int64_t kFirstPiece = 1 << 20;

// Four bytes taken as a tag; zeros past the end of the stream.
bool ReadTag(TStream& stream, const char (&expected)[5]) {
  char tag[4] = {};
  stream.ReadBytes(tag, 4);
  return std::memcmp(tag, expected, 4) == 0;
}

// A 32-bit size field: unsigned in the file, so kept apart from the signed numbers.
uint32_t ReadSize(TStream& stream) {
  return static_cast<uint32_t>(stream.ReadInt());
}

void Skip(TStream& stream, uint32_t count) {
  // Positions are 32-bit signed, so a larger skip ends the stream anyway.
  stream.SkipBytes(static_cast<int32_t>(std::min<uint32_t>(count, INT32_MAX)));
}

// Reads into `buffer` until `count` bytes arrived or the stream delivers nothing more;
// answers the bytes read.
int64_t ReadAvailable(TStream& stream, uint8_t* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const int32_t n =
        stream.Read(buffer + done, static_cast<int32_t>(std::min<int64_t>(count - done, INT32_MAX)));
    if (n <= 0) break;
    done += n;
  }
  return done;
}

// The frames of a "data" chunk of `size` bytes: as many whole frames as the chunk declares
// and the stream delivers. A stream that knows its size gets one allocation of at most what
// remains; one that does not is read into memory that doubles as the bytes arrive, so memory
// follows what the stream delivers rather than what the header claims.
Ref<TAudioSample> ReadFrames(TStream& stream, uint32_t size, int32_t hertz, int32_t format) {
  const int32_t frameBytes = SampleFormatBytes[format];
  // No sample holds more than 2^31 - 1 bytes.
  int64_t wanted = std::min<int64_t>(size, INT32_MAX);
  wanted -= wanted % frameBytes;
  const int32_t position = stream.Pos();
  const int32_t end = stream.Size();
  const bool sized = position >= 0 && end >= position && end > 0;
  if (sized) wanted = std::min<int64_t>(wanted, (end - position) / frameBytes * frameBytes);
  const int64_t first = sized ? wanted : std::min<int64_t>(wanted, kFirstPiece);
  Ref<TAudioSample> sample = NewAudioSample(static_cast<int32_t>(first / frameBytes), hertz, format);
  if (!sample) return Null;
  int64_t got = 0;
  for (;;) {
    got += ReadAvailable(stream, sample->Samples() + got, sample->ByteCount() - got);
    if (got < sample->ByteCount() || sample->ByteCount() == wanted) break;
    const int64_t next = std::min<int64_t>(wanted, int64_t{sample->ByteCount()} * 2);
    if (!sample->Resize(static_cast<int32_t>(next / frameBytes))) return Null;
  }
  sample->Resize(static_cast<int32_t>(got / frameBytes));
  return sample;
}

int32_t WavFormat(int32_t bits, int32_t channels) {
  if (bits == 8 && channels == 1) return SAMPLE_MONO8;
  if (bits == 8 && channels == 2) return SAMPLE_STEREO8;
  if (bits == 16 && channels == 1) return SAMPLE_MONO16LE;
  if (bits == 16 && channels == 2) return SAMPLE_STEREO16LE;
  return SAMPLE_NONE;
}

constexpr int32_t kTagPcm = 1;
constexpr int32_t kTagFloat = 3;
constexpr int32_t kTagExtensible = 0xFFFE;

// How the values of a wide format become 16 bits: rounded to the nearest and held in range,
// as SoX converts them.
enum class Wide { kNone, kInt24, kInt32, kFloat32 };

Wide WideKind(int32_t tag, int32_t bits) {
  if (tag == kTagPcm && bits == 24) return Wide::kInt24;
  if (tag == kTagPcm && bits == 32) return Wide::kInt32;
  if (tag == kTagFloat && bits == 32) return Wide::kFloat32;
  return Wide::kNone;
}

int16_t Round16(int64_t value, int shift) {
  const int64_t rounded = (value + (int64_t{1} << (shift - 1))) >> shift;
  return static_cast<int16_t>(std::clamp<int64_t>(rounded, INT16_MIN, INT16_MAX));
}

int16_t FromFloat(float value) {
  if (!(value == value)) return 0;  // NaN
  const double scaled = std::nearbyint(static_cast<double>(value) * 32768.0);
  return static_cast<int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

// `count` values of a wide format, converted to 16 bits.
void Widen(Wide kind, const uint8_t* in, int16_t* out, int32_t count) {
  const int32_t valueBytes = kind == Wide::kInt24 ? 3 : 4;
  for (int32_t i = 0; i < count; ++i, in += valueBytes) {
    if (kind == Wide::kInt24) {
      const auto v =
          static_cast<int32_t>(static_cast<uint32_t>(in[0]) << 8 | static_cast<uint32_t>(in[1]) << 16 |
                               static_cast<uint32_t>(in[2]) << 24);
      out[i] = Round16(v, 16);
      continue;
    }
    const uint32_t bits = in[0] | in[1] << 8 | in[2] << 16 | static_cast<uint32_t>(in[3]) << 24;
    if (kind == Wide::kInt32) {
      out[i] = Round16(static_cast<int32_t>(bits), 16);
    } else {
      float f = 0;
      std::memcpy(&f, &bits, 4);
      out[i] = FromFloat(f);
    }
  }
}

// The frames of a 24-bit, 32-bit or float "data" chunk, converted to 16 bits.
Ref<TAudioSample> ReadWideFrames(TStream& stream, uint32_t size, int32_t hertz, int32_t channels, Wide kind) {
  const int32_t valueBytes = kind == Wide::kInt24 ? 3 : 4;
  const int32_t frameBytes = valueBytes * channels;
  const uint32_t whole = size - size % static_cast<uint32_t>(frameBytes);
  const Ref<TAudioSample> raw = ReadFrames(stream, whole, hertz, SAMPLE_MONO8);
  if (!raw) return Null;
  const int32_t frames = raw->Length() / frameBytes;
  Ref<TAudioSample> sample =
      NewAudioSample(frames, hertz, channels == 1 ? SAMPLE_MONO16LE : SAMPLE_STEREO16LE);
  if (!sample) return Null;
  Widen(kind, raw->Samples(), reinterpret_cast<int16_t*>(sample->Samples()), frames * channels);
  return sample;
}

// What a WAV header says about its frames; the stream is left at the start of the "data"
// chunk's bytes.
struct WavLayout {
  int32_t format = SAMPLE_NONE;  // 8- and 16-bit PCM
  Wide wide = Wide::kNone;       // or a wide format
  int32_t channels = 0;
  int32_t hertz = 0;
  uint32_t dataBytes = 0;
};

// Records why a recognised WAV file cannot be read.
bool Refuse(const char* cause) {
  SetLastError(cause);
  return false;
}

// False for another header, another format or channel count, a rate of 0 or less, or a file
// without a "data" chunk.
bool ReadLayout(TStream& stream, WavLayout& layout) {
  if (!ReadTag(stream, "RIFF")) return false;
  ReadSize(stream);
  if (!ReadTag(stream, "WAVE") || !ReadTag(stream, "fmt ")) return false;

  const uint32_t chunkLength = ReadSize(stream);
  int32_t formatTag = stream.ReadShort() & 0xFFFF;
  layout.channels = stream.ReadShort();
  layout.hertz = stream.ReadInt();
  stream.ReadInt();    // byte rate
  stream.ReadShort();  // block alignment
  const int32_t bits = stream.ReadShort();
  uint32_t surplus = chunkLength > 16 ? chunkLength - 16 : 0;
  // The extensible layout names the real format in the first two bytes of its sub-format.
  if (formatTag == kTagExtensible && surplus >= 24) {
    stream.SkipBytes(8);  // extension size, valid bits, channel mask
    formatTag = stream.ReadShort() & 0xFFFF;
    surplus -= 10;
  }
  if (layout.hertz <= 0) return Refuse("WAV: bad sample rate");
  if (layout.channels < 1 || layout.channels > 2) return Refuse("WAV: unsupported bits or channels");
  layout.format = formatTag == kTagPcm ? WavFormat(bits, layout.channels) : SAMPLE_NONE;
  layout.wide = WideKind(formatTag, bits);
  if (layout.format == SAMPLE_NONE && layout.wide == Wide::kNone) {
    return Refuse(formatTag == kTagPcm || WideKind(formatTag, 32) != Wide::kNone
                      ? "WAV: unsupported bits or channels"
                      : "WAV: not PCM data");
  }
  if (surplus > 0) Skip(stream, surplus);

  while (!stream.Eof()) {
    const bool data = ReadTag(stream, "data");
    const uint32_t size = ReadSize(stream);
    if (data) {
      layout.dataBytes = size;
      return true;
    }
    Skip(stream, size);
  }
  return Refuse("WAV: no data chunk");
}

// Bytes of one frame in the file.
int32_t FileFrameBytes(const WavLayout& layout) {
  if (layout.format != SAMPLE_NONE) return SampleFormatBytes[layout.format];
  return (layout.wide == Wide::kInt24 ? 3 : 4) * layout.channels;
}

// Streamed music over a WAV file: the "data" chunk read a piece at a time, in 16 bits.
class WavDecoder final : public SoundDecoder {
 public:
  WavDecoder(Ref<TStream> stream, const WavLayout& layout)
      : stream_(std::move(stream)), layout_(layout), frameBytes_(FileFrameBytes(layout)) {
    channels_ = layout.channels;
    hertz_ = layout.hertz;
    start_ = stream_->Pos();
    int64_t bytes = layout.dataBytes;
    const int32_t size = stream_->Size();
    if (size >= start_) bytes = std::min<int64_t>(bytes, size - start_);
    frames_ = bytes / frameBytes_;
  }

  int32_t Read(int16_t* out, int32_t count) override {
    const auto n = static_cast<int32_t>(std::min<int64_t>(count, frames_ - at_));
    if (n <= 0 || failure_) return failure_ ? -1 : 0;
    raw_.resize(static_cast<size_t>(n) * frameBytes_);
    int32_t got = 0;
    if (!Guard([&] {
          got = static_cast<int32_t>(ReadAvailable(*stream_, raw_.data(), int64_t{n} * frameBytes_));
        }))
      return -1;
    const int32_t frames = got / frameBytes_;
    const int32_t values = frames * channels_;
    if (layout_.wide != Wide::kNone) {
      Widen(layout_.wide, raw_.data(), out, values);
    } else if (layout_.format == SAMPLE_MONO8 || layout_.format == SAMPLE_STEREO8) {
      ConvertSampleData(raw_.data(), layout_.format, out, Format(), frames);
    } else {
      std::memcpy(out, raw_.data(), static_cast<size_t>(values) * 2);
    }
    at_ += frames;
    return frames;
  }

  bool Seek(int64_t frame) override {
    if (frame < 0 || frame > frames_ || failure_) return false;
    const int64_t target = start_ + frame * frameBytes_;
    if (target > INT32_MAX) return false;
    int32_t at = -1;
    if (!Guard([&] { at = stream_->Seek(static_cast<int32_t>(target)); }) || at < 0) return false;
    at_ = frame;
    return true;
  }

 private:
  Ref<TStream> stream_;
  WavLayout layout_;
  int32_t frameBytes_;
  int32_t start_ = 0;
  int64_t at_ = 0;
  std::vector<uint8_t> raw_;
};

}  // namespace

Ref<TAudioSample> TAudioSampleLoaderWAV::LoadFrom(const Ref<TStream>& source) {
  TStream& stream = *LittleEndianView(source);
  WavLayout layout;
  if (!ReadLayout(stream, layout)) return Null;
  if (layout.format != SAMPLE_NONE) return ReadFrames(stream, layout.dataBytes, layout.hertz, layout.format);
  return ReadWideFrames(stream, layout.dataBytes, layout.hertz, layout.channels, layout.wide);
}

std::unique_ptr<SoundDecoder> OpenWavDecoder(const Ref<TStream>& stream) {
  WavLayout layout;
  if (!ReadLayout(*LittleEndianView(stream), layout)) return nullptr;
  return std::make_unique<WavDecoder>(stream, layout);
}

int32_t EncodeWAV(const Ref<TAudioSample>& sample, const Url& destination) {
  const int32_t format = sample->Format();
  if (format != SAMPLE_MONO8 && format != SAMPLE_MONO16LE && format != SAMPLE_STEREO8 &&
      format != SAMPLE_STEREO16LE) {
    return 0;
  }
  // The rate and byte-rate fields are 32 bits: a rate the loader would refuse or a byte rate
  // beyond the field is not written.
  const int32_t frameBytes = SampleFormatBytes[format];
  const int64_t byteRate = int64_t{sample->Hertz()} * frameBytes;
  if (sample->Hertz() <= 0 || byteRate > UINT32_MAX) return 0;
  const Ref<TStream> opened = OpenWriteStream(destination);
  if (!opened) return 0;
  const StreamCloser closer(opened);
  TStream& stream = *LittleEndianView(opened);

  const int32_t channels = SampleFormatChannels[format];
  const uint32_t dataBytes = static_cast<uint32_t>(sample->ByteCount());
  const uint32_t pad = dataBytes % 2;
  stream.WriteString("RIFF");
  stream.WriteInt(static_cast<int32_t>(4 + (8 + 16) + (8 + dataBytes + pad)));
  stream.WriteString("WAVE");
  stream.WriteString("fmt ");
  stream.WriteInt(16);
  stream.WriteShort(1);  // PCM
  stream.WriteShort(channels);
  stream.WriteInt(sample->Hertz());
  stream.WriteInt(static_cast<int32_t>(static_cast<uint32_t>(byteRate)));
  stream.WriteShort(frameBytes);
  stream.WriteShort(frameBytes / channels * 8);
  stream.WriteString("data");
  stream.WriteInt(static_cast<int32_t>(dataBytes));
  stream.WriteBytes(sample->Samples(), static_cast<int32_t>(dataBytes));
  if (pad != 0) stream.WriteByte(0);
  return 1;
}

void InitWavLoaderModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  new TAudioSampleLoaderWAV();  // the chain holds it for the rest of the process
}

}  // namespace corvex
