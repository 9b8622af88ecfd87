// Images: creating and loading them with the module defaults, frames and pixmaps, and what
// drawing them puts on a real window, read back with CaptureScreenPixmap. Expected boxes follow
// OpenGL's pixel-centre rule and were checked by eye on the saved scenes.
#include "vex2d/Image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "SceneCapture.h"
#include "graphics/Graphics.h"
#include "pixmap/PixmapLoader.h"
#include "pixmap/PngCodec.h"
#include "runtime/Exceptions.h"
#include "vex2d/Collision.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

using namespace scene_testing;

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;

Ref<TPixmap> FilledPixmap(int32_t width, int32_t height, int32_t format, uint32_t argb) {
  const Ref<TPixmap> pixmap = NewPixmap(width, height, format, 4);
  pixmap->Fill(argb);
  return pixmap;
}

// Puts the module defaults back as a fresh process has them.
void ResetImageDefaults() {
  SetDefaultMaskColour(0, 0, 0);
  SetAutoCentreHandle(0);
  SetDefaultImageFlags(ImgMasked | ImgFiltered);
}

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitImageModule();
    InitPngLoaderModule();
    ResetImageDefaults();
  }
  void TearDown() override { ResetImageDefaults(); }
};

TEST_F(ImageTest, LoadUsesTheDefaultsAndMasksOnlyPicturesWithoutAlpha) {
  const Ref<TPixmap> rgba = FilledPixmap(4, 2, PIXEL_RGBA8888, 0x00000000);
  const Ref<TImage> withAlpha = LoadImage(rgba, -1);
  ASSERT_TRUE(withAlpha);
  EXPECT_EQ(withAlpha->flags, ImgMasked | ImgFiltered);
  EXPECT_EQ(withAlpha->FrameCount(), 1);
  EXPECT_EQ(withAlpha->pixmaps[0], rgba) << "a pixmap with alpha is used as it is";

  // Without alpha, the mask colour (black by default) becomes transparent and the rest opaque.
  const Ref<TPixmap> rgb = FilledPixmap(2, 1, PIXEL_RGB888, 0xFF000000);
  rgb->SetPixel(1, 0, 0xFF123456);
  const Ref<TPixmap> masked = LoadImage(rgb, -1)->Lock(0, 1, 0);
  EXPECT_EQ(masked->Format(), PIXEL_RGBA8888);
  EXPECT_EQ(masked->GetPixel(0, 0) >> 24, 0u);
  EXPECT_EQ(masked->GetPixel(1, 0), 0xFF123456u);
  SetDefaultMaskColour(0x12, 0x34, 0x56);
  const Ref<TImage> other = LoadImage(rgb, -1);
  EXPECT_EQ(other->maskGreen, 0x34);
  EXPECT_EQ(other->Lock(0, 1, 0)->GetPixel(0, 0) >> 24, 0xFFu);
  EXPECT_EQ(other->Lock(0, 1, 0)->GetPixel(1, 0) >> 24, 0u);
  EXPECT_EQ(LoadImage(rgb, ImgFiltered)->pixmaps[0], rgb);

  SetDefaultImageFlags(-1);
  EXPECT_EQ(LoadImage(rgba, -1)->flags, ImgMasked | ImgFiltered);
  SetDefaultImageFlags(ImgMipmapped);
  EXPECT_EQ(LoadImage(rgba, -1)->flags, ImgMipmapped);

  // Anything else goes through the loader chain; what gives no pixels gives Null.
  const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) / "corvex-image-load";
  std::filesystem::create_directories(folder);
  const String path((folder / "picture.png").string().c_str());
  ASSERT_NE(EncodePNG(FilledPixmap(5, 3, PIXEL_RGBA8888, 0xFF00FF00), Url(path), 6), 0);
  const Ref<TImage> loaded = LoadImage(path, -1);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->width, 5);
  EXPECT_EQ(loaded->Lock(0, 1, 0)->GetPixel(4, 2), 0xFF00FF00u);
  EXPECT_FALSE(LoadImage(String((folder / "missing.png").string().c_str()), -1));
  EXPECT_FALSE(LoadImage(Url(), -1));
  // A pixmap without pixels gives a 0 × 0 image whose frame locks to an empty pixmap.
  for (const Ref<TPixmap>& empty : {NewPixmap(0, 4, PIXEL_RGBA8888, 4), New<TPixmap>(),
                                    TPixmap::Wrap(nullptr, 8, 8, 32, PIXEL_RGBA8888)}) {
    const Ref<TImage> none = LoadImage(empty, -1);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->width, 0);
    EXPECT_EQ(none->height, 0);
    ASSERT_EQ(none->FrameCount(), 1);
    EXPECT_EQ(none->Lock(0, 1, 0)->Width(), 0);
  }
  std::filesystem::remove_all(folder);
}

TEST_F(ImageTest, StripsCutTheGridRowByRowAndRejectWhatItCannotHold) {
  // A 64 × 32 picture of 16 × 16 cells, each filled with its own number as blue.
  const Ref<TPixmap> sheet = NewPixmap(64, 32, PIXEL_RGBA8888, 4);
  for (int32_t cell = 0; cell < 8; ++cell) {
    sheet->SubWindow((cell % 4) * 16, (cell / 4) * 16, 16, 16)
        ->Fill(0xFF000000u | static_cast<uint32_t>(cell + 1));
  }
  const Ref<TImage> strip = LoadImageStrip(sheet, 16, 16, 2, 6, -1);
  ASSERT_TRUE(strip);
  EXPECT_EQ(strip->width, 16);
  ASSERT_EQ(strip->FrameCount(), 6);
  for (int32_t frame = 0; frame < 6; ++frame) {
    const Ref<TPixmap> pixels = strip->Lock(frame, 1, 0);
    EXPECT_TRUE(pixels->Parent().IsNull()) << "cells are copies, not windows";
    EXPECT_EQ(pixels->GetPixel(15, 15) & 0xFF, static_cast<uint32_t>(frame + 3));
  }
  EXPECT_FALSE(LoadImageStrip(sheet, 16, 16, 3, 6, -1));
  EXPECT_TRUE(LoadImageStrip(sheet, 16, 16, 7, 1, -1));
  // No frames asked for gives an image of no frames, as long as the first cell is on the grid.
  const Ref<TImage> noFrames = LoadImageStrip(sheet, 16, 16, 8, 0, -1);
  ASSERT_TRUE(noFrames);
  EXPECT_EQ(noFrames->FrameCount(), 0);
  EXPECT_EQ(noFrames->width, 16);
  EXPECT_EQ(LoadImageStrip(New<TPixmap>(), 16, 16, 0, 0, -1)->FrameCount(), 0);
  for (const auto& [w, h, first, count] : {std::array{16, 16, 8, 1},
                                           {0, 16, 0, 1},
                                           {16, -16, 0, 1},
                                           {16, 16, -1, 2},
                                           {16, 16, 9, 0},
                                           {16, 16, 0, -1},
                                           {65, 16, 0, 1},
                                           {16, 16, 0x7FFFFFFF, 0x7FFFFFFF}}) {
    EXPECT_FALSE(LoadImageStrip(sheet, w, h, first, count, -1))
        << w << " " << h << " " << first << " " << count;
  }
}

TEST_F(ImageTest, CreatedImagesAreDynamicAndTheirFramesAreChecked) {
  const Ref<TImage> image = CreateImage(3, 2, 2, -1);
  EXPECT_EQ(image->flags, ImgMasked | ImgFiltered | ImgDynamic);
  EXPECT_EQ(image->handleX, 0.0f);
  SetAutoCentreHandle(1);
  EXPECT_EQ(CreateImage(9, 6, 1, 0)->handleX, 4.5f);
  EXPECT_EQ(LoadImage(FilledPixmap(4, 8, PIXEL_RGBA8888, 0), -1)->handleY, 4.0f);
  EXPECT_EQ(LoadImageStrip(FilledPixmap(4, 8, PIXEL_RGBA8888, 0), 2, 2, 0, 1, -1)->handleX, 1.0f);
  const Ref<TImage> empty = TImage::Create(-5, -5, -1, 0, 0, 0, 0);
  EXPECT_EQ(empty->width, 0);
  EXPECT_EQ(empty->FrameCount(), 0);

  // A frame without pixels gets a transparent RGBA pixmap of the image's size.
  const Ref<TPixmap> pixels = LockImageFrame(image, 1, 1, 0);
  ASSERT_TRUE(pixels);
  EXPECT_EQ(pixels->Format(), PIXEL_RGBA8888);
  EXPECT_EQ(pixels->Pitch(), 12);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(pixels->GetPixel(x, y), 0u);
  }
  EXPECT_EQ(image->Lock(1, 0, 0), pixels);

  for (const int32_t bad : {-1, 2, 1000}) {
    EXPECT_THROW(image->Lock(bad, 1, 1), TArrayBoundsException) << bad;
    EXPECT_THROW(image->SetPixmap(bad, pixels), TArrayBoundsException) << bad;
    EXPECT_THROW(image->Frame(bad), TArrayBoundsException) << bad;
  }
  EXPECT_FALSE(image->Frame(0)) << "no driver frame without a 2D context";
  EXPECT_THROW(DrawImage(image, 0, 0, 0), TRuntimeException);
}

// ---- on the display ----

class ImageDisplayTest : public Vex2DDisplayTest {
 protected:
  void SetUp() override {
    Vex2DDisplayTest::SetUp();
    InitImageModule();
    InitCollisionModule();
    ResetImageDefaults();
  }
  void TearDown() override {
    ClearCollisionLayers(0);
    ResetImageDefaults();
    Vex2DDisplayTest::TearDown();
  }

  // A solid width × height image of one colour, unfiltered so that its edges stay sharp.
  static Ref<TImage> Solid(int32_t width, int32_t height, uint32_t rgb) {
    return LoadImage(FilledPixmap(width, height, PIXEL_RGBA8888, 0xFF000000 | rgb), 0);
  }
};

TEST_F(ImageDisplayTest, ImagesArePlacedByTheirHandleThroughTheMatrixAndOrigin) {
  const Ref<TImage> image = Solid(16, 16, kRed);
  SetImageHandle(image, 8, 8);
  SetHandle(30, 30);  // the renderer's own handle does not apply to images
  DrawImage(image, 100, 100);
  Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(BoundsOfNot(scene, 0), (Box{92, 92, 108, 108}));
  EXPECT_TRUE(AreaIs(scene, 92, 92, 108, 108, kRed));

  const Ref<TImage> bar = Solid(8, 4, kGreen);
  const auto boundsOf = [&](const std::string& name, auto draw) {
    ClearScreen();
    draw();
    return BoundsOfNot(CaptureScene("-" + name), 0);
  };
  EXPECT_EQ(boundsOf("stretched", [&] { DrawImageStretched(bar, 10, 20, 30, 12); }), (Box{10, 20, 40, 32}));
  SetOrigin(100, 50);
  SetScale(2, 3);
  EXPECT_EQ(boundsOf("scaled", [&] { DrawImage(bar, 10, 20); }), (Box{110, 70, 126, 82}));
  SetOrigin(0, 0);
  SetTransform(90, 1, 1);  // turned clockwise, the picture hangs down and to the left
  EXPECT_EQ(boundsOf("rotated", [&] { DrawImage(bar, 100, 100); }), (Box{96, 100, 100, 108}));
}

TEST_F(ImageDisplayTest, FramesShowTheirPixelsAndAreRebuiltWhenThoseChange) {
  // A red picture with a black middle, masked with the default black: the middle stays clear.
  const Ref<TPixmap> rgb = FilledPixmap(12, 12, PIXEL_RGB888, 0xFFFF0000);
  rgb->SubWindow(4, 4, 4, 4)->Fill(0xFF000000);
  SetClearColor(0, 0, 255);
  ClearScreen();
  DrawImage(LoadImage(rgb, -1), 20, 20);

  const Ref<TImage> image = CreateImage(8, 8, 2, 0);
  image->Lock(0, 1, 1)->Fill(0xFFFF0000);
  image->Lock(1, 1, 1)->Fill(0xFFFFFFFF);
  DrawImage(image, 10, 40, 0);
  DrawImage(image, 10, 50, 1);
  ASSERT_TRUE(image->frames[0]);
  EXPECT_EQ(image->frameGenerations[0], GraphicsGeneration());
  const Ref<TImageFrame> built = image->frames[0];
  image->Lock(0, 1, 0);
  EXPECT_EQ(image->frames[0], built) << "reading keeps the driver frame";
  image->Lock(0, 1, 1)->Fill(0xFF0000FF);
  EXPECT_FALSE(image->frames[0]) << "writing drops it";
  EXPECT_EQ(image->frameGenerations[0], 0);
  DrawImage(image, 30, 40);
  image->SetPixmap(0, FilledPixmap(8, 8, PIXEL_RGBA8888, 0xFF00FF00));
  DrawImage(image, 50, 40);

  Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(Rgb(scene, 21, 21), kRed);
  EXPECT_TRUE(AreaIs(scene, 25, 25, 27, 27, kBlue)) << "the masked middle shows the background";
  EXPECT_TRUE(AreaIs(scene, 10, 40, 18, 48, kRed));
  EXPECT_TRUE(AreaIs(scene, 10, 50, 18, 58, 0xFFFFFF));
  EXPECT_TRUE(AreaIs(scene, 30, 40, 38, 48, kBlue));
  EXPECT_TRUE(AreaIs(scene, 50, 40, 58, 48, kGreen));

  // Reopening the main graphics starts a new generation: frames are built again.
  const int32_t before = image->frameGenerations[0];
  CloseMainGraphics();
  EXPECT_FALSE(image->Frame(0)) << "no driver frame without a 2D context";
  graphics_ = OpenGraphics(kWidth, kHeight, 0, 0, 0);
  ASSERT_TRUE(graphics_);
  ASSERT_NE(GraphicsGeneration(), before);
  DrawImage(image, 20, 20);
  EXPECT_EQ(image->frameGenerations[0], GraphicsGeneration());
  scene = CaptureScene("-reopened");
  EXPECT_TRUE(AreaIs(scene, 20, 20, 28, 28, kGreen));
}

TEST_F(ImageDisplayTest, TilingCoversTheWholeViewportForEveryPosition) {
  // Tiles with a distinct first column and row, so that a misplaced grid would also show.
  const Ref<TPixmap> tile = FilledPixmap(7, 5, PIXEL_RGBA8888, 0xFF00FF00);
  tile->SubWindow(0, 0, 7, 1)->Fill(0xFFFF0000);
  tile->SubWindow(0, 0, 1, 5)->Fill(0xFFFF0000);
  const Ref<TImage> image = LoadImage(tile, 0);
  SetImageHandle(image, 2, 1);
  SetRotation(30);
  SetScale(3, 3);

  // Whole pixels and fractions, the grid lined up with the viewport's edges (step 0 and
  // multiples of the tile) and not; a viewport at the window's corner and one inside it.
  for (const auto& [vx, vy, vw, vh] : {std::array{0, 0, kWidth, kHeight}, std::array{13, 9, 101, 77}}) {
    for (int32_t step = -14; step <= 14; step += 7) {
      for (const float fraction : {0.0f, 0.25f, 0.5f, 0.75f, 0.99f}) {
        SetViewport(0, 0, kWidth, kHeight);
        ClearScreen();
        SetViewport(vx, vy, vw, vh);
        const float x = static_cast<float>(vx + step + 2) + fraction;
        const float y = static_cast<float>(vy - step + 1) + fraction;
        DrawImageTiled(image, x, y);
        const Ref<TPixmap> scene = CaptureScreenPixmap(0, 0, kWidth, kHeight);
        int32_t wrong = 0;  // uncovered inside the viewport, or drawn outside it
        for (int32_t py = 0; py < kHeight; ++py) {
          for (int32_t px = 0; px < kWidth; ++px) {
            const bool inside = px >= vx && px < vx + vw && py >= vy && py < vy + vh;
            wrong += inside == (Rgb(scene, px, py) == 0) ? 1 : 0;
          }
        }
        EXPECT_EQ(wrong, 0) << "viewport at " << vx << " drawn at " << x << ", " << y;
        if (wrong != 0) {
          SaveScene(scene, CurrentTestName() + "-failed");
          return;
        }
      }
    }
  }
  // The grid passes through the drawing position minus the handle: a red corner at (x−2, y−1).
  SetViewport(0, 0, kWidth, kHeight);
  ClearScreen();
  DrawImageTiled(image, 52, 31);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(Rgb(scene, 50, 30), kRed);
  EXPECT_EQ(Rgb(scene, 57, 30), kRed);
  EXPECT_EQ(Rgb(scene, 51, 31), kGreen);
  EXPECT_EQ(Rgb(scene, 50, 35), kRed);

  // The state's transform is in force again afterwards.
  const Ref<TVex2DGraphics> state = ActiveState();
  EXPECT_EQ(state->rotation, 30.0f);
  ClearScreen();
  SetTransform(90, 1, 1);
  DrawImageTiled(image, 0, 0);
  DrawRect(200, 100, 20, 4);
  const Ref<TPixmap> after = CaptureScreenPixmap(0, 0, kWidth, kHeight);
  EXPECT_EQ(Rgb(after, 197, 115), 0xFFFFFFu) << "the rectangle is drawn turned";
}

TEST_F(ImageDisplayTest, CaptureCopiesTheScreenIntoAFrame) {
  SetDrawColor(255, 0, 0);
  DrawRect(10, 10, 4, 4);
  SetDrawColor(0, 0, 255);
  DrawRect(14, 10, 4, 4);

  const Ref<TImage> plain = CreateImage(8, 4, 2, 0);
  CaptureToImage(plain, 10, 10, 1);
  const Ref<TPixmap> pixels = plain->Lock(1, 1, 0);
  EXPECT_EQ(pixels->GetPixel(0, 0) & 0xFFFFFF, kRed);
  EXPECT_EQ(pixels->GetPixel(7, 3) & 0xFFFFFF, kBlue);

  // A masked image makes the module's mask colour clear.
  SetDefaultMaskColour(255, 0, 0);
  const Ref<TImage> masked = CreateImage(8, 4, 1, ImgMasked);
  CaptureToImage(masked, 10, 10);
  EXPECT_EQ(masked->Lock(0, 1, 0)->GetPixel(1, 1) >> 24, 0u);
  EXPECT_EQ(masked->Lock(0, 1, 0)->GetPixel(6, 1) >> 24, 0xFFu);
  EXPECT_THROW(CaptureToImage(masked, 0, 0, 1), TArrayBoundsException);
  CaptureScene();
}

TEST_F(ImageDisplayTest, CollisionsFollowTheRendererState) {
  const Ref<TImage> a = Solid(16, 16, kRed);
  const Ref<TImage> b = Solid(16, 16, kGreen);
  // The origin moves every quad alike.
  SetOrigin(500, 500);
  EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 15, 0, 0), 1);
  EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 16, 0, 0), 0);
  EXPECT_EQ(CollideRectInLayers(15, 15, 1, 1, 1u << 31, 0, Null).Length(), 1) << "rectangles move too";
  SetOrigin(0, 0);

  // Quads are placed with the state's current matrix.
  SetRotation(90);
  CollideImageInLayers(a, 100, 100, 0, 0, 1, Null);
  EXPECT_EQ(CollideRectInLayers(90, 110, 1, 1, 1, 0, Null).Length(), 1);
  EXPECT_EQ(CollideRectInLayers(110, 110, 1, 1, 1, 0, Null).Length(), 0);

  // ImagesCollideTransformed puts the rotation and scale back as it found them.
  SetTransform(30, 2, 0.5f);
  const Ref<TVex2DGraphics> state = ActiveState();
  const float xx = state->matrixXX;
  EXPECT_EQ(ImagesCollideTransformed(a, 0, 0, 0, 90, 1, 1, b, -20, 5, 0, 0, 1, 1), 1);
  EXPECT_EQ(ImagesCollideTransformed(a, 0, 0, 0, 0, 1, 1, b, -20, 5, 0, 0, 1, 1), 0);
  EXPECT_EQ(state->rotation, 30.0f);
  EXPECT_EQ(state->scaleY, 0.5f);
  EXPECT_EQ(state->matrixXX, xx);
}

}  // namespace
}  // namespace corvex
