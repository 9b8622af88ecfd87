// Byte-order views of a stream: the byte-swapping wrapper that reads and writes big-endian
// values, and the "bigendian" / "littleendian" protocols.
#pragma once

#include "runtime/Object.h"
#include "runtime/String.h"
#include "stream/Stream.h"
#include "stream/Url.h"

namespace corvex {

// A wrapper that reverses the bytes of every multi-byte typed value. Typed values travel
// little-endian on a plain stream, so this is the big-endian view; single bytes, text and
// raw transfers pass through unchanged.
class TXEndianStream : public TStreamWrapper {
 public:
  // A new swapping wrapper around `stream`; Null for Null.
  static Ref<TXEndianStream> Create(const Ref<TStream>& stream);
  // The big-endian view of `stream`: Create(stream).
  static Ref<TStream> BigEndianView(const Ref<TStream>& stream);
  // The little-endian view of `stream`: the stream itself.
  static Ref<TStream> LittleEndianView(const Ref<TStream>& stream);

  // Swaps the 2 bytes at `bytes` in place.
  static void Swap2(void* bytes) noexcept;
  // Reverses the 4 bytes at `bytes` in place.
  static void Swap4(void* bytes) noexcept;
  // Reverses the 8 bytes at `bytes` in place.
  static void Swap8(void* bytes) noexcept;

  int32_t ReadShort() override;
  void WriteShort(int32_t value) override;
  int32_t ReadInt() override;
  void WriteInt(int32_t value) override;
  int64_t ReadLong() override;
  void WriteLong(int64_t value) override;
  float ReadFloat() override;
  void WriteFloat(float value) override;
  double ReadDouble() override;
  void WriteDouble(double value) override;
};

// Serves "bigendian::path" (the swapping view of what the path opens) and
// "littleendian::path" (what the path opens, unchanged).
class TXEndianStreamFactory : public TStreamFactory {
 public:
  Ref<TStream> CreateStream(const Url& url, const String& protocol, const String& path, bool readable,
                            bool writeable) override;
};

// The big-endian view of a stream (Null for Null).
Ref<TStream> BigEndianView(const Ref<TStream>& stream);
// The little-endian view of a stream: the stream itself.
Ref<TStream> LittleEndianView(const Ref<TStream>& stream);

// The byte-order stream module's initialiser: registers the "bigendian"/"littleendian" factory.
void InitEndianStreamModule();

}  // namespace corvex
