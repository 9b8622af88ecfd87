#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "runtime/Exceptions.h"
#include "stream/Bank.h"
#include "stream/Url.h"

namespace corvex {
namespace {

class BankStreamTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { InitBankStreamModule(); }
};

TEST_F(BankStreamTest, WritingPastTheEndGrowsTheBankAndSeekClamps) {
  auto stream = NewBankStream(Null);
  const std::array<uint8_t, 5> five = {1, 2, 3, 4, 5};
  stream->WriteBytes(five.data(), 5);
  EXPECT_EQ(BankByteCount(stream->Bank()), 5);
  EXPECT_TRUE(stream->Eof());
  EXPECT_EQ(stream->Seek(100), 5);
  stream->WriteBytes(five.data(), 3);
  EXPECT_EQ(BankByteCount(stream->Bank()), 8);
  EXPECT_EQ(stream->Pos(), 8);
  EXPECT_EQ(stream->Seek(-3), 0);
  EXPECT_EQ(stream->Write(five.data(), 0), 0);
  EXPECT_EQ(stream->Write(five.data(), -1), 0);
  EXPECT_EQ(BankByteCount(stream->Bank()), 8);
}

TEST_F(BankStreamTest, ReadingStopsAtTheEndOfTheBank) {
  auto bank = NewBank(3);
  PokeByte(bank, 0, 0x01);
  PokeByte(bank, 1, 0x02);
  PokeByte(bank, 2, 0x03);
  auto stream = NewBankStream(bank);
  EXPECT_EQ(stream->ReadInt(), 0x030201);  // the missing high byte reads as zero
  EXPECT_TRUE(stream->Eof());
  uint8_t byte = 0;
  EXPECT_EQ(stream->Read(&byte, 1), 0);
  EXPECT_EQ(stream->ReadInt(), 0);

  // A bank shrunk under the stream leaves it beyond the end: reads and writes do nothing.
  stream->Seek(3);
  SetBankSize(bank, 1);
  EXPECT_EQ(stream->Read(&byte, 1), 0);
  EXPECT_EQ(stream->Write(&byte, 1), 0);
  EXPECT_EQ(BankByteCount(bank), 1);
}

TEST_F(BankStreamTest, ClosingDoesNothingAndTheStreamKeepsItsBank) {
  auto stream = NewBankStream(Null);
  stream->WriteInt(42);
  stream->Close();
  stream->Seek(0);
  EXPECT_EQ(stream->ReadInt(), 42);
}

TEST_F(BankStreamTest, WritingABankIntoItselfSurvivesTheGrowth) {
  // The source bytes live in the block that growing frees.
  auto bank = NewBank(64);
  for (int32_t i = 0; i < 64; ++i) PokeByte(bank, i, i);
  auto stream = NewBankStream(bank);
  stream->Seek(64);
  EXPECT_EQ(SendBankToStream(bank, stream, 0, 64), 64);
  ASSERT_EQ(BankByteCount(bank), 128);
  for (int32_t i = 0; i < 128; ++i) ASSERT_EQ(PeekByte(bank, i), i % 64) << i;

  // Overlapping in place, without growth.
  stream->Seek(1);
  SendBankToStream(bank, stream, 0, 4);
  EXPECT_EQ(PeekInt(bank, 1), 0x03020100);
}

TEST_F(BankStreamTest, BorrowedBankStreamsWriteInPlaceUntilTheyGrow) {
  std::array<uint8_t, 4> caller = {0, 0, 0, 0};
  auto bank = NewBankOver(caller.data(), 4);
  auto stream = NewBankStream(bank);
  stream->WriteShort(0x0201);
  EXPECT_EQ(caller[0], 1);
  EXPECT_EQ(caller[1], 2);
  stream->WriteInt(-1);  // past the end: the bank moves to memory of its own
  EXPECT_EQ(caller[2], 0);
  EXPECT_EQ(BankAllocatedBytes(bank), 6);
  EXPECT_EQ(PeekInt(bank, 2), -1);
}

TEST_F(BankStreamTest, ABankOpensAsAUrlWhateverTheProtocol) {
  auto bank = NewBank(2);
  PokeShort(bank, 0, 0x1234);
  auto stream = OpenReadStream(bank);
  ASSERT_TRUE(stream);
  EXPECT_TRUE(IsA<TBankStream>(stream));
  EXPECT_EQ(stream->ReadShort(), 0x1234);

  auto writer = OpenWriteStream(bank);
  ASSERT_TRUE(writer);
  writer->Seek(2);
  writer->WriteByte(7);
  EXPECT_EQ(BankByteCount(bank), 3);

  TBankStreamFactory* head = nullptr;
  for (auto factory = StreamFactoryHead(); factory; factory = factory->Next()) {
    if (auto* bankFactory = dynamic_cast<TBankStreamFactory*>(factory.Get())) head = bankFactory;
  }
  ASSERT_NE(head, nullptr);
  EXPECT_TRUE(head->CreateStream(bank, "incbin", "x", true, false));
  EXPECT_TRUE(head->CreateStream("bank::x", "bank", "x", true, false).IsNull());
}

}  // namespace
}  // namespace corvex
