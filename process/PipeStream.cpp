#include "process/PipeStream.h"

#include <algorithm>
#include <cstring>

#include "process/ProcessPlatform.h"
#include "runtime/Exceptions.h"

namespace corvex {

Ref<TPipeStream> TPipeStream::Create(platform::PipeHandle readEnd, platform::PipeHandle writeEnd) {
  Ref<TPipeStream> stream = New<TPipeStream>();
  stream->readEnd_ = readEnd;
  stream->writeEnd_ = writeEnd;
  return stream;
}

void TPipeStream::Close() {
  if (readEnd_ != platform::kNoPipe) {
    platform::ClosePipe(readEnd_);
    readEnd_ = platform::kNoPipe;
  }
  if (writeEnd_ != platform::kNoPipe) {
    platform::ClosePipe(writeEnd_);
    writeEnd_ = platform::kNoPipe;
  }
}

int32_t TPipeStream::Read(void* buffer, int32_t count) {
  if (readEnd_ == platform::kNoPipe || count <= 0) return 0;
  return platform::ReadPipe(readEnd_, buffer, count);
}

int32_t TPipeStream::Write(const void* buffer, int32_t count) {
  if (writeEnd_ == platform::kNoPipe || count <= 0) return 0;
  return platform::WritePipe(writeEnd_, buffer, count);
}

int32_t TPipeStream::BytesAvailable() {
  if (readEnd_ == platform::kNoPipe) return 0;
  return platform::PipeBytesAvailable(readEnd_);
}

ByteArray TPipeStream::ReadAvailable() {
  const int32_t available = BytesAvailable();
  if (available <= 0) return ByteArray();
  ByteArray bytes(available);
  const int32_t got = Read(bytes.Data(), available);
  // The waiting bytes normally arrive whole; a shorter read must not pass zeros off as data.
  return got == available ? bytes : bytes.Resized(got);
}

String TPipeStream::ReadLine() {
  int32_t available = BytesAvailable();
  if (available != 0) {
    available = std::min(available, kLineBufferSize - buffered_);
    if (available <= 0) throw TRuntimeException("PipeStream ReadBuffer Overflow");
    buffered_ += Read(buffer_.data() + buffered_, available);
  }

  const uint8_t* const first = buffer_.data();
  const uint8_t* const lf = std::find(first, first + buffered_, uint8_t{10});
  if (lf == first + buffered_) return String();

  const int32_t consumed = static_cast<int32_t>(lf - first) + 1;
  int32_t start = 0;
  int32_t end = consumed - 1;
  if (end > start && buffer_[end - 1] == 13) --end;
  if (end > start && buffer_[start] == 13) ++start;
  String line = String::FromBytes(first + start, static_cast<std::size_t>(end - start));

  buffered_ -= consumed;
  std::memmove(buffer_.data(), buffer_.data() + consumed, static_cast<std::size_t>(buffered_));
  return line;
}

}  // namespace corvex
