// Collisions without a display: with no renderer state active, quads are placed with the
// collision matrix alone and ImagesCollideTransformed sets that matrix itself.
#include "vex2d/Collision.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "runtime/Exceptions.h"
#include "runtime/String.h"
#include "vex2d/Image.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

constexpr uint32_t kLayer0 = 1u << 0;
constexpr uint32_t kLayer3 = 1u << 3;
constexpr uint32_t kLayer31 = 1u << 31;

// A one-frame image filled with `argb`; RGB888 has no alpha, so such a picture covers everything.
Ref<TImage> FilledImage(int32_t width, int32_t height, int32_t format = PIXEL_RGB888,
                        uint32_t argb = 0xFFFFFFFF) {
  const Ref<TImage> image = TImage::Create(width, height, 1, 0, 0, 0, 0);
  image->SetPixmap(0, NewPixmap(width, height, format, 4));
  image->Lock(0, 1, 1)->Fill(argb);
  return image;
}

// A transparent image whose only opaque pixels lie in (x0, y0)-(x1, y1).
Ref<TImage> OpaqueIn(int32_t width, int32_t height, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                     int32_t format = PIXEL_RGBA8888) {
  const Ref<TImage> image = FilledImage(width, height, format, 0);
  const Ref<TPixmap> pixels = image->Lock(0, 1, 1);
  for (int32_t y = y0; y < y1; ++y) {
    for (int32_t x = x0; x < x1; ++x)
      std::fill_n(pixels->PixelAddress(x, y), FormatBytes[format], uint8_t{0xFF});
  }
  return image;
}

class CollisionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitCollisionModule();
    ASSERT_FALSE(ActiveState()) << "these tests expect no 2D context";
    ClearCollisionLayers(0);
    SetCollisionMatrix(1, 0, 0, 1);
  }
  void TearDown() override { ClearCollisionLayers(0); }

  static int32_t Hits(float x, float y, float w, float h, uint32_t mask) {
    return CollideRectInLayers(x, y, w, h, mask, 0, Null).Length();
  }
};

TEST_F(CollisionTest, QuadsCollideExactlyWhenTheyShareAPixel) {
  const Ref<TImage> a = FilledImage(16, 16);
  const Ref<TImage> b = FilledImage(16, 16);
  EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 15, 0, 0), 1);
  EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 16, 0, 0), 0);
  EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, -15, -15, 0), 1);
  EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 0, -16, 0), 0);
  SetImageHandle(b, 8, 8);  // the handle is what lands on the drawing position
  EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 23, 8, 0), 1);
  EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 24, 8, 0), 0);

  // Rectangles cover their whole area: a 5 × 4 one against an 8 × 6 one at every offset.
  CollideRectInLayers(10, 10, 8, 6, 0, kLayer0, Null);
  for (int32_t y = 2; y <= 20; ++y) {
    for (int32_t x = 2; x <= 20; ++x) {
      const bool shared = x < 18 && x + 5 > 10 && y < 16 && y + 4 > 10;
      EXPECT_EQ(Hits(static_cast<float>(x), static_cast<float>(y), 5, 4, kLayer0), shared ? 1 : 0)
          << x << "," << y;
    }
  }
}

TEST_F(CollisionTest, OnlyPixelsOfAlphaOneHalfOrMoreCount) {
  const Ref<TImage> solid = FilledImage(32, 32);
  EXPECT_EQ(ImagesOverlap(FilledImage(16, 16, PIXEL_RGBA8888, 0x7FFFFFFF), 8, 8, 0, solid, 0, 0, 0), 0);
  EXPECT_EQ(ImagesOverlap(solid, 0, 0, 0, FilledImage(16, 16, PIXEL_BGRA8888, 0x80000000), 8, 8, 0), 1);
  const Ref<TImage> blank = TImage::Create(16, 16, 1, 0, 0, 0, 0);  // its pixmap starts transparent
  EXPECT_EQ(ImagesOverlap(blank, 10, 10, 0, solid, 0, 0, 0), 0);
  EXPECT_EQ(ImagesOverlap(blank, 0, 0, 0, blank, 0, 0, 0), 0);

  // One opaque pixel, probed by single-pixel rectangles, in every format with alpha.
  for (const int32_t format : {PIXEL_RGBA8888, PIXEL_BGRA8888, PIXEL_ALPHA8, PIXEL_ALPHA8_BLACK}) {
    ClearCollisionLayers(0);
    CollideImageInLayers(OpaqueIn(16, 16, 3, 5, 4, 6, format), 100, 200, 0, 0, kLayer0, Null);
    EXPECT_EQ(Hits(103, 205, 1, 1, kLayer0), 1) << PixelFormatName(format);
    EXPECT_EQ(Hits(104, 205, 1, 1, kLayer0) + Hits(102, 205, 1, 1, kLayer0) + Hits(103, 206, 1, 1, kLayer0) +
                  Hits(103, 204, 1, 1, kLayer0),
              0)
        << PixelFormatName(format);
  }
}

TEST_F(CollisionTest, LayersReportEveryCollidingQuadAndClearByMask) {
  const Ref<Object> first = New<TStringObject>(String("first"));
  const Ref<Object> second = New<TStringObject>(String("second"));
  EXPECT_TRUE(CollideRectInLayers(0, 0, 10, 10, 0, kLayer0 | kLayer3, first).IsEmpty());
  CollideRectInLayers(2, 2, 10, 10, 0, kLayer0, second);
  {
    // Layers in order, the newest quad of a layer first; one owner per colliding quad.
    const Array<Ref<Object>> owners = CollideRectInLayers(5, 5, 1, 1, kLayer0 | kLayer3, 0, Null);
    ASSERT_EQ(owners.Length(), 3);
    EXPECT_EQ(owners[0], second);
    EXPECT_EQ(owners[1], first);
    EXPECT_EQ(owners[2], first);
  }
  for (int32_t i = 0; i < 50; ++i) CollideRectInLayers(0, 0, 10, 10, 0, kLayer31, first);
  EXPECT_EQ(Hits(1, 1, 1, 1, kLayer31), 50);

  ClearCollisionLayers(kLayer0);
  EXPECT_EQ(Hits(5, 5, 1, 1, kLayer0), 0);
  EXPECT_EQ(Hits(5, 5, 1, 1, kLayer3), 1);
  ClearCollisionLayers(0);
  EXPECT_EQ(Hits(5, 5, 1, 1, ~0u), 0);
  EXPECT_EQ(first->RefCount(), 1) << "emptied quads let their owners go";

  // ImagesOverlap empties layer 31 and leaves the first image there.
  CollideRectInLayers(100, 100, 4, 4, 0, kLayer31, Null);
  EXPECT_EQ(ImagesOverlap(FilledImage(16, 16), 0, 0, 0, FilledImage(16, 16), 40, 0, 0), 0);
  EXPECT_EQ(Hits(101, 101, 1, 1, kLayer31), 0);
  EXPECT_EQ(Hits(3, 3, 1, 1, kLayer31), 1);
  EXPECT_EQ(Hits(43, 3, 1, 1, kLayer31), 0);
}

TEST_F(CollisionTest, TransformedImagesCollideAsTheyWouldBeDrawn) {
  // A 40 × 4 bar turned 90 degrees clockwise about its top-left corner hangs down and left.
  const Ref<TImage> bar = FilledImage(40, 4);
  const Ref<TImage> block = FilledImage(4, 4);
  const auto collide = [&](float degrees, float sx, float sy, float x, float y) {
    return ImagesCollideTransformed(bar, 0, 0, 0, degrees, sx, sy, block, x, y, 0, 0, 1, 1);
  };
  EXPECT_EQ(collide(0, 1, 1, 10, 1), 1);
  EXPECT_EQ(collide(90, 1, 1, 10, 1), 0);
  EXPECT_EQ(collide(90, 1, 1, -3, 30), 1);
  EXPECT_EQ(collide(90, 1, 1, -3, 45), 0);
  EXPECT_EQ(collide(0, 1, 1, 70, 1), 0);
  EXPECT_EQ(collide(0, 2, 1, 70, 1), 1);  // scaled before the rotation
  EXPECT_EQ(collide(90, 2, 1, -3, 70), 1);
  EXPECT_EQ(collide(0, -1, 1, -20, 0), 1);  // mirrored: wound the other way round
  EXPECT_EQ(collide(0, -1, 1, 10, 0), 0);
  EXPECT_EQ(ImagesCollideTransformed(block, 0, 0, 0, 0, 1, 1, bar, 2, -30, 0, 90, 1, 1), 1);
  EXPECT_EQ(ImagesCollideTransformed(block, 0, 0, 0, 0, 1, 1, bar, 20, -30, 0, 90, 1, 1), 0);

  // Pictures are sampled through their texture coordinates. Only columns 0 to 7 are opaque;
  // turned 90 degrees at (100, 100) they become screen rows 100 to 107.
  const Ref<TImage> half = OpaqueIn(16, 16, 0, 0, 8, 16);
  const Ref<TImage> probe = FilledImage(2, 2);
  const auto probeAt = [&](float degrees, float x, float y) {
    return ImagesCollideTransformed(half, 100, 100, 0, degrees, 1, 1, probe, x, y, 0, 0, 1, 1);
  };
  EXPECT_EQ(probeAt(90, 92, 106), 1);
  EXPECT_EQ(probeAt(90, 92, 108), 0);
  // At 45 degrees picture point (a, b) lies at (100 + 0.71 (a − b), 100 + 0.71 (a + b)): the
  // probe at (96, 107) sees about (2.8, 7.8), the one at (102, 113) about (12, 7.8).
  EXPECT_EQ(probeAt(45, 96, 107), 1);
  EXPECT_EQ(probeAt(45, 102, 113), 0);

  float xx, xy, yx, yy;
  GetCollisionMatrix(xx, xy, yx, yy);
  EXPECT_EQ(xx, 1.0f) << "the transform is put back";
  EXPECT_EQ(xy, 0.0f);
  EXPECT_THROW(ImagesCollideTransformed(bar, 0, 0, 5, 90, 2, 2, block, 0, 0, 0, 0, 1, 1),
               TArrayBoundsException);
  GetCollisionMatrix(xx, xy, yx, yy);
  EXPECT_EQ(xx, 1.0f) << "also after an error";
}

TEST_F(CollisionTest, DegenerateQuadsAndBadFramesNeverCrash) {
  const Ref<TImage> solid = FilledImage(16, 16);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  CollideRectInLayers(0, 0, 64, 64, 0, kLayer0, Null);
  EXPECT_EQ(Hits(10, 10, 0, 10, kLayer0) + Hits(10, 10, 10, 0, kLayer0) + Hits(10, 10, 0, 0, kLayer0), 0);
  EXPECT_EQ(Hits(nan, 10, 10, 10, kLayer0) + Hits(10, 10, nan, nan, kLayer0), 0);
  // All four corners on one slanted line, or on one point.
  EXPECT_EQ(ImagesCollideTransformed(solid, 32, 32, 0, 45, 1, 0, solid, 20, 20, 0, 0, 4, 4), 0);
  EXPECT_EQ(ImagesCollideTransformed(solid, 32, 32, 0, 0, 0, 0, solid, 20, 20, 0, 0, 4, 4), 0);
  EXPECT_EQ(ImagesCollideTransformed(solid, 32, 32, 0, nan, 1, 1, solid, 32, 32, 0, 0, 1, 1), 0);
  // Absurd sizes end quickly, without overflow or a huge buffer.
  ImagesCollideTransformed(solid, 32, 32, 0, 0, inf, 1, solid, 32, 32, 0, 0, 1, 1);
  ImagesCollideTransformed(solid, 32, 32, 0, 200, 1e9f, 1e9f, solid, 32, 32, 0, 0, 1, 1);
  ImagesCollideTransformed(solid, 0, 0, 0, 10, 1e7f, 1e7f, OpaqueIn(2, 2, 0, 0, 1, 1), 5, 5, 0, 20, 1e7f,
                           1e7f);
  EXPECT_EQ(ImagesOverlap(TImage::Create(0, 0, 1, 0, 0, 0, 0), 10, 10, 0, solid, 0, 0, 0), 0);

  EXPECT_THROW(CollideImageInLayers(solid, 0, 0, 1, 0, kLayer0, Null), TArrayBoundsException);
  EXPECT_THROW(ImagesOverlap(solid, 0, 0, 0, solid, 0, 0, -1), TArrayBoundsException);
}

}  // namespace
}  // namespace corvex
