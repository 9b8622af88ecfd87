// Text streams: a wrapper that makes every operation of a stream textual in one of four
// encodings, the "latin1" / "utf8" / "utf16be" / "utf16le" protocols, and whole-text load
// and save with byte-order-mark detection.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "runtime/Object.h"
#include "runtime/String.h"
#include "stream/Stream.h"
#include "stream/Url.h"

namespace corvex {

// The encoding ids of Create: one byte per character, UTF-8, and UTF-16 in either byte order.
inline constexpr int32_t ENCODING_LATIN1 = 1;
inline constexpr int32_t ENCODING_UTF8 = 2;
inline constexpr int32_t ENCODING_UTF16BE = 3;
inline constexpr int32_t ENCODING_UTF16LE = 4;

// A wrapper that encodes and decodes characters. Lines and strings are encoded text, numbers
// travel as decimal text lines, and raw bytes (Read, Write and so ReadBytes, WriteBytes) as
// lines of 64 upper-case hexadecimal digits ended by CR LF. An open hexadecimal line is ended
// when the next textual operation begins. With an encoding id other than the four above,
// characters read as 0 (one byte each) and are written as nothing.
class TTextStream : public TStreamWrapper {
 public:
  // A new text stream over `stream` in the given encoding.
  static Ref<TTextStream> Create(const Ref<TStream>& stream, int32_t encoding);

  // The encoding id given to Create.
  int32_t Encoding() const noexcept { return encoding_; }

  // The wrapped stream's Eof, answered at once while it holds bytes ahead. This and ReadChar are
  // defined here so that a caller's loop over characters can have them inlined (behind a check
  // of the object's type, as they stay overridable): a call each would cost more than the work.
  bool Eof() override { return stream_->HeldAhead().empty() && stream_->Eof(); }
  // Decodes `count` bytes from hexadecimal lines; answers count.
  int32_t Read(void* buffer, int32_t count) override;
  // Encodes `count` bytes as hexadecimal lines; answers count.
  int32_t Write(const void* buffer, int32_t count) override;

  // Numbers are read from, and written as, one decimal text line each.
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

  // One decoded line: LF or a 0 character ends it, CR is dropped; it also ends with the stream.
  String ReadLine() override;
  // The text and CR LF, both encoded; answers true (failures surface as exceptions).
  bool WriteLine(const String& text) override;
  // Exactly `count` decoded characters, without end test; "" for a negative count.
  String ReadString(int32_t count) override;
  // Each code unit encoded on its own, no terminator.
  void WriteString(const String& text) override;

  // Every remaining decoded character, line ends and 0 included.
  virtual String ReadAll();
  // One decoded character as a code unit. Lines, whole texts and characters are decoded a block
  // at a time from what the wrapped stream holds ahead, taking exactly the bytes decoded.
  virtual int32_t ReadChar() {
    // The usual case, kept free of calls: a one-byte character the wrapped stream holds ahead.
    if (hexCount_ == 0) {
      TStream& stream = *stream_;
      const std::span<const uint8_t> held = stream.HeldAhead();
      if (!held.empty()) {
        // Copied first: for all the compiler knows, taking it could change the byte it points at.
        const uint8_t byte = held[0];
        if (byte < oneByteEnd_) {
          stream.SkipAhead(1);
          return byte;
        }
      }
    }
    return ReadCharAhead();
  }
  // Encodes one code unit (the low 16 bits of `character`).
  virtual void WriteChar(int32_t character);
  // One byte from the wrapped stream (its ReadByte).
  virtual int32_t ReadRawByte();
  // One byte to the wrapped stream (its WriteByte).
  virtual void WriteRawByte(int32_t value);
  // Consumes the LF or CR LF that ends an open hexadecimal line being read (a line cut off by
  // the end of the data just ends); anything else throws "Malformed line terminator".
  virtual void EndHexLineRead();
  // Writes CR LF when a hexadecimal line is open.
  virtual void EndHexLineWrite();

 private:
  // ReadChar past its usual case: ends a hexadecimal line, reads ahead or decodes.
  int32_t ReadCharAhead();
  // Decodes one character; the caller has already ended any hexadecimal line.
  char16_t DecodeChar();
  // Decodes the one-byte characters at the front of the wrapped stream's bytes ahead (Latin-1,
  // or UTF-8 below 0x80) into `text`; for a line, CRs are dropped and a LF or 0 ends it (taken,
  // not kept). Answers whether a line ended. Nothing is decoded when ReadRawByte may be
  // overridden.
  bool DecodeAhead(std::u16string& text, bool line);
  // The wrapped stream's bytes ahead: those it holds, else what it reads ahead.
  std::span<const uint8_t> Ahead();
  void EncodeChar(char16_t character);

  int32_t encoding_ = ENCODING_LATIN1;
  // The bytes below this are characters of their own, decoded from the wrapped stream's bytes
  // ahead: 0x100 for Latin-1, 0x80 for UTF-8, set by Create. 0 (none are) for other encodings
  // and for a subclass, which may override ReadRawByte.
  uint16_t oneByteEnd_ = 0;
  int32_t hexCount_ = 0;  // bytes on the open hexadecimal line, 0 when none is open
};

// Serves "latin1::", "utf8::", "utf16be::" and "utf16le::" followed by any URL; writes and
// reads no byte-order mark.
class TTextStreamFactory : public TStreamFactory {
 public:
  Ref<TStream> CreateStream(const Url& url, const String& protocol, const String& path, bool readable,
                            bool writeable) override;
};

// The whole text of a URL: UTF-16BE, UTF-16LE or UTF-8 when it starts with that byte-order
// mark, Latin-1 otherwise. A URL that does not open raises TStreamReadException.
String LoadTextFile(const Url& url);
// Writes the text as Latin-1 bytes when every code unit fits in a byte, otherwise as
// UTF-16LE after a byte-order mark. A URL that does not open raises TStreamWriteException.
void SaveTextFile(const String& text, const Url& url);

// The text-stream module's initialiser: registers the encoding protocols' factory.
void InitTextStreamModule();

}  // namespace corvex
