// The stream core's algorithms and the forwarding wrappers, run over memory streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "runtime/Exceptions.h"
#include "stream/RamStream.h"
#include "stream/Stream.h"
#include "stream/Url.h"
#include "tests/stream/StreamTestSupport.h"

namespace corvex {
namespace {

using testing_support::CountingBytes;
using testing_support::RecordingStream;

// A readable memory stream over the string's bytes (writeable on request).
Ref<TRamStream> Over(std::string& bytes, bool writeable = false) {
  return NewMemoryStream(bytes.data(), static_cast<int32_t>(bytes.size()), true, writeable);
}

TEST(StreamTest, TypedReadsAreLittleEndianUnsignedBelowIntAndZeroPastTheEnd) {
  std::string bytes("\x34\x12\xFF\xFF\xFF\xFF\xFF\xFF\x01\x02", 10);
  auto stream = Over(bytes);
  EXPECT_EQ(stream->ReadShort(), 4660);
  EXPECT_EQ(stream->ReadShort(), 65535);
  EXPECT_EQ(stream->ReadInt(), -1);
  EXPECT_EQ(stream->ReadInt(), 513);  // only two bytes were left
  EXPECT_TRUE(stream->Eof());
  EXPECT_EQ(stream->ReadInt(), 0);
  EXPECT_EQ(stream->ReadDouble(), 0.0);
}

TEST(StreamTest, TypedWritesKeepTheLowBitsLittleEndian) {
  std::string bytes(27, '\0');
  auto stream = Over(bytes, true);
  stream->WriteByte(0x1FF);
  stream->WriteShort(0x12345);
  stream->WriteInt(-2);
  stream->WriteLong(0x0102030405060708);
  stream->WriteFloat(1.0f);
  stream->WriteDouble(-2.0);
  EXPECT_EQ(bytes, std::string("\xFF\x45\x23\xFE\xFF\xFF\xFF\x08\x07\x06\x05\x04\x03\x02\x01"
                               "\x00\x00\x80\x3F\x00\x00\x00\x00\x00\x00\x00\xC0",
                               27));
  stream->Seek(15);
  EXPECT_EQ(stream->ReadFloat(), 1.0f);
  EXPECT_EQ(stream->ReadDouble(), -2.0);
}

TEST(StreamTest, ReadLineEndsAtLineFeedOrNulAndDropsEveryCarriageReturn) {
  std::string bytes("one\r\ntwo\nthree");
  auto stream = Over(bytes);
  EXPECT_EQ(stream->ReadLine(), String("one"));
  EXPECT_EQ(stream->ReadLine(), String("two"));
  EXPECT_EQ(stream->ReadLine(), String("three"));
  EXPECT_TRUE(stream->Eof());
  EXPECT_EQ(stream->ReadLine(), String(""));

  std::string joined("a\rb\r\nab\0cd\n", 11);
  stream = Over(joined);
  EXPECT_EQ(stream->ReadLine(), String("ab"));
  EXPECT_EQ(stream->ReadLine(), String("ab"));
  EXPECT_EQ(stream->ReadLine(), String("cd"));

  // 3000 bytes, every value but LF, NUL and CR, across several 1 KiB buffer fills.
  std::string line;
  for (int i = 0; line.size() < 3000; ++i) {
    const char byte = static_cast<char>(i % 256);
    if (byte != 0 && byte != 10 && byte != 13) line += byte;
  }
  std::string longLine = line + "\n";
  stream = Over(longLine);
  EXPECT_EQ(stream->ReadLine(), String::FromBytes(line));
}

TEST(StreamTest, TextWritesKeepTheLowByteAndReportShortLines) {
  std::string bytes(6, '.');
  auto stream = Over(bytes, true);
  EXPECT_TRUE(stream->WriteLine(""));
  EXPECT_TRUE(stream->WriteLine(String(u"\u0141b")));
  EXPECT_EQ(bytes, std::string("\r\nAb\r\n"));
  EXPECT_FALSE(stream->WriteLine("x"));  // a full stream: reported, not thrown
  stream->Seek(3);
  EXPECT_FALSE(stream->WriteLine("xy"));  // the text fits, its line end does not
  EXPECT_EQ(bytes, std::string("\r\nAxy\r"));
  stream->Seek(4);
  EXPECT_THROW(stream->WriteString("abc"), TStreamWriteException);
}

TEST(StreamTest, ReadStringWidensBytesAndZeroesPastTheEnd) {
  std::string bytes("\xE9z", 2);
  auto stream = Over(bytes);
  EXPECT_EQ(stream->ReadString(0), String(""));
  EXPECT_EQ(stream->ReadString(-1), String(""));
  EXPECT_EQ(stream->Pos(), 0);
  EXPECT_EQ(stream->ReadString(4), String(std::u16string(u"\u00E9z\0\0", 4)));
}

TEST(StreamTest, ReadBytesStopsQuietlyOnlyAtTheEnd) {
  std::string bytes("abc");
  char buffer[6] = {'-', '-', '-', '-', '-', '-'};
  EXPECT_EQ(Over(bytes)->ReadBytes(buffer, 5), 5);
  EXPECT_EQ(std::string(buffer, 6), "abc---");

  // Two bytes arrive, then the source stalls before its end: they stay in the buffer.
  EXPECT_THROW(New<RecordingStream>("xy", INT32_MAX, true)->ReadBytes(buffer, 4), TStreamReadException);
  EXPECT_EQ(std::string(buffer, 6), "xyc---");

  auto slow = New<RecordingStream>("abcdef", 4);
  EXPECT_EQ(slow->ReadBytes(buffer, 6), 6);
  EXPECT_EQ(slow->requests, (std::vector<int32_t>{6, 2}));

  auto untouched = New<RecordingStream>("abc");
  EXPECT_EQ(untouched->ReadBytes(nullptr, 0), 0);
  EXPECT_EQ(untouched->WriteBytes(nullptr, 0), 0);
  EXPECT_TRUE(untouched->requests.empty());
  EXPECT_TRUE(untouched->written.empty());
}

TEST(StreamTest, WriteBytesRetriesShortWritesAndRaisesWhenNothingFits) {
  auto slow = New<RecordingStream>("", 2);
  EXPECT_EQ(slow->WriteBytes("abcde", 5), 5);
  EXPECT_EQ(slow->written, "abcde");
  std::string bytes(3, '.');
  EXPECT_THROW(Over(bytes, true)->WriteBytes("abcde", 5), TStreamWriteException);
  EXPECT_EQ(bytes, "abc");
}

TEST(StreamTest, SkipBytesReadsInKilobyteChunksAndStopsAtTheEnd) {
  auto stream = New<RecordingStream>(CountingBytes(3000));
  EXPECT_EQ(stream->SkipBytes(2500), 2500);
  EXPECT_EQ(stream->requests, (std::vector<int32_t>{1024, 1024, 452}));
  EXPECT_EQ(stream->ReadByte(), 2500 & 0xFF);
  EXPECT_EQ(stream->SkipBytes(1000), 1000);  // only 499 were left
  EXPECT_TRUE(stream->Eof());
  EXPECT_THROW(New<RecordingStream>("abc", 3, true)->SkipBytes(5), TStreamReadException);
}

TEST(StreamTest, RawDefaultsRefuseTransfersAndNeverEnd) {
  auto stream = New<TStream>();
  EXPECT_EQ(stream->Pos(), -1);
  EXPECT_EQ(stream->Size(), 0);
  EXPECT_FALSE(stream->Eof());
  EXPECT_EQ(stream->Seek(5), -1);
  const auto message = [](auto operation) {
    try {
      operation();
    } catch (const Object& error) {
      return error.ToString();
    }
    return String("nothing thrown");
  };
  EXPECT_EQ(message([&] { stream->ReadByte(); }), String("Stream is not readable"));
  EXPECT_EQ(message([&] { stream->WriteByte(1); }), String("Stream is not writeable"));
  EXPECT_THROW(stream->ReadByte(), TRuntimeException);
  EXPECT_EQ(message([&] { stream->ReadObject(); }), String("Unable to read object"));
  EXPECT_THROW(stream->WriteObject(Null), TThrownString);
  EXPECT_EQ(TStreamReadException().ToString(), String("Error reading from stream"));
  EXPECT_EQ(TStreamWriteException().ToString(), String("Error writing to stream"));
}

TEST(StreamTest, CopyFunctionsCopyFromThePositionOn) {
  std::string source = CountingBytes(1000);
  auto from = Over(source);
  from->Seek(100);
  auto sink = New<RecordingStream>();
  CopyStreamBytes(from, sink, 300, 64);
  EXPECT_EQ(sink->written, source.substr(100, 300));
  CopyStreamToEnd(from, sink, 64);
  EXPECT_EQ(sink->written, source.substr(100));

  // A source that stalls without ending stops the copy instead of looping.
  auto stalling = New<RecordingStream>("abc", INT32_MAX, true);
  auto stalled = New<RecordingStream>();
  CopyStreamToEnd(stalling, stalled);
  EXPECT_EQ(stalled->written, "abc");
}

// Answers fixed values from high-level operations, to show that a wrapper forwards them.
class MarkedStream : public RecordingStream {
 public:
  MarkedStream() : RecordingStream("xyz") {}
  int32_t ReadInt() override { return 42; }
  String ReadLine() override { return "marked"; }
};

TEST(StreamWrapperTest, ForwardsEveryOperationToTheWrappedStream) {
  auto inner = New<MarkedStream>();
  auto wrapper = New<TStreamWrapper>();
  wrapper->SetStream(inner);
  EXPECT_EQ(wrapper->ReadInt(), 42);
  EXPECT_EQ(wrapper->ReadLine(), String("marked"));
  char buffer[3];
  EXPECT_EQ(wrapper->ReadBytes(buffer, 3), 3);  // on the forwarded Eof and Read
  EXPECT_EQ(std::string(buffer, 3), "xyz");
  EXPECT_TRUE(wrapper->Eof());
  wrapper->WriteString("ok");
  EXPECT_EQ(inner->written, "ok");
  wrapper->Close();
  EXPECT_EQ(inner->closes, 1);
}

TEST(StreamStreamTest, ClosingDetachesAndLeavesTheStreamOpen) {
  auto inner = New<RecordingStream>("abc");
  auto wrapper = TStreamStream::Create(inner);
  EXPECT_EQ(wrapper->ReadByte(), 'a');
  wrapper->Close();
  EXPECT_EQ(inner->closes, 0);
  EXPECT_THROW(wrapper->ReadByte(), TNullObjectException);
  EXPECT_EQ(inner->ReadByte(), 'b');
}

// Files and memory streams take lines and single bytes from a look-ahead of their own; every
// line, byte, position and end must be what reading one byte at a time gives, also with reads,
// writes and seeks in between.
TEST(StreamTest, LookAheadLinesMatchByteAtATimeReading) {
  InitStreamModule();
  std::string longLine(40000, 'x');
  longLine[20000] = '\r';
  const std::vector<std::string> inputs = {
      "",
      "one",
      "one\n",
      "a\nb\r\n\nc",
      "cr\rinside\r\n\r",
      std::string("nul\0after\nz", 11),
      "\xE9\xFF\x80\n\x01",
      longLine + "\n" + longLine,
      std::string(20000, '\n'),
  };
  testing_support::ScopedTempDir dir;
  for (const std::string& input : inputs) {
    const std::string path = dir.Path("lines.txt");
    {
      std::FILE* file = std::fopen(path.c_str(), "wb");
      std::fwrite(input.data(), 1, input.size(), file);
      std::fclose(file);
    }
    std::string memory = input, twinMemory = input;
    const std::vector<std::pair<Ref<TStream>, Ref<TStream>>> pairs = {
        {OpenStream(path.c_str(), true, true), OpenStream(path.c_str(), true, true)},
        {Over(memory, true), Over(twinMemory, true)},
    };
    for (const auto& [fast, plain] : pairs) {
      ASSERT_TRUE(fast && plain);
      for (int step = 0; step < 12 && !(fast->Eof() && plain->Eof()); ++step) {
        SCOPED_TRACE(testing::Message() << input.size() << " bytes, step " << step);
        EXPECT_EQ(fast->ReadLine(), plain->TStream::ReadLine());
        EXPECT_EQ(fast->ReadByte(), plain->TStream::ReadByte());
        char a[3] = {}, b[3] = {};
        EXPECT_EQ(fast->Read(a, 3), plain->Read(b, 3));
        EXPECT_EQ(std::string(a, 3), std::string(b, 3));
        EXPECT_EQ(fast->Pos(), plain->Pos());
        EXPECT_EQ(fast->Eof(), plain->Eof());
        if (step == 3 && !fast->Eof()) {  // a write in the middle, then read on
          fast->WriteByte('W');
          plain->WriteByte('W');
        }
        if (step == 6) {
          EXPECT_EQ(fast->Seek(1), plain->Seek(1));
        }
      }
      fast->Close();
      plain->Close();
    }
    EXPECT_EQ(memory, twinMemory);
  }
}

}  // namespace
}  // namespace corvex
