// Memory streams: a stream over a fixed block of someone else's memory, and the factory that
// serves the "incbin" protocol with read-only memory streams over embedded files.
#pragma once

#include <cstdint>

#include "stream/Stream.h"
#include "stream/Url.h"

namespace corvex {

// Reads and writes a fixed block it neither owns nor copies; the block never grows and must
// outlive the stream. Close does nothing, so the stream stays usable.
class TRamStream : public TStream {
 public:
  // A stream at position 0 over `size` bytes at `address` (a negative size, or a null
  // address, gives an empty block).
  static Ref<TRamStream> Create(void* address, int32_t size, bool readable, bool writeable);

  // The position in the block.
  int32_t Pos() override { return pos_ + HeldTaken(); }
  // Whether the position has reached the block's end.
  bool Eof() override { return Pos() == size_; }
  // The block's size.
  int32_t Size() override { return size_; }
  // Moves to `position` clamped to 0 ... Size; answers it.
  int32_t Seek(int32_t position) override;
  // Copies out up to `count` bytes; 0 when not readable or at the end.
  int32_t Read(void* buffer, int32_t count) override;
  // Copies in up to `count` bytes, never past the block; 0 when not writeable or full.
  int32_t Write(const void* buffer, int32_t count) override;
  // As TStream's, taken straight from the block.
  String ReadLine() override;
  // The rest of the block when it is readable.
  std::span<const uint8_t> BytesAhead() override;

 private:
  TRamStream() = default;
  // Folds the bytes taken from HeldAhead into the position.
  void Settle() { pos_ += SettleHeld(); }
  // Holds the rest of the block, when it is readable, as HeldAhead.
  void Publish() { HoldAhead(buf_ + pos_, readable_ ? buf_ + size_ : buf_ + pos_); }

  int32_t pos_ = 0;
  int32_t size_ = 0;
  uint8_t* buf_ = nullptr;
  bool readable_ = false;
  bool writeable_ = false;
};

// Serves "incbin::name": a read-only memory stream over the embedded file of that exact name.
class TRamStreamFactory : public TStreamFactory {
 public:
  // A memory stream for "incbin" opened without writing; Null for anything else.
  Ref<TStream> CreateStream(const Url& url, const String& protocol, const String& path, bool readable,
                            bool writeable) override;
};

// TRamStream::Create under its free-function name.
Ref<TRamStream> NewMemoryStream(void* address, int32_t size, bool readable, bool writeable);

// The RAM-stream module's initialiser: registers the one "incbin" factory.
void InitRamStreamModule();

}  // namespace corvex
