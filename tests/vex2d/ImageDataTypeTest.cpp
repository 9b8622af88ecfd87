#include "vex2d/ImageDataType.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/BankDataType.h"
#include "data/DataStream.h"
#include "pixmap/Pixmap.h"
#include "runtime/Exceptions.h"
#include "stream/Bank.h"
#include "stream/RamStream.h"
#include "vex2d/Image.h"

namespace corvex {
namespace {

class ImageDataTypeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitImageModule();
    InitBankDataTypeModule();
    InitRamStreamModule();
  }
};

std::string WriteObjectBytes(const Ref<Object>& object) {
  const Ref<TBankStream> out = NewBankStream(Null);
  TDataStream::Create(out)->WriteObject(object);
  const Ref<TBank>& bank = out->Bank();
  return std::string(reinterpret_cast<const char*>(bank->Buf()), static_cast<std::size_t>(bank->Size()));
}

Ref<Object> ReadObjectBytes(std::string bytes) {
  return TDataStream::Create(
             TRamStream::Create(bytes.data(), static_cast<int32_t>(bytes.size()), true, false))
      ->ReadObject();
}

std::string Int(int32_t value) {
  return std::string(reinterpret_cast<const char*>(&value), 4);
}
std::string Float(float value) {
  return std::string(reinterpret_cast<const char*>(&value), 4);
}

const std::string kImageTag = "\x01nox.vex2d.TImage\r\n";

Ref<TPixmap> GrayPixmap(int32_t width, int32_t height, uint8_t first) {
  const Ref<TPixmap> pixmap = NewPixmap(width, height, PIXEL_GRAY8, 4);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x)
      *pixmap->PixelAddress(x, y) = static_cast<uint8_t>(first + y * width + x);
  }
  return pixmap;
}

TEST_F(ImageDataTypeTest, BodyIsTheFieldsThenOnePixmapPerFrame) {
  const Ref<TImage> image = TImage::Create(2, 1, 2, ImgFiltered, 1, 2, 3);
  SetImageHandle(image, 0.5f, -2.0f);
  const Ref<TPixmap> shared = GrayPixmap(2, 1, 7);
  image->SetPixmap(0, shared);
  image->SetPixmap(1, shared);
  EXPECT_EQ(image->DataType()->TypeName(), String("nox.vex2d.TImage"));
  EXPECT_EQ(FindDataType("nox.vex2d.TImage"), image->DataType());

  const std::string bytes = WriteObjectBytes(image);
  const std::string header =
      Int(2) + Int(1) + Int(ImgFiltered) + Int(1) + Int(2) + Int(3) + Float(0.5f) + Float(-2.0f) + Int(2);
  const std::string pixmapBody =
      std::string("\x02NOX.Pixmap.TPixmap\r\n") + Int(2) + Int(1) + Int(PIXEL_GRAY8) + "\x07\x08";
  // The second frame shares the first one's pixmap: a back-reference to object 2.
  const std::string backReference = std::string("\xFF", 1) + Int(2);
  EXPECT_EQ(bytes, kImageTag + header + pixmapBody + backReference);

  const Ref<TImage> back = Cast<TImage>(ReadObjectBytes(bytes));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->flags, ImgFiltered);
  EXPECT_EQ(back->handleY, -2.0f);
  ASSERT_EQ(back->FrameCount(), 2);
  EXPECT_EQ(back->frames.Length(), 2);
  EXPECT_EQ(back->frameGenerations.Length(), 2);
  EXPECT_EQ(back->pixmaps[0], back->pixmaps[1]);
  EXPECT_EQ(*back->Lock(1, 1, 0)->PixelAddress(1, 0), 8);

  // An empty slot goes out as the null form and comes back empty, to be made when locked.
  const Ref<TImage> sparse = TImage::Create(3, 3, 2, 0, 0, 0, 0);
  sparse->SetPixmap(0, GrayPixmap(3, 3, 0));
  const std::string sparseBytes = WriteObjectBytes(sparse);
  EXPECT_EQ(sparseBytes.back(), '\0');
  const Ref<TImage> sparseBack = Cast<TImage>(ReadObjectBytes(sparseBytes));
  ASSERT_TRUE(sparseBack);
  EXPECT_TRUE(sparseBack->pixmaps[0]);
  EXPECT_FALSE(sparseBack->pixmaps[1]);
  EXPECT_EQ(sparseBack->Lock(1, 1, 0)->Width(), 3);
}

TEST_F(ImageDataTypeTest, RejectsBodiesThatCannotBeAnImage) {
  const auto body = [](int32_t width, int32_t height, int32_t count) {
    return Int(width) + Int(height) + Int(0) + Int(0) + Int(0) + Int(0) + Float(0) + Float(0) + Int(count);
  };
  const auto rejects = [](const std::string& bytes) {
    try {
      ReadObjectBytes(kImageTag + bytes);
      ADD_FAILURE() << "accepted";
    } catch (const TThrownString& error) {
      EXPECT_EQ(error.Text(), String("Unable to read object"));
    }
  };
  rejects(body(-1, 1, 0));
  rejects(body(1, -1, 0));
  // A declared size whose first Lock would need more than the pixmap byte cap, with a frame
  // left to be allocated from it (the 1 GiB 16384 × 16384 frame found by fuzzing).
  rejects(body(16384, 16384, 1) + std::string(1, '\0'));
  rejects(body(0x7FFFFFFF, 2, 1) + std::string(1, '\0'));
  // Without such a frame, or within the cap, the size is only a number.
  EXPECT_EQ(Cast<TImage>(ReadObjectBytes(kImageTag + body(16384, 16384, 0)))->width, 16384);
  EXPECT_EQ(Cast<TImage>(ReadObjectBytes(kImageTag + body(20000, 16, 1) + std::string(1, '\0')))->width,
            20000);
  rejects(body(1, 1, -1));
  rejects(body(1, 1, 0x7FFFFFFF));
  rejects(body(1, 1, 3) + std::string(2, '\0'));  // three slots, two bytes
  rejects(body(1, 1, 2));                         // slots cut off entirely

  // A slot holding something other than a pixmap (here a one-byte bank) reads as Null.
  const Ref<TImage> back =
      Cast<TImage>(ReadObjectBytes(kImageTag + body(1, 1, 1) + "\x02NOX.Bank.TBank\r\n" + Int(1) + "x"));
  ASSERT_TRUE(back);
  ASSERT_EQ(back->FrameCount(), 1);
  EXPECT_FALSE(back->pixmaps[0]);
}

}  // namespace
}  // namespace corvex
