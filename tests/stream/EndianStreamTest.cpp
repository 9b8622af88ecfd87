#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "stream/CStream.h"
#include "stream/EmbeddedFiles.h"
#include "stream/EndianStream.h"
#include "stream/RamStream.h"
#include "stream/Url.h"

namespace corvex {
namespace {

using Bytes = std::vector<uint8_t>;

// A memory block and a big-endian view of it: reads see `bytes`, writes land in them.
struct BigEndianMemory {
  explicit BigEndianMemory(Bytes initial) : bytes(std::move(initial)) {
    memory = NewMemoryStream(bytes.data(), static_cast<int32_t>(bytes.size()), true, true);
    big = BigEndianView(memory);
  }
  Bytes Written() const { return Bytes(bytes.begin(), bytes.begin() + memory->Pos()); }

  Bytes bytes;
  Ref<TRamStream> memory;
  Ref<TStream> big;
};

TEST(EndianStreamTest, ReadsMostSignificantByteFirstWithMissingBytesZeroBeforeTheSwap) {
  BigEndianMemory in({0x12, 0x34, 0xFF, 0xFE, 0x00, 0x00, 0x01, 0x00, 0x01, 0x02,
                      0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x3F, 0x80, 0x00, 0x00,
                      0xC0, 0,    0,    0,    0,    0,    0,    0,    0x12});
  EXPECT_EQ(in.big->ReadShort(), 0x1234);
  EXPECT_EQ(in.big->ReadShort(), 65534);  // unsigned, as on a plain stream
  EXPECT_EQ(in.big->ReadInt(), 256);
  EXPECT_EQ(in.big->ReadLong(), 0x0102030405060708);
  EXPECT_EQ(in.big->ReadFloat(), 1.0f);
  EXPECT_EQ(in.big->ReadDouble(), -2.0);
  EXPECT_EQ(in.big->ReadShort(), 0x1200);
  EXPECT_EQ(in.big->ReadInt(), 0);
}

TEST(EndianStreamTest, WritesMostSignificantByteFirst) {
  BigEndianMemory out(Bytes(64));
  out.big->WriteShort(0x12345);  // only the low 16 bits
  out.big->WriteInt(256);
  out.big->WriteFloat(1.0f);
  out.big->WriteDouble(1.0);
  out.big->WriteLong(-2);
  EXPECT_EQ(out.Written(),
            (Bytes{0x23, 0x45, 0x00, 0x00, 0x01, 0x00, 0x3F, 0x80, 0x00, 0x00, 0x3F, 0xF0, 0,
                   0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}));
}

TEST(EndianStreamTest, BytesTextAndErrorsPassThroughUnchanged) {
  const Bytes data = {0x81, 'l', 'i', 'n', 'e', 13, 10, 'a', 'b', 'c'};
  BigEndianMemory swapped(data);
  Bytes copy = data;
  const auto plain = NewMemoryStream(copy.data(), static_cast<int32_t>(copy.size()), true, false);
  EXPECT_EQ(swapped.big->ReadByte(), plain->ReadByte());
  EXPECT_EQ(swapped.big->ReadLine(), plain->ReadLine());
  EXPECT_EQ(swapped.big->ReadString(3), plain->ReadString(3));

  swapped.memory->Seek(0);
  swapped.big->WriteByte(0x1FF);
  swapped.big->WriteString("hi");
  EXPECT_EQ(swapped.Written(), (Bytes{0xFF, 'h', 'i'}));

  const auto readOnly = BigEndianView(plain);
  EXPECT_THROW(readOnly->WriteInt(1), TStreamWriteException);
}

TEST(EndianStreamTest, ViewsOfNullAndOfAStream) {
  EXPECT_TRUE(BigEndianView(Null).IsNull());
  EXPECT_TRUE(LittleEndianView(Null).IsNull());
  BigEndianMemory memory(Bytes(4));
  EXPECT_TRUE(LittleEndianView(memory.memory) == memory.memory);
  ASSERT_TRUE(IsA<TXEndianStream>(memory.big));
  EXPECT_TRUE(Cast<TXEndianStream>(memory.big)->WrappedStream() == memory.memory);
}

TEST(EndianStreamTest, ProtocolsWrapWhatThePathOpens) {
  InitEndianStreamModule();
  InitRamStreamModule();
  const std::string path = testing::TempDir() + "corvex_endian_protocols.bin";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite("\x12\x34", 1, 2, file);
  std::fclose(file);

  const auto big = OpenReadStream(String("BigEndian::") + String(path.c_str()));
  ASSERT_TRUE(IsA<TXEndianStream>(big));
  EXPECT_TRUE(IsA<TCStream>(Cast<TXEndianStream>(big)->WrappedStream()));
  EXPECT_EQ(big->ReadShort(), 0x1234);
  big->Close();

  const auto little = OpenReadStream(String("littleendian::") + String(path.c_str()));
  ASSERT_TRUE(IsA<TCStream>(little));  // the file stream itself, not a wrapper
  EXPECT_EQ(little->ReadShort(), 0x3412);
  little->Close();
  std::remove(path.c_str());

  static const uint8_t kEmbedded[] = {0x00, 0x00, 0x00, 0x2A};
  AddEmbeddedFile("endian-test.bin", kEmbedded, sizeof kEmbedded);
  EXPECT_EQ(OpenReadStream("bigendian::incbin::endian-test.bin")->ReadInt(), 42);
  EXPECT_TRUE(OpenReadStream("bigendian::incbin::no-such-entry").IsNull());
  EXPECT_TRUE(OpenReadStream("littleendian::/no/such/file.bin").IsNull());
  EXPECT_TRUE(OpenReadStream("middleendian::incbin::endian-test.bin").IsNull());
}

}  // namespace
}  // namespace corvex
