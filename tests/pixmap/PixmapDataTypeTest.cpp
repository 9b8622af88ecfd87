#include "pixmap/PixmapDataType.h"

#include <gtest/gtest.h>

#include "PixmapTestSupport.h"
#include "data/DataStream.h"
#include "runtime/Exceptions.h"

namespace corvex {
namespace {

using namespace pixmap_testing;

class PixmapDataTypeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitModules();
    InitDataStreamModule();
  }
};

std::string WriteObjectBytes(const Ref<Object>& object) {
  const Ref<TBankStream> out = OutputStream();
  TDataStream::Create(out)->WriteObject(object);
  return Written(out);
}

Ref<Object> ReadObjectBytes(std::string bytes) {
  return TDataStream::Create(MemoryStream(bytes))->ReadObject();
}

// A data stream's tag and name line for the first pixmap it writes.
const std::string kPixmapTag = "\x01NOX.Pixmap.TPixmap\r\n";

std::string Int(int32_t value) {
  return std::string(reinterpret_cast<const char*>(&value), 4);
}

TEST_F(PixmapDataTypeTest, BodyIsSizeFormatAndUnpaddedRows) {
  const Ref<TPixmap> pixmap = NewPixmap(3, 2, PIXEL_RGB888, 4);
  for (int32_t i = 0; i < 24; ++i) pixmap->Pixels()[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(pixmap->DataType()->TypeName(), String("NOX.Pixmap.TPixmap"));
  EXPECT_EQ(FindDataType("NOX.Pixmap.TPixmap"), pixmap->DataType());

  const std::string bytes = WriteObjectBytes(pixmap);
  const std::string rows =
      std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08", 9) + "\x0C\x0D\x0E\x0F\x10\x11\x12\x13\x14";
  EXPECT_EQ(bytes, kPixmapTag + Int(3) + Int(2) + Int(PIXEL_RGB888) + rows);

  const Ref<TPixmap> back = Cast<TPixmap>(ReadObjectBytes(bytes));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Pitch(), 12);
  EXPECT_EQ(back->Capacity(), 24);
  EXPECT_EQ(back->GetPixel(2, 1), pixmap->GetPixel(2, 1));
}

TEST_F(PixmapDataTypeTest, WindowsAreWrittenWithTheirOwnSize) {
  const Ref<TPixmap> source = NewPixmap(4, 4, PIXEL_GRAY8, 4);
  for (int32_t i = 0; i < 16; ++i) source->Pixels()[i] = static_cast<uint8_t>(i);
  const Ref<TPixmap> back = Cast<TPixmap>(ReadObjectBytes(WriteObjectBytes(source->SubWindow(1, 2, 2, 1))));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Width(), 2);
  EXPECT_EQ(back->Height(), 1);
  EXPECT_TRUE(back->Parent().IsNull());
  EXPECT_EQ(back->Pixels()[0], 9);
  EXPECT_EQ(back->Pixels()[1], 10);
}

TEST_F(PixmapDataTypeTest, RejectsBodiesThatCannotBeAPixmap) {
  const auto rejects = [](const std::string& body) {
    try {
      ReadObjectBytes(kPixmapTag + body);
      ADD_FAILURE() << "accepted";
    } catch (const TThrownString& error) {
      EXPECT_EQ(error.Text(), String("Unable to read object"));
    }
  };
  rejects(Int(-1) + Int(1) + Int(PIXEL_GRAY8) + "x");
  rejects(Int(1) + Int(-1) + Int(PIXEL_GRAY8) + "x");
  rejects(Int(1) + Int(1) + Int(13) + "x");
  rejects(Int(20000) + Int(1) + Int(PIXEL_GRAY8));
  rejects(Int(16384) + Int(16384) + Int(PIXEL_RGBA8888));
  rejects(Int(0x7FFFFFFF) + Int(1) + Int(PIXEL_RGBA8888));  // a row beyond 32 bits
  rejects(Int(4) + Int(4) + Int(PIXEL_RGBA8888) + "only a few bytes");
  // An empty pixmap is a valid body.
  const Ref<TPixmap> empty = Cast<TPixmap>(ReadObjectBytes(kPixmapTag + Int(0) + Int(0) + Int(PIXEL_RGB888)));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Width(), 0);
  const Ref<TPixmap> tall =
      Cast<TPixmap>(ReadObjectBytes(kPixmapTag + Int(0) + Int(0x7FFFFFFF) + Int(PIXEL_RGB888)));
  ASSERT_TRUE(tall);
  EXPECT_EQ(tall->Height(), 0x7FFFFFFF);
}

TEST_F(PixmapDataTypeTest, LongStripsRoundTrip) {
  const Ref<TPixmap> strip = NewPixmap(20000, 16, PIXEL_GRAY8, 4);
  strip->Fill(0xFF0A0A0A);
  *strip->PixelAddress(19999, 15) = 0x77;
  const Ref<TPixmap> back = Cast<TPixmap>(ReadObjectBytes(WriteObjectBytes(strip)));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Width(), 20000);
  EXPECT_EQ(*back->PixelAddress(19999, 15), 0x77);
}

}  // namespace
}  // namespace corvex
