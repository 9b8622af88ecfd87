#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include "stream/CStream.h"
#include "tests/stream/StreamTestSupport.h"

namespace corvex {
namespace {

using testing_support::ReadFile;
using testing_support::ScopedTempDir;
using testing_support::WriteFile;

TEST(CStreamTest, TheFlagsChooseHowTheFileOpens) {
  ScopedTempDir dir;
  const String path(dir.Path("file.bin").c_str());
  EXPECT_FALSE(TCStream::OpenFile(path, true, false));
  EXPECT_FALSE(TCStream::OpenFile(path, true, true));  // read and write needs the file

  WriteFile(dir.Path("file.bin"), "abcdef");
  for (const bool readable : {true, false}) {
    auto reader = TCStream::OpenFile(path, readable, false);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->OpenMode(), TCStream::kModeRead);
    EXPECT_EQ(reader->Size(), 6);
    EXPECT_EQ(reader->ReadByte(), 'a');
    EXPECT_THROW(reader->WriteByte('x'), TStreamWriteException);
    reader->Close();
  }

  auto both = TCStream::OpenFile(path, true, true);
  ASSERT_TRUE(both);
  EXPECT_EQ(both->OpenMode(), TCStream::kModeReadWrite);
  EXPECT_EQ(both->Pos(), 0);
  EXPECT_EQ(both->Size(), 6);
  both->Seek(4);
  both->WriteString("EFGH");
  EXPECT_EQ(both->Size(), 8);
  both->Close();
  EXPECT_EQ(ReadFile(dir.Path("file.bin")), "abcdEFGH");

  auto writer = TCStream::OpenFile(path, false, true);
  ASSERT_TRUE(writer);
  EXPECT_EQ(writer->OpenMode(), TCStream::kModeWrite);
  EXPECT_EQ(writer->Size(), 0);  // truncated
  writer->Close();
  EXPECT_EQ(ReadFile(dir.Path("file.bin")), "");
}

TEST(CStreamTest, BackslashesSeparateDirectories) {
  ScopedTempDir dir;
  std::filesystem::create_directories(dir.Path("sub"));
  WriteFile(dir.Path("sub/file.bin"), "x");
  std::string windowsPath = dir.Path("sub\\file.bin");
  for (char& c : windowsPath) c = c == '/' ? '\\' : c;
  auto stream = TCStream::OpenFile(windowsPath.c_str(), true, false);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->ReadByte(), 'x');
  stream->Close();
}

TEST(CStreamTest, PositionAndSizeFollowWhatTheStreamDid) {
  ScopedTempDir dir;
  auto stream = TCStream::OpenFile(dir.Path("new.bin").c_str(), false, true);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->Size(), 0);
  EXPECT_TRUE(stream->Eof());
  stream->WriteBytes("0123456789", 10);
  EXPECT_EQ(stream->Size(), 10);
  EXPECT_TRUE(stream->Eof());
  EXPECT_EQ(stream->Seek(4), 4);
  EXPECT_FALSE(stream->Eof());
  stream->WriteBytes("ab", 2);
  EXPECT_EQ(stream->Pos(), 6);
  EXPECT_EQ(stream->Size(), 10);
  // A negative seek fails and the stream stays where it was.
  EXPECT_EQ(stream->Seek(-3), 6);
  EXPECT_EQ(stream->Pos(), 6);
  stream->WriteBytes("c", 1);
  stream->Close();
  EXPECT_EQ(ReadFile(dir.Path("new.bin")), "0123abc789");
}

TEST(CStreamTest, ReadsAndWritesMayAlternateOnOneFile) {
  ScopedTempDir dir;
  WriteFile(dir.Path("mixed.bin"), "abcdef");
  auto stream = TCStream::OpenFile(dir.Path("mixed.bin").c_str(), true, true);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->ReadString(2), String("ab"));
  stream->WriteString("XY");
  EXPECT_EQ(stream->ReadString(2), String("ef"));
  EXPECT_TRUE(stream->Eof());
  stream->WriteString("gh");
  EXPECT_EQ(stream->Size(), 8);
  stream->Seek(1);
  EXPECT_EQ(stream->ReadString(7), String("bXYefgh"));
  stream->Close();
  EXPECT_EQ(ReadFile(dir.Path("mixed.bin")), "abXYefgh");
}

TEST(CStreamTest, ReadingPastTheKnownSizeIsAnError) {
  ScopedTempDir dir;
  WriteFile(dir.Path("short.bin"), "abc");
  auto stream = TCStream::OpenFile(dir.Path("short.bin").c_str(), true, false);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->Seek(100), 100);
  EXPECT_FALSE(stream->Eof());
  EXPECT_THROW(stream->ReadByte(), TStreamReadException);
  stream->Close();
}

TEST(CStreamTest, AClosedStreamIsEmptyAndInert) {
  ScopedTempDir dir;
  WriteFile(dir.Path("closed.bin"), "abc");
  auto stream = TCStream::OpenFile(dir.Path("closed.bin").c_str(), true, true);
  ASSERT_TRUE(stream);
  stream->ReadByte();
  stream->Close();
  stream->Close();
  EXPECT_EQ(stream->Pos(), 0);
  EXPECT_EQ(stream->Size(), 0);
  EXPECT_TRUE(stream->Eof());
  char byte = 0;
  EXPECT_EQ(stream->Read(&byte, 1), 0);
  EXPECT_EQ(stream->Write("x", 1), 0);
  EXPECT_EQ(stream->Seek(1), -1);
  stream->Flush();
  EXPECT_EQ(ReadFile(dir.Path("closed.bin")), "abc");
}

TEST(CStreamTest, NamesThatAreNoFileGiveNull) {
  ScopedTempDir dir;
  WriteFile(dir.Path("real.bin"), "abc");
  EXPECT_FALSE(TCStream::OpenFile(dir.Path().c_str(), true, false));  // a directory
  EXPECT_FALSE(TCStream::OpenFile("", true, false));
  // A NUL inside the name must not open the file named by what precedes it.
  String withNul = String(dir.Path("real.bin").c_str()) + String(std::u16string(1, u'\0')) + "x";
  EXPECT_FALSE(TCStream::OpenFile(withNul, true, false));
}

TEST(CStreamTest, PositionsStayWithin32Bits) {
  ScopedTempDir dir;
  const std::string big = dir.Path("big.bin");
  // A sparse file of exactly 2 GiB: one byte more than a 32-bit position can reach.
  std::FILE* file = std::fopen(big.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fseek(file, INT32_MAX, SEEK_SET), 0);
  std::fputc('z', file);
  std::fclose(file);
  EXPECT_FALSE(TCStream::OpenFile(big.c_str(), true, false));
  EXPECT_FALSE(TCStream::OpenFile(big.c_str(), true, true));
  EXPECT_EQ(std::filesystem::file_size(big), uint64_t{INT32_MAX} + 1);

  // Writing stops at the last position a stream can report.
  auto stream = TCStream::OpenFile(dir.Path("edge.bin").c_str(), false, true);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->Seek(INT32_MAX - 1), INT32_MAX - 1);
  EXPECT_THROW(stream->WriteBytes("abcd", 4), TStreamWriteException);
  EXPECT_EQ(stream->Pos(), INT32_MAX);
  EXPECT_EQ(stream->Size(), INT32_MAX);
  EXPECT_EQ(stream->Write("e", 1), 0);
  stream->Close();
  EXPECT_EQ(std::filesystem::file_size(dir.Path("edge.bin")), uint64_t{INT32_MAX});
}

TEST(CStreamTest, FromFileHandleStartsWhereTheHandleIs) {
  ScopedTempDir dir;
  WriteFile(dir.Path("handle.bin"), "0123456789");
  std::FILE* file = std::fopen(dir.Path("handle.bin").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::fseek(file, 3, SEEK_SET);
  auto stream = TCStream::FromFileHandle(file, TCStream::kModeRead);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->Pos(), 3);
  EXPECT_EQ(stream->Size(), 10);
  EXPECT_EQ(stream->OpenMode(), TCStream::kModeRead);
  EXPECT_EQ(stream->ReadByte(), '3');
  stream->Close();
  EXPECT_FALSE(TCStream::FromFileHandle(nullptr, TCStream::kModeRead));
}

TEST(CStandardIOTest, HasNoPositionSizeOrEnd) {
  auto stdio = New<TCStandardIO>();
  EXPECT_EQ(stdio->Pos(), -1);
  EXPECT_EQ(stdio->Size(), 0);
  EXPECT_FALSE(stdio->Eof());
  EXPECT_EQ(stdio->Seek(0), -1);
  stdio->Close();
  testing::internal::CaptureStdout();
  stdio->WriteString("to standard output");
  stdio->Flush();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "to standard output");
}

TEST(CStandardIOTest, ReadsStandardInputAndFailsWhenItRunsOut) {
  ScopedTempDir dir;
  WriteFile(dir.Path("input.txt"), "hi\n");
  ASSERT_NE(std::freopen(dir.Path("input.txt").c_str(), "rb", stdin), nullptr);
  auto stdio = New<TCStandardIO>();
  EXPECT_EQ(stdio->ReadLine(), String("hi"));
  EXPECT_THROW(stdio->ReadByte(), TStreamReadException);
}

}  // namespace
}  // namespace corvex
