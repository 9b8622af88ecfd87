#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "runtime/Exceptions.h"
#include "stream/CStream.h"
#include "stream/EmbeddedFiles.h"
#include "stream/RamStream.h"
#include "stream/TextStream.h"
#include "stream/Url.h"

namespace corvex {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes BytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// A memory block and a text stream over it: reads see `bytes`, writes land in them.
struct MemoryText {
  MemoryText(int32_t encoding, Bytes initial) : bytes(std::move(initial)) {
    memory = NewMemoryStream(bytes.data(), static_cast<int32_t>(bytes.size()), true, true);
    text = TTextStream::Create(memory, encoding);
  }
  // A text stream for writing, with room for `capacity` bytes.
  static MemoryText ForWriting(int32_t encoding, std::size_t capacity = 4096) {
    return MemoryText(encoding, Bytes(capacity));
  }
  Bytes Written() const { return Bytes(bytes.begin(), bytes.begin() + memory->Pos()); }

  Bytes bytes;
  Ref<TRamStream> memory;
  Ref<TTextStream> text;
};

TEST(TextStreamTest, Utf8EncodesEachCodeUnitInOneToThreeBytes) {
  auto out = MemoryText::ForWriting(ENCODING_UTF8);
  out.text->WriteString(String(u"A\u00E9\u20AC\u07FF\u0800"));
  out.text->WriteChar(0xD83D);  // half of a surrogate pair is encoded on its own
  const Bytes expected = {0x41, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xED, 0xA0, 0xBD};
  ASSERT_EQ(out.Written(), expected);

  MemoryText in(ENCODING_UTF8, expected);
  EXPECT_EQ(in.text->ReadChar(), 0x41);
  EXPECT_EQ(in.text->ReadChar(), 0xE9);
  EXPECT_EQ(in.text->ReadChar(), 0x20AC);
  EXPECT_EQ(in.text->ReadString(3), String(u"\u07FF\u0800\xD83D"));
  EXPECT_TRUE(in.text->Eof());
}

TEST(TextStreamTest, Utf8FourByteSequenceReadsAsZeroAndLeavesTheNextCharacterIntact) {
  MemoryText in(ENCODING_UTF8, {0xF0, 0x9F, 0x98, 0x80, 'x', 10, 'y'});
  EXPECT_EQ(in.text->ReadLine(), String(""));  // the 0 ends the line
  EXPECT_EQ(in.text->ReadLine(), String("x"));
  EXPECT_EQ(in.text->ReadLine(), String("y"));
}

TEST(TextStreamTest, Utf16AndLatin1EncodeLinesAndLineEnds) {
  auto le = MemoryText::ForWriting(ENCODING_UTF16LE);
  le.text->WriteLine("A");
  EXPECT_EQ(le.Written(), (Bytes{0x41, 0x00, 0x0D, 0x00, 0x0A, 0x00}));

  auto be = MemoryText::ForWriting(ENCODING_UTF16BE);
  be.text->WriteLine(String(u"\u20AC"));
  EXPECT_EQ(be.Written(), (Bytes{0x20, 0xAC, 0x00, 0x0D, 0x00, 0x0A}));

  auto latin = MemoryText::ForWriting(ENCODING_LATIN1);
  latin.text->WriteString(String(u"\u0141\u00E9"));
  EXPECT_EQ(latin.Written(), (Bytes{0x41, 0xE9}));

  MemoryText leIn(ENCODING_UTF16LE, {0x41, 0x00, 0xAC, 0x20, 0x0D, 0x00, 0x0A, 0x00, 0x42});
  EXPECT_EQ(leIn.text->ReadLine(), String(u"A\u20AC"));
  EXPECT_EQ(leIn.text->ReadChar(), 0x42);  // the high byte cut off by the end reads as 0

  MemoryText beIn(ENCODING_UTF16BE, {0x20, 0xAC, 0x00, 0x0A});
  EXPECT_EQ(beIn.text->ReadLine(), String(u"\u20AC"));
}

TEST(TextStreamTest, ReadLineDropsCrAndEndsAtLfNulOrTheEnd) {
  MemoryText in(ENCODING_UTF8, BytesOf(std::string("one\r\ntw\ro\nab\0cd\n\nlast", 21)));
  EXPECT_EQ(in.text->ReadLine(), String("one"));
  EXPECT_EQ(in.text->ReadLine(), String("two"));
  EXPECT_EQ(in.text->ReadLine(), String("ab"));
  EXPECT_EQ(in.text->ReadLine(), String("cd"));
  EXPECT_EQ(in.text->ReadLine(), String(""));
  EXPECT_EQ(in.text->ReadLine(), String("last"));
  EXPECT_TRUE(in.text->Eof());
  EXPECT_EQ(in.text->ReadLine(), String(""));
}

TEST(TextStreamTest, LongUtf8LinesReadWholeAndQuickly) {
  // Two hundred thousand two-byte characters: reading must not cost more than linear time.
  std::string line;
  for (int i = 0; i < 200000; ++i) line += "\xC3\xA9";
  MemoryText in(ENCODING_UTF8, BytesOf(line + "\n"));
  const auto start = std::chrono::steady_clock::now();
  const String read = in.text->ReadLine();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(read.Length(), 200000);
  EXPECT_EQ(read.At(199999), 0xE9);
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST(TextStreamTest, ReadAllAndReadStringKeepEveryCharacter) {
  MemoryText all(ENCODING_LATIN1, BytesOf(std::string("a\r\n\0b", 5)));
  EXPECT_EQ(all.text->ReadAll(), String::FromBytes("a\r\n\0b", 5));
  EXPECT_EQ(all.text->ReadAll(), String(""));

  MemoryText counted(ENCODING_UTF16LE, {'a', 0, 10, 0, 'b', 0});
  EXPECT_EQ(counted.text->ReadString(-1), String(""));
  EXPECT_EQ(counted.text->ReadString(0), String(""));
  EXPECT_EQ(counted.text->ReadString(2), String("a\n"));
  // No end test: characters past the end read as 0.
  EXPECT_EQ(counted.text->ReadString(3), String::FromBytes("b\0\0", 3));
}

TEST(TextStreamTest, NumbersTravelAsDecimalTextLines) {
  auto out = MemoryText::ForWriting(ENCODING_LATIN1);
  out.text->WriteInt(-5);
  out.text->WriteByte(300);  // unmasked
  out.text->WriteShort(70000);
  out.text->WriteLong(INT64_MIN);
  out.text->WriteFloat(1.0f);
  out.text->WriteDouble(1.0);
  const std::string expected =
      "-5\r\n300\r\n70000\r\n-9223372036854775808\r\n1.00000000\r\n1.0000000000000000\r\n";
  EXPECT_EQ(out.Written(), BytesOf(expected));

  auto wide = MemoryText::ForWriting(ENCODING_UTF16LE);
  wide.text->WriteInt(7);
  EXPECT_EQ(wide.Written(), (Bytes{'7', 0, 13, 0, 10, 0}));

  MemoryText in(ENCODING_LATIN1, BytesOf("  $1F\n%101\nabc\n-300\n9000000000\n2.5\n1e300\n-0.125x\n"));
  EXPECT_EQ(in.text->ReadInt(), 31);
  EXPECT_EQ(in.text->ReadShort(), 5);
  EXPECT_EQ(in.text->ReadByte(), 0);
  EXPECT_EQ(in.text->ReadByte(), -300);
  EXPECT_EQ(in.text->ReadLong(), 9000000000);
  EXPECT_EQ(in.text->ReadFloat(), 2.5f);
  EXPECT_EQ(in.text->ReadFloat(), std::numeric_limits<float>::infinity());
  EXPECT_EQ(in.text->ReadDouble(), -0.125);
  EXPECT_EQ(in.text->ReadInt(), 0);  // at the end
}

TEST(TextStreamTest, RawBytesAreWrittenAsHexadecimalLines) {
  auto out = MemoryText::ForWriting(ENCODING_UTF16LE);  // hexadecimal digits bypass the encoding
  const uint8_t three[] = {0x00, 0xAB, 0xFF};
  out.text->WriteBytes(three, 3);
  EXPECT_EQ(out.Written(), BytesOf("00ABFF"));
  out.text->WriteLine("x");
  EXPECT_EQ(out.Written(), BytesOf(std::string("00ABFF\r\nx\0\r\0\n\0", 14)));

  Bytes block(33);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 8);
  auto full = MemoryText::ForWriting(ENCODING_LATIN1);
  full.text->WriteBytes(block.data(), 32);
  ASSERT_EQ(full.Written().size(), 66u);
  EXPECT_EQ(full.Written()[64], 13);
  EXPECT_EQ(full.Written()[65], 10);

  auto longer = MemoryText::ForWriting(ENCODING_LATIN1);
  longer.text->WriteBytes(block.data(), 33);
  const Bytes written = longer.Written();
  ASSERT_EQ(written.size(), 68u);
  EXPECT_EQ(Bytes(written.begin(), written.begin() + 4), BytesOf("0008"));
  EXPECT_EQ(Bytes(written.end() - 4, written.end()), BytesOf("\r\n00"));  // 32 * 8 wraps to 0
  longer.text->WriteChar('z');  // a character begins a textual write too
  EXPECT_EQ(longer.Written().size(), 71u);
}

TEST(TextStreamTest, HexadecimalLinesReadBackWithLfOrCrLf) {
  Bytes block(70);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(255 - i * 3);
  auto out = MemoryText::ForWriting(ENCODING_UTF8);
  out.text->WriteBytes(block.data(), 70);
  out.text->WriteLine("after");

  MemoryText in(ENCODING_UTF8, out.Written());
  Bytes read(70);
  in.text->ReadBytes(read.data(), 70);
  EXPECT_EQ(read, block);
  EXPECT_EQ(in.text->ReadLine(), String("after"));

  std::string lfOnly(64, 'F');
  lfOnly += "\n0A\nrest\n";
  MemoryText lf(ENCODING_LATIN1, BytesOf(lfOnly));
  Bytes bytes(33);
  lf.text->ReadBytes(bytes.data(), 33);
  EXPECT_EQ(bytes[31], 0xFF);
  EXPECT_EQ(bytes[32], 0x0A);
  EXPECT_EQ(lf.text->ReadLine(), String("rest"));
}

TEST(TextStreamTest, MalformedHexadecimalLineEndsThrow) {
  const auto expectMalformed = [](const std::string& data, int32_t count) {
    MemoryText in(ENCODING_LATIN1, BytesOf(data));
    std::vector<uint8_t> bytes(static_cast<std::size_t>(count));
    try {
      in.text->ReadBytes(bytes.data(), count);
      in.text->ReadLine();
      ADD_FAILURE() << "no error for " << data;
    } catch (const TThrownString& error) {
      EXPECT_EQ(error.Text(), String("Malformed line terminator"));
    }
  };
  expectMalformed(std::string(64, '0') + "\rX00", 33);
  expectMalformed(std::string(64, '0') + "00", 33);
  expectMalformed("0102\r\rline\n", 2);  // before the next textual read
}

TEST(TextStreamTest, HexadecimalDecodingIsUncheckedButStaysInRange) {
  MemoryText in(ENCODING_LATIN1, BytesOf("0aaF@~ 1"));
  uint8_t bytes[4] = {};
  in.text->ReadBytes(bytes, 4);
  EXPECT_EQ(bytes[0], 42);    // 'a' maps to 42
  EXPECT_EQ(bytes[1], 0xAF);  // (42 * 16) | 15, truncated to a byte
  EXPECT_EQ(bytes[2], 0xD7);  // '@' maps to 9, '~' to 71
  EXPECT_EQ(bytes[3], 0x01);  // ' ' maps to -16
  // A text stream closed in the middle of a hexadecimal line leaves it without a line end.
  EXPECT_EQ(in.text->ReadLine(), String(""));
}

TEST(TextStreamTest, UnknownEncodingsAndErrorsOfTheWrappedStream) {
  MemoryText in(9, {'a', 'b'});
  EXPECT_EQ(in.text->ReadChar(), 0);
  EXPECT_EQ(in.memory->Pos(), 1);

  auto out = MemoryText::ForWriting(0);
  out.text->WriteLine("abc");
  out.text->WriteInt(5);
  EXPECT_TRUE(out.Written().empty());
  uint8_t block[1] = {};
  const auto full = TTextStream::Create(NewMemoryStream(block, 1, true, true), ENCODING_UTF8);
  EXPECT_THROW(full->WriteString(String(u"\u00E9")), TStreamWriteException);
  EXPECT_THROW(TTextStream::Create(Null, ENCODING_UTF8)->ReadLine(), TNullObjectException);
}

// Files under a fresh temporary name, removed afterwards.
class TextFileTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTextStreamModule();
    InitRamStreamModule();
  }
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    path_ = testing::TempDir() + "corvex_text_" + info->name() + ".txt";
  }
  void TearDown() override { std::remove(path_.c_str()); }

  String Path() const { return String(path_.c_str()); }
  void WriteFile(const Bytes& bytes) const { SaveAllBytes(ByteArray::FromVector(bytes), Path()); }
  Bytes ReadFile() const {
    const ByteArray bytes = LoadAllBytes(Path());
    return Bytes(bytes.begin(), bytes.end());
  }
  String LoadFrom(const Bytes& bytes) const {
    WriteFile(bytes);
    return LoadTextFile(Path());
  }

  std::string path_;
};

TEST_F(TextFileTest, LoadTextFileChoosesTheEncodingByByteOrderMark) {
  EXPECT_EQ(LoadFrom({239, 187, 191, 'A', 0xC3, 0xA9}), String(u"A\u00E9"));
  EXPECT_EQ(LoadFrom({0xFF, 0xFE, 0x41, 0x00, 0xAC, 0x20}), String(u"A\u20AC"));
  EXPECT_EQ(LoadFrom({0xFE, 0xFF, 0x00, 0x41}), String("A"));
  EXPECT_EQ(LoadFrom({239, 187, 'A'}), String(u"\u00EF\u00BBA"));
  EXPECT_EQ(LoadFrom({239, 187}), String(u"\u00EF\u00BB"));
  EXPECT_EQ(LoadFrom({0xFF}), String(u"\u00FF"));
  EXPECT_EQ(LoadFrom({}), String(""));
  EXPECT_EQ(LoadFrom({0xC3, 0xA9}), String(u"\u00C3\u00A9"));  // UTF-8 without a mark is Latin-1
}

TEST_F(TextFileTest, SaveTextFileWritesLatin1OrMarkedUtf16le) {
  SaveTextFile(String(u"ab\u00FF"), Path());
  EXPECT_EQ(ReadFile(), (Bytes{'a', 'b', 0xFF}));

  const String wide(u"A\u0100\r\n");
  SaveTextFile(wide, Path());
  EXPECT_EQ(ReadFile(), (Bytes{0xFF, 0xFE, 0x41, 0x00, 0x00, 0x01, 0x0D, 0x00, 0x0A, 0x00}));
  EXPECT_EQ(LoadTextFile(Path()), wide);
}

TEST_F(TextFileTest, UrlsThatDoNotOpenRaiseStreamErrors) {
  EXPECT_THROW(LoadTextFile("/no/such/dir/file.txt"), TStreamReadException);
  EXPECT_THROW(LoadTextFile("nosuch::x"), TStreamReadException);
  EXPECT_THROW(SaveTextFile("plain", "/no/such/dir/file.txt"), TStreamWriteException);
  EXPECT_THROW(SaveTextFile(String(u"\u0100"), "/no/such/dir/file.txt"), TStreamWriteException);
}

TEST_F(TextFileTest, EncodingProtocolsOpenTextStreams) {
  WriteFile({'h', 0xC3, 0xA9, '\n'});
  const auto utf8 = Cast<TTextStream>(OpenReadStream(String("UTF8::") + Path()));
  ASSERT_FALSE(utf8.IsNull());
  EXPECT_EQ(utf8->Encoding(), ENCODING_UTF8);
  EXPECT_EQ(utf8->ReadLine(), String(u"h\u00E9"));
  utf8->Close();

  for (const auto& [protocol, encoding] :
       {std::pair{"latin1::", ENCODING_LATIN1}, std::pair{"utf16be::", ENCODING_UTF16BE},
        std::pair{"Utf16LE::", ENCODING_UTF16LE}}) {
    const auto stream = Cast<TTextStream>(OpenReadStream(String(protocol) + Path()));
    ASSERT_FALSE(stream.IsNull()) << protocol;
    EXPECT_EQ(stream->Encoding(), encoding);
    stream->Close();
  }

  const auto writer = OpenWriteStream(String("utf16le::") + Path());
  ASSERT_TRUE(IsA<TTextStream>(writer));
  writer->WriteLine("A");
  writer->Close();
  EXPECT_EQ(ReadFile(), (Bytes{0x41, 0x00, 0x0D, 0x00, 0x0A, 0x00}));  // no byte-order mark

  EXPECT_TRUE(OpenReadStream("utf8::/no/such/dir/file.txt").IsNull());
  EXPECT_TRUE(OpenReadStream(String("utf7::") + Path()).IsNull());

  static const uint8_t kEmbedded[] = {0xE2, 0x82, 0xAC, '1', '\n'};
  AddEmbeddedFile("text-test.txt", kEmbedded, sizeof kEmbedded);
  const auto stream = OpenReadStream("utf8::incbin::text-test.txt");
  ASSERT_FALSE(stream.IsNull());
  EXPECT_EQ(stream->ReadLine(), String(u"\u20AC1"));
  EXPECT_TRUE(OpenReadStream("utf8::incbin::no-such-entry").IsNull());
}

// Short lines of one-, two- and three-byte characters, CR LF and CR, past `size` bytes: long
// enough that a file stream's reads ahead end within characters and lines.
std::string MixedLines(std::size_t size) {
  static const char* const kPieces[] = {"ab", "\xC3\xA9", "c\r\n", "\xE2\x82\xAC", "de\n", "f\rg", "\n"};
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i) text += kPieces[i * 5 % 7];
  return text;
}

// Text decoded a block at a time from what a memory or file stream holds ahead must be what
// decoding a byte at a time gives (a wrapper in between hides the bytes ahead), with every
// position and end, and with the wrapped stream's own reads in between.
TEST(TextStreamTest, BlockDecodingMatchesByteAtATimeDecoding) {
  InitTextStreamModule();
  const std::vector<std::string> inputs = {
      "",
      "plain\nlines\r\nand\rcr",
      std::string("nul\0mid\n", 9),
      "caf\xC3\xA9 \xE2\x82\xAC\n\xF0\x9F\x98\x80x\n",
      "\xE9t\xE9\n\xFF",
      "abcdefghi\xC3\xA9\nabcdefghijklmnopq\xE2\x82\xACrs\r\n",
      std::string(40000, 'a') + "\n\xC3",
      MixedLines(40000),
  };
  const std::string path = testing::TempDir() + "corvex-text-block.txt";
  for (const bool file : {false, true}) {
    for (const int32_t encoding : {ENCODING_LATIN1, ENCODING_UTF8, ENCODING_UTF16LE}) {
      for (const std::string& input : inputs) {
        SCOPED_TRACE(testing::Message() << (file ? "file" : "memory") << ", encoding " << encoding << ", "
                                        << input.size() << " bytes");
        std::string a = input, b = input;
        if (file) {
          std::FILE* out = std::fopen(path.c_str(), "wb");
          std::fwrite(input.data(), 1, input.size(), out);
          std::fclose(out);
        }
        const auto open = [&](std::string& bytes) -> Ref<TStream> {
          if (file) return TCStream::OpenFile(String(path.c_str()), true, false);
          return NewMemoryStream(bytes.data(), static_cast<int32_t>(bytes.size()), true, false);
        };
        const Ref<TStream> fastSource = open(a), plainSource = open(b);
        const Ref<TTextStream> fast = TTextStream::Create(fastSource, encoding);
        const Ref<TTextStream> plain = TTextStream::Create(TStreamStream::Create(plainSource), encoding);
        for (int step = 0; step < 20000 && !(fast->Eof() && plain->Eof()); ++step) {
          EXPECT_EQ(fast->ReadLine(), plain->ReadLine());
          EXPECT_EQ(fast->ReadChar(), plain->ReadChar());
          EXPECT_EQ(fastSource->Pos(), plainSource->Pos());
          EXPECT_EQ(fast->Eof(), plain->Eof());
          if (step % 3 == 1) {
            EXPECT_EQ(fastSource->ReadByte(), plainSource->ReadByte());
          }
          EXPECT_EQ(fast->ReadChar(), plain->ReadChar());
          EXPECT_EQ(fast->Pos(), plain->Pos());
        }
        // (A file stream sought past its end does not end, and its reads fail.)
        const int32_t back = input.empty() ? 0 : 1;
        fastSource->Seek(back);
        plainSource->Seek(back);
        EXPECT_EQ(fast->ReadChar(), plain->ReadChar());
        uint8_t fastBytes[3] = {}, plainBytes[3] = {};
        EXPECT_EQ(fastSource->Read(fastBytes, 3), plainSource->Read(plainBytes, 3));
        EXPECT_EQ(std::string(fastBytes, fastBytes + 3), std::string(plainBytes, plainBytes + 3));
        EXPECT_EQ(fast->ReadAll(), plain->ReadAll());
        EXPECT_EQ(fastSource->Pos(), plainSource->Pos());
        EXPECT_TRUE(fast->Eof());
        fastSource->Close();
        plainSource->Close();
      }
    }
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace corvex
