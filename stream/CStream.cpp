#include "stream/CStream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
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

int32_t TCStream::Read(void* buffer, int32_t count) {
  if (file_ == nullptr || count <= 0 || pos_ < 0) return 0;
  SwitchTo(LastTransfer::kRead);
  // Positions stay within 32 bits.
  const auto limit = static_cast<std::size_t>(std::min(count, INT32_MAX - pos_));
  const auto n = static_cast<int32_t>(std::fread(buffer, 1, limit, file_));
  pos_ += n;
  return n;
}

int32_t TCStream::Write(const void* buffer, int32_t count) {
  if (file_ == nullptr || count <= 0 || pos_ < 0) return 0;
  SwitchTo(LastTransfer::kWrite);
  const auto limit = static_cast<std::size_t>(std::min(count, INT32_MAX - pos_));
  const auto n = static_cast<int32_t>(std::fwrite(buffer, 1, limit, file_));
  pos_ += n;
  if (pos_ > size_) size_ = pos_;
  return n;
}

void TCStream::Flush() {
  if (file_ != nullptr) std::fflush(file_);
}

void TCStream::Close() {
  if (file_ == nullptr) return;
  Flush();
  std::fclose(file_);
  pos_ = 0;
  size_ = 0;
  file_ = nullptr;
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
