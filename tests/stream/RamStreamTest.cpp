#include <gtest/gtest.h>

#include <string>

#include "stream/EmbeddedFiles.h"
#include "stream/RamStream.h"
#include "stream/Url.h"
#include "tests/stream/StreamTestSupport.h"

namespace corvex {
namespace {

TEST(RamStreamTest, ReadsAndWritesWithinTheBlockOnly) {
  std::string block("abcdef");
  auto stream = TRamStream::Create(block.data(), 6, true, true);
  EXPECT_EQ(stream->Pos(), 0);
  EXPECT_EQ(stream->Size(), 6);
  char buffer[8] = {};
  EXPECT_EQ(stream->Read(buffer, 4), 4);
  EXPECT_EQ(stream->Write("XYZ", 3), 2);  // cut at the end of the block, which never grows
  EXPECT_EQ(block, "abcdXY");
  EXPECT_TRUE(stream->Eof());
  EXPECT_EQ(stream->Read(buffer, 4), 0);
  EXPECT_EQ(stream->Write("Q", 1), 0);
  EXPECT_THROW(stream->WriteByte(1), TStreamWriteException);
  EXPECT_EQ(stream->Read(buffer, -1), 0);
  EXPECT_EQ(stream->Size(), 6);
}

TEST(RamStreamTest, SeekStaysWithinTheBlockAndCloseChangesNothing) {
  std::string block("abcdef");
  auto stream = NewMemoryStream(block.data(), 6, true, false);
  EXPECT_EQ(stream->Seek(-3), 0);
  EXPECT_EQ(stream->Seek(100), 6);
  EXPECT_TRUE(stream->Eof());
  EXPECT_EQ(stream->Seek(2), 2);
  stream->Close();
  EXPECT_EQ(stream->ReadByte(), 'c');
}

TEST(RamStreamTest, ATypedReadOverTheEndZeroesTheMissingBytes) {
  std::string block("\x01\x02\x03", 3);
  auto stream = NewMemoryStream(block.data(), 3, true, false);
  EXPECT_EQ(stream->ReadInt(), 0x030201);
  EXPECT_TRUE(stream->Eof());
}

TEST(RamStreamTest, DisallowedTransfersAnswerNothing) {
  std::string block("abc");
  auto stream = NewMemoryStream(block.data(), 3, false, false);
  char byte = 0;
  EXPECT_EQ(stream->Read(&byte, 1), 0);
  EXPECT_EQ(stream->Write("x", 1), 0);
  EXPECT_THROW(stream->ReadByte(), TStreamReadException);  // not at the end, yet nothing comes
  EXPECT_THROW(stream->WriteByte('x'), TStreamWriteException);
  EXPECT_EQ(block, "abc");
  stream->Seek(3);
  EXPECT_EQ(stream->ReadByte(), 0);  // at the end, no error
}

TEST(RamStreamTest, ANegativeSizeOrMissingBlockIsEmpty) {
  std::string block("abc");
  for (auto stream :
       {NewMemoryStream(block.data(), -5, true, true), NewMemoryStream(nullptr, 10, true, true)}) {
    EXPECT_EQ(stream->Size(), 0);
    EXPECT_TRUE(stream->Eof());
    char byte = 0;
    EXPECT_EQ(stream->Read(&byte, 1), 0);
    EXPECT_EQ(stream->Write("x", 1), 0);
  }
  EXPECT_EQ(block, "abc");
}

// The chain's length, to see what registering adds.
int FactoryCount() {
  int count = 0;
  for (auto factory = StreamFactoryHead(); factory; factory = factory->Next()) ++count;
  return count;
}

TEST(RamStreamFactoryTest, IncbinOpensAnEmbeddedFileReadOnly) {
  static const char kIndex[] = "#frames: 2\nline\n";
  InitRamStreamModule();
  const int factories = FactoryCount();
  InitRamStreamModule();
  EXPECT_EQ(FactoryCount(), factories);  // one factory, however often the module is initialised
  const std::string name = testing_support::UniqueName("ramtest.pac");
  ASSERT_TRUE(AddEmbeddedFile(name.c_str(), kIndex, sizeof kIndex - 1));

  auto stream = OpenReadStream(("incbin::" + name).c_str());
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->Size(), static_cast<int32_t>(sizeof kIndex - 1));
  EXPECT_EQ(stream->Pos(), 0);
  EXPECT_EQ(stream->ReadLine(), String("#frames: 2"));
  EXPECT_EQ(stream->Write("x", 1), 0);
  stream->Close();

  EXPECT_TRUE(OpenReadStream(("INCBIN::" + name).c_str()));
  EXPECT_FALSE(OpenReadStream(("incbin::RAM" + name.substr(3)).c_str()));
  EXPECT_FALSE(OpenReadStream(("incbin::" + name + ".missing").c_str()));
  EXPECT_FALSE(OpenWriteStream(("incbin::" + name).c_str()));
  EXPECT_FALSE(OpenStream(("incbin::" + name).c_str(), true, true));
  EXPECT_FALSE(OpenReadStream(("incbinx::" + name).c_str()));

  // Opened with neither flag, the stream exists but gives nothing.
  auto closed = OpenStream(("incbin::" + name).c_str(), false, false);
  ASSERT_TRUE(closed);
  EXPECT_THROW(closed->ReadByte(), TStreamReadException);
}

}  // namespace
}  // namespace corvex
