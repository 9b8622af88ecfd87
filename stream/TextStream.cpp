#include "stream/TextStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "runtime/Array.h"
#include "runtime/Exceptions.h"
#include "runtime/Module.h"
#include "stream/StreamClosing.h"

namespace corvex {
namespace {

// Bytes per hexadecimal line: 64 digits.
constexpr int32_t kHexLineBytes = 32;

// '0'-'9' and 'A'-'F' give their values; other characters give what the same arithmetic gives
// ('a' gives 42). The result is only ever used modulo 256, so wrapping arithmetic is exact.
uint32_t HexDigitValue(int32_t character) noexcept {
  const int64_t value = int64_t{character} - 48;
  return static_cast<uint32_t>(value > 9 ? int64_t{character} - 55 : value);
}

int32_t HexDigit(uint32_t value) noexcept {
  return static_cast<int32_t>(value < 10 ? '0' + value : 'A' + (value - 10));
}

// Text without a byte-order mark is Latin-1: the `head` bytes already read, then the rest.
String ReadUnmarkedText(const Ref<TStream>& stream, const uint8_t* head, std::size_t headCount) {
  // Opening the stream object itself gives a wrapper whose Close leaves the stream open.
  const ByteArray rest = LoadAllBytes(stream);
  return String::FromBytes(head, headCount) +
         String::FromBytes(rest.Data(), static_cast<std::size_t>(rest.Length()));
}

// How many bytes below 0x80 `bytes` starts with, tested eight at a time.
std::size_t AsciiRun(const uint8_t* bytes, std::size_t count) noexcept {
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t word = 0;
    std::memcpy(&word, bytes + i, sizeof word);
    if ((word & 0x8080808080808080u) != 0) break;
  }
  if (i < count && count >= 8 && i + 8 > count) {
    // The last eight bytes, overlapping those already tested.
    uint64_t word = 0;
    std::memcpy(&word, bytes + count - 8, sizeof word);
    if ((word & 0x8080808080808080u) == 0) return count;
  }
  while (i < count && bytes[i] < 0x80) ++i;
  return i;
}

}  // namespace

// ---- TTextStream ----

Ref<TTextStream> TTextStream::Create(const Ref<TStream>& stream, int32_t encoding) {
  auto text = New<TTextStream>();
  text->encoding_ = encoding;
  text->oneByteEnd_ = encoding == ENCODING_LATIN1 ? 0x100 : encoding == ENCODING_UTF8 ? 0x80 : 0;
  text->SetStream(stream);
  return text;
}

int32_t TTextStream::ReadRawByte() {
  return stream_->ReadByte();
}
void TTextStream::WriteRawByte(int32_t value) {
  stream_->WriteByte(value);
}

void TTextStream::EndHexLineRead() {
  if (hexCount_ == 0) return;
  // A line cut off by the end of the data (a stream closed mid-line) simply ends there.
  if (stream_->Eof()) {
    hexCount_ = 0;
    return;
  }
  int32_t byte = ReadRawByte();
  if (byte == 13) byte = ReadRawByte();
  if (byte != 10) throw TThrownString("Malformed line terminator");
  hexCount_ = 0;
}

void TTextStream::EndHexLineWrite() {
  if (hexCount_ == 0) return;
  WriteRawByte(13);
  WriteRawByte(10);
  hexCount_ = 0;
}

int32_t TTextStream::Read(void* buffer, int32_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  for (int32_t i = 0; i < count; ++i) {
    if (hexCount_ >= kHexLineBytes) EndHexLineRead();
    const uint32_t high = HexDigitValue(ReadRawByte());
    const uint32_t low = HexDigitValue(ReadRawByte());
    out[i] = static_cast<uint8_t>((high * 16) | low);
    ++hexCount_;
  }
  return std::max(count, 0);
}

int32_t TTextStream::Write(const void* buffer, int32_t count) {
  const auto* in = static_cast<const uint8_t*>(buffer);
  for (int32_t i = 0; i < count; ++i) {
    WriteRawByte(HexDigit(in[i] >> 4));
    WriteRawByte(HexDigit(in[i] & 15u));
    if (++hexCount_ >= kHexLineBytes) EndHexLineWrite();
  }
  return std::max(count, 0);
}

char16_t TTextStream::DecodeChar() {
  // Bytes are not validated; unsigned arithmetic keeps the low 16 bits of the value exact
  // even when a wrapped stream hands back something wider than a byte.
  const int32_t b0 = ReadRawByte();
  const auto u0 = static_cast<uint32_t>(b0);
  uint32_t value = 0;
  switch (encoding_) {
    case ENCODING_LATIN1:
      value = u0;
      break;
    case ENCODING_UTF8: {
      if (b0 < 0x80) {
        value = u0;
        break;
      }
      const auto u1 = static_cast<uint32_t>(ReadRawByte());
      if (b0 < 0xE0) {
        value = (u0 - 0xC0) * 64 + (u1 - 0x80);
        break;
      }
      const auto u2 = static_cast<uint32_t>(ReadRawByte());
      if (b0 < 0xF0) {
        value = (u0 - 0xE0) * 4096 + (u1 - 0x80) * 64 + (u2 - 0x80);
        break;
      }
      // A four-byte sequence has no single code unit: it reads as 0, and its last byte is
      // consumed too so that it cannot swallow the character after it.
      ReadRawByte();
      value = 0;
      break;
    }
    case ENCODING_UTF16BE:
      value = u0 * 256 + static_cast<uint32_t>(ReadRawByte());
      break;
    case ENCODING_UTF16LE:
      value = u0 + static_cast<uint32_t>(ReadRawByte()) * 256;
      break;
    default:
      value = 0;
      break;
  }
  return static_cast<char16_t>(value);
}

void TTextStream::EncodeChar(char16_t character) {
  const uint32_t c = character;
  switch (encoding_) {
    case ENCODING_LATIN1:
      WriteRawByte(static_cast<int32_t>(c));
      break;
    case ENCODING_UTF8:
      if (c < 0x80) {
        WriteRawByte(static_cast<int32_t>(c));
      } else if (c < 0x800) {
        WriteRawByte(static_cast<int32_t>(0xC0 | (c / 64)));
        WriteRawByte(static_cast<int32_t>(0x80 | (c % 64)));
      } else {
        WriteRawByte(static_cast<int32_t>(0xE0 | (c / 4096)));
        WriteRawByte(static_cast<int32_t>(0x80 | ((c / 64) % 64)));
        WriteRawByte(static_cast<int32_t>(0x80 | (c % 64)));
      }
      break;
    case ENCODING_UTF16BE:
      WriteRawByte(static_cast<int32_t>(c / 256));
      WriteRawByte(static_cast<int32_t>(c));
      break;
    case ENCODING_UTF16LE:
      WriteRawByte(static_cast<int32_t>(c));
      WriteRawByte(static_cast<int32_t>(c / 256));
      break;
    default:
      break;
  }
}

std::span<const uint8_t> TTextStream::Ahead() {
  const std::span<const uint8_t> held = stream_->HeldAhead();
  return held.empty() ? stream_->BytesAhead() : held;
}

bool TTextStream::DecodeAhead(std::u16string& text, bool line) {
  if (oneByteEnd_ == 0) return false;
  for (;;) {
    const std::span<const uint8_t> ahead = Ahead();
    const uint8_t* const bytes = ahead.data();
    // The run of one-byte characters, up to a line's end.
    std::size_t run = ahead.size();
    bool ended = false;
    if (line && run > 0) {
      if (const void* feed = std::memchr(bytes, 10, run)) {
        run = static_cast<std::size_t>(static_cast<const uint8_t*>(feed) - bytes);
        ended = true;
      }
      if (const void* nul = std::memchr(bytes, 0, run)) {
        run = static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - bytes);
        ended = true;
      }
    }
    if (oneByteEnd_ == 0x80) {
      const std::size_t ascii = AsciiRun(bytes, run);
      if (ascii < run) {
        run = ascii;
        ended = false;
      }
    }
    // Widened in place: appending a range of bytes would build a temporary string first.
    const std::size_t start = text.size();
    text.resize(start + run);
    char16_t* const out = text.data() + start;
    if (!line || run == 0 || std::memchr(bytes, 13, run) == nullptr) {
      WidenBytes(bytes, run, out);
    } else {
      std::size_t kept = 0;
      for (std::size_t i = 0; i < run; ++i) {
        if (bytes[i] != 13) out[kept++] = bytes[i];
      }
      text.resize(start + kept);
    }
    stream_->SkipAhead(static_cast<int32_t>(ended ? run + 1 : run));
    if (ended) return true;
    // Out of bytes ahead, or at a character of more than one byte: the caller goes on.
    if (run == 0 || run < ahead.size()) return false;
  }
}

int32_t TTextStream::ReadCharAhead() {
  if (oneByteEnd_ != 0) {
    if (hexCount_ != 0) EndHexLineRead();
    const std::span<const uint8_t> ahead = Ahead();
    if (!ahead.empty() && ahead[0] < oneByteEnd_) {
      stream_->SkipAhead(1);
      return ahead[0];
    }
    return DecodeChar();
  }
  EndHexLineRead();
  return DecodeChar();
}

void TTextStream::WriteChar(int32_t character) {
  EndHexLineWrite();
  EncodeChar(static_cast<char16_t>(character));
}

String TTextStream::ReadLine() {
  if (oneByteEnd_ != 0 && hexCount_ == 0) {
    // The usual case: a whole line of one-byte characters without CR, held ahead, is made at
    // once from its bytes.
    const std::span<const uint8_t> held = stream_->HeldAhead();
    const std::size_t length = WholeLineLength(held.data(), held.size());
    if (length != std::string::npos && (oneByteEnd_ == 0x100 || AsciiRun(held.data(), length) == length)) {
      String line = String::FromBytes(held.data(), length);
      stream_->SkipAhead(static_cast<int32_t>(length + 1));
      return line;
    }
  }
  if (hexCount_ != 0 || oneByteEnd_ == 0) EndHexLineRead();
  std::u16string line;  // grows geometrically: long lines cost amortised constant time per unit
  while (!TTextStream::Eof()) {
    if (DecodeAhead(line, true)) break;
    if (TTextStream::Eof()) break;
    const char16_t c = DecodeChar();
    if (c == 0 || c == 10) break;
    if (c != 13) line.push_back(c);
  }
  return String(std::move(line));
}

String TTextStream::ReadAll() {
  EndHexLineRead();
  std::u16string text;
  while (!TTextStream::Eof()) {
    DecodeAhead(text, false);
    if (!TTextStream::Eof()) text.push_back(DecodeChar());
  }
  return String(std::move(text));
}

String TTextStream::ReadString(int32_t count) {
  if (count <= 0) return String();
  EndHexLineRead();
  std::u16string text;
  text.reserve(static_cast<std::size_t>(std::min(count, 4096)));
  for (int32_t i = 0; i < count; ++i) text.push_back(DecodeChar());
  return String(std::move(text));
}

void TTextStream::WriteString(const String& text) {
  EndHexLineWrite();
  for (const char16_t unit : text.Units()) EncodeChar(unit);
}

bool TTextStream::WriteLine(const String& text) {
  WriteString(text);
  WriteString("\r\n");
  return true;
}

int32_t TTextStream::ReadByte() {
  return ReadLine().ToInt();
}
void TTextStream::WriteByte(int32_t value) {
  WriteLine(String::FromInt(value));
}
int32_t TTextStream::ReadShort() {
  return ReadLine().ToInt();
}
void TTextStream::WriteShort(int32_t value) {
  WriteLine(String::FromInt(value));
}
int32_t TTextStream::ReadInt() {
  return ReadLine().ToInt();
}
void TTextStream::WriteInt(int32_t value) {
  WriteLine(String::FromInt(value));
}
int64_t TTextStream::ReadLong() {
  return ReadLine().ToLong();
}
void TTextStream::WriteLong(int64_t value) {
  WriteLine(String::FromInt(value));
}
float TTextStream::ReadFloat() {
  return static_cast<float>(ReadLine().ToDouble());
}
void TTextStream::WriteFloat(float value) {
  WriteLine(String::FromFloat(value));
}
double TTextStream::ReadDouble() {
  return ReadLine().ToDouble();
}
void TTextStream::WriteDouble(double value) {
  WriteLine(String::FromDouble(value));
}

// ---- factory ----

Ref<TStream> TTextStreamFactory::CreateStream(const Url&, const String& protocol, const String& path,
                                              bool readable, bool writeable) {
  int32_t encoding = 0;
  if (protocol == String("latin1")) {
    encoding = ENCODING_LATIN1;
  } else if (protocol == String("utf8")) {
    encoding = ENCODING_UTF8;
  } else if (protocol == String("utf16be")) {
    encoding = ENCODING_UTF16BE;
  } else if (protocol == String("utf16le")) {
    encoding = ENCODING_UTF16LE;
  } else {
    return Null;
  }
  Ref<TStream> stream = OpenStream(path, readable, writeable);
  if (stream.IsNull()) return Null;
  return TTextStream::Create(stream, encoding);
}

// ---- whole texts ----

String LoadTextFile(const Url& url) {
  const Ref<TStream> stream = OpenReadStream(url);
  if (stream.IsNull()) throw TStreamReadException();
  String text = CloseOnFailure(stream, [&] {
    uint8_t head[3] = {};
    std::size_t headCount = 0;
    auto next = [&] {
      if (stream->Eof()) return false;
      head[headCount++] = static_cast<uint8_t>(stream->ReadByte());
      return true;
    };
    int32_t encoding = 0;
    if (next() && next()) {
      if (head[0] == 0xFE && head[1] == 0xFF) {
        encoding = ENCODING_UTF16BE;
      } else if (head[0] == 0xFF && head[1] == 0xFE) {
        encoding = ENCODING_UTF16LE;
      } else if (head[0] == 0xEF && head[1] == 0xBB && next() && head[2] == 0xBF) {
        encoding = ENCODING_UTF8;
      }
    }
    if (encoding == 0) return ReadUnmarkedText(stream, head, headCount);
    return TTextStream::Create(stream, encoding)->ReadAll();
  });
  // The text stream's Close would only forward here.
  stream->Close();
  return text;
}

void SaveTextFile(const String& text, const Url& url) {
  const auto& units = text.Units();
  if (std::all_of(units.begin(), units.end(), [](char16_t unit) { return unit <= 0xFF; })) {
    SaveByteText(text, url);
    return;
  }
  const Ref<TStream> stream = OpenWriteStream(url);
  if (stream.IsNull()) throw TStreamWriteException();
  CloseOnFailure(stream, [&] {
    stream->WriteByte(0xFF);
    stream->WriteByte(0xFE);
    TTextStream::Create(stream, ENCODING_UTF16LE)->WriteString(text);
  });
  stream->Close();
}

void InitTextStreamModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  New<TTextStreamFactory>();  // the chain keeps it for the life of the process
}

}  // namespace corvex
