#include "pixmap/PixmapLoader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "PixmapTestSupport.h"
#include "runtime/Exceptions.h"

namespace corvex {
namespace {

using namespace pixmap_testing;

class PixmapLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { InitModules(); }
};

// A stream over bytes that can be told to forget its position or to fail every read.
class TestStream : public TStream {
 public:
  explicit TestStream(std::string bytes) : bytes_(std::move(bytes)) {}
  int32_t Pos() override { return knowsPosition ? pos_ : -1; }
  int32_t Size() override { return static_cast<int32_t>(bytes_.size()); }
  bool Eof() override { return pos_ == Size(); }
  int32_t Seek(int32_t position) override { return pos_ = std::clamp(position, 0, Size()); }
  int32_t Read(void* buffer, int32_t count) override {
    if (failure) failure();
    const int32_t n = std::min(count, Size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
  }
  void Close() override { ++closes; }

  bool knowsPosition = true;
  std::function<void()> failure;
  int closes = 0;

 private:
  std::string bytes_;
  int32_t pos_ = 0;
};

TEST_F(PixmapLoaderTest, ChainAsksTgaFirstAndBmpLast) {
  std::vector<std::string> names;
  for (Ref<TPixmapLoader> loader = PixmapLoaders(); loader; loader = loader->Next()) {
    names.push_back(typeid(*loader).name());
  }
  ASSERT_GE(names.size(), 4u);
  EXPECT_NE(names[0].find("TGA"), std::string::npos);
  EXPECT_NE(names[1].find("PNG"), std::string::npos);
  EXPECT_NE(names[2].find("JPG"), std::string::npos);
  EXPECT_NE(names[3].find("BMP"), std::string::npos);
}

TEST_F(PixmapLoaderTest, ReadsFromAnOpenStreamAtItsPositionAndLeavesItOpen) {
  const auto stream = New<TestStream>("junk" + ReadDataFile("png_rgb8.png"));
  stream->Seek(4);
  const Ref<TPixmap> pixmap = ReadPixmap(stream);
  ExpectPixels(pixmap, PIXEL_RGB888, kWidth, kHeight, PatternRgb);
  EXPECT_EQ(stream->closes, 0);
  EXPECT_GT(stream->Pos(), 4);
}

TEST_F(PixmapLoaderTest, ReadsFilesAndStreamUrls) {
  ExpectPixels(ReadPixmap(DataPath("bmp_24.bmp").c_str()), PIXEL_BGR888, kWidth, kHeight, PatternRgb);
  // Image files keep their own byte order, whatever view of the stream the loader is given.
  ExpectPixels(ReadPixmap(("bigendian::" + DataPath("tga_24.tga")).c_str()), PIXEL_RGB888, kWidth, kHeight,
               PatternRgb);
  EXPECT_TRUE(ReadPixmap("no/such/file.png").IsNull());
  EXPECT_TRUE(ReadPixmap(DataPath("make_test_images.py").c_str()).IsNull());
}

TEST_F(PixmapLoaderTest, StreamsWithoutPositionOrWithFailingReads) {
  const auto unpositioned = New<TestStream>(ReadDataFile("png_rgb8.png"));
  unpositioned->knowsPosition = false;
  EXPECT_TRUE(ReadPixmap(unpositioned).IsNull());

  // A stream error means only that this loader could not read; the chain goes on and ends Null.
  const auto failing = New<TestStream>(ReadDataFile("png_rgb8.png"));
  failing->failure = [] { throw TStreamReadException(); };
  EXPECT_TRUE(ReadPixmap(failing).IsNull());

  // Any other error reaches the caller.
  const auto broken = New<TestStream>(ReadDataFile("png_rgb8.png"));
  broken->failure = [] { throw TRuntimeException("broken"); };
  EXPECT_THROW(ReadPixmap(broken), TRuntimeException);
}

}  // namespace
}  // namespace corvex
