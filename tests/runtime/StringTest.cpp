#include <gtest/gtest.h>

#include "runtime/Exceptions.h"
#include "runtime/String.h"

namespace corvex {
namespace {

TEST(StringTest, BytesWidenOneToOneAndNarrowToTheLowByte) {
  const char raw[] = {'a', '\xE9', '\0', 'b'};
  String text = String::FromBytes(raw, sizeof raw);
  ASSERT_EQ(text.Length(), 4);
  EXPECT_EQ(text.At(1), 0xE9);
  EXPECT_EQ(text.At(2), 0);
  EXPECT_EQ(String(u"\u0141x").ToBytes(), std::string("\x41x"));
  EXPECT_THROW(text.At(4), TArrayBoundsException);
  EXPECT_THROW(text.At(-1), TArrayBoundsException);
}

TEST(StringTest, NumbersFormatAsPrintfDoes) {
  EXPECT_EQ(String::FromInt(-5), String("-5"));
  EXPECT_EQ(String::FromInt(INT64_MIN), String("-9223372036854775808"));
  EXPECT_EQ(String::FromFloat(1.0f), String("1.00000000"));
  EXPECT_EQ(String::FromDouble(1.0), String("1.0000000000000000"));
  EXPECT_EQ(String::FromDouble(-1e300), String("-1.0000000000000001e+300"));
}

TEST(StringTest, IntegerParserTakesSignBinaryHexAndDecimal) {
  EXPECT_EQ(String("  $1F").ToInt(), 31);
  EXPECT_EQ(String("$ff").ToInt(), 255);
  EXPECT_EQ(String("%101").ToInt(), 5);
  EXPECT_EQ(String("%102").ToInt(), 2);
  EXPECT_EQ(String("abc").ToInt(), 0);
  EXPECT_EQ(String("").ToInt(), 0);
  EXPECT_EQ(String("-").ToInt(), 0);
  EXPECT_EQ(String("\t-12x").ToInt(), -12);
  EXPECT_EQ(String("+7").ToInt(), 7);
  EXPECT_EQ(String("-$10").ToInt(), -16);
  EXPECT_EQ(String("4294967297").ToInt(), 1);  // truncated to 32 bits, not clamped
  EXPECT_EQ(String("9223372036854775807").ToLong(), INT64_MAX);
  EXPECT_EQ(String("18446744073709551617").ToLong(), 1);  // wraps, never overflows
}

TEST(StringTest, FloatParserFollowsAtof) {
  EXPECT_DOUBLE_EQ(String(" 2.5e1xyz").ToDouble(), 25.0);
  EXPECT_DOUBLE_EQ(String("nonsense").ToDouble(), 0.0);
  EXPECT_DOUBLE_EQ(String("\t\n -.5").ToDouble(), -0.5);
  EXPECT_DOUBLE_EQ(String("7.e2").ToDouble(), 700.0);
  EXPECT_DOUBLE_EQ(String("3e").ToDouble(), 3.0);
  EXPECT_DOUBLE_EQ(String("3e+x").ToDouble(), 3.0);
  EXPECT_DOUBLE_EQ(String("-4E-1,").ToDouble(), -0.4);
  // Only decimal numbers: hexadecimal reads its leading 0, and words are no number.
  EXPECT_DOUBLE_EQ(String("0x1A").ToDouble(), 0.0);
  EXPECT_DOUBLE_EQ(String("0x1p4").ToDouble(), 0.0);
  EXPECT_DOUBLE_EQ(String("inf").ToDouble(), 0.0);
  EXPECT_DOUBLE_EQ(String("-Infinity").ToDouble(), 0.0);
  EXPECT_DOUBLE_EQ(String("nan").ToDouble(), 0.0);
  EXPECT_DOUBLE_EQ(String(".").ToDouble(), 0.0);
  EXPECT_DOUBLE_EQ(String("+-1").ToDouble(), 0.0);
}

TEST(StringTest, SearchSliceAndCase) {
  String url("Utf8::incbin::a");
  EXPECT_EQ(url.Find("::"), 4);
  EXPECT_EQ(url.Find("::", 5), 12);
  EXPECT_EQ(url.Find("zz"), -1);
  EXPECT_EQ(url.Find("::", 99), -1);
  EXPECT_EQ(url.Slice(0, 4).ToLower(), String("utf8"));
  EXPECT_EQ(url.Slice(-3, 2), String("Ut"));
  EXPECT_EQ(url.Slice(10, 5), String(""));
  EXPECT_EQ(String(u"\u00C9A").ToLower(), String(u"\u00C9a"));  // only A to Z change
  EXPECT_EQ(String("a/b/c").FindLast(u'/'), 3);
  EXPECT_EQ(String("a/b/c").FindLast(u'/', 2), 1);
  EXPECT_EQ(String("abc").FindLast(u'/'), -1);
  EXPECT_EQ(String("a\\b").Replace(u'\\', u'/'), String("a/b"));
  EXPECT_LT(String("a"), String("b"));
  EXPECT_TRUE(String("pic.png").EndsWith(".png"));
}

}  // namespace
}  // namespace corvex
