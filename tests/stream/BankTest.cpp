#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "runtime/Exceptions.h"
#include "stream/Bank.h"

namespace corvex {
namespace {

class BankTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { InitBankStreamModule(); }
};

TEST_F(BankTest, NewBankStartsZeroedAndGrowsByHalfAgain) {
  auto bank = NewBank(0);
  EXPECT_EQ(BankByteCount(bank), 0);
  EXPECT_EQ(BankAllocatedBytes(bank), 0);
  SetBankSize(bank, 10);
  EXPECT_EQ(BankAllocatedBytes(bank), 10);
  SetBankSize(bank, 11);
  EXPECT_EQ(BankAllocatedBytes(bank), 15);
  SetBankSize(bank, 12);
  EXPECT_EQ(BankAllocatedBytes(bank), 15);
  EXPECT_EQ(BankByteCount(bank), 12);

  auto hundred = NewBank(100);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(BankAddress(hundred)) % 16, 0u);
  SetBankSize(hundred, 120);
  EXPECT_EQ(BankAllocatedBytes(hundred), 150);
  SetBankSize(hundred, 400);
  EXPECT_EQ(BankAllocatedBytes(hundred), 400);
  for (int32_t i = 0; i < 400; ++i) ASSERT_EQ(PeekByte(hundred, i), 0) << i;
}

TEST_F(BankTest, ShrinkingKeepsTheBlockAndRegrowingShowsZeros) {
  auto bank = NewBank(8);
  PokeLong(bank, 0, -1);
  uint8_t* block = BankAddress(bank);
  SetBankSize(bank, 2);
  EXPECT_EQ(BankAddress(bank), block);
  EXPECT_EQ(BankAllocatedBytes(bank), 8);
  SetBankSize(bank, 8);
  EXPECT_EQ(PeekShort(bank, 0), 0xFFFF);
  EXPECT_EQ(PeekShort(bank, 2), 0);
  EXPECT_EQ(PeekInt(bank, 4), 0);
}

TEST_F(BankTest, NegativeSizesCountAsZero) {
  EXPECT_EQ(BankByteCount(NewBank(-5)), 0);
  auto bank = NewBank(4);
  SetBankSize(bank, -1);
  EXPECT_EQ(BankByteCount(bank), 0);
  EXPECT_EQ(BankAllocatedBytes(bank), 4);
}

TEST_F(BankTest, BorrowedMemoryMovesOnGrowthAndIsLeftToItsOwner) {
  std::array<uint8_t, 8> caller = {1, 2, 3, 4, 5, 6, 7, 8};
  auto bank = NewBankOver(caller.data(), 8);
  EXPECT_EQ(BankAllocatedBytes(bank), -1);
  EXPECT_EQ(PeekByte(bank, 7), 8);
  SetBankSize(bank, 16);
  EXPECT_NE(BankAddress(bank), caller.data());
  EXPECT_EQ(BankAllocatedBytes(bank), 16);
  for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(PeekByte(bank, i), i + 1);
  EXPECT_EQ(PeekLong(bank, 8), 0);
  PokeByte(bank, 0, 99);
  EXPECT_EQ(caller[0], 1);
}

TEST_F(BankTest, BorrowedBankShrunkCopiesOnlyWhatFits) {
  std::array<uint8_t, 8> caller = {1, 2, 3, 4, 5, 6, 7, 8};
  auto bank = NewBankOver(caller.data(), 8);
  SetBankSize(bank, 3);
  EXPECT_NE(BankAddress(bank), caller.data());
  EXPECT_EQ(BankAllocatedBytes(bank), 3);
  EXPECT_EQ(BankByteCount(bank), 3);
  EXPECT_EQ(PeekByte(bank, 2), 3);
  EXPECT_THROW(PeekByte(bank, 3), TArrayBoundsException);
}

TEST_F(BankTest, PeekAndPokeUseLittleEndianUnalignedLayout) {
  auto bank = NewBank(16);
  PokeByte(bank, 0, 0xFE);
  PokeByte(bank, 1, 0x1FF);  // only the low 8 bits are stored
  EXPECT_EQ(PeekShort(bank, 0), 65534);
  PokeInt(bank, 3, -1);
  EXPECT_EQ(PeekInt(bank, 3), -1);
  EXPECT_EQ(PeekShort(bank, 3), 0xFFFF);
  PokeShort(bank, 1, 0x12345);
  EXPECT_EQ(PeekByte(bank, 1), 0x45);
  EXPECT_EQ(PeekByte(bank, 2), 0x23);
  PokeLong(bank, 5, std::numeric_limits<int64_t>::min());
  EXPECT_EQ(PeekLong(bank, 5), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(PeekByte(bank, 12), 0x80);
  PokeFloat(bank, 1, 1.5f);
  EXPECT_EQ(PeekFloat(bank, 1), 1.5f);
  PokeDouble(bank, 7, -2.25);
  EXPECT_EQ(PeekDouble(bank, 7), -2.25);
}

TEST_F(BankTest, AccessOutsideTheBankRaisesBoundsErrors) {
  auto bank = NewBank(8);
  EXPECT_THROW(PeekByte(bank, -1), TArrayBoundsException);
  EXPECT_THROW(PeekByte(bank, 8), TArrayBoundsException);
  EXPECT_THROW(PeekInt(bank, 5), TArrayBoundsException);
  EXPECT_THROW(PokeLong(bank, 1, 0), TArrayBoundsException);
  EXPECT_THROW(PokeDouble(bank, std::numeric_limits<int32_t>::max(), 0), TArrayBoundsException);
  EXPECT_THROW(PokeShort(bank, std::numeric_limits<int32_t>::min(), 0), TArrayBoundsException);
  EXPECT_NO_THROW(PokeLong(bank, 0, 1));
  EXPECT_THROW(PeekByte(NewBank(0), 0), TArrayBoundsException);
  EXPECT_THROW(PeekByte(Ref<TBank>(), 0), TNullObjectException);
}

TEST_F(BankTest, CopyBankBytesCopiesForwardByteByByte) {
  auto bank = NewBank(4);
  for (int32_t i = 0; i < 4; ++i) PokeByte(bank, i, i + 1);
  CopyBankBytes(bank, 0, bank, 1, 3);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(PeekByte(bank, i), 1);

  for (int32_t i = 0; i < 4; ++i) PokeByte(bank, i, i + 1);
  CopyBankBytes(bank, 1, bank, 0, 3);  // downwards overlap moves the bytes intact
  EXPECT_EQ(PeekInt(bank, 0), 0x04040302);

  auto other = NewBank(2);
  CopyBankBytes(bank, 2, other, 0, 2);
  EXPECT_EQ(PeekShort(other, 0), 0x0404);
  CopyBankBytes(bank, 4, other, 2, 0);  // an empty copy at the very end is in range
}

TEST_F(BankTest, CopyBankBytesChecksBothRanges) {
  auto source = NewBank(4);
  auto destination = NewBank(4);
  PokeInt(destination, 0, 0x11223344);
  EXPECT_THROW(CopyBankBytes(source, 1, destination, 0, 4), TArrayBoundsException);
  EXPECT_THROW(CopyBankBytes(source, 0, destination, 1, 4), TArrayBoundsException);
  EXPECT_THROW(CopyBankBytes(source, -1, destination, 0, 1), TArrayBoundsException);
  EXPECT_THROW(CopyBankBytes(source, 0, destination, 0, -1), TArrayBoundsException);
  EXPECT_EQ(PeekInt(destination, 0), 0x11223344);  // nothing copied by a rejected call
}

TEST_F(BankTest, StreamTransferIsBoundsChecked) {
  auto bank = NewBank(6);
  for (int32_t i = 0; i < 6; ++i) PokeByte(bank, i, 'a' + i);
  auto sink = NewBankStream(Null);
  EXPECT_EQ(SendBankToStream(bank, sink, 2, 3), 3);
  EXPECT_EQ(PeekByte(sink->Bank(), 0), 'c');
  EXPECT_THROW(SendBankToStream(bank, sink, 4, 3), TArrayBoundsException);
  EXPECT_THROW(SendBankToStream(bank, sink, -1, 1), TArrayBoundsException);

  sink->Seek(0);
  EXPECT_EQ(FillBankFromStream(bank, sink, 0, 3), 3);
  EXPECT_EQ(PeekByte(bank, 2), 'e');
  EXPECT_THROW(FillBankFromStream(bank, sink, 5, 2), TArrayBoundsException);
  EXPECT_THROW(FillBankFromStream(bank, sink, 0, -1), TArrayBoundsException);
}

TEST_F(BankTest, SaveAndLoadRoundTripThroughAFile) {
  const String path = String::FromBytes(testing::TempDir() + "corvex_bank_" +
                                        std::to_string(std::random_device{}()) + ".bin");
  auto bank = NewBank(3000);
  for (int32_t i = 0; i < 3000; ++i) PokeByte(bank, i, i * 7);
  ASSERT_TRUE(SaveBankTo(bank, path));
  auto loaded = LoadBankFrom(path);
  ASSERT_TRUE(loaded);
  ASSERT_EQ(BankByteCount(loaded), 3000);
  EXPECT_EQ(BankAllocatedBytes(loaded), 3000);
  for (int32_t i = 0; i < 3000; ++i) ASSERT_EQ(PeekByte(loaded, i), (i * 7) & 0xFF) << i;
  std::remove(path.ToBytes().c_str());
}

TEST_F(BankTest, SaveAndLoadReportUrlsThatDoNotOpen) {
  auto bank = NewBank(1);
  EXPECT_FALSE(SaveBankTo(bank, String::FromBytes(testing::TempDir() + "no/such/dir/x.bin")));
  EXPECT_FALSE(SaveBankTo(bank, "nosuch::x"));
  EXPECT_TRUE(LoadBankFrom(String::FromBytes(testing::TempDir() + "corvex_no_such_bank.bin")).IsNull());
}

TEST_F(BankTest, LoadFromAnotherBankCopiesIt) {
  auto source = NewBank(5);
  PokeInt(source, 1, 0x01020304);
  auto copy = LoadBankFrom(source);
  ASSERT_TRUE(copy);
  EXPECT_NE(BankAddress(copy), BankAddress(source));
  EXPECT_EQ(BankByteCount(copy), 5);
  EXPECT_EQ(PeekInt(copy, 1), 0x01020304);
}

}  // namespace
}  // namespace corvex
