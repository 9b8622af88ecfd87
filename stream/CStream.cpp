#include "stream/CStream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "runtime/FileSystemPlatform.h"
#include "runtime/LastError.h"

namespace corvex {
namespace {

// Whether the path names a directory: stdio opens directories for reading on some platforms,
// which would give a stream that can never deliver a byte.
bool IsDirectory(const std::string& path) {
  platform::PathStatus status;
  return platform::QueryPath(path, status) &&
         (status.mode & platform::kModeTypeMask) == platform::kModeDirectory;
}

}  // namespace

Ref<TCStream> TCStream::OpenFile(const String& path, bool readable, bool writeable) {
  const char* modeText = "rb";
  int32_t mode = kModeRead;
  if (readable && writeable) {
    modeText = "r+b";
    mode = kModeReadWrite;
  } else if (writeable) {
    modeText = "wb";
    mode = kModeWrite;
  }
  const std::string bytes = path.Replace(u'\\', u'/').ToBytes();
  const ErrorSubject subject(&path);
  // A NUL would cut the name short and open some other file.
  if (bytes.empty() || bytes.find('\0') != std::string::npos) return FailNull("no such file");
  if (IsDirectory(bytes)) return FailNull("is a directory");
  std::FILE* file = std::fopen(bytes.c_str(), modeText);
  if (file == nullptr) return FailNull(ErrnoText(errno));
  Ref<TCStream> stream = FromFileHandle(file, mode);
  if (!stream) {
    SetLastError("not a seekable file");
    std::fclose(file);
  }
  return stream;
}

Ref<TCStream> TCStream::FromFileHandle(std::FILE* file, int32_t mode) {
  if (file == nullptr) return Null;
  const long pos = std::ftell(file);
  if (pos < 0) return Null;
  const bool measured = std::fseek(file, 0, SEEK_END) == 0;
  const long size = measured ? std::ftell(file) : -1;
  std::fseek(file, pos, SEEK_SET);
  if (size < 0 || size > INT32_MAX || pos > INT32_MAX) return Null;
  Ref<TCStream> stream(new TCStream());
  stream->file_ = file;
  stream->pos_ = static_cast<int32_t>(pos);
  stream->size_ = static_cast<int32_t>(size);
  stream->mode_ = mode;
  return stream;
}

int32_t TCStream::Seek(int32_t position) {
  if (file_ == nullptr) return -1;
  aheadAt_ = aheadEnd_ = 0;
  Publish();
  // A refused seek (a negative position) leaves the file where it was; either way the position
  // actually reached is what the file reports.
  std::fseek(file_, position, SEEK_SET);
  last_ = LastTransfer::kNone;
  const long reached = std::ftell(file_);
  pos_ = reached >= 0 && reached <= INT32_MAX ? static_cast<int32_t>(reached) : -1;
  return pos_;
}

void TCStream::SwitchTo(LastTransfer direction) {
  if (last_ != LastTransfer::kNone && last_ != direction) std::fseek(file_, 0, SEEK_CUR);
  last_ = direction;
}

bool TCStream::FillAhead() {
  SwitchTo(LastTransfer::kRead);
  if (!ahead_) ahead_ = std::make_unique_for_overwrite<uint8_t[]>(kAheadSize);
  // Positions stay within 32 bits.
  const auto limit = static_cast<std::size_t>(std::min(kAheadSize, INT32_MAX - pos_));
  aheadAt_ = 0;
  aheadEnd_ = static_cast<int32_t>(std::fread(ahead_.get(), 1, limit, file_));
  return aheadEnd_ > 0;
}

int32_t TCStream::TakeAhead(uint8_t* buffer, int32_t count) {
  const int32_t n = std::min(count, aheadEnd_ - aheadAt_);
  if (n <= 0) return 0;
  std::memcpy(buffer, ahead_.get() + aheadAt_, static_cast<std::size_t>(n));
  aheadAt_ += n;
  pos_ += n;
  return n;
}

void TCStream::DropAhead() {
  if (aheadAt_ < aheadEnd_) std::fseek(file_, pos_, SEEK_SET);
  aheadAt_ = aheadEnd_ = 0;
}

int32_t TCStream::Read(void* buffer, int32_t count) {
  if (file_ == nullptr || count <= 0 || pos_ < 0) return 0;
  Settle();
  // Positions stay within 32 bits.
  const int32_t limit = std::min(count, INT32_MAX - pos_);
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t n = TakeAhead(out, limit);
  if (n < limit && limit - n >= kAheadSize) {
    SwitchTo(LastTransfer::kRead);
    const auto direct =
        static_cast<int32_t>(std::fread(out + n, 1, static_cast<std::size_t>(limit - n), file_));
    pos_ += direct;
    n += direct;
  } else if (n < limit && FillAhead()) {
    n += TakeAhead(out + n, limit - n);
  }
  Publish();
  return n;
}

std::span<const uint8_t> TCStream::BytesAhead() {
  Settle();
  if (file_ != nullptr && pos_ >= 0 && pos_ < size_ && aheadAt_ == aheadEnd_) FillAhead();
  Publish();
  return HeldAhead();
}

void TCStream::Settle() {
  const int32_t taken = SettleHeld();
  aheadAt_ += taken;
  pos_ += taken;
}

void TCStream::Publish() {
  const int32_t held = pos_ >= 0 && pos_ < size_ ? std::min(aheadEnd_ - aheadAt_, size_ - pos_) : 0;
  const uint8_t* from = ahead_.get() + aheadAt_;
  HoldAhead(from, from + held);
}

String TCStream::ReadLine() {
  if (file_ == nullptr || pos_ < 0) return TStream::ReadLine();
  Settle();
  String whole;
  std::size_t taken = 0;
  if (aheadAt_ < aheadEnd_ &&
      TakeWholeLine(ahead_.get() + aheadAt_, static_cast<std::size_t>(aheadEnd_ - aheadAt_), whole, taken)) {
    aheadAt_ += static_cast<int32_t>(taken);
    pos_ += static_cast<int32_t>(taken);
    Publish();
    return whole;
  }
  std::string line;
  bool ended = false;
  while (!ended && (aheadAt_ < aheadEnd_ || FillAhead())) {
    const std::size_t part =
        TakeLineBytes(ahead_.get() + aheadAt_, static_cast<std::size_t>(aheadEnd_ - aheadAt_), line, ended);
    aheadAt_ += static_cast<int32_t>(part);
    pos_ += static_cast<int32_t>(part);
  }
  Publish();
  return String::FromBytes(line.data(), line.size());
}

int32_t TCStream::Write(const void* buffer, int32_t count) {
  if (file_ == nullptr || count <= 0 || pos_ < 0) return 0;
  Settle();
  DropAhead();
  Publish();
  SwitchTo(LastTransfer::kWrite);
  const auto limit = static_cast<std::size_t>(std::min(count, INT32_MAX - pos_));
  const auto n = static_cast<int32_t>(std::fwrite(buffer, 1, limit, file_));
  pos_ += n;
  if (pos_ > size_) size_ = pos_;
  return n;
}

void TCStream::Flush() {
  if (file_ == nullptr) return;
  Settle();
  DropAhead();
  Publish();
  std::fflush(file_);
}

void TCStream::Close() {
  if (file_ == nullptr) return;
  Flush();
  std::fclose(file_);
  aheadAt_ = aheadEnd_ = 0;
  pos_ = 0;
  size_ = 0;
  file_ = nullptr;
  Publish();
  last_ = LastTransfer::kNone;
}

void TCStandardIO::Flush() {
  std::fflush(stdout);
}

int32_t TCStandardIO::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  return static_cast<int32_t>(std::fread(buffer, 1, static_cast<std::size_t>(count), stdin));
}

int32_t TCStandardIO::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  return static_cast<int32_t>(std::fwrite(buffer, 1, static_cast<std::size_t>(count), stdout));
}

}  // namespace corvex
