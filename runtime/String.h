// Strings of 16-bit code units, and the number <-> text conversions every module shares.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/Object.h"

namespace corvex {

// A value-type string of 16-bit code units; the empty string is a value, never Null.
// Bytes from the platform widen one to one; text handed back keeps each unit's low byte.
class String {
 public:
  String() = default;
  // Widens each byte of a NUL-terminated 8-bit text to one code unit.
  String(const char* bytes);  // NOLINT(google-explicit-constructor): literals read naturally
  explicit String(std::u16string units) : units_(std::move(units)) {}

  // Widens each of `count` bytes to one code unit (ISO-8859-1).
  static String FromBytes(const void* bytes, std::size_t count);
  static String FromBytes(std::string_view bytes) { return FromBytes(bytes.data(), bytes.size()); }
  // UTF-8 text as code units: characters above U+FFFF become surrogate pairs, and every byte
  // that does not start a well-formed sequence (overlong, a surrogate, past U+10FFFF, cut
  // short) becomes one U+FFFD.
  static String FromUtf8(std::string_view bytes);
  // Decimal text of an integer.
  static String FromInt(int64_t value);
  // printf "%#.9g" of a float.
  static String FromFloat(float value);
  // printf "%#.17lg" of a double.
  static String FromDouble(double value);

  // Length in UTF-16 code units, and whether there are none.
  int32_t Length() const noexcept { return static_cast<int32_t>(units_.size()); }
  bool IsEmpty() const noexcept { return units_.empty(); }
  // The code unit at `index`; raises TArrayBoundsException outside the string.
  char16_t At(int32_t index) const;
  const char16_t* Data() const noexcept { return units_.data(); }
  const std::u16string& Units() const noexcept { return units_; }

  // The character at `index`: a surrogate pair joined into one code point (`units` = 2), any
  // other unit as it is (`units` = 1). `index` must be inside the string.
  int32_t CodePointAt(int32_t index, int32_t& units) const noexcept;
  // The text in UTF-8; surrogate pairs become one four-byte sequence, a lone surrogate U+FFFD.
  std::string ToUtf8() const;
  // The low byte of every code unit, as handed to the platform.
  std::string ToBytes() const;
  // Only the letters A to Z change.
  String ToLower() const;
  // Index of the first occurrence of `needle` at or after `from`, or -1.
  int32_t Find(const String& needle, int32_t from = 0) const;
  // Index of the last occurrence of `unit` at or before `from` (default: the end), or -1.
  int32_t FindLast(char16_t unit, int32_t from = -1) const;
  // Units [start, end), clamped to the string.
  String Slice(int32_t start, int32_t end) const;
  String Slice(int32_t start) const { return Slice(start, Length()); }
  bool StartsWith(const String& prefix) const;
  bool EndsWith(const String& suffix) const;
  // Every occurrence of unit `from` replaced by `to`.
  String Replace(char16_t from, char16_t to) const;

  // Integer parser: white space, sign, then "%" binary, "$" hexadecimal or decimal digits;
  // stops at the first other character, no digits give 0. Wraps like 64-bit arithmetic.
  int64_t ToLong() const;
  // ToLong truncated to 32 bits.
  int32_t ToInt() const { return static_cast<int32_t>(ToLong()); }
  // Decimal float parser over the low bytes, by the classic atof rules: white space, sign,
  // digits with an optional decimal point, an optional exponent; stops at the first other
  // character, no digits give 0. Hexadecimal, "inf" and "nan" are not numbers here.
  double ToDouble() const;

  // Appends in place, without a new string, for texts built piece by piece.
  String& operator+=(const String& other) {
    units_ += other.units_;
    return *this;
  }
  // Appends one code unit.
  String& operator+=(char16_t unit) {
    units_ += unit;
    return *this;
  }
  // The two texts joined.
  friend String operator+(String a, const String& b) { return a += b; }
  // Equal when every code unit is.
  friend bool operator==(const String& a, const String& b) = default;
  // Code unit by code unit, as ordered maps compare string keys.
  friend std::strong_ordering operator<=>(const String& a, const String& b) { return a.units_ <=> b.units_; }

 private:
  std::u16string units_;
};

// Widens `count` bytes to code units, one each, at `units`.
void WidenBytes(const void* bytes, std::size_t count, char16_t* units) noexcept;

// A string held as an object, for places that take any object (URLs, list elements).
class TStringObject : public Object {
 public:
  // Boxes `text`; ToString gives it back.
  explicit TStringObject(String text) : text_(std::move(text)) {}
  String ToString() const override { return text_; }
  // The boxed text, without a copy.
  const String& Text() const noexcept { return text_; }

 private:
  String text_;
};

// GoogleTest printer, so failing expectations show the text.
void PrintTo(const String& text, std::ostream* out);

}  // namespace corvex

template <>
struct std::hash<corvex::String> {
  std::size_t operator()(const corvex::String& s) const noexcept {
    return std::hash<std::u16string>()(s.Units());
  }
};
