#include "stream/Stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

// Reads a fixed-width value: zero first, so that missing bytes at the end read as zero.
template <class T>
T ReadValue(TStream& stream) {
  T value{};
  stream.ReadBytes(&value, sizeof value);
  return value;
}

template <class T>
void WriteValue(TStream& stream, T value) {
  stream.WriteBytes(&value, sizeof value);
}

}  // namespace

String TStreamReadException::ToString() const {
  return "Error reading from stream";
}
String TStreamWriteException::ToString() const {
  return "Error writing to stream";
}

// ---- TIO defaults ----

bool TIO::Eof() {
  return Pos() == Size();
}
int32_t TIO::Pos() {
  return -1;
}
int32_t TIO::Size() {
  return 0;
}
int32_t TIO::Seek(int32_t) {
  return -1;
}
void TIO::Flush() {}
void TIO::Close() {}
int32_t TIO::Read(void*, int32_t) {
  throw TRuntimeException("Stream is not readable");
}
int32_t TIO::Write(const void*, int32_t) {
  throw TRuntimeException("Stream is not writeable");
}

// ---- TStream ----

int32_t TStream::ReadBytes(void* buffer, int32_t count) {
  auto* at = static_cast<uint8_t*>(buffer);
  int32_t remaining = count;
  while (remaining > 0 && !Eof()) {
    const int32_t n = Read(at, remaining);
    if (n <= 0) throw TStreamReadException();
    remaining -= n;
    at += n;
  }
  return count;
}

int32_t TStream::WriteBytes(const void* buffer, int32_t count) {
  const auto* at = static_cast<const uint8_t*>(buffer);
  int32_t remaining = count;
  while (remaining > 0) {
    const int32_t n = Write(at, remaining);
    if (n <= 0) throw TStreamWriteException();
    remaining -= n;
    at += n;
  }
  return count;
}

int32_t TStream::SkipBytes(int32_t count) {
  uint8_t scratch[1024];
  int32_t remaining = count;
  while (remaining > 0 && !Eof()) {
    const int32_t n = Read(scratch, std::min<int32_t>(remaining, sizeof scratch));
    if (n <= 0) throw TStreamReadException();
    remaining -= n;
  }
  return count;
}

int32_t TStream::ReadByte() {
  // A byte held ahead is the next one: taken without a call down to Read.
  const std::span<const uint8_t> held = HeldAhead();
  if (!held.empty()) {
    SkipAhead(1);
    return held[0];
  }
  return ReadValue<uint8_t>(*this);
}
void TStream::WriteByte(int32_t value) {
  WriteValue(*this, static_cast<uint8_t>(value));
}
int32_t TStream::ReadShort() {
  return ReadValue<uint16_t>(*this);
}
void TStream::WriteShort(int32_t value) {
  WriteValue(*this, static_cast<uint16_t>(value));
}
int32_t TStream::ReadInt() {
  return ReadValue<int32_t>(*this);
}
void TStream::WriteInt(int32_t value) {
  WriteValue(*this, value);
}
int64_t TStream::ReadLong() {
  return ReadValue<int64_t>(*this);
}
void TStream::WriteLong(int64_t value) {
  WriteValue(*this, value);
}
float TStream::ReadFloat() {
  return ReadValue<float>(*this);
}
void TStream::WriteFloat(float value) {
  WriteValue(*this, value);
}
double TStream::ReadDouble() {
  return ReadValue<double>(*this);
}
void TStream::WriteDouble(double value) {
  WriteValue(*this, value);
}

String TStream::ReadLine() {
  // One raw read per byte, collected in a 1 KiB buffer: long lines cost one append per KiB.
  String line;
  char line_buffer[1024];
  std::size_t filled = 0;
  for (;;) {
    uint8_t byte = 0;
    if (Read(&byte, 1) != 1) break;
    if (byte == 0 || byte == 10) break;
    if (byte == 13) continue;
    line_buffer[filled++] = static_cast<char>(byte);
    if (filled == sizeof line_buffer) {
      line += String::FromBytes(line_buffer, filled);
      filled = 0;
    }
  }
  if (filled > 0) line += String::FromBytes(line_buffer, filled);
  return line;
}

bool TStream::WriteLine(const String& text) {
  const std::string bytes = text.ToBytes();
  const auto length = static_cast<int32_t>(bytes.size());
  if (Write(bytes.data(), length) != length) return false;
  static constexpr uint8_t kLineEnd[2] = {13, 10};
  return Write(kLineEnd, 2) == 2;
}

String TStream::ReadString(int32_t length) {
  if (length <= 0) return String();
  std::vector<uint8_t> bytes(static_cast<std::size_t>(length), 0);
  ReadBytes(bytes.data(), length);
  return String::FromBytes(bytes.data(), bytes.size());
}

void TStream::WriteString(const String& text) {
  const std::string bytes = text.ToBytes();
  WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
}

Ref<Object> TStream::ReadObject() {
  throw TThrownString("Unable to read object");
}
void TStream::WriteObject(const Ref<Object>&) {
  throw TThrownString("Unable to write object");
}

std::size_t TakeLineBytes(const uint8_t* bytes, std::size_t count, std::string& line, bool& ended) {
  const auto* feed = static_cast<const uint8_t*>(std::memchr(bytes, 10, count));
  std::size_t length = feed ? static_cast<std::size_t>(feed - bytes) : count;
  if (const void* nul = std::memchr(bytes, 0, length))
    length = static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - bytes);
  ended = length < count;
  const char* at = reinterpret_cast<const char*>(bytes);
  const char* end = at + length;
  while (at < end) {
    const auto* cr = static_cast<const char*>(std::memchr(at, 13, static_cast<std::size_t>(end - at)));
    const char* stop = cr ? cr : end;
    line.append(at, stop);
    at = cr ? cr + 1 : end;
  }
  return ended ? length + 1 : length;
}

std::size_t WholeLineLength(const uint8_t* bytes, std::size_t count) noexcept {
  if (count == 0) return std::string::npos;  // (memchr must not see a null pointer)
  const auto* feed = static_cast<const uint8_t*>(std::memchr(bytes, 10, count));
  std::size_t length = feed ? static_cast<std::size_t>(feed - bytes) : count;
  if (const void* nul = std::memchr(bytes, 0, length))
    length = static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - bytes);
  if (length == count || std::memchr(bytes, 13, length) != nullptr) return std::string::npos;
  return length;
}

bool TakeWholeLine(const uint8_t* bytes, std::size_t count, String& line, std::size_t& taken) {
  const std::size_t length = WholeLineLength(bytes, count);
  if (length == std::string::npos) return false;
  line = String::FromBytes(bytes, length);
  taken = length + 1;
  return true;
}

std::span<const uint8_t> TStream::BytesAhead() {
  return {};
}

// ---- TStreamWrapper: forwards to the wrapped stream ----

void TStreamWrapper::SetStream(const Ref<TStream>& stream) {
  stream_ = stream;
}
bool TStreamWrapper::Eof() {
  return stream_->Eof();
}
int32_t TStreamWrapper::Pos() {
  return stream_->Pos();
}
int32_t TStreamWrapper::Size() {
  return stream_->Size();
}
int32_t TStreamWrapper::Seek(int32_t position) {
  return stream_->Seek(position);
}
void TStreamWrapper::Flush() {
  stream_->Flush();
}
void TStreamWrapper::Close() {
  stream_->Close();
}
int32_t TStreamWrapper::Read(void* buffer, int32_t count) {
  return stream_->Read(buffer, count);
}
int32_t TStreamWrapper::Write(const void* buffer, int32_t count) {
  return stream_->Write(buffer, count);
}
int32_t TStreamWrapper::ReadByte() {
  return stream_->ReadByte();
}
void TStreamWrapper::WriteByte(int32_t value) {
  stream_->WriteByte(value);
}
int32_t TStreamWrapper::ReadShort() {
  return stream_->ReadShort();
}
void TStreamWrapper::WriteShort(int32_t value) {
  stream_->WriteShort(value);
}
int32_t TStreamWrapper::ReadInt() {
  return stream_->ReadInt();
}
void TStreamWrapper::WriteInt(int32_t value) {
  stream_->WriteInt(value);
}
int64_t TStreamWrapper::ReadLong() {
  return stream_->ReadLong();
}
void TStreamWrapper::WriteLong(int64_t value) {
  stream_->WriteLong(value);
}
float TStreamWrapper::ReadFloat() {
  return stream_->ReadFloat();
}
void TStreamWrapper::WriteFloat(float value) {
  stream_->WriteFloat(value);
}
double TStreamWrapper::ReadDouble() {
  return stream_->ReadDouble();
}
void TStreamWrapper::WriteDouble(double value) {
  stream_->WriteDouble(value);
}
String TStreamWrapper::ReadLine() {
  return stream_->ReadLine();
}
bool TStreamWrapper::WriteLine(const String& text) {
  return stream_->WriteLine(text);
}
String TStreamWrapper::ReadString(int32_t length) {
  return stream_->ReadString(length);
}
void TStreamWrapper::WriteString(const String& text) {
  stream_->WriteString(text);
}
Ref<Object> TStreamWrapper::ReadObject() {
  return stream_->ReadObject();
}
void TStreamWrapper::WriteObject(const Ref<Object>& object) {
  stream_->WriteObject(object);
}

Ref<TStreamStream> TStreamStream::Create(const Ref<TStream>& stream) {
  auto wrapper = New<TStreamStream>();
  wrapper->SetStream(stream);
  return wrapper;
}

void TStreamStream::Close() {
  SetStream(Null);
}

// ---- free functions ----

bool StreamEof(const Ref<TStream>& stream) {
  return stream->Eof();
}
int32_t StreamPosition(const Ref<TStream>& stream) {
  return stream->Pos();
}
int32_t StreamLength(const Ref<TStream>& stream) {
  return stream->Size();
}
int32_t SeekStream(const Ref<TStream>& stream, int32_t position) {
  return stream->Seek(position);
}
void FlushStream(const Ref<TStream>& stream) {
  stream->Flush();
}
void CloseStream(const Ref<TStream>& stream) {
  stream->Close();
}
int32_t ReadByte(const Ref<TStream>& stream) {
  return stream->ReadByte();
}
int32_t ReadShort(const Ref<TStream>& stream) {
  return stream->ReadShort();
}
int32_t ReadInt(const Ref<TStream>& stream) {
  return stream->ReadInt();
}
int64_t ReadLong(const Ref<TStream>& stream) {
  return stream->ReadLong();
}
float ReadFloat(const Ref<TStream>& stream) {
  return stream->ReadFloat();
}
double ReadDouble(const Ref<TStream>& stream) {
  return stream->ReadDouble();
}
void WriteByte(const Ref<TStream>& stream, int32_t value) {
  stream->WriteByte(value);
}
void WriteShort(const Ref<TStream>& stream, int32_t value) {
  stream->WriteShort(value);
}
void WriteInt(const Ref<TStream>& stream, int32_t value) {
  stream->WriteInt(value);
}
void WriteLong(const Ref<TStream>& stream, int64_t value) {
  stream->WriteLong(value);
}
void WriteFloat(const Ref<TStream>& stream, float value) {
  stream->WriteFloat(value);
}
void WriteDouble(const Ref<TStream>& stream, double value) {
  stream->WriteDouble(value);
}
String ReadString(const Ref<TStream>& stream, int32_t length) {
  return stream->ReadString(length);
}
void WriteString(const Ref<TStream>& stream, const String& text) {
  stream->WriteString(text);
}
String ReadLine(const Ref<TStream>& stream) {
  return stream->ReadLine();
}
bool WriteLine(const Ref<TStream>& stream, const String& text) {
  return stream->WriteLine(text);
}

void CopyStreamToEnd(const Ref<TStream>& source, const Ref<TStream>& destination, int32_t bufferSize) {
  std::vector<uint8_t> buffer(static_cast<std::size_t>(std::max<int32_t>(bufferSize, 1)));
  const auto size = static_cast<int32_t>(buffer.size());
  while (!source->Eof()) {
    const int32_t n = source->Read(buffer.data(), size);
    if (n <= 0) break;  // a source that delivers nothing without reaching its end
    destination->WriteBytes(buffer.data(), n);
  }
}

void CopyStreamBytes(const Ref<TStream>& source, const Ref<TStream>& destination, int32_t count,
                     int32_t bufferSize) {
  std::vector<uint8_t> buffer(static_cast<std::size_t>(std::max<int32_t>(bufferSize, 1)));
  const auto size = static_cast<int32_t>(buffer.size());
  while (count > 0) {
    const int32_t n = std::min(count, size);
    source->ReadBytes(buffer.data(), n);
    destination->WriteBytes(buffer.data(), n);
    count -= n;
  }
}

void InitStreamModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
}

}  // namespace corvex
