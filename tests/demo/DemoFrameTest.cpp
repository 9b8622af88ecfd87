// The demo's frames drawn on a real 800 × 600 window and read back. Each frame is compared with
// pictures drawn step by step as the demo is meant to draw them: the static parts alone (clear
// colour, diagonals, caption) must match everywhere outside the paragraph, and the paragraph's
// pixels must lie where its geometry puts them. The saved scenes were checked by eye.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "demo/Demo.h"
#include "demo/DemoModule.h"
#include "graphics/Graphics.h"
#include "startup/FrameworkModules.h"
#include "tests/vex2d/SceneCapture.h"
#include "vex2d/Renderer.h"
#include "vex2d/Vex2DDriver.h"

namespace corvex {
namespace {

using scene_testing::Box;
using scene_testing::CaptureScene;
using scene_testing::Rgb;

constexpr uint32_t kClear = 0x32508C;     // (50, 80, 140)
constexpr uint32_t kDiagonal = 0x284682;  // (40, 70, 130)

// A box with float edges that grows to take in others.
struct Extent {
  float x0, y0, x1, y1;
  void Add(float left, float top, float right, float bottom) {
    x0 = std::min(x0, left);
    y0 = std::min(y0, top);
    x1 = std::max(x1, right);
    y1 = std::max(y1, bottom);
  }
};

TEST(DemoPhaseTest, AngleRunsDownFrom360To0In361Steps) {
  EXPECT_EQ(NextDemoAngle(0), 360);
  EXPECT_EQ(NextDemoAngle(360), 359);
  EXPECT_EQ(NextDemoAngle(1), 0);
  int32_t angle = 0;
  int32_t steps = 0;
  do {
    angle = NextDemoAngle(angle);
    ++steps;
  } while (angle != 0 && steps < 1000);
  EXPECT_EQ(steps, 361);
}

TEST(DemoPhaseTest, TransformSwingsBetweenMirroredAndLarge) {
  float rotation = 0;
  float scale = 0;
  DemoTransform(360, rotation, scale);
  EXPECT_NEAR(rotation, 0.0f, 1e-4f);
  EXPECT_NEAR(scale, 0.25f, 1e-6f);
  DemoTransform(270, rotation, scale);
  EXPECT_NEAR(rotation, 180.0f, 1e-4f);
  EXPECT_NEAR(scale, -0.75f, 1e-6f);
  DemoTransform(90, rotation, scale);
  EXPECT_NEAR(rotation, -180.0f, 1e-4f);
  EXPECT_NEAR(scale, 1.25f, 1e-6f);
  DemoTransform(30, rotation, scale);
  EXPECT_NEAR(rotation, -90.0f, 1e-4f);
  EXPECT_NEAR(scale, 0.75f, 1e-6f);
}

// Whether the column x has the diagonals' colour within a pixel of row y.
bool DiagonalNear(const Ref<TPixmap>& scene, int32_t x, float y) {
  for (int32_t row = static_cast<int32_t>(y) - 1; row <= static_cast<int32_t>(y) + 1; ++row) {
    if (row >= 0 && row < scene->Height() && Rgb(scene, x, row) == kDiagonal) return true;
  }
  return false;
}

// Both diagonals near the window's edges, where nothing else is ever drawn.
void ExpectDiagonalsAt(const Ref<TPixmap>& scene) {
  for (const int32_t x : {1, 10, 789, 798}) {
    EXPECT_TRUE(DiagonalNear(scene, x, x * 0.75f)) << "from the top left, at x " << x;
    EXPECT_TRUE(DiagonalNear(scene, x, 600 - x * 0.75f)) << "from the bottom left, at x " << x;
  }
}

class DemoFrameTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterDemoFiles();
    InitPacModule();
    InitFrameworkModules();
  }
  void SetUp() override {
    image_ = SetUpDemo();
    paragraph_ = String(kDemoParagraph);
    halfWidth_ = image_->TextWidth(paragraph_, 0, 0) / 2;
    halfHeight_ = image_->TextHeight(paragraph_) / 2;
  }
  void TearDown() override { CloseMainGraphics(); }

  // Clear colour, diagonals and caption, as every frame starts.
  void DrawStaticParts(int32_t style) {
    ClearScreen();
    SetDrawColor(40, 70, 130);
    DrawLine(0, 0, 800, 600, 1);
    DrawLine(0, 600, 800, 0, 1);
    SetDrawColor(255, 100, 100);
    image_->DrawText("[C]hange style: " + String::FromInt(style), 25, 40, 0, 0, 0);
  }
  // The static parts and the paragraph in the style at the plain scale given, unrotated.
  void DrawExpected(int32_t style, float scale) {
    DrawStaticParts(style);
    SetDrawColor(255, 255, 255);
    SetTransform(0, scale, scale);
    if (style != 0) {
      SetHandle(15, 23);
      image_->DrawText(paragraph_, static_cast<float>(400 - halfWidth_), 300, -14, 1, 1);
    } else {
      SetHandle(static_cast<float>(halfWidth_), static_cast<float>(halfHeight_));
      image_->DrawText(paragraph_, 400, 300, 0, 0, 0);
    }
    SetHandle(0, 0);
    SetTransform(0, 1, 1);
  }

  // Where `scene` differs from `reference`; the count of such pixels goes to `changed`.
  static Box Differences(const Ref<TPixmap>& scene, const Ref<TPixmap>& reference, int32_t& changed) {
    Box box{800, 600, 0, 0};
    changed = 0;
    for (int32_t y = 0; y < 600; ++y) {
      for (int32_t x = 0; x < 800; ++x) {
        if (Rgb(scene, x, y) == Rgb(reference, x, y)) continue;
        ++changed;
        box.x0 = std::min(box.x0, x);
        box.y0 = std::min(box.y0, y);
        box.x1 = std::max(box.x1, x + 1);
        box.y1 = std::max(box.y1, y + 1);
      }
    }
    return changed == 0 ? Box{} : box;
  }

  // The box of the atlas texels with any alpha in frame k's cell, relative to the cell.
  Extent CellInk(int32_t k) const {
    const Ref<TPixmap> atlas = image_->pac->image->pixmaps[0];
    const int32_t left = k % 17 * 30;
    const int32_t top = k / 17 * 47;
    Extent ink{1e9f, 1e9f, -1e9f, -1e9f};
    for (int32_t y = 0; y < 47; ++y) {
      for (int32_t x = 0; x < 30; ++x) {
        if ((atlas->GetPixel(left + x, top + y) >> 24) == 0) continue;
        ink.Add(static_cast<float>(x), static_cast<float>(y), static_cast<float>(x + 1),
                static_cast<float>(y + 1));
      }
    }
    return ink;
  }

  // Where the paragraph's ink goes at `scale`: in block style each cell sits at the cursor less
  // its centring offset and the block is scaled about the handle (halfWidth, halfHeight) placed
  // on (400, 300); per glyph, each cell's centre sits 16 pixels after the last from x 64, lines
  // 47 apart from y 277, and each glyph is scaled about its centre.
  Extent ParagraphInk(int32_t style, float scale) const {
    Extent ink{1e9f, 1e9f, -1e9f, -1e9f};
    const std::string text = kDemoParagraph;
    int32_t line = 0;
    int32_t column = 0;
    int32_t cursor = 0;
    for (const char c : text) {
      if (c == '\n') {
        ++line;
        column = 0;
        cursor = 0;
        continue;
      }
      const int32_t k = c - 32;
      const Extent cell = CellInk(k);
      if (cell.x1 < 0) {  // the space has no ink
        cursor += image_->pac->charW[k];
        ++column;
        continue;
      }
      if (style == 0) {
        const float left = static_cast<float>(cursor - (30 - image_->pac->charW[k]) / 2 - halfWidth_);
        const float top = static_cast<float>(47 * line - halfHeight_);
        ink.Add(400 + scale * (left + cell.x0), 300 + scale * (top + cell.y0), 400 + scale * (left + cell.x1),
                300 + scale * (top + cell.y1));
      } else {
        const float cx = static_cast<float>(64 + 16 * column);
        const float cy = static_cast<float>(277 + 47 * line);
        ink.Add(cx + scale * (cell.x0 - 15), cy + scale * (cell.y0 - 23), cx + scale * (cell.x1 - 15),
                cy + scale * (cell.y1 - 23));
      }
      cursor += image_->pac->charW[k];
      ++column;
    }
    return ink;
  }

  // Checks a frame: outside the paragraph it is the static picture; the paragraph's pixels
  // cover, within `slack` pixels, the box its geometry gives; and the whole frame is what the
  // expected drawing at `plainScale` gives.
  void CheckFrame(const DemoState& state, float plainScale, float slack) {
    DrawStaticParts(state.style);
    const Ref<TPixmap> still = CaptureScene("-static");
    DrawExpected(state.style, plainScale);
    const Ref<TPixmap> expected = CaptureScene("-expected");
    DrawDemoFrame(image_, state);
    const Ref<TPixmap> frame = CaptureScene();

    int32_t changed = 0;
    const Box paragraph = Differences(frame, still, changed);
    const Extent ink = ParagraphInk(state.style, plainScale);
    EXPECT_GT(changed, 100) << "the paragraph is drawn";
    EXPECT_NEAR(paragraph.x0, ink.x0, slack);
    EXPECT_NEAR(paragraph.y0, ink.y0, slack);
    EXPECT_NEAR(paragraph.x1, ink.x1, slack);
    EXPECT_NEAR(paragraph.y1, ink.y1, slack);

    Differences(frame, expected, changed);
    EXPECT_EQ(changed, 0) << "the frame differs from the paragraph drawn unrotated at scale " << plainScale;

    // The static parts: clear colour in the corners, the diagonals' ends, the caption's place.
    EXPECT_EQ(Rgb(frame, 60, 5), kClear);
    EXPECT_EQ(Rgb(frame, 740, 595), kClear);
    ExpectDiagonalsAt(frame);
  }

  Ref<TPacImage> image_;
  String paragraph_;
  int32_t halfWidth_ = 0;
  int32_t halfHeight_ = 0;
};

TEST_F(DemoFrameTest, SetUpLeavesTheDemosRendererState) {
  EXPECT_EQ(CurrentGraphicsWidth(), 800);
  EXPECT_EQ(CurrentGraphicsHeight(), 600);
  EXPECT_EQ(GetBlendMode(), BlendAlpha);
  int32_t r = 0;
  int32_t g = 0;
  int32_t b = 0;
  GetClearColor(r, g, b);
  EXPECT_EQ(r, 50);
  EXPECT_EQ(g, 80);
  EXPECT_EQ(b, 140);
  EXPECT_EQ(image_->centred, 0);
  EXPECT_EQ(halfWidth_, 321);
  EXPECT_EQ(halfHeight_, 70);
}

TEST_F(DemoFrameTest, FirstFrameBlockStyleIsAQuarterSizeAndUnturned) {
  CheckFrame(DemoState{0, 360}, 0.25f, 2);
}

TEST_F(DemoFrameTest, Angle270BlockStyleIsUprightAtThreeQuarters) {
  // A turn of 180 degrees with a scale of -0.75 is the paragraph upright at 0.75.
  CheckFrame(DemoState{0, 270}, 0.75f, 2);
}

TEST_F(DemoFrameTest, FirstFramePerGlyphStyleTurnsGlyphsInPlace) {
  CheckFrame(DemoState{1, 360}, 0.25f, 2);

  // Glyph cells sit every 16 pixels from x 79 - 15 = 64, lines at y 277, 324, 371: every
  // pixel of the paragraph is near one of those centres.
  DrawStaticParts(1);
  const Ref<TPixmap> still = CaptureScene("-static");
  DrawDemoFrame(image_, DemoState{1, 360});
  const Ref<TPixmap> frame = CaptureScene("-check");
  for (int32_t y = 0; y < 600; ++y) {
    for (int32_t x = 0; x < 800; ++x) {
      if (Rgb(frame, x, y) == Rgb(still, x, y)) continue;
      const int32_t line = static_cast<int32_t>(std::lround((y - 277) / 47.0));
      const int32_t column = static_cast<int32_t>(std::lround((x - 64) / 16.0));
      ASSERT_LE(std::abs(y - (277 + 47 * line)), 7) << "pixel " << x << ", " << y << " is off every line";
      ASSERT_LE(std::abs(x - (64 + 16 * column)), 5) << "pixel " << x << ", " << y << " is off every glyph";
    }
  }
}

TEST_F(DemoFrameTest, Angle270PerGlyphStyleIsUprightAtThreeQuarters) {
  CheckFrame(DemoState{1, 270}, 0.75f, 2);
}

TEST_F(DemoFrameTest, TheCaptionStandsUntransformedAtTheTopLeft) {
  for (int32_t style = 0; style <= 1; ++style) {
    ClearScreen();
    SetDrawColor(40, 70, 130);
    DrawLine(0, 0, 800, 600, 1);
    DrawLine(0, 600, 800, 0, 1);
    const Ref<TPixmap> lines = CaptureScene("-lines");
    DrawStaticParts(style);
    const Ref<TPixmap> still = CaptureScene("-caption" + std::to_string(style));

    // Cells from x 25 at the cursor less their centring offset, from y 40, at scale 1.
    Extent ink{1e9f, 1e9f, -1e9f, -1e9f};
    int32_t cursor = 25;
    for (const char c : "[C]hange style: " + std::to_string(style)) {
      const int32_t k = c - 32;
      const Extent cell = CellInk(k);
      const int32_t left = cursor - (30 - image_->pac->charW[k]) / 2;
      if (cell.x1 >= 0) ink.Add(left + cell.x0, 40 + cell.y0, left + cell.x1, 40 + cell.y1);
      cursor += image_->pac->charW[k];
    }
    int32_t changed = 0;
    const Box caption = Differences(still, lines, changed);
    EXPECT_NEAR(caption.x0, ink.x0, 1);
    EXPECT_NEAR(caption.y0, ink.y0, 1);
    EXPECT_NEAR(caption.x1, ink.x1, 1);
    EXPECT_NEAR(caption.y1, ink.y1, 1);
  }
}

TEST_F(DemoFrameTest, AFrameLeavesTheStateTheNextFrameStartsFrom) {
  SetDrawColor(1, 2, 3);
  DrawDemoFrame(image_, DemoState{1, 123});
  float x = 0;
  float y = 0;
  GetHandle(x, y);
  EXPECT_EQ(x, 0.0f);
  EXPECT_EQ(y, 0.0f);
  EXPECT_EQ(GetRotation(), 0.0f);
  GetScale(x, y);
  EXPECT_EQ(x, 1.0f);
  EXPECT_EQ(y, 1.0f);
  EXPECT_EQ(GetBlendMode(), BlendAlpha);
}

}  // namespace
}  // namespace corvex
