// The demo's frames drawn on a real 800 × 600 window and read back, checked against what the
// demo promises rather than against a second drawing: the clear colour, the diagonals and the
// caption never turn, and the paragraph's ink lies where the font's cells go under the turn and
// scale of the frame's phase (positive angles clockwise on the screen, the scale before the
// turn). The predicted pictures come from the atlas alone; the saved scenes were checked by eye.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "demo/Demo.h"
#include "demo/DemoModule.h"
#include "graphics/Graphics.h"
#include "startup/FrameworkModules.h"
#include "system/Event.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
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

// Hits of C between two frames toggle the style once, however many there were.
TEST(DemoStepTest, CHitTwiceInOneFrameTogglesOnce) {
  InitInputModule();
  StartInputTracking(Null);
  const auto pressC = [] {
    NewEvent(EVENT_KEYDOWN, Null, KEY_C, 0, 0, 0, Null)->Emit();
    NewEvent(EVENT_KEYUP, Null, KEY_C, 0, 0, 0, Null)->Emit();
  };
  DemoState state{0, 0};
  pressC();
  pressC();
  StepDemo(state);
  EXPECT_EQ(state.style, 1);
  EXPECT_EQ(state.angle, 360);
  StepDemo(state);  // no hit since: the style stays
  EXPECT_EQ(state.style, 1);
  pressC();
  StepDemo(state);
  EXPECT_EQ(state.style, 0);
  StopInputTracking();
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

  // The caption's ink box from the atlas: cells from x 25 at the cursor less their centring
  // offset, from y 40, unscaled and unturned.
  Extent CaptionInk(int32_t style) const {
    Extent ink{1e9f, 1e9f, -1e9f, -1e9f};
    int32_t cursor = 25;
    for (const char c : "[C]hange style: " + std::to_string(style)) {
      const int32_t k = c - 32;
      const Extent cell = CellInk(k);
      const int32_t left = cursor - (30 - image_->pac->charW[k]) / 2;
      if (cell.x1 >= 0) ink.Add(left + cell.x0, 40 + cell.y0, left + cell.x1, 40 + cell.y1);
      cursor += image_->pac->charW[k];
    }
    return ink;
  }

  // Where the block-style paragraph's inked texels land with the turn
  // and scale given: each cell sits at the cursor less its centring offset, lines 47 apart, the
  // block's handle (halfWidth, halfHeight) on (400, 300), and a point (x, y) from the handle goes
  // to (cos·sx·x − sin·sy·y, sin·sx·x + cos·sy·y). Answers the screen pixels hit, each widened
  // by a pixel.
  std::vector<bool> PredictedBlockInk(float rotation, float scale) const {
    const double radians = rotation * std::numbers::pi / 180.0;
    const double xx = std::cos(radians) * scale;
    const double xy = -std::sin(radians) * scale;
    const double yx = std::sin(radians) * scale;
    const double yy = std::cos(radians) * scale;
    const Ref<TPixmap> atlas = image_->pac->image->pixmaps[0];
    std::vector<bool> hit(800 * 600, false);
    int32_t line = 0;
    int32_t cursor = 0;
    for (const char c : std::string(kDemoParagraph)) {
      if (c == '\n') {
        ++line;
        cursor = 0;
        continue;
      }
      const int32_t k = c - 32;
      const int32_t left = cursor - (30 - image_->pac->charW[k]) / 2 - halfWidth_;
      const int32_t top = 47 * line - halfHeight_;
      for (int32_t y = 0; y < 47; ++y) {
        for (int32_t x = 0; x < 30; ++x) {
          if ((atlas->GetPixel(k % 17 * 30 + x, k / 17 * 47 + y) >> 24) == 0) continue;
          const double px = left + x + 0.5;
          const double py = top + y + 0.5;
          const auto sx = static_cast<int32_t>(std::floor(400 + xx * px + xy * py));
          const auto sy = static_cast<int32_t>(std::floor(300 + yx * px + yy * py));
          for (int32_t dy = -1; dy <= 1; ++dy) {
            for (int32_t dx = -1; dx <= 1; ++dx) {
              if (sx + dx >= 0 && sx + dx < 800 && sy + dy >= 0 && sy + dy < 600)
                hit[(sy + dy) * 800 + sx + dx] = true;
            }
          }
        }
      }
      cursor += image_->pac->charW[k];
    }
    return hit;
  }

  // Draws the demo's frame for the state and checks what never changes: the clear colour in the
  // corners, both diagonals, and the caption where its cells put it unturned. Answers the frame.
  Ref<TPixmap> DrawAndCheckStill(const DemoState& state, const std::string& name) {
    DrawDemoFrame(image_, state);
    const Ref<TPixmap> frame = CaptureScene(name);
    EXPECT_EQ(Rgb(frame, 60, 5), kClear);
    EXPECT_EQ(Rgb(frame, 740, 595), kClear);
    ExpectDiagonalsAt(frame);
    const Extent caption = CaptionInk(state.style);
    Box seen{800, 600, 0, 0};
    for (int32_t y = 0; y < static_cast<int32_t>(caption.y1) + 8; ++y) {
      for (int32_t x = 0; x < static_cast<int32_t>(caption.x1) + 8; ++x) {
        if (!IsInk(frame, x, y)) continue;
        seen = Box{std::min(seen.x0, x), std::min(seen.y0, y), std::max(seen.x1, x + 1),
                   std::max(seen.y1, y + 1)};
      }
    }
    EXPECT_NEAR(seen.x0, caption.x0, 1) << name;
    EXPECT_NEAR(seen.y0, caption.y0, 1) << name;
    EXPECT_NEAR(seen.x1, caption.x1, 1) << name;
    EXPECT_NEAR(seen.y1, caption.y1, 1) << name;
    return frame;
  }

  // A pixel that is neither the clear colour nor a diagonal's: text.
  static bool IsInk(const Ref<TPixmap>& frame, int32_t x, int32_t y) {
    const uint32_t colour = Rgb(frame, x, y);
    return colour != kClear && colour != kDiagonal;
  }

  // The share of the paragraph's ink (all ink below the caption's band) that lies where
  // `predicted` puts it.
  double ShareOfInkPredicted(const Ref<TPixmap>& frame, const std::vector<bool>& predicted) const {
    int32_t ink = 0;
    int32_t inPlace = 0;
    for (int32_t y = 0; y < 600; ++y) {
      for (int32_t x = 0; x < 800; ++x) {
        if ((y < 100 && x < 400) || !IsInk(frame, x, y)) continue;
        ++ink;
        if (predicted[y * 800 + x]) ++inPlace;
      }
    }
    EXPECT_GT(ink, 100) << "the paragraph is drawn";
    return ink == 0 ? 0.0 : static_cast<double>(inPlace) / ink;
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
  EXPECT_EQ(halfWidth_, 323);
  EXPECT_EQ(halfHeight_, 70);
}

TEST_F(DemoFrameTest, FirstFrameBlockStyleIsAQuarterSizeAndUnturned) {
  const Ref<TPixmap> frame = DrawAndCheckStill(DemoState{0, 360}, "");
  EXPECT_GT(ShareOfInkPredicted(frame, PredictedBlockInk(0, 0.25f)), 0.95);
  EXPECT_LT(ShareOfInkPredicted(frame, PredictedBlockInk(0, 0.75f)), 0.8);  // the check tells sizes apart
}

TEST_F(DemoFrameTest, Angle270BlockStyleIsUprightAtThreeQuarters) {
  // A turn of 180 degrees with a scale of -0.75 is the paragraph upright at 0.75; the same
  // scale unturned would stand it on its head.
  const Ref<TPixmap> frame = DrawAndCheckStill(DemoState{0, 270}, "");
  EXPECT_GT(ShareOfInkPredicted(frame, PredictedBlockInk(0, 0.75f)), 0.95);
  EXPECT_LT(ShareOfInkPredicted(frame, PredictedBlockInk(0, -0.75f)), 0.8);
}

TEST_F(DemoFrameTest, ThePhaseTurnsTheParagraphTheWayItsSignSays) {
  // At angle 30 the turn is -90 degrees (counter-clockwise on the screen) at scale 0.75: the
  // paragraph stands on its end reading upwards, its first line on the left.
  const Ref<TPixmap> frame = DrawAndCheckStill(DemoState{0, 30}, "");
  EXPECT_GT(ShareOfInkPredicted(frame, PredictedBlockInk(-90, 0.75f)), 0.95);
  EXPECT_LT(ShareOfInkPredicted(frame, PredictedBlockInk(90, 0.75f)), 0.8);
  // Angle 90 turns by -180 at scale 1.25: upside down and larger; the caption stays.
  const Ref<TPixmap> large = DrawAndCheckStill(DemoState{0, 90}, "-90");
  EXPECT_GT(ShareOfInkPredicted(large, PredictedBlockInk(180, 1.25f)), 0.95);
}

TEST_F(DemoFrameTest, PerGlyphStyleTurnsGlyphsInPlaceAlongMonospacedLines) {
  for (const int32_t angle : {360, 270, 30}) {
    const Ref<TPixmap> frame = DrawAndCheckStill(DemoState{1, angle}, "-" + std::to_string(angle));
    float rotation = 0;
    float scale = 0;
    DemoTransform(angle, rotation, scale);
    // Glyph cells sit every 16 pixels from x 77 - 15 = 62, lines at y 277, 324, 371; whatever
    // the turn, a glyph's ink stays within its scaled cell's reach of its own centre.
    const int32_t reachX = static_cast<int32_t>(std::ceil(std::abs(scale) * 28)) + 1;
    const int32_t reachY = static_cast<int32_t>(std::ceil(std::abs(scale) * 28)) + 1;
    int32_t ink = 0;
    for (int32_t y = 100; y < 600; ++y) {
      for (int32_t x = 0; x < 800; ++x) {
        if (!IsInk(frame, x, y)) continue;
        ++ink;
        const int32_t line = std::clamp(static_cast<int32_t>(std::lround((y - 277) / 47.0)), 0, 2);
        const int32_t column = std::clamp(static_cast<int32_t>(std::lround((x - 62) / 16.0)), 0, 42);
        ASSERT_LE(std::abs(y - (277 + 47 * line)), reachY)
            << "angle " << angle << ", pixel " << x << ", " << y;
        ASSERT_LE(std::abs(x - (62 + 16 * column)), reachX)
            << "angle " << angle << ", pixel " << x << ", " << y;
      }
    }
    EXPECT_GT(ink, 100) << "angle " << angle;
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
