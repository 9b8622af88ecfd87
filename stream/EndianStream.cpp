#include "stream/EndianStream.h"

#include <algorithm>
#include <cstring>

#include "runtime/Module.h"

namespace corvex {
namespace {

// Reverses the bytes of a fixed-width value in place.
void Reverse(uint8_t* bytes, std::size_t width) noexcept {
  std::reverse(bytes, bytes + width);
}

// Reads a value's bytes through the stream's own ReadBytes (missing bytes stay zero and are
// swapped along), then reverses them.
template <class T>
T ReadSwapped(TStream& stream) {
  uint8_t bytes[sizeof(T)] = {};
  stream.ReadBytes(bytes, sizeof bytes);
  Reverse(bytes, sizeof bytes);
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

template <class T>
void WriteSwapped(TStream& stream, T value) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof bytes);
  Reverse(bytes, sizeof bytes);
  stream.WriteBytes(bytes, sizeof bytes);
}

}  // namespace

Ref<TXEndianStream> TXEndianStream::Create(const Ref<TStream>& stream) {
  if (stream.IsNull()) return Null;
  auto wrapper = New<TXEndianStream>();
  wrapper->SetStream(stream);
  return wrapper;
}

Ref<TStream> TXEndianStream::BigEndianView(const Ref<TStream>& stream) {
  return Create(stream);
}
Ref<TStream> TXEndianStream::LittleEndianView(const Ref<TStream>& stream) {
  return stream;
}

void TXEndianStream::Swap2(void* bytes) noexcept {
  Reverse(static_cast<uint8_t*>(bytes), 2);
}
void TXEndianStream::Swap4(void* bytes) noexcept {
  Reverse(static_cast<uint8_t*>(bytes), 4);
}
void TXEndianStream::Swap8(void* bytes) noexcept {
  Reverse(static_cast<uint8_t*>(bytes), 8);
}

int32_t TXEndianStream::ReadShort() {
  return ReadSwapped<uint16_t>(*this);
}
void TXEndianStream::WriteShort(int32_t value) {
  WriteSwapped(*this, static_cast<uint16_t>(value));
}
int32_t TXEndianStream::ReadInt() {
  return ReadSwapped<int32_t>(*this);
}
void TXEndianStream::WriteInt(int32_t value) {
  WriteSwapped(*this, value);
}
int64_t TXEndianStream::ReadLong() {
  return ReadSwapped<int64_t>(*this);
}
void TXEndianStream::WriteLong(int64_t value) {
  WriteSwapped(*this, value);
}
float TXEndianStream::ReadFloat() {
  return ReadSwapped<float>(*this);
}
void TXEndianStream::WriteFloat(float value) {
  WriteSwapped(*this, value);
}
double TXEndianStream::ReadDouble() {
  return ReadSwapped<double>(*this);
}
void TXEndianStream::WriteDouble(double value) {
  WriteSwapped(*this, value);
}

Ref<TStream> TXEndianStreamFactory::CreateStream(const Url&, const String& protocol, const String& path,
                                                 bool readable, bool writeable) {
  if (protocol == String("bigendian")) return BigEndianView(OpenStream(path, readable, writeable));
  if (protocol == String("littleendian")) return LittleEndianView(OpenStream(path, readable, writeable));
  return Null;
}

Ref<TStream> BigEndianView(const Ref<TStream>& stream) {
  return TXEndianStream::BigEndianView(stream);
}
Ref<TStream> LittleEndianView(const Ref<TStream>& stream) {
  return TXEndianStream::LittleEndianView(stream);
}

void InitEndianStreamModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  New<TXEndianStreamFactory>();  // the chain keeps it for the life of the process
}

}  // namespace corvex
