// Packed-font drawing on a real window, read back: DrawFrame shows exactly one cell, Draw
// centres or not, and DrawText's two styles place glyphs as the cursor says. The atlas has a
// solid colour per cell and is drawn unfiltered, so every box is exact; the expected boxes
// follow from the cursor arithmetic and OpenGL's pixel-centre rule, and were checked by eye on
// the saved scenes.
#include <gtest/gtest.h>

#include <string>

#include "pac/PacImage.h"
#include "tests/pac/PacTestSupport.h"
#include "tests/vex2d/SceneCapture.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

using pac_testing::TempFolder;
using scene_testing::Box;
using scene_testing::CaptureScene;
using scene_testing::Rgb;

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kYellow = 0xFFFF00;
constexpr uint32_t kMagenta = 0xFF00FF;

// The box of the pixels of exactly this colour (x1, y1 exclusive); all 0 when there are none.
Box BoundsOf(const Ref<TPixmap>& scene, uint32_t rgb) {
  Box box{scene->Width(), scene->Height(), 0, 0};
  for (int32_t y = 0; y < scene->Height(); ++y) {
    for (int32_t x = 0; x < scene->Width(); ++x) {
      if (Rgb(scene, x, y) != rgb) continue;
      box.x0 = std::min(box.x0, x);
      box.y0 = std::min(box.y0, y);
      box.x1 = std::max(box.x1, x + 1);
      box.y1 = std::max(box.y1, y + 1);
    }
  }
  return box.x1 == 0 ? Box{} : box;
}

// Four frames in a 64 × 64 atlas, the group "font" giving characters ' ', '!', '"' and '#':
//   0: 30 × 47 red at (0, 0), charW 8 (the line height is its 47);
//   1: 10 × 20 green at (32, 0), charW 6;
//   2: 10 × 20 blue at (32, 20), charW 4;
//   3: 20 × 20 at (42, 0), yellow on its left half and magenta on its right, charW 12.
class PacDrawTest : public scene_testing::Vex2DDisplayTest {
 protected:
  void SetUp() override {
    pac_testing::InitPacTestModules();
    Vex2DDisplayTest::SetUp();
    if (HasFatalFailure()) return;
    const Ref<TPixmap> atlas = pac_testing::SolidPixmap(64, 64, 0xFF000000);
    atlas->PasteFrom(pac_testing::SolidPixmap(30, 47, 0xFF000000 | kRed), 0, 0);
    atlas->PasteFrom(pac_testing::SolidPixmap(10, 20, 0xFF000000 | kGreen), 32, 0);
    atlas->PasteFrom(pac_testing::SolidPixmap(10, 20, 0xFF000000 | kBlue), 32, 20);
    atlas->PasteFrom(pac_testing::SolidPixmap(10, 20, 0xFF000000 | kYellow), 42, 0);
    atlas->PasteFrom(pac_testing::SolidPixmap(10, 20, 0xFF000000 | kMagenta), 52, 0);
    pac_testing::WritePng(atlas, folder_.Path("cells.png"));
    pac_ = TPac::Load(folder_.Write("cells.pac",
                                    "#frames: 4\n"
                                    "f0, 0, 0, 30, 47, 8, font, 0\n"
                                    "f1, 32, 0, 10, 20, 6, font, 1\n"
                                    "f2, 32, 20, 10, 20, 4, font, 2\n"
                                    "f3, 42, 0, 20, 20, 12, font, 3\n"),
                      0);  // unfiltered: every pixel is its texel
    ASSERT_TRUE(pac_);
    ASSERT_TRUE(pac_->image);
    image_ = TPacImage::Create(pac_, "font");
    ClearScreen();
  }
  void TearDown() override {
    SetHandle(0, 0);
    SetTransform(0, 1, 1);
    Vex2DDisplayTest::TearDown();
  }

  TempFolder folder_;
  Ref<TPac> pac_;
  Ref<TPacImage> image_;
};

TEST_F(PacDrawTest, DrawFrameShowsExactlyTheCellAtItsOwnSize) {
  pac_->DrawFrame(100, 50, 1, 0, 0);
  pac_->DrawFrame(200, 150, 2, 5, 10);
  pac_->DrawFrame(20, 100, 0, 0, 0);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(BoundsOf(scene, kGreen), (Box{100, 50, 110, 70}));
  EXPECT_EQ(BoundsOf(scene, kBlue), (Box{195, 140, 205, 160})) << "placed by the atlas handle";
  EXPECT_EQ(BoundsOf(scene, kRed), (Box{20, 100, 50, 147}));
  EXPECT_EQ(pac_->image->handleX, 0.0f) << "the atlas keeps the last frame's handle";
}

TEST_F(PacDrawTest, DrawFrameGoesThroughTheRenderersOriginAndTransform) {
  SetOrigin(10, 20);
  SetTransform(0, 2, 2);
  SetHandle(100, 100);  // the renderer's own handle plays no part
  pac_->DrawFrame(100, 50, 1, 0, 0);
  SetOrigin(0, 0);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(BoundsOf(scene, kGreen), (Box{110, 70, 130, 110}));
}

TEST_F(PacDrawTest, DrawCentredOrByItsCorner) {
  image_->Draw(100, 100, 0);
  Ref<TPixmap> scene = CaptureScene("-centred");
  EXPECT_EQ(BoundsOf(scene, kRed), (Box{85, 77, 115, 124})) << "handle (15, 23) of a 30 × 47 frame";

  ClearScreen();
  image_->centred = 0;
  image_->Draw(100, 100, 0);
  image_->Draw(200, 10, 3);
  image_->Draw(200, 10, 4);  // no such group frame: nothing
  scene = CaptureScene("-corner");
  EXPECT_EQ(BoundsOf(scene, kRed), (Box{100, 100, 130, 147}));
  EXPECT_EQ(BoundsOf(scene, kYellow), (Box{200, 10, 210, 30}));
  EXPECT_EQ(BoundsOf(scene, kMagenta), (Box{210, 10, 220, 30}));
}

TEST_F(PacDrawTest, BlockStyleMovesEachCellLeftByItsCentringOffset) {
  // '!' (cell 10, charW 6) is shifted (10 - 6) / 2 = 2 left; '"' follows 6 + 20 further on
  // and is shifted 3; the line feed returns to the handle's x, 47 pixels down.
  image_->DrawText("!\"\n!", 50, 60, 20, 0, 0);
  Ref<TPixmap> scene = CaptureScene("-proportional");
  EXPECT_EQ(BoundsOf(scene, kBlue), (Box{73, 60, 83, 80}));
  EXPECT_EQ(BoundsOf(scene, kGreen), (Box{48, 60, 58, 127})) << "both '!', one line apart";
  EXPECT_EQ(Rgb(scene, 50, 90), 0u);

  // A space advances 8 but its 30-pixel cell is drawn 11 to the left.
  ClearScreen();
  image_->DrawText(" ", 50, 60, 0, 0, 0);
  EXPECT_EQ(BoundsOf(CaptureScene("-space"), kRed), (Box{39, 60, 69, 107}));

  // Monospaced: no offset, and cells follow each other at their widths plus the spacing.
  ClearScreen();
  image_->DrawText("!\"#", 50, 60, -2, 1, 0);
  scene = CaptureScene("-monospaced");
  EXPECT_EQ(BoundsOf(scene, kGreen), (Box{50, 60, 58, 80})) << "the next cell starts 8 on, over it";
  EXPECT_EQ(BoundsOf(scene, kBlue), (Box{58, 60, 66, 80}));
  EXPECT_EQ(BoundsOf(scene, kYellow), (Box{66, 60, 76, 80}));
}

TEST_F(PacDrawTest, BlockStyleTurnsTheWholeTextAboutTheDrawingPoint) {
  SetTransform(180, 1, 1);
  image_->DrawText("!\"", 100, 100, 20, 0, 0);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(BoundsOf(scene, kGreen), (Box{92, 80, 102, 100}));
  EXPECT_EQ(BoundsOf(scene, kBlue), (Box{67, 80, 77, 100})) << "the line runs leftwards, upside down";
}

TEST_F(PacDrawTest, PerGlyphStylePlacesCellsAtTheCursorAndTurnsEachAboutItsHandle) {
  SetHandle(5, 10);
  image_->DrawText("!\"", 50, 60, 0, 0, 1);
  Ref<TPixmap> scene = CaptureScene("-upright");
  EXPECT_EQ(BoundsOf(scene, kGreen), (Box{40, 40, 46, 60})) << "no centring offset; '\"' covers its right";
  EXPECT_EQ(BoundsOf(scene, kBlue), (Box{46, 40, 56, 60}));
  float hx = 0;
  float hy = 0;
  GetHandle(hx, hy);
  EXPECT_EQ(hx, 5.0f) << "DrawText leaves the renderer's handle alone";
  EXPECT_EQ(hy, 10.0f);

  ClearScreen();
  SetHandle(10, 10);
  SetTransform(180, 1, 1);
  image_->DrawText("##\n#", 50, 60, 0, 1, 1);
  scene = CaptureScene("-turned");
  // Each glyph turns about its own centre: same cells, the line still running rightwards and
  // down, every glyph's colours swapped left for right.
  EXPECT_EQ(BoundsOf(scene, kMagenta), (Box{30, 40, 60, 107}));
  EXPECT_EQ(BoundsOf(scene, kYellow), (Box{40, 40, 70, 107}));
  EXPECT_EQ(Rgb(scene, 35, 50), kMagenta);
  EXPECT_EQ(Rgb(scene, 45, 50), kYellow);
  EXPECT_EQ(Rgb(scene, 55, 50), kMagenta);
  EXPECT_EQ(Rgb(scene, 35, 97), kMagenta) << "the second line, 47 down";
  EXPECT_EQ(Rgb(scene, 45, 97), kYellow);
}

TEST_F(PacDrawTest, TheAtlasShowsTheLastCellDrawnWhenUsedAsAnImage) {
  pac_->DrawFrame(250, 0, 2, 0, 0);
  DrawImage(pac_->image, 100, 100);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_TRUE(scene_testing::AreaIs(scene, 100, 100, 164, 164, kBlue))
      << "the whole image, showing the blue cell";
  EXPECT_TRUE(scene_testing::AreaIs(scene, 250, 0, 260, 20, kBlue));
  EXPECT_EQ(Rgb(scene, 99, 99), 0u);
  EXPECT_EQ(Rgb(scene, 164, 164), 0u);
}

TEST_F(PacDrawTest, CharactersWithoutAFrameDrawNothingAndTakeNoRoom) {
  image_->DrawText(String(u"\u0001$!\uffff\""), 50, 60, 20, 0, 0);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(BoundsOf(scene, kGreen), (Box{48, 60, 58, 80}));
  EXPECT_EQ(BoundsOf(scene, kBlue), (Box{73, 60, 83, 80}));
  EXPECT_EQ(BoundsOf(scene, kRed), Box{});
}

}  // namespace
}  // namespace corvex
