// Streams over the C runtime's buffered files: TCStream for files on disk, TCStandardIO for
// the process's standard input and output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "stream/Stream.h"

namespace corvex {

// A file stream over a stdio FILE. Positions and sizes are 32-bit, so files of 2 GiB and more
// are refused and the stream never writes past 2 GiB - 1. Destroying the stream closes nothing:
// its owner calls Close.
class TCStream : public TStream {
 public:
  // How the file was opened.
  enum Mode : int32_t { kModeRead = 1, kModeWrite = 2, kModeReadWrite = 3 };

  // Opens a file: readable and writeable keeps an existing file's contents ("r+b"), writeable
  // only creates or truncates ("wb"), anything else reads ("rb"). '\' counts as '/'. Answers
  // Null when the file does not open, is a directory or is too large.
  static Ref<TCStream> OpenFile(const String& path, bool readable, bool writeable);
  // Wraps an open FILE at its current position. Answers Null, leaving the handle to the
  // caller, when it is null, cannot seek (a pipe, a terminal) or is too large.
  static Ref<TCStream> FromFileHandle(std::FILE* file, int32_t mode);

  // What this stream read and wrote since it opened or last moved.
  int32_t Pos() override { return pos_ + HeldTaken(); }
  // Whether Pos has reached Size.
  bool Eof() override { return Pos() == size_; }
  // The file's size when opened, grown by this stream's own writes.
  int32_t Size() override { return size_; }
  // Moves to `position` (a negative one counts as 0); answers the position reached, -1 once
  // closed.
  int32_t Seek(int32_t position) override;
  // Hands buffered writes to the file.
  void Flush() override;
  // Flushes and closes the file; afterwards Pos and Size are 0 and reads and writes answer 0.
  void Close() override;
  // Reads at most `count` bytes; 0 at the end of the file or once closed.
  int32_t Read(void* buffer, int32_t count) override;
  // Writes at most `count` bytes; 0 when the file refuses them or once closed.
  int32_t Write(const void* buffer, int32_t count) override;
  // As TStream's, served from the read-ahead.
  String ReadLine() override;
  // The read-ahead, up to the file's size.
  std::span<const uint8_t> BytesAhead() override;

  // The Mode the file was opened with.
  int32_t OpenMode() const noexcept { return mode_; }

 private:
  // The direction of the last transfer: stdio needs a positioning call between a write and a
  // read (or back) on files open for both.
  enum class LastTransfer { kNone, kRead, kWrite };

  TCStream() = default;
  void SwitchTo(LastTransfer direction);
  // Reads a block ahead into `ahead_` (which is empty); false when nothing came.
  bool FillAhead();
  // Copies up to `count` bytes out of the read-ahead; answers how many.
  int32_t TakeAhead(uint8_t* buffer, int32_t count);
  // Puts the file back at the stream's position, dropping the read-ahead, before anything
  // other than a read touches the file.
  void DropAhead();
  // Folds the bytes taken from HeldAhead into the position and the read-ahead.
  void Settle();
  // Holds the read-ahead, up to the file's size, as HeldAhead.
  void Publish();

  // Bytes read from the file but not yet handed out: the file's next bytes from pos_ on, so
  // that lines and single bytes are taken without a call into stdio each.
  static constexpr int32_t kAheadSize = 16 << 10;
  std::unique_ptr<uint8_t[]> ahead_;
  int32_t aheadAt_ = 0;
  int32_t aheadEnd_ = 0;

  int32_t pos_ = 0;
  int32_t size_ = 0;
  std::FILE* file_ = nullptr;
  int32_t mode_ = 0;
  LastTransfer last_ = LastTransfer::kNone;
};

// Reads standard input and writes standard output. It has no position or size, never reports
// its end (ReadBytes raises TStreamReadException when input runs out) and Close does nothing.
class TCStandardIO : public TStream {
 public:
  // Flushes standard output.
  void Flush() override;
  // Reads at most `count` bytes from standard input; 0 when it has ended.
  int32_t Read(void* buffer, int32_t count) override;
  // Writes at most `count` bytes to standard output.
  int32_t Write(const void* buffer, int32_t count) override;
};

}  // namespace corvex
