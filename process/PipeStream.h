// A stream over a pair of pipe ends, with a line reader that never waits, for polling a child
// process from a frame loop.
#pragma once

#include <array>
#include <cstdint>

#include "process/ProcessHandles.h"
#include "runtime/Array.h"
#include "stream/Stream.h"

namespace corvex {

// Reads from one pipe end and writes to another (either may be none). It has no position and
// no size and never reports its end: a drained pipe whose writer has gone reads 0 bytes.
// Destroying it closes nothing; its owner calls Close.
class TPipeStream : public TStream {
 public:
  // Capacity of the line reader's buffer.
  static constexpr int32_t kLineBufferSize = 4096;

  // Closes the read end, then the write end; a second Close does nothing.
  void Close() override;
  // One read that waits until the other side writes; 0 at end of file, on failure or without a
  // read end.
  int32_t Read(void* buffer, int32_t count) override;
  // One write; 0 on failure (also when the reader has gone) or without a write end.
  int32_t Write(const void* buffer, int32_t count) override;
  // Takes only what is already waiting into the line buffer and answers the first complete line
  // there (without LF, one CR before the LF and one at its start dropped), or "" while no line is
  // complete. Raises "PipeStream ReadBuffer Overflow" when the buffer is full and more waits.
  String ReadLine() override;

  // Bytes that can be read without waiting; 0 when the query fails.
  virtual int32_t BytesAvailable();
  // What one read of the waiting bytes delivered; empty when nothing waits.
  virtual ByteArray ReadAvailable();
  // A new pipe stream over the two ends (either may be platform::kNoPipe).
  static Ref<TPipeStream> Create(platform::PipeHandle readEnd, platform::PipeHandle writeEnd);

 private:
  std::array<uint8_t, kLineBufferSize> buffer_{};
  int32_t buffered_ = 0;
  platform::PipeHandle readEnd_ = platform::kNoPipe;
  platform::PipeHandle writeEnd_ = platform::kNoPipe;
};

}  // namespace corvex
