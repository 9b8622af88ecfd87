#include "audio/OggLoader.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>

#include "audio/SoundDecoder.h"
#include "runtime/LastError.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

// What the callbacks read from, and the first exception the stream raised inside them:
// exceptions must not cross vorbisfile's C frames, so they wait here until the decoder is
// cleared and then go on.
struct OggSource {
  TStream* stream;
  std::exception_ptr failure;
  // The first bytes read: vorbisfile answers alike for other data and for a damaged Ogg file.
  char head[4] = {};
  std::size_t headBytes = 0;
};

std::size_t ReadCallback(void* buffer, std::size_t size, std::size_t count, void* data) {
  auto& source = *static_cast<OggSource*>(data);
  if (size == 0 || source.failure) return 0;
  try {
    const std::size_t wanted = std::min<std::size_t>(size * count, INT32_MAX);
    const int32_t n = source.stream->Read(buffer, static_cast<int32_t>(wanted));
    if (n > 0 && source.headBytes < sizeof source.head) {
      const std::size_t copied = std::min(sizeof source.head - source.headBytes, static_cast<std::size_t>(n));
      std::memcpy(source.head + source.headBytes, buffer, copied);
      source.headBytes += copied;
    }
    return n > 0 ? static_cast<std::size_t>(n) / size : 0;
  } catch (...) {
    source.failure = std::current_exception();
    errno = EIO;  // vorbisfile tells a failed read from the end of the data by errno
    return 0;
  }
}

int SeekCallback(void* data, ogg_int64_t offset, int whence) {
  auto& source = *static_cast<OggSource*>(data);
  if (source.failure) return -1;
  try {
    int64_t target = offset;
    switch (whence) {
      case SEEK_SET:
        break;
      case SEEK_CUR:
        target += source.stream->Pos();
        break;
      case SEEK_END:
        target += source.stream->Size();
        break;
      default:
        return -1;
    }
    if (target < 0 || target > INT32_MAX) return -1;
    return source.stream->Seek(static_cast<int32_t>(target));
  } catch (...) {
    source.failure = std::current_exception();
    return -1;
  }
}

// The caller closes the stream.
int CloseCallback(void*) {
  return 0;
}

long TellCallback(void* data) {
  auto& source = *static_cast<OggSource*>(data);
  if (source.failure) return -1;
  try {
    return source.stream->Pos();
  } catch (...) {
    source.failure = std::current_exception();
    return -1;
  }
}

// One decoder per load, cleared however the load ends.
struct OggDecoder {
  OggVorbis_File file{};
  bool open = false;
  OggDecoder() = default;
  OggDecoder(const OggDecoder&) = delete;
  OggDecoder& operator=(const OggDecoder&) = delete;
  ~OggDecoder() {
    if (open) ov_clear(&file);
  }
};

// Bytes a sample first gets; a longer announced length is reached by doubling as the decoder
// delivers, so a header that announces an absurd length costs nothing.
constexpr int64_t kFirstBytes = 16 << 20;

// "Ogg: " and vorbisfile's error in words.
String OggErrorText(int code) {
  switch (code) {
    case OV_EREAD:
      return "Ogg: read failed";
    case OV_EVERSION:
      return "Ogg: unsupported Vorbis version";
    case OV_EBADHEADER:
      return "Ogg: bad Vorbis header";
    case OV_HOLE:
      return "Ogg: gap in the data";
    case OV_EBADLINK:
      return "Ogg: bad link";
    case OV_ENOTVORBIS:
      return "Ogg: no complete Vorbis headers";
    default:
      return "Ogg: bad data";
  }
}

// Decodes the first bitstream; Null when it is not Ogg Vorbis or cannot be decoded.
Ref<TAudioSample> Decode(OggSource& source) {
  static const ov_callbacks kCallbacks = {&ReadCallback, &SeekCallback, &CloseCallback, &TellCallback};
  OggDecoder decoder;
  if (const int opened = ov_open_callbacks(&source, &decoder.file, nullptr, 0, kCallbacks); opened < 0) {
    // Data that is not Ogg at all is left to the loader chain.
    const bool ogg = source.headBytes == 4 && std::memcmp(source.head, "OggS", 4) == 0;
    return opened == OV_ENOTVORBIS && !ogg ? nullptr : FailNull(OggErrorText(opened));
  }
  decoder.open = true;

  // With several logical bitstreams, vorbisfile leaves the read position after its scan of
  // the links and the first read would come from a later one: go back to the first frame.
  if (ov_streams(&decoder.file) > 1 && ov_pcm_seek(&decoder.file, 0) != 0) return Null;

  const ogg_int64_t length = ov_pcm_total(&decoder.file, 0);
  const vorbis_info* info = ov_info(&decoder.file, -1);
  // More than two channels would not fit a stereo frame: such files are refused.
  if (length < 0 || info == nullptr || info->channels < 1 || info->channels > 2 || info->rate <= 0 ||
      info->rate > INT32_MAX) {
    return FailNull("Ogg: unsupported channels or rate");
  }
  const int32_t frameBytes = 2 * info->channels;
  const int64_t announced = length * frameBytes;
  if (length > INT32_MAX / frameBytes) return FailNull("Ogg: sound too long");

  Ref<TAudioSample> sample = NewAudioSample(
      static_cast<int32_t>(std::min(announced, kFirstBytes) / frameBytes), static_cast<int32_t>(info->rate),
      info->channels == 1 ? SAMPLE_MONO16LE : SAMPLE_STEREO16LE);
  if (!sample) return Null;
  int64_t done = 0;
  while (done < announced) {
    if (done == sample->ByteCount()) {
      const int64_t next = std::min(announced, done * 2);
      if (!sample->Resize(static_cast<int32_t>(next / frameBytes))) return Null;
    }
    int section = 0;
    const long n = ov_read(&decoder.file, reinterpret_cast<char*>(sample->Samples() + done),
                           static_cast<int>(sample->ByteCount() - done), 0, 2, 1, &section);
    if (n < 0) return FailNull(OggErrorText(static_cast<int>(n)));
    // The data ended before the announced length: the sample keeps what was decoded.
    if (n == 0) break;
    done += n;
  }
  sample->Resize(static_cast<int32_t>(done / frameBytes));
  return sample;
}

// The decoder behind streamed music: the first logical bitstream, a piece at a time.
class VorbisDecoder final : public SoundDecoder {
 public:
  explicit VorbisDecoder(Ref<TStream> stream)
      : stream_(std::move(stream)), source_{stream_.operator->(), nullptr} {}
  ~VorbisDecoder() override {
    if (open_) ov_clear(&file_);
  }

  bool Open() {
    static const ov_callbacks kCallbacks = {&ReadCallback, &SeekCallback, &CloseCallback, &TellCallback};
    if (ov_open_callbacks(&source_, &file_, nullptr, 0, kCallbacks) < 0) return Done();
    open_ = true;
    if (ov_streams(&file_) > 1 && ov_pcm_seek(&file_, 0) != 0) return Done();
    const ogg_int64_t length = ov_pcm_total(&file_, 0);
    const vorbis_info* info = ov_info(&file_, -1);
    if (length < 0 || info == nullptr || info->channels < 1 || info->channels > 2 || info->rate <= 0 ||
        info->rate > INT32_MAX) {
      return Done();
    }
    channels_ = info->channels;
    hertz_ = static_cast<int32_t>(info->rate);
    frames_ = length;
    return Done();
  }

  int32_t Read(int16_t* out, int32_t count) override {
    if (failure_) return -1;
    const int64_t left = frames_ - at_;
    const int32_t wanted = static_cast<int32_t>(std::min<int64_t>(count, left));
    int32_t done = 0;
    while (done < wanted) {
      int section = 0;
      const long n = ov_read(&file_, reinterpret_cast<char*>(out + static_cast<size_t>(done) * channels_),
                             (wanted - done) * channels_ * 2, 0, 2, 1, &section);
      if (!Done() || n < 0) return done > 0 ? done : -1;
      if (n == 0) break;
      done += static_cast<int32_t>(n / (2 * channels_));
    }
    at_ += done;
    return done;
  }

  bool Seek(int64_t frame) override {
    if (frame < 0 || frame > frames_ || failure_) return false;
    const bool ok = ov_pcm_seek(&file_, frame) == 0;
    if (ok) at_ = frame;
    return Done() && ok;
  }

 private:
  // Takes over an exception the callbacks kept; false when there was one.
  bool Done() {
    if (source_.failure && !failure_) failure_ = source_.failure;
    return !failure_;
  }

  Ref<TStream> stream_;
  OggSource source_;
  OggVorbis_File file_{};
  bool open_ = false;
  int64_t at_ = 0;
};

}  // namespace

std::unique_ptr<SoundDecoder> OpenOggDecoder(const Ref<TStream>& stream) {
  auto decoder = std::make_unique<VorbisDecoder>(stream);
  const bool opened = decoder->Open();
  if (decoder->Failure()) std::rethrow_exception(decoder->Failure());
  return opened && decoder->Channels() > 0 ? std::move(decoder) : nullptr;
}

Ref<TAudioSample> TAudioSampleLoaderOGG::LoadFrom(const Ref<TStream>& stream) {
  OggSource source{stream.operator->(), nullptr};
  Ref<TAudioSample> sample = Decode(source);
  if (source.failure) std::rethrow_exception(source.failure);
  return sample;
}

void InitOggLoaderModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  new TAudioSampleLoaderOGG();  // the chain holds it for the rest of the process
}

}  // namespace corvex
