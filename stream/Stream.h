// The root of the stream hierarchy: the raw TIO operations, the TStream operations built on
// them, the stream exceptions, and the free-function forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

// Base of the stream errors; its text form is the root object's.
class TStreamException : public Object {};

// Raised when a read that must complete cannot make progress.
class TStreamReadException : public TStreamException {
 public:
  String ToString() const override;
};

// Raised when a write that must complete cannot make progress.
class TStreamWriteException : public TStreamException {
 public:
  String ToString() const override;
};

// The eight raw operations, with harmless defaults: a concrete stream overrides only what it
// supports. Reading or writing a stream that does not support it raises TRuntimeException.
class TIO : public Object {
 public:
  // Whether the stream is at its end: Pos equals Size (never, with both defaults).
  virtual bool Eof();
  // The position, -1 when the stream has none.
  virtual int32_t Pos();
  // The size in bytes, 0 when the stream has none.
  virtual int32_t Size();
  // Moves to `position`; answers the position reached, -1 when the stream cannot seek.
  virtual int32_t Seek(int32_t position);
  virtual void Flush();
  virtual void Close();
  // Reads at most `count` bytes; answers how many (0: nothing could be read).
  virtual int32_t Read(void* buffer, int32_t count);
  // Writes at most `count` bytes; answers how many (0: nothing could be written).
  virtual int32_t Write(const void* buffer, int32_t count);
};

// Everything callers use, built on the raw operations. Typed values travel little-endian;
// text maps one byte to one code unit. Destroying a stream closes nothing: owners call Close.
class TStream : public TIO {
 public:
  // Reads until `count` bytes arrived or the stream ended (the rest of the buffer untouched);
  // a read that makes no progress before the end raises TStreamReadException. Answers count.
  virtual int32_t ReadBytes(void* buffer, int32_t count);
  // Writes all `count` bytes; a write that makes no progress raises TStreamWriteException.
  virtual int32_t WriteBytes(const void* buffer, int32_t count);
  // Reads and drops `count` bytes, stopping quietly at the end. Answers count.
  virtual int32_t SkipBytes(int32_t count);
  virtual int32_t ReadByte();
  virtual void WriteByte(int32_t value);
  virtual int32_t ReadShort();
  virtual void WriteShort(int32_t value);
  virtual int32_t ReadInt();
  virtual void WriteInt(int32_t value);
  virtual int64_t ReadLong();
  virtual void WriteLong(int64_t value);
  virtual float ReadFloat();
  virtual void WriteFloat(float value);
  virtual double ReadDouble();
  virtual void WriteDouble(double value);
  // One line: LF or NUL ends it, CR is dropped wherever it stands; empty at the end.
  virtual String ReadLine();
  // The text's low bytes and CR LF; answers whether every byte was accepted.
  virtual bool WriteLine(const String& text);
  // `length` bytes as code units (zero past the end); a negative length gives "".
  virtual String ReadString(int32_t length);
  // The text's low bytes, no terminator.
  virtual void WriteString(const String& text);
  // Hooks for object-serialising streams; here they throw "Unable to read/write object".
  virtual Ref<Object> ReadObject();
  virtual void WriteObject(const Ref<Object>& object);

  // The bytes a stream that reads ahead holds from its position on, which its next reads hand
  // out, without taking them; it may read ahead to have some (waiting as a read would). Empty
  // here, and wherever the stream has ended. Lets text be decoded a block at a time.
  virtual std::span<const uint8_t> BytesAhead();
  // The bytes ahead that the stream already holds out, without a call or a read: what
  // BytesAhead would answer, or empty (always, for streams that do not read ahead).
  std::span<const uint8_t> HeldAhead() const noexcept {
    return {readNext_, static_cast<std::size_t>(readEnd_ - readNext_)};
  }
  // Takes the first `count` bytes of HeldAhead (or of what BytesAhead answered) as a read would.
  void SkipAhead(int32_t count) noexcept { readNext_ += count; }

 protected:
  // For streams that read ahead: makes [from, to) the bytes held ahead.
  void HoldAhead(const uint8_t* from, const uint8_t* to) noexcept {
    heldFrom_ = readNext_ = from;
    readEnd_ = to;
  }
  // How many held bytes were taken since HoldAhead.
  int32_t HeldTaken() const noexcept { return static_cast<int32_t>(readNext_ - heldFrom_); }
  // The same, counted as settled: the stream folds them into its own position.
  int32_t SettleHeld() noexcept {
    const int32_t taken = HeldTaken();
    heldFrom_ = readNext_;
    return taken;
  }

 private:
  // The bytes held ahead, kept here so that callers take them without a virtual call each.
  const uint8_t* heldFrom_ = nullptr;
  const uint8_t* readNext_ = nullptr;
  const uint8_t* readEnd_ = nullptr;
};

// A stream that forwards every operation to the stream it wraps (ReadBytes, WriteBytes and
// SkipBytes run on the forwarded raw operations). Closing it closes the wrapped stream.
class TStreamWrapper : public TStream {
 public:
  // Replaces the wrapped stream.
  virtual void SetStream(const Ref<TStream>& stream);
  const Ref<TStream>& WrappedStream() const noexcept { return stream_; }

  bool Eof() override;
  int32_t Pos() override;
  int32_t Size() override;
  int32_t Seek(int32_t position) override;
  void Flush() override;
  void Close() override;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t ReadByte() override;
  void WriteByte(int32_t value) override;
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
  String ReadLine() override;
  bool WriteLine(const String& text) override;
  String ReadString(int32_t length) override;
  void WriteString(const String& text) override;
  Ref<Object> ReadObject() override;
  void WriteObject(const Ref<Object>& object) override;

 protected:
  // The wrapped stream; Null when none is set.
  Ref<TStream> stream_;
};

// A wrapper that does not own what it wraps: Close only lets go of it.
class TStreamStream : public TStreamWrapper {
 public:
  // A wrapper over `stream` that leaves it open when closed.
  static Ref<TStreamStream> Create(const Ref<TStream>& stream);
  void Close() override;
};

// Free-function forms; each calls the stream's operation (Null raises TNullObjectException).
bool StreamEof(const Ref<TStream>& stream);
int32_t StreamPosition(const Ref<TStream>& stream);
int32_t StreamLength(const Ref<TStream>& stream);
int32_t SeekStream(const Ref<TStream>& stream, int32_t position);
void FlushStream(const Ref<TStream>& stream);
void CloseStream(const Ref<TStream>& stream);
int32_t ReadByte(const Ref<TStream>& stream);
int32_t ReadShort(const Ref<TStream>& stream);
int32_t ReadInt(const Ref<TStream>& stream);
int64_t ReadLong(const Ref<TStream>& stream);
float ReadFloat(const Ref<TStream>& stream);
double ReadDouble(const Ref<TStream>& stream);
void WriteByte(const Ref<TStream>& stream, int32_t value);
void WriteShort(const Ref<TStream>& stream, int32_t value);
void WriteInt(const Ref<TStream>& stream, int32_t value);
void WriteLong(const Ref<TStream>& stream, int64_t value);
void WriteFloat(const Ref<TStream>& stream, float value);
void WriteDouble(const Ref<TStream>& stream, double value);
String ReadString(const Ref<TStream>& stream, int32_t length);
void WriteString(const Ref<TStream>& stream, const String& text);
String ReadLine(const Ref<TStream>& stream);
bool WriteLine(const Ref<TStream>& stream, const String& text);

// Takes the bytes of one line from `bytes` as ReadLine reads them: up to and including the
// first LF or NUL, which ends the line and is not kept; CRs are dropped. Appends the kept
// bytes to `line`; answers how many bytes were taken and sets `ended` when a line end was among
// them. For streams that can look ahead of what they hand out.
std::size_t TakeLineBytes(const uint8_t* bytes, std::size_t count, std::string& line, bool& ended);
// The usual case of the same: a line that ends within `bytes` and holds no CR is made into
// `line` at once, and `taken` is set; false, taking nothing, for any other.
bool TakeWholeLine(const uint8_t* bytes, std::size_t count, String& line, std::size_t& taken);
// The length of that usual case's line (its end not counted), or npos when `bytes` do not
// start with one.
std::size_t WholeLineLength(const uint8_t* bytes, std::size_t count) noexcept;

// Buffer size for callers of the copy functions with no preference.
inline constexpr int32_t kDefaultCopyBufferSize = 4096;

// Copies from the source's position to its end; also stops when the source delivers nothing.
void CopyStreamToEnd(const Ref<TStream>& source, const Ref<TStream>& destination,
                     int32_t bufferSize = kDefaultCopyBufferSize);
// Copies exactly `count` bytes (nothing for a count of 0 or less).
void CopyStreamBytes(const Ref<TStream>& source, const Ref<TStream>& destination, int32_t count,
                     int32_t bufferSize = kDefaultCopyBufferSize);

// The stream core's module initialiser.
void InitStreamModule();

}  // namespace corvex
