#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "data/BankDataType.h"
#include "data/DataStream.h"
#include "data/List.h"
#include "runtime/Exceptions.h"
#include "stream/Bank.h"
#include "stream/Url.h"

namespace corvex {
namespace {

// Builds expected stream contents.
class Bytes {
 public:
  Bytes& Byte(int value) {
    bytes_.push_back(static_cast<uint8_t>(value));
    return *this;
  }
  Bytes& Int(int32_t value) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
    return *this;
  }
  Bytes& Line(const std::string& text) {
    for (char c : text) Byte(static_cast<uint8_t>(c));
    return Byte(13).Byte(10);
  }
  const std::vector<uint8_t>& Get() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> ContentsOf(const Ref<TBank>& bank) {
  return std::vector<uint8_t>(bank->Buf(), bank->Buf() + bank->Size());
}

Ref<TBank> BankHolding(const std::vector<uint8_t>& bytes) {
  auto bank = NewBank(static_cast<int32_t>(bytes.size()));
  if (!bytes.empty()) std::memcpy(bank->Buf(), bytes.data(), bytes.size());
  return bank;
}

Ref<TDataStream> ReaderOver(const std::vector<uint8_t>& bytes) {
  return TDataStream::Create(NewBankStream(BankHolding(bytes)));
}

// A stream that can only read: no position, no size, never at its end, as a pipe or socket.
class SizelessStream : public TStream {
 public:
  explicit SizelessStream(Ref<TStream> inner) : inner_(std::move(inner)) {}
  int32_t Read(void* buffer, int32_t count) override { return inner_->Read(buffer, count); }

 private:
  Ref<TStream> inner_;
};

// A stream that takes at most four bytes per raw write, as a busy pipe might.
class TrickleStream : public TStream {
 public:
  int32_t Write(const void*, int32_t count) override { return count < 4 ? count : 4; }
};

// A stream whose ReadByte answers what a text stream may: a character code beyond a byte.
class WideByteStream : public TStream {
 public:
  int32_t ReadByte() override { return 0x2022; }
};

// Data types made by the tests; each one's objects have an empty body.
class TestType : public TDataType {
 public:
  explicit TestType(String name) : name_(std::move(name)) {}
  String TypeName() const override { return name_; }
  Ref<Object> ReadData(TStream&) const override;
  void WriteData(const Ref<Object>&, TStream&) const override {}

 private:
  String name_;
};

class TestData : public TData {
 public:
  explicit TestData(Ref<TDataType> type) : type_(std::move(type)) {}
  Ref<TDataType> DataType() const override { return type_; }

 private:
  Ref<TDataType> type_;
};

Ref<Object> TestType::ReadData(TStream&) const {
  return New<TestData>(Ref<TDataType>(const_cast<TestType*>(this)));
}

// 255 distinct registered types, made once: registering is for the whole process.
const std::vector<Ref<TDataType>>& ManyTypes() {
  static const std::vector<Ref<TDataType>> types = [] {
    std::vector<Ref<TDataType>> made;
    for (int i = 1; i <= 255; ++i) {
      made.emplace_back(new TestType(String("Test.Many.T") + String::FromInt(i)));
    }
    return made;
  }();
  return types;
}

Ref<TList> ListOf(std::initializer_list<Ref<Object>> values) {
  auto list = New<TList>();
  for (const auto& value : values) list->AddLast(value);
  return list;
}

String ThrownText(const std::function<void()>& body) {
  try {
    body();
  } catch (const TThrownString& thrown) {
    return thrown.Text();
  }
  return "(nothing thrown)";
}

class DataStreamTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitBankStreamModule();
    InitBankDataTypeModule();
    InitListModule();
  }
};

TEST_F(DataStreamTest, NullAndObjectsThatAreNotDataWriteAsTheNullForm) {
  auto storage = NewBank(0);
  auto writer = TDataStream::Create(NewBankStream(storage));
  writer->WriteObject(Null);
  writer->WriteObject(New<TStringObject>("text"));
  EXPECT_EQ(ContentsOf(storage), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(writer->ObjectCount(), 0);

  auto reader = TDataStream::Create(NewBankStream(storage));
  EXPECT_TRUE(reader->ReadObject().IsNull());
  EXPECT_TRUE(reader->ReadObject().IsNull());
  EXPECT_TRUE(reader->ReadObject().IsNull());  // at the end of the stream
}

TEST_F(DataStreamTest, ListWithOneBankHasTheDocumentedLayout) {
  auto bank = NewBank(3);
  PokeByte(bank, 0, 0x61);
  PokeByte(bank, 1, 0x62);
  PokeByte(bank, 2, 0x63);
  auto list = ListOf({bank});
  auto other = ListOf({});

  auto storage = NewBank(0);
  auto writer = TDataStream::Create(NewBankStream(storage));
  writer->WriteObject(list);
  writer->WriteObject(list);
  writer->WriteObject(other);
  const std::vector<uint8_t> expected = Bytes()
                                            .Byte(1)
                                            .Line("NOX.LinkedList.TList")
                                            .Int(1)
                                            .Byte(2)
                                            .Line("NOX.Bank.TBank")
                                            .Int(3)
                                            .Byte(0x61)
                                            .Byte(0x62)
                                            .Byte(0x63)
                                            .Byte(0xFF)
                                            .Int(1)  // the same list again
                                            .Byte(1)
                                            .Int(0)  // another list: known type, no name line
                                            .Get();
  EXPECT_EQ(ContentsOf(storage), expected);

  auto reader = ReaderOver(expected);
  auto first = Cast<TList>(reader->ReadObject());
  ASSERT_TRUE(first);
  ASSERT_EQ(first->Count(), 1);
  auto readBank = Cast<TBank>(first->First());
  ASSERT_TRUE(readBank);
  EXPECT_EQ(ContentsOf(readBank), (std::vector<uint8_t>{0x61, 0x62, 0x63}));
  EXPECT_EQ(readBank->Capacity(), 3);
  EXPECT_EQ(reader->ReadObject(), first);
  auto second = Cast<TList>(reader->ReadObject());
  ASSERT_TRUE(second);
  EXPECT_NE(second, first);
  EXPECT_TRUE(second->IsEmpty());
  EXPECT_EQ(reader->ObjectCount(), 3);
}

TEST_F(DataStreamTest, SharedObjectsAreWrittenOnceAndReadBackShared) {
  auto bank = NewBank(2);
  auto list = ListOf({bank, ListOf({bank}), bank});
  auto storage = NewBank(0);
  TDataStream::Create(NewBankStream(storage))->WriteObject(list);

  auto back = Cast<TList>(ReaderOver(ContentsOf(storage))->ReadObject());
  ASSERT_TRUE(back);
  const auto items = back->ToArray();
  ASSERT_EQ(items.Length(), 3);
  EXPECT_TRUE(IsA<TBank>(items[0]));
  EXPECT_EQ(items[2], items[0]);
  EXPECT_EQ(Cast<TList>(items[1])->First(), items[0]);
}

TEST_F(DataStreamTest, AListThatContainsItselfReadsBackWithNullInside) {
  auto list = New<TList>();
  list->AddLast(list);
  auto storage = NewBank(0);
  TDataStream::Create(NewBankStream(storage))->WriteObject(list);
  list->Clear();  // breaks the cycle so the list can go
  EXPECT_EQ(ContentsOf(storage), Bytes().Byte(1).Line("NOX.LinkedList.TList").Int(1).Byte(0xFF).Int(1).Get());

  auto back = Cast<TList>(ReaderOver(ContentsOf(storage))->ReadObject());
  ASSERT_TRUE(back);
  ASSERT_EQ(back->Count(), 1);
  EXPECT_TRUE(back->First().IsNull());
}

TEST_F(DataStreamTest, ObjectTableGrowsWhenThe256thObjectArrives) {
  std::vector<Ref<TBank>> banks;
  auto storage = NewBank(0);
  auto writer = TDataStream::Create(NewBankStream(storage));
  for (int32_t i = 0; i < 300; ++i) {
    banks.push_back(NewBank(1));
    PokeByte(banks.back(), 0, i);
    writer->WriteObject(banks.back());
  }
  writer->WriteObject(banks[279]);
  writer->WriteObject(banks[299]);

  auto reader = ReaderOver(ContentsOf(storage));
  std::vector<Ref<Object>> read;
  for (int32_t i = 0; i < 255; ++i) read.push_back(reader->ReadObject());
  EXPECT_EQ(reader->ObjectTableLength(), 256);
  read.push_back(reader->ReadObject());
  EXPECT_EQ(reader->ObjectTableLength(), 512);
  for (int32_t i = 256; i < 300; ++i) read.push_back(reader->ReadObject());
  EXPECT_EQ(reader->ReadObject(), read[279]);
  EXPECT_EQ(reader->ReadObject(), read[299]);
  EXPECT_EQ(PeekByte(Cast<TBank>(read[299]), 0), 299 & 0xFF);
}

TEST_F(DataStreamTest, The255thTypeOnAStreamIsRefused) {
  const auto& types = ManyTypes();
  auto storage = NewBank(0);
  auto writer = TDataStream::Create(NewBankStream(storage));
  for (int i = 0; i < 254; ++i) writer->WriteObject(New<TestData>(types[static_cast<std::size_t>(i)]));
  const int32_t written = storage->Size();
  EXPECT_EQ(ThrownText([&] { writer->WriteObject(New<TestData>(types[254])); }),
            String("Too many DataTypes"));
  EXPECT_EQ(ThrownText([&] { writer->WriteObject(New<TestData>(types[254])); }),
            String("Too many DataTypes"));
  EXPECT_EQ(ThrownText([&] { writer->WriteObject(New<TList>()); }), String("Too many DataTypes"));
  EXPECT_EQ(storage->Size(), written);           // nothing of a refused object goes out
  writer->WriteObject(New<TestData>(types[7]));  // types already introduced still work
  EXPECT_EQ(storage->Size(), written + 1);

  auto reader = ReaderOver(ContentsOf(storage));
  for (int i = 0; i < 254; ++i) {
    auto object = reader->ReadObject();
    ASSERT_TRUE(IsA<TestData>(object)) << i;
    EXPECT_EQ(Cast<TestData>(object)->DataType(), types[static_cast<std::size_t>(i)]);
  }
  EXPECT_EQ(Cast<TestData>(reader->ReadObject())->DataType(), types[7]);
}

TEST_F(DataStreamTest, UnknownOrMissingTypeNamesAreRefused) {
  EXPECT_EQ(ThrownText([] { ReaderOver(Bytes().Byte(1).Line("NOX.Nope.TNope").Get())->ReadObject(); }),
            String("Unrecognized DataType: NOX.Nope.TNope"));
  EXPECT_EQ(ThrownText([] { ReaderOver(Bytes().Byte(1).Line("nox.linkedlist.tlist").Get())->ReadObject(); }),
            String("Unrecognized DataType: nox.linkedlist.tlist"));
  EXPECT_EQ(ThrownText([] { ReaderOver(Bytes().Byte(1).Line("").Int(0).Get())->ReadObject(); }),
            String("Unrecognized DataType: "));
  EXPECT_EQ(ThrownText([] { ReaderOver(Bytes().Byte(9).Get())->ReadObject(); }),
            String("Unrecognized DataType: "));
  EXPECT_EQ(ThrownText([] { TDataStream::Create(New<WideByteStream>())->ReadObject(); }),
            String("Unable to read object"));
  // An unknown element type fails the whole list.
  EXPECT_EQ(
      ThrownText([] {
        ReaderOver(Bytes().Byte(1).Line("NOX.LinkedList.TList").Int(1).Byte(2).Line("X").Get())->ReadObject();
      }),
      String("Unrecognized DataType: X"));
}

TEST_F(DataStreamTest, BackReferencesToIdsNeverGivenOutReadAsNull) {
  for (int32_t id :
       {0, -1, 2, 256, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()}) {
    auto reader = ReaderOver(Bytes().Byte(1).Line("NOX.LinkedList.TList").Int(0).Byte(0xFF).Int(id).Get());
    EXPECT_TRUE(IsA<TList>(reader->ReadObject()));
    EXPECT_TRUE(reader->ReadObject().IsNull()) << id;
  }
  EXPECT_TRUE(ReaderOver(Bytes().Byte(0xFF).Int(1).Get())->ReadObject().IsNull());
}

TEST_F(DataStreamTest, BadCountsAndSizesAreRefusedBeforeAnythingIsMade) {
  const String unreadable("Unable to read object");
  const auto read = [](const std::vector<uint8_t>& bytes) { ReaderOver(bytes)->ReadObject(); };
  const Bytes bank = Bytes().Byte(1).Line("NOX.Bank.TBank");
  const Bytes list = Bytes().Byte(1).Line("NOX.LinkedList.TList");
  EXPECT_EQ(ThrownText([&] { read(Bytes(bank).Int(-1).Get()); }), unreadable);
  EXPECT_EQ(ThrownText([&] { read(Bytes(bank).Int(std::numeric_limits<int32_t>::max()).Get()); }),
            unreadable);
  EXPECT_EQ(ThrownText([&] { read(Bytes(bank).Int(4).Byte(1).Byte(2).Byte(3).Get()); }), unreadable);
  EXPECT_EQ(ThrownText([&] { read(Bytes(list).Int(-5).Get()); }), unreadable);
  EXPECT_EQ(ThrownText([&] { read(Bytes(list).Int(1 << 30).Get()); }), unreadable);
  EXPECT_EQ(ThrownText([&] { read(Bytes(list).Int(3).Byte(0).Byte(0).Get()); }), unreadable);
  EXPECT_EQ(ThrownText([&] { read(Bytes(list).Int(2).Byte(0xFF).Int(1).Get()); }), unreadable);

  // A stream that cannot tell its size: huge claims end in an error, not a huge allocation.
  const auto readSizeless = [](const std::vector<uint8_t>& bytes) {
    TDataStream::Create(New<SizelessStream>(NewBankStream(BankHolding(bytes))))->ReadObject();
  };
  EXPECT_THROW(readSizeless(Bytes(bank).Int(200 << 20).Byte(1).Get()), TStreamReadException);
  EXPECT_EQ(ThrownText([&] { readSizeless(Bytes(bank).Int((256 << 20) + 1).Get()); }), unreadable);
  EXPECT_THROW(readSizeless(Bytes(list).Int(std::numeric_limits<int32_t>::max() >> 4).Byte(0).Get()),
               TStreamReadException);
  auto whole =
      TDataStream::Create(
          New<SizelessStream>(NewBankStream(BankHolding(Bytes(bank).Int(3).Byte(7).Byte(8).Byte(9).Get()))))
          ->ReadObject();
  EXPECT_EQ(ContentsOf(Cast<TBank>(whole)), (std::vector<uint8_t>{7, 8, 9}));
}

// A stream that says it holds a gigabyte, as a large file would, without holding it.
class GigabyteStream : public TStream {
 public:
  int32_t Size() override { return 1 << 30; }
  int32_t Pos() override { return 16; }
};

TEST_F(DataStreamTest, BodiesOnAStreamWithASizeAreBoundedByWhatItHoldsAlone) {
  // What the writer can put in a large file reads back: no cap of its own on top of the size.
  GigabyteStream large;
  const int64_t remaining = (1 << 30) - 16;
  EXPECT_NO_THROW(CheckDataBodyCount(large, remaining, 1));
  EXPECT_NO_THROW(CheckDataBodyCount(large, remaining / 4, 4));
  EXPECT_NO_THROW(CheckDataBodyCount(large, std::numeric_limits<int32_t>::max(), 0));
  EXPECT_THROW(CheckDataBodyCount(large, remaining + 1, 1), TThrownString);
  EXPECT_THROW(CheckDataBodyCount(large, remaining / 4 + 1, 4), TThrownString);
  EXPECT_THROW(CheckDataBodyCount(large, -1, 1), TThrownString);
  // A stream without a size keeps the body cap, counted in bytes (at least one an item).
  SizelessStream pipe(Null);
  EXPECT_NO_THROW(CheckDataBodyCount(pipe, kMaxDataBodySize, 1));
  EXPECT_NO_THROW(CheckDataBodyCount(pipe, kMaxDataBodySize / 8, 8));
  EXPECT_THROW(CheckDataBodyCount(pipe, kMaxDataBodySize + 1, 1), TThrownString);
  EXPECT_THROW(CheckDataBodyCount(pipe, kMaxDataBodySize / 8 + 1, 8), TThrownString);
  EXPECT_THROW(CheckDataBodyCount(pipe, kMaxDataBodySize + 1, 0), TThrownString);
}

TEST_F(DataStreamTest, NestingDepthIsCapped) {
  const auto nested = [](int32_t depth) {
    Bytes bytes = Bytes().Byte(1).Line("NOX.LinkedList.TList");
    for (int32_t i = 1; i < depth; ++i) bytes.Int(1).Byte(1);
    return bytes.Int(0).Get();
  };
  auto deepest = ReaderOver(nested(TDataStream::kMaxDepth))->ReadObject();
  int32_t depth = 0;
  for (auto list = Cast<TList>(deepest); list; list = Cast<TList>(list->First())) ++depth;
  EXPECT_EQ(depth, TDataStream::kMaxDepth);
  EXPECT_EQ(ThrownText([&] { ReaderOver(nested(TDataStream::kMaxDepth + 1))->ReadObject(); }),
            String("Unable to read object"));
  EXPECT_EQ(ThrownText([&] { ReaderOver(nested(100000))->ReadObject(); }), String("Unable to read object"));

  // What cannot be read back is not written either.
  auto root = New<TList>();
  auto inner = root;
  for (int32_t i = 1; i < TDataStream::kMaxDepth; ++i) {
    auto next = New<TList>();
    inner->AddLast(next);
    inner = next;
  }
  auto storage = NewBank(0);
  EXPECT_NO_THROW(TDataStream::Create(NewBankStream(storage))->WriteObject(root));
  EXPECT_EQ(ContentsOf(storage), nested(TDataStream::kMaxDepth));
  inner->AddLast(New<TList>());
  EXPECT_EQ(ThrownText([&] { TDataStream::Create(NewBankStream(NewBank(0)))->WriteObject(root); }),
            String("Unable to write object"));
}

TEST_F(DataStreamTest, AShortNameLineWriteIsAnError) {
  auto writer = TDataStream::Create(New<TrickleStream>());
  EXPECT_THROW(writer->WriteObject(New<TList>()), TStreamWriteException);
}

// Reads everything the bytes hold; any outcome but a crash or a foreign exception is fine.
void ReadAllTolerantly(const Ref<TStream>& source) {
  auto reader = TDataStream::Create(source);
  try {
    for (int i = 0; i < 16 && !reader->Eof(); ++i) reader->ReadObject();
  } catch (const Object&) {
    // A clean rejection of corrupt input.
  }
}

std::vector<uint8_t> AValidStream() {
  auto bank = NewBank(5);
  PokeInt(bank, 0, 0x04030201);
  auto inner = ListOf({bank, New<TStringObject>("s"), Null});
  auto root = ListOf({inner, bank, ListOf({}), inner, NewBank(0)});
  auto storage = NewBank(0);
  auto writer = TDataStream::Create(NewBankStream(storage));
  writer->WriteObject(root);
  writer->WriteObject(bank);
  return ContentsOf(storage);
}

// This and the next test assert nothing of their own: they mean something under ASan and UBSan,
// which watch every read of the damaged bytes.
TEST_F(DataStreamTest, TruncatedStreamsReadCleanlyUnderTheSanitizers) {
  const std::vector<uint8_t> valid = AValidStream();
  for (std::size_t length = 0; length < valid.size(); ++length) {
    const std::vector<uint8_t> cut(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(length));
    ReadAllTolerantly(NewBankStream(BankHolding(cut)));
    ReadAllTolerantly(New<SizelessStream>(NewBankStream(BankHolding(cut))));
  }
}

TEST_F(DataStreamTest, BitFlippedStreamsReadCleanlyUnderTheSanitizers) {
  const std::vector<uint8_t> valid = AValidStream();
  for (std::size_t at = 0; at < valid.size(); ++at) {
    for (int bit = 0; bit < 8; ++bit) {
      std::vector<uint8_t> flipped = valid;
      flipped[at] = static_cast<uint8_t>(flipped[at] ^ (1 << bit));
      ReadAllTolerantly(NewBankStream(BankHolding(flipped)));
      ReadAllTolerantly(New<SizelessStream>(NewBankStream(BankHolding(flipped))));
    }
  }
}

TEST_F(DataStreamTest, DataUrlsOpenDataStreamsOverFiles) {
  const String path = String::FromBytes(testing::TempDir() + "corvex_data_stream_" +
                                        std::to_string(std::random_device{}()) + ".bin");
  EXPECT_EQ(ThrownText([&] { OpenStream(String("data::") + path, true, true); }),
            String("DataStreams can not be both readable and writeable"));

  auto writer = OpenWriteStream(String("DATA::") + path);
  ASSERT_TRUE(IsA<TDataStream>(writer));
  auto bank = NewBank(1);
  writer->WriteObject(ListOf({bank, bank}));
  writer->Close();

  auto back = Cast<TList>(LoadSerialised(String("data::") + path));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Count(), 2);
  EXPECT_EQ(back->First(), back->Last());
  EXPECT_TRUE(IsA<TBank>(back->First()));
  std::remove(path.ToBytes().c_str());

  EXPECT_TRUE(OpenReadStream(String("data::") + path).IsNull());
  EXPECT_TRUE(LoadSerialised(String("data::") + path).IsNull());
}

}  // namespace
}  // namespace corvex
