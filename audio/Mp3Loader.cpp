// MP3 through libmpg123, reading the stream through replaced reader callbacks. The decoder is
// strict: the data must start with an ID3v2 tag or a frame header, and it does not resync past
// damage, so data of other kinds is not taken for MP3.
#include "audio/Mp3Loader.h"

#include <mpg123.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "audio/SoundDecoder.h"
#include "runtime/LastError.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

class Mp3Decoder final : public SoundDecoder {
 public:
  Mp3Decoder(Ref<TStream> stream, int32_t base) : stream_(std::move(stream)), base_(base) {}
  ~Mp3Decoder() override {
    if (handle_ == nullptr) return;
    mpg123_close(handle_);
    mpg123_delete(handle_);
  }

  bool Open() {
    handle_ = mpg123_new(nullptr, nullptr);
    if (handle_ == nullptr) return false;
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_NO_RESYNC, 0);
    if (mpg123_replace_reader_handle(handle_, &ReadCallback, &SeekCallback, nullptr) != MPG123_OK)
      return false;
    // 16-bit signed at the data's own rate and channel count.
    mpg123_format_none(handle_);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
      mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_handle(handle_, this) != MPG123_OK) return false;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK || failure_) return false;
    if (channels < 1 || channels > 2 || rate <= 0 || rate > INT32_MAX || encoding != MPG123_ENC_SIGNED_16)
      return false;
    channels_ = channels;
    hertz_ = static_cast<int32_t>(rate);
    const off_t length = mpg123_length(handle_);
    frames_ = length >= 0 ? static_cast<int64_t>(length) : -1;
    return true;
  }

  // Why Open failed, in libmpg123's words where it has some.
  String Why() const {
    if (handle_ == nullptr) return String("MP3: out of memory");
    if (mpg123_errcode(handle_) == MPG123_OK) return String("MP3: unsupported channels or rate");
    return String("MP3: ") + String(mpg123_strerror(handle_));
  }

  int32_t Read(int16_t* out, int32_t count) override {
    if (ended_) return 0;
    if (error_ || failure_) return -1;
    const size_t wanted = static_cast<size_t>(count) * channels_ * sizeof(int16_t);
    size_t got = 0;
    bool sameFormat = false;  // the last call announced the unchanged format and gave nothing
    while (got < wanted) {
      size_t n = 0;
      const int status = mpg123_read(handle_, reinterpret_cast<unsigned char*>(out) + got, wanted - got, &n);
      got += n;
      if (failure_) break;
      if (status == MPG123_OK) {
        sameFormat = false;
        continue;
      }
      if (status == MPG123_DONE) {
        ended_ = true;
        break;
      }
      if (status == MPG123_NEW_FORMAT) {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        mpg123_getformat(handle_, &rate, &channels, &encoding);
        // The same format again goes on, once: a second one in a row without frames is damage.
        if (rate == hertz_ && channels == channels_ && (n > 0 || !sameFormat)) {
          sameFormat = n == 0;
          continue;
        }
      }
      error_ = true;  // a damaged frame, or a format change a sample cannot follow
      break;
    }
    const auto frames = static_cast<int32_t>(got / (channels_ * sizeof(int16_t)));
    if (frames == 0 && (error_ || failure_)) return -1;
    return frames;
  }

  bool Seek(int64_t frame) override {
    if (frame < 0 || failure_) return false;
    error_ = false;
    ended_ = false;
    return mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET) >= 0 && !failure_;
  }

 private:
  static Mp3Decoder& Of(void* data) { return *static_cast<Mp3Decoder*>(data); }

  static mpg123_ssize_t ReadCallback(void* data, void* buffer, size_t bytes) {
    Mp3Decoder& self = Of(data);
    int32_t n = 0;
    const auto wanted = static_cast<int32_t>(bytes < INT32_MAX ? bytes : INT32_MAX);
    if (!self.Guard([&] { n = self.stream_->Read(buffer, wanted); })) return -1;
    return n > 0 ? n : 0;
  }

  static off_t SeekCallback(void* data, off_t offset, int whence) {
    Mp3Decoder& self = Of(data);
    off_t at = -1;
    self.Guard([&] {
      int64_t target = offset;
      if (whence == SEEK_SET) target += self.base_;
      if (whence == SEEK_CUR) target += self.stream_->Pos();
      if (whence == SEEK_END) target += self.stream_->Size();
      if (target < self.base_ || target > INT32_MAX) return;
      if (self.stream_->Seek(static_cast<int32_t>(target)) >= 0) at = static_cast<off_t>(target - self.base_);
    });
    return at;
  }

  Ref<TStream> stream_;
  int32_t base_;
  mpg123_handle* handle_ = nullptr;
  bool ended_ = false;
  bool error_ = false;
};

// An ID3v2 tag or an MPEG audio frame sync with a valid layer, bit rate and rate index.
bool LooksLikeMp3(const uint8_t* head) {
  if (std::memcmp(head, "ID3", 3) == 0) return true;
  return head[0] == 0xFF && (head[1] & 0xE0) == 0xE0 && (head[1] & 0x06) != 0 && (head[2] & 0xF0) != 0xF0 &&
         (head[2] & 0x0C) != 0x0C;
}

}  // namespace

std::unique_ptr<SoundDecoder> OpenMp3Decoder(const Ref<TStream>& stream) {
  uint8_t head[4] = {};
  const int32_t start = stream->Pos();
  if (start < 0 || stream->Read(head, 4) != 4 || !LooksLikeMp3(head)) return nullptr;
  stream->Seek(start);
  auto decoder = std::make_unique<Mp3Decoder>(stream, start);
  if (!decoder->Open()) {
    if (decoder->Failure()) std::rethrow_exception(decoder->Failure());
    SetLastError(decoder->Why());
    return nullptr;
  }
  return decoder;
}

Ref<TAudioSample> TAudioSampleLoaderMP3::LoadFrom(const Ref<TStream>& stream) {
  const std::unique_ptr<SoundDecoder> decoder = OpenMp3Decoder(stream);
  return decoder ? DecodeWhole(*decoder) : Null;
}

void InitMp3LoaderModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  new TAudioSampleLoaderMP3();  // the chain holds it for the rest of the process
}

}  // namespace corvex
