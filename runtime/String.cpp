#include "runtime/String.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "runtime/Exceptions.h"

namespace corvex {

String::String(const char* bytes) {
  if (bytes == nullptr) return;
  for (const char* p = bytes; *p != '\0'; ++p) units_ += static_cast<char16_t>(static_cast<uint8_t>(*p));
}

void WidenBytes(const void* bytes, std::size_t count, char16_t* units) noexcept {
  const auto* in = static_cast<const uint8_t*>(bytes);
  // Blocks go through a local copy: stores of code units could otherwise overwrite the bytes
  // for all the compiler knows, and it would widen one byte at a time.
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    uint8_t block[16];
    std::memcpy(block, in + i, sizeof block);
    for (std::size_t j = 0; j < sizeof block; ++j) units[i + j] = block[j];
  }
  if (i + 8 <= count) {
    uint8_t block[8];
    std::memcpy(block, in + i, sizeof block);
    for (std::size_t j = 0; j < sizeof block; ++j) units[i + j] = block[j];
    i += 8;
  }
  for (; i < count; ++i) units[i] = in[i];
}

String String::FromBytes(const void* bytes, std::size_t count) {
  std::u16string units(count, u'\0');
  WidenBytes(bytes, count, units.data());
  return String(std::move(units));
}

String String::FromUtf8(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size());
  const auto byteAt = [&](std::size_t i) { return static_cast<uint8_t>(bytes[i]); };
  std::size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t lead = byteAt(i);
    int32_t length = 0;
    uint32_t code = 0;
    uint32_t least = 0;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1F;
      least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0F;
      least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07;
      least = 0x10000;
    }
    bool valid = length > 0 && i + static_cast<std::size_t>(length) <= bytes.size();
    for (int32_t k = 1; valid && k < length; ++k) {
      const uint8_t next = byteAt(i + static_cast<std::size_t>(k));
      if ((next & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    if (valid && (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)) valid = false;
    if (!valid) {
      units.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(code));
    }
    i += static_cast<std::size_t>(length);
  }
  return String(std::move(units));
}

String String::FromInt(int64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
  return String(text);
}

String String::FromFloat(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%#.9g", static_cast<double>(value));
  return String(text);
}

String String::FromDouble(double value) {
  char text[400];  // "%#.17lg" of the largest double needs about 330 characters
  std::snprintf(text, sizeof text, "%#.17lg", value);
  return String(text);
}

char16_t String::At(int32_t index) const {
  if (index < 0 || index >= Length()) throw TArrayBoundsException();
  return units_[static_cast<std::size_t>(index)];
}

int32_t String::CodePointAt(int32_t index, int32_t& units) const noexcept {
  const auto at = static_cast<std::size_t>(index);
  const char16_t unit = units_[at];
  units = 1;
  if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < units_.size()) {
    const char16_t low = units_[at + 1];
    if (low >= 0xDC00 && low <= 0xDFFF) {
      units = 2;
      return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  return unit;
}

std::string String::ToUtf8() const {
  std::string bytes;
  bytes.reserve(units_.size());
  for (int32_t i = 0; i < Length();) {
    int32_t units = 1;
    uint32_t code = static_cast<uint32_t>(CodePointAt(i, units));
    i += units;
    if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;  // half of a pair on its own
    if (code < 0x80) {
      bytes.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      bytes.push_back(static_cast<char>(0xC0 | (code >> 6)));
      bytes.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      bytes.push_back(static_cast<char>(0xE0 | (code >> 12)));
      bytes.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      bytes.push_back(static_cast<char>(0xF0 | (code >> 18)));
      bytes.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return bytes;
}

std::string String::ToBytes() const {
  std::string bytes(units_.size(), '\0');
  for (std::size_t i = 0; i < units_.size(); ++i) bytes[i] = static_cast<char>(units_[i] & 0xFF);
  return bytes;
}

String String::ToLower() const {
  std::u16string lower = units_;
  for (char16_t& unit : lower) {
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + 32);
  }
  return String(std::move(lower));
}

int32_t String::Find(const String& needle, int32_t from) const {
  if (from < 0) from = 0;
  if (from > Length()) return -1;
  auto at = units_.find(needle.units_, static_cast<std::size_t>(from));
  return at == std::u16string::npos ? -1 : static_cast<int32_t>(at);
}

int32_t String::FindLast(char16_t unit, int32_t from) const {
  if (units_.empty()) return -1;
  if (from < 0 || from >= Length()) from = Length() - 1;
  for (int32_t i = from; i >= 0; --i) {
    if (units_[static_cast<std::size_t>(i)] == unit) return i;
  }
  return -1;
}

String String::Slice(int32_t start, int32_t end) const {
  start = std::clamp(start, 0, Length());
  end = std::clamp(end, start, Length());
  return String(units_.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

bool String::StartsWith(const String& prefix) const {
  return units_.starts_with(prefix.units_);
}
bool String::EndsWith(const String& suffix) const {
  return units_.ends_with(suffix.units_);
}

String String::Replace(char16_t from, char16_t to) const {
  std::u16string result = units_;
  for (char16_t& unit : result) {
    if (unit == from) unit = to;
  }
  return String(std::move(result));
}

int64_t String::ToLong() const {
  std::size_t i = 0;
  const std::size_t n = units_.size();
  while (i < n && (units_[i] == u' ' || (units_[i] >= u'\t' && units_[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < n && (units_[i] == u'+' || units_[i] == u'-')) negative = units_[i++] == u'-';
  // Unsigned arithmetic: overlong numbers wrap instead of overflowing.
  uint64_t value = 0;
  auto digit = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return 99;
  };
  unsigned base = 10;
  if (i < n && units_[i] == u'%') {
    base = 2;
    ++i;
  } else if (i < n && units_[i] == u'$') {
    base = 16;
    ++i;
  }
  for (; i < n; ++i) {
    int d = digit(units_[i]);
    if (d < 0 || static_cast<unsigned>(d) >= base) break;
    value = value * base + static_cast<unsigned>(d);
  }
  return static_cast<int64_t>(negative ? 0 - value : value);
}

double String::ToDouble() const {
  const std::string bytes = ToBytes();
  const auto isDigit = [&](std::size_t at) {
    return at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9';
  };
  std::size_t i = 0;
  while (i < bytes.size() && (bytes[i] == ' ' || (bytes[i] >= '\t' && bytes[i] <= '\r'))) ++i;
  const std::size_t start = i;
  if (i < bytes.size() && (bytes[i] == '+' || bytes[i] == '-')) ++i;
  std::size_t digits = 0;
  for (; isDigit(i); ++i) ++digits;
  if (i < bytes.size() && bytes[i] == '.') {
    for (++i; isDigit(i); ++i) ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < bytes.size() && (bytes[i] == 'e' || bytes[i] == 'E')) {
    std::size_t exponent = i + 1;
    if (exponent < bytes.size() && (bytes[exponent] == '+' || bytes[exponent] == '-')) ++exponent;
    if (isDigit(exponent)) {
      for (i = exponent; isDigit(i); ++i) {
      }
    }
  }
  // What is left is plain decimal, which strtod rounds correctly (to infinity beyond range).
  return std::strtod(bytes.substr(start, i - start).c_str(), nullptr);
}

void PrintTo(const String& text, std::ostream* out) {
  *out << '"';
  for (char16_t unit : text.Units()) {
    if (unit >= 0x20 && unit < 0x7F) {
      *out << static_cast<char>(unit);
    } else {
      char escape[12];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
      *out << escape;
    }
  }
  *out << '"';
}

}  // namespace corvex
