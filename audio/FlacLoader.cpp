// FLAC through libFLAC's stream decoder, reading the stream through its callbacks. Samples of
// more than 16 bits keep their top 16 bits; fewer are scaled up.
#include "audio/FlacLoader.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/SoundDecoder.h"
#include "runtime/LastError.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

class FlacDecoder final : public SoundDecoder {
 public:
  // `base`: where the data starts in the stream; libFLAC counts its offsets from there.
  FlacDecoder(Ref<TStream> stream, int32_t base) : stream_(std::move(stream)), base_(base) {}
  ~FlacDecoder() override {
    if (decoder_ != nullptr) FLAC__stream_decoder_delete(decoder_);
  }

  bool Open() {
    decoder_ = FLAC__stream_decoder_new();
    if (decoder_ == nullptr) return false;
    if (FLAC__stream_decoder_init_stream(decoder_, &ReadCallback, &SeekCallback, &TellCallback,
                                         &LengthCallback, &EofCallback, &WriteCallback, &MetadataCallback,
                                         &ErrorCallback, this) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
      return false;
    }
    if (!FLAC__stream_decoder_process_until_end_of_metadata(decoder_) || failure_) return false;
    return info_ && channels_ >= 1 && channels_ <= 2 && hertz_ > 0;
  }

  // Why Open failed, in libFLAC's words where it has some.
  String Why() const {
    if (decoder_ == nullptr) return String("FLAC: out of memory");
    if (info_) return String("FLAC: unsupported channels or rate");
    const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder_);
    if (state == FLAC__STREAM_DECODER_END_OF_STREAM) return String("FLAC: no complete stream header");
    return String("FLAC: ") + String(FLAC__StreamDecoderStateString[state]);
  }

  int32_t Read(int16_t* out, int32_t count) override {
    int32_t done = 0;
    while (done < count) {
      if (pending_.empty()) {
        if (ended_ || error_ || failure_) break;
        const FLAC__bool ok = FLAC__stream_decoder_process_single(decoder_);
        const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder_);
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM) ended_ = true;
        if (!ok || state == FLAC__STREAM_DECODER_ABORTED || state == FLAC__STREAM_DECODER_SEEK_ERROR ||
            state == FLAC__STREAM_DECODER_MEMORY_ALLOCATION_ERROR) {
          error_ = true;
        }
        continue;
      }
      const size_t frames = std::min<size_t>(pending_.size() / channels_ - taken_ / channels_, count - done);
      std::memcpy(out + static_cast<size_t>(done) * channels_, pending_.data() + taken_,
                  frames * channels_ * sizeof(int16_t));
      taken_ += frames * channels_;
      done += static_cast<int32_t>(frames);
      if (taken_ == pending_.size()) {
        pending_.clear();
        taken_ = 0;
      }
    }
    if (done == 0 && (error_ || failure_)) return -1;
    return done;
  }

  bool Seek(int64_t frame) override {
    if (frame < 0 || failure_) return false;
    pending_.clear();
    taken_ = 0;
    ended_ = false;
    error_ = false;
    if (frames_ >= 0 && frame >= frames_) {
      ended_ = true;
      return frame == frames_;
    }
    if (FLAC__stream_decoder_seek_absolute(decoder_, static_cast<FLAC__uint64>(frame))) return !failure_;
    // A failed seek leaves the decoder needing a flush before it decodes again.
    FLAC__stream_decoder_flush(decoder_);
    return false;
  }

 private:
  static FlacDecoder& Of(void* data) { return *static_cast<FlacDecoder*>(data); }

  static FLAC__StreamDecoderReadStatus ReadCallback(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                                    size_t* bytes, void* data) {
    FlacDecoder& self = Of(data);
    int32_t n = 0;
    const int32_t wanted = static_cast<int32_t>(std::min<size_t>(*bytes, INT32_MAX));
    if (!self.Guard([&] { n = self.stream_->Read(buffer, wanted); })) {
      *bytes = 0;
      return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    *bytes = n > 0 ? static_cast<size_t>(n) : 0;
    return n > 0 ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
  }

  static FLAC__StreamDecoderSeekStatus SeekCallback(const FLAC__StreamDecoder*, FLAC__uint64 offset,
                                                    void* data) {
    FlacDecoder& self = Of(data);
    if (offset > static_cast<FLAC__uint64>(INT32_MAX - self.base_))
      return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    int32_t at = -1;
    if (!self.Guard([&] { at = self.stream_->Seek(static_cast<int32_t>(offset) + self.base_); }) || at < 0)
      return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
  }

  static FLAC__StreamDecoderTellStatus TellCallback(const FLAC__StreamDecoder*, FLAC__uint64* offset,
                                                    void* data) {
    FlacDecoder& self = Of(data);
    int32_t at = -1;
    if (!self.Guard([&] { at = self.stream_->Pos() - self.base_; }) || at < 0)
      return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
    *offset = static_cast<FLAC__uint64>(at);
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
  }

  static FLAC__StreamDecoderLengthStatus LengthCallback(const FLAC__StreamDecoder*, FLAC__uint64* length,
                                                        void* data) {
    FlacDecoder& self = Of(data);
    int32_t size = -1;
    if (!self.Guard([&] { size = self.stream_->Size() - self.base_; }) || size < 0)
      return FLAC__STREAM_DECODER_LENGTH_STATUS_UNSUPPORTED;
    *length = static_cast<FLAC__uint64>(size);
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
  }

  static FLAC__bool EofCallback(const FLAC__StreamDecoder*, void* data) {
    FlacDecoder& self = Of(data);
    bool eof = true;
    self.Guard([&] { eof = self.stream_->Eof() != 0; });
    return eof;
  }

  static FLAC__StreamDecoderWriteStatus WriteCallback(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                      const FLAC__int32* const buffer[], void* data) {
    FlacDecoder& self = Of(data);
    // A frame whose layout differs from the stream's announced one is damage: stop there.
    if (static_cast<int32_t>(frame->header.channels) != self.channels_ ||
        frame->header.bits_per_sample == 0 || frame->header.bits_per_sample > 32) {
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const unsigned bits = frame->header.bits_per_sample;
    const unsigned frames = frame->header.blocksize;
    self.pending_.resize(static_cast<size_t>(frames) * self.channels_);
    self.taken_ = 0;
    for (unsigned i = 0; i < frames; ++i) {
      for (int32_t c = 0; c < self.channels_; ++c) {
        const int64_t v = buffer[c][i];
        const int64_t scaled = bits > 16 ? v >> (bits - 16) : v * (int64_t{1} << (16 - bits));
        self.pending_[static_cast<size_t>(i) * self.channels_ + c] =
            static_cast<int16_t>(std::clamp<int64_t>(scaled, INT16_MIN, INT16_MAX));
      }
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }

  static void MetadataCallback(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* data) {
    FlacDecoder& self = Of(data);
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO) return;
    const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
    self.info_ = true;
    self.channels_ = static_cast<int32_t>(info.channels);
    self.hertz_ = info.sample_rate <= INT32_MAX ? static_cast<int32_t>(info.sample_rate) : 0;
    self.frames_ = info.total_samples > 0 ? static_cast<int64_t>(info.total_samples) : -1;
  }

  // Lost sync and bad frames: libFLAC goes on at the next frame it finds, as its own tool does.
  static void ErrorCallback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

  Ref<TStream> stream_;
  int32_t base_;
  FLAC__StreamDecoder* decoder_ = nullptr;
  std::vector<int16_t> pending_;  // the last decoded frame block
  size_t taken_ = 0;              // values of it already handed out
  bool info_ = false;
  bool ended_ = false;
  bool error_ = false;
};

}  // namespace

std::unique_ptr<SoundDecoder> OpenFlacDecoder(const Ref<TStream>& stream) {
  // libFLAC scans for a frame when the "fLaC" mark is missing: look for the mark first.
  char mark[4] = {};
  const int32_t start = stream->Pos();
  if (stream->Read(mark, 4) != 4 || std::memcmp(mark, "fLaC", 4) != 0) return nullptr;
  stream->Seek(start);
  auto decoder = std::make_unique<FlacDecoder>(stream, start);
  if (!decoder->Open()) {
    if (decoder->Failure()) std::rethrow_exception(decoder->Failure());
    SetLastError(decoder->Why());
    return nullptr;
  }
  return decoder;
}

Ref<TAudioSample> TAudioSampleLoaderFLAC::LoadFrom(const Ref<TStream>& stream) {
  const std::unique_ptr<SoundDecoder> decoder = OpenFlacDecoder(stream);
  return decoder ? DecodeWhole(*decoder) : Null;
}

void InitFlacLoaderModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  new TAudioSampleLoaderFLAC();  // the chain holds it for the rest of the process
}

}  // namespace corvex
