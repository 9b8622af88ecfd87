#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/String.h"
#include "stream/Stream.h"
#include "stream/TextStream.h"
#include "stream/Url.h"

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

TEST(StringTest, MalformedUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(String::FromUtf8("\xE2\x82\xAC").Units(), std::u16string(u"\u20AC"));
  EXPECT_EQ(String::FromUtf8("\xC0\xAF").Units(), std::u16string(u"\uFFFD\uFFFD"));            // overlong '/'
  EXPECT_EQ(String::FromUtf8("\xED\xA0\x80").Units(), std::u16string(u"\uFFFD\uFFFD\uFFFD"));  // a surrogate
  EXPECT_EQ(String::FromUtf8("x\xE2\x82").Units(), std::u16string(u"x\uFFFD\uFFFD"));          // cut short
  EXPECT_EQ(String::FromUtf8("\xF4\x90\x80\x80").Units(), std::u16string(u"\uFFFD\uFFFD\uFFFD\uFFFD"));
  EXPECT_EQ(String::FromUtf8("\xFF"
                             "b")
                .Units(),
            std::u16string(u"\uFFFDb"));
  EXPECT_TRUE(String::FromUtf8("").IsEmpty());
}

TEST(StringTest, Utf8RoundTripsEveryCharacterAndMendsLoneSurrogates) {
  struct Case {
    std::u16string units;
    std::string bytes;
  };
  const Case cases[] = {
      {u"", ""},
      {u"A", "A"},
      {u"caf\u00E9 \u2713", "caf\xC3\xA9 \xE2\x9C\x93"},
      {u"\u03A9\u03BC\u03AD\u03B3\u03B1 \u0416", "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xD0\x96"},
      {u"\u07FF\u0800\uFFFF", "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {u"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},  // surrogate pairs
  };
  for (const Case& c : cases) {
    EXPECT_EQ(String(c.units).ToUtf8(), c.bytes);
    EXPECT_EQ(String::FromUtf8(c.bytes).Units(), c.units);
  }
  // A surrogate half without its partner is no character.
  EXPECT_EQ(String(std::u16string(u"a\xD83D"
                                  u"b\xDE00"))
                .ToUtf8(),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  int32_t units = 0;
  EXPECT_EQ(String(u"\U0001F600").CodePointAt(0, units), 0x1F600);
  EXPECT_EQ(units, 2);
  EXPECT_EQ(String(std::u16string(u"\xD83Dx")).CodePointAt(0, units), 0xD83D);
  EXPECT_EQ(units, 1);
}

TEST(StringTest, Utf8AgreesWithTheTextStreamAndLoadTextFile) {
  // The text stream codes each 16-bit unit on its own, so the two agree on every character
  // below U+10000; that covers every script of the test strings.
  InitTextStreamModule();
  const String text(u"caf\u00E9 \u2713 \u03A9\u03BC\u03AD\u03B3\u03B1 \u0416 \u4E2D\u6587 \uFFFD");
  const std::string path = ::testing::TempDir() + "corvex-utf8-agreement.txt";
  const String url = String("utf8::") + String(path.c_str());
  const Ref<TStream> out = OpenWriteStream(url);
  ASSERT_TRUE(out);
  out->WriteString(text);
  out->Close();
  const ByteArray written = LoadAllBytes(String(path.c_str()));
  EXPECT_EQ(std::string(written.begin(), written.end()), text.ToUtf8());

  const Ref<TStream> in = OpenReadStream(url);
  ASSERT_TRUE(in);
  EXPECT_EQ(in->ReadString(text.Length()), String::FromUtf8(text.ToUtf8()));
  in->Close();

  const std::string marked = "\xEF\xBB\xBF" + text.ToUtf8();
  SaveAllBytes(ByteArray::FromVector(std::vector<uint8_t>(marked.begin(), marked.end())),
               String(path.c_str()));
  EXPECT_EQ(LoadTextFile(String(path.c_str())), text);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace corvex
