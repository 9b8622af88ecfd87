#include "stream/RamStream.h"

#include <algorithm>
#include <cstring>

#include "runtime/LastError.h"
#include "runtime/Module.h"
#include "stream/EmbeddedFiles.h"

namespace corvex {

Ref<TRamStream> TRamStream::Create(void* address, int32_t size, bool readable, bool writeable) {
  Ref<TRamStream> stream(new TRamStream());
  stream->buf_ = static_cast<uint8_t*>(address);
  stream->size_ = address != nullptr ? std::max(size, 0) : 0;
  stream->readable_ = readable;
  stream->writeable_ = writeable;
  stream->Publish();
  return stream;
}

int32_t TRamStream::Seek(int32_t position) {
  pos_ = std::clamp(position, 0, size_);
  Publish();
  return pos_;
}

std::span<const uint8_t> TRamStream::BytesAhead() {
  return HeldAhead();
}

String TRamStream::ReadLine() {
  Settle();
  if (!readable_ || pos_ >= size_) return TStream::ReadLine();
  String whole;
  std::size_t taken = 0;
  if (TakeWholeLine(buf_ + pos_, static_cast<std::size_t>(size_ - pos_), whole, taken)) {
    pos_ += static_cast<int32_t>(taken);
    Publish();
    return whole;
  }
  std::string line;
  bool ended = false;
  pos_ +=
      static_cast<int32_t>(TakeLineBytes(buf_ + pos_, static_cast<std::size_t>(size_ - pos_), line, ended));
  Publish();
  return String::FromBytes(line.data(), line.size());
}

int32_t TRamStream::Read(void* buffer, int32_t count) {
  Settle();
  if (count <= 0 || !readable_ || pos_ >= size_) return 0;
  const int32_t n = std::min(count, size_ - pos_);
  std::memcpy(buffer, buf_ + pos_, static_cast<std::size_t>(n));
  pos_ += n;
  Publish();
  return n;
}

int32_t TRamStream::Write(const void* buffer, int32_t count) {
  Settle();
  if (count <= 0 || !writeable_ || pos_ >= size_) return 0;
  const int32_t n = std::min(count, size_ - pos_);
  std::memcpy(buf_ + pos_, buffer, static_cast<std::size_t>(n));
  pos_ += n;
  Publish();
  return n;
}

Ref<TStream> TRamStreamFactory::CreateStream(const Url&, const String& protocol, const String& path,
                                             bool readable, bool writeable) {
  if (protocol != String("incbin")) return Null;
  if (writeable) return FailNull("embedded files are read-only");
  const uint8_t* data = EmbeddedFileData(path);
  if (data == nullptr) return FailNull("no such embedded file");
  // Embedded bytes are read-only; the stream is made unwriteable, so it never writes them.
  return TRamStream::Create(const_cast<uint8_t*>(data), EmbeddedFileSize(path), readable, false);
}

Ref<TRamStream> NewMemoryStream(void* address, int32_t size, bool readable, bool writeable) {
  return TRamStream::Create(address, size, readable, writeable);
}

void InitRamStreamModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  New<TRamStreamFactory>();  // the chain keeps it for the rest of the process
}

}  // namespace corvex
