// The renderer's module functions on a real window: what a person would see after each
// command, read back with CaptureScreenPixmap. Expected boxes follow OpenGL's pixel-centre
// rule (a pixel is lit when its centre lies inside the shape) and were checked by eye on the
// saved scenes.
#include "vex2d/Renderer.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "SceneCapture.h"
#include "runtime/Exceptions.h"
#include "vex2d/ImageFont.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

using namespace scene_testing;

class RendererTest : public Vex2DDisplayTest {};

TEST_F(RendererTest, ANewStateHasTheCreationValuesAndGettersAnswerWhatWasSet) {
  const Ref<TVex2DGraphics> state = ActiveState();
  ASSERT_TRUE(state);
  EXPECT_EQ(state, graphics_);
  EXPECT_EQ(ActiveDriver(), GLVex2DDriverInstance());
  EXPECT_EQ(state->cleared, 1);
  EXPECT_TRUE(state->Font());
  EXPECT_EQ(state->Font(), DefaultRendererFont());

  int32_t r = 0, g = 0, b = 0;
  GetDrawColor(r, g, b);
  EXPECT_EQ(r + g + b, 3 * 255);
  GetClearColor(r, g, b);
  EXPECT_EQ(r + g + b, 0);
  EXPECT_EQ(GetDrawAlpha(), 1.0f);
  EXPECT_EQ(GetBlendMode(), BlendMasked);
  EXPECT_EQ(GetLineWidth(), 1.0f);
  EXPECT_EQ(GetRotation(), 0.0f);
  int32_t x = -1, y = -1, w = 0, h = 0;
  GetViewport(x, y, w, h);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(w, kWidth);
  EXPECT_EQ(h, kHeight);

  // Stored as given, out of range too: clamping is the driver's business.
  SetDrawColor(300, -4, 7);
  GetDrawColor(r, g, b);
  EXPECT_EQ(r, 300);
  EXPECT_EQ(g, -4);
  EXPECT_EQ(b, 7);
  SetBlendMode(42);
  EXPECT_EQ(GetBlendMode(), 42);

  SetHandle(10, 5);
  float hx = 0, hy = 0;
  GetHandle(hx, hy);
  EXPECT_EQ(hx, 10.0f);
  EXPECT_EQ(hy, 5.0f);
  EXPECT_EQ(state->handleOffsetX, -10.0f);
  EXPECT_EQ(state->handleOffsetY, -5.0f);

  SetTransform(90, 2, 3);
  float sx = 0, sy = 0;
  GetScale(sx, sy);
  EXPECT_EQ(sx, 2.0f);
  EXPECT_EQ(sy, 3.0f);
  EXPECT_EQ(GetRotation(), 90.0f);
  // Right angles come out exact.
  EXPECT_EQ(state->matrixXX, 0.0f);
  EXPECT_EQ(state->matrixXY, -3.0f);
  EXPECT_EQ(state->matrixYX, 2.0f);
  EXPECT_EQ(state->matrixYY, 0.0f);
}

TEST_F(RendererTest, TheHandleIsPlacedAtTheDrawingPosition) {
  SetHandle(10, 5);
  DrawRect(100, 100, 20, 20);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(BoundsOfNot(scene, 0), (Box{90, 95, 110, 115}));
  EXPECT_TRUE(AreaIs(scene, 90, 95, 110, 115, 0xFFFFFF));
}

TEST_F(RendererTest, ANinetyDegreeTurnExtendsDownwardsAndToTheLeft) {
  SetTransform(90, 1, 1);
  DrawRect(100, 100, 30, 10);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(BoundsOfNot(scene, 0), (Box{90, 100, 100, 130}));
}

TEST_F(RendererTest, ScaleGrowsShapesButNotPositionsAndTheOriginMovesEverything) {
  SetScale(2, 2);
  DrawRect(50, 40, 10, 5);
  Ref<TPixmap> scene = CaptureScene("-scaled");
  EXPECT_EQ(BoundsOfNot(scene, 0), (Box{50, 40, 70, 50}));

  ClearScreen();
  SetScale(1, 1);
  SetOrigin(5, 7);
  Plot(10, 10);
  DrawRect(100, 100, 2, 2);
  scene = CaptureScene("-origin");
  EXPECT_EQ(Rgb(scene, 15, 17), 0xFFFFFFu);
  EXPECT_EQ(BoundsOfNot(scene, 0), (Box{15, 17, 107, 109}));
  float ox = 0, oy = 0;
  GetOrigin(ox, oy);
  EXPECT_EQ(ox, 5.0f);
  EXPECT_EQ(oy, 7.0f);
}

TEST_F(RendererTest, PlotIgnoresMatrixAndHandle) {
  SetTransform(45, 3, 3);
  SetHandle(4, 4);
  Plot(100, 100);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(BoundsOfNot(scene, 0), (Box{100, 100, 101, 101}));
}

TEST_F(RendererTest, LinesIncludeTheirLastPixelUnlessAskedNotTo) {
  DrawLine(10, 20, 30, 20);
  DrawLine(10, 40, 30, 40, 0);
  // Turned: the line goes down from its start, and the plotted end pixel goes with it.
  SetRotation(90);
  DrawLine(100, 50, 110, 50);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_TRUE(AreaIs(scene, 10, 20, 31, 21, 0xFFFFFF));
  EXPECT_EQ(Rgb(scene, 31, 20), 0u);
  EXPECT_TRUE(AreaIs(scene, 10, 40, 30, 41, 0xFFFFFF));
  EXPECT_EQ(Rgb(scene, 30, 40), 0u);
  EXPECT_TRUE(AreaIs(scene, 100, 50, 101, 61, 0xFFFFFF));
  EXPECT_EQ(Rgb(scene, 100, 61), 0u);
  EXPECT_EQ(Rgb(scene, 101, 55), 0u);
}

TEST_F(RendererTest, LinesAndOvalsStartAtTheHandle) {
  // The line runs from the handle offset, so it is moved back by the handle.
  SetHandle(10, 5);
  DrawLine(100, 100, 120, 100);
  // The oval's bounding box starts at the handle offset too.
  SetHandle(20, 10);
  DrawOval(200, 200, 40, 20);
  // Turned by 90 degrees, the handle turns with the line: it now lies above the start.
  SetHandle(10, 0);
  SetRotation(90);
  DrawLine(300, 100, 320, 100);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_TRUE(AreaIs(scene, 90, 95, 111, 96, 0xFFFFFF));
  EXPECT_EQ(Rgb(scene, 111, 95), 0u);
  EXPECT_EQ(Rgb(scene, 89, 95), 0u);
  EXPECT_TRUE(AreaIs(scene, 0, 0, 250, 95, 0) && AreaIs(scene, 0, 96, 150, 150, 0));

  EXPECT_EQ(Rgb(scene, 200, 200), 0xFFFFFFu);  // the oval's centre is at the drawing position
  EXPECT_EQ(Rgb(scene, 180, 200), 0xFFFFFFu);
  EXPECT_EQ(Rgb(scene, 219, 200), 0xFFFFFFu);
  EXPECT_EQ(Rgb(scene, 200, 190), 0xFFFFFFu);
  EXPECT_EQ(Rgb(scene, 200, 209), 0xFFFFFFu);
  EXPECT_EQ(Rgb(scene, 181, 191), 0u);
  EXPECT_EQ(Rgb(scene, 220, 200), 0u);
  EXPECT_EQ(Rgb(scene, 200, 210), 0u);

  EXPECT_TRUE(AreaIs(scene, 300, 90, 301, 111, 0xFFFFFF));
  EXPECT_EQ(Rgb(scene, 300, 111), 0u);
  EXPECT_EQ(Rgb(scene, 300, 89), 0u);
  EXPECT_EQ(Rgb(scene, 301, 100), 0u);
}

TEST_F(RendererTest, OvalsAndPolygonsFillTheirShapes) {
  DrawOval(100, 100, 40, 20);
  SetHandle(-150, 0);  // moves every point of the polygon 150 to the right
  DrawPoly(Array<float>{10, 10, 50, 10, 10, 50});
  // Too few points, or an odd count: nothing.
  DrawPoly(Array<float>{10, 150, 60, 150, 10});
  DrawPoly(Array<float>{10, 150, 60, 150});
  DrawPoly(Array<float>());
  const Ref<TPixmap> scene = CaptureScene();

  EXPECT_EQ(Rgb(scene, 120, 110), 0xFFFFFFu);  // the oval's centre
  EXPECT_EQ(Rgb(scene, 101, 101), 0u);         // its bounding box's corner
  EXPECT_EQ(Rgb(scene, 100, 110), 0xFFFFFFu);  // the ends of its axes
  EXPECT_EQ(Rgb(scene, 139, 110), 0xFFFFFFu);
  EXPECT_EQ(Rgb(scene, 120, 100), 0xFFFFFFu);
  EXPECT_EQ(Rgb(scene, 120, 119), 0xFFFFFFu);

  EXPECT_EQ(Rgb(scene, 162, 12), 0xFFFFFFu);  // inside the triangle
  EXPECT_EQ(Rgb(scene, 195, 45), 0u);         // beyond its long side
  EXPECT_TRUE(AreaIs(scene, 0, 140, kWidth, kHeight, 0));
}

TEST_F(RendererTest, ASecondContextKeepsItsOwnState) {
  SetDrawColor(255, 0, 0);
  const Ref<TGraphics> second = NewGraphics(64, 48, 0, 0, 0);
  ASSERT_TRUE(second);
  MakeGraphicsCurrent(second);
  int32_t r = 0, g = 0, b = 0;
  GetDrawColor(r, g, b);
  EXPECT_EQ(r + g + b, 3 * 255);  // a new state, not the first one's colour
  SetDrawColor(0, 255, 0);
  SetViewport(0, 0, 32, 24);
  DrawRect(0, 0, 64, 48);
  Ref<TPixmap> scene = CaptureScene("-second");
  EXPECT_EQ(BoundsOfNot(scene, 0), (Box{0, 0, 32, 24}));
  EXPECT_EQ(Rgb(scene, 0, 0), 0x00FF00u);

  MakeGraphicsCurrent(graphics_);
  GetDrawColor(r, g, b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 0);
  int32_t x = 0, y = 0, w = 0, h = 0;
  GetViewport(x, y, w, h);
  EXPECT_EQ(w, kWidth);
  DrawRect(0, 0, kWidth, kHeight);
  scene = CaptureScene("-first");
  EXPECT_TRUE(AreaIs(scene, 0, 0, kWidth, kHeight, 0xFF0000));

  MakeGraphicsCurrent(second);
  ClearScreen();
  DrawRect(0, 0, 64, 48);
  scene = CaptureScene("-second-again");
  EXPECT_EQ(BoundsOfNot(scene, 0), (Box{0, 0, 32, 24}));
  EXPECT_EQ(Rgb(scene, 5, 5), 0x00FF00u);
  CloseGraphics(second);
}

TEST_F(RendererTest, OnlyTheFirstActivationClearsAndFlips) {
  const Ref<TGraphics> second = NewGraphics(64, 48, 0, 0, 0);
  ASSERT_TRUE(second);
  const Ref<TVex2DGraphics> state = Cast<TVex2DGraphics>(second);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->cleared, 0);
  MakeGraphicsCurrent(second);
  EXPECT_EQ(state->cleared, 1);
  // What is drawn now survives the next activation: nothing clears it again.
  DrawRect(0, 0, 8, 8);
  MakeGraphicsCurrent(graphics_);
  MakeGraphicsCurrent(second);
  EXPECT_EQ(Rgb(CaptureScene(), 4, 4), 0xFFFFFFu);
  CloseGraphics(second);
}

TEST_F(RendererTest, WithoutAnActiveContextTheFunctionsRaise) {
  CloseMainGraphics();
  EXPECT_FALSE(ActiveState());
  EXPECT_FALSE(ActiveDriver());
  EXPECT_FALSE(TVex2DGraphics::Current());
  EXPECT_THROW(SetDrawColor(1, 2, 3), TRuntimeException);
  EXPECT_THROW(GetBlendMode(), TRuntimeException);
  EXPECT_THROW(DrawRect(0, 0, 1, 1), TRuntimeException);
  EXPECT_THROW(CaptureScreenPixmap(0, 0, 1, 1), TRuntimeException);

  // A closed state reports nothing and closes only once.
  const Ref<TVex2DGraphics> state = Cast<TVex2DGraphics>(graphics_);
  EXPECT_FALSE(state->graphics);
  EXPECT_FALSE(state->Driver());
  int32_t w = -1, h = -1, depth = -1, hertz = -1, flags = -1;
  state->GetSettings(w, h, depth, hertz, flags);
  EXPECT_EQ(w + h + depth + hertz + flags, 0);
  state->Close();
}

TEST_F(RendererTest, BlitPixmapCopiesPixelsUntransformedAndCaptureReadsThemBack) {
  const Ref<TPixmap> pixmap = NewPixmap(3, 2, PIXEL_RGBA8888, 4);
  const uint32_t colours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
  for (int32_t i = 0; i < 6; ++i) pixmap->SetPixel(i % 3, i / 3, colours[i]);
  SetOrigin(50, 50);
  SetHandle(3, 3);
  SetTransform(30, 2, 2);
  SetBlendMode(BlendAlpha);
  BlitPixmap(pixmap, 5, 7);
  BlitPixmap(pixmap->ToFormat(PIXEL_RGB888), 20, 7);
  BlitPixmap(pixmap, -1, -1);           // partly off the screen
  BlitPixmap(pixmap, kWidth - 1, 100);  // partly off the right edge
  BlitPixmap(pixmap, 5000, -5000);      // entirely off: nothing
  BlitPixmap(Null, 0, 0);

  const Ref<TPixmap> scene = CaptureScene();
  for (int32_t i = 0; i < 6; ++i) {
    EXPECT_EQ(Rgb(scene, 5 + i % 3, 7 + i / 3), colours[i] & 0xFFFFFF) << i;
    EXPECT_EQ(Rgb(scene, 20 + i % 3, 7 + i / 3), colours[i] & 0xFFFFFF) << i;
  }
  EXPECT_EQ(Rgb(scene, 0, 0), colours[4] & 0xFFFFFF);
  EXPECT_EQ(Rgb(scene, kWidth - 1, 100), colours[0] & 0xFFFFFF);
  EXPECT_EQ(Rgb(scene, 8, 7), 0u);
  // The blend mode in force before the blit is back.
  EXPECT_EQ(GetBlendMode(), BlendAlpha);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));

  const Ref<TPixmap> part = CaptureScreenPixmap(5, 7, 3, 2);
  ASSERT_EQ(part->Width(), 3);
  ASSERT_EQ(part->Height(), 2);
  EXPECT_EQ(part->Format(), PIXEL_RGBA8888);
  for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(Rgb(part, i % 3, i / 3), colours[i] & 0xFFFFFF) << i;
}

TEST_F(RendererTest, CapturesBeyondTheScreenReadAsTransparentBlack) {
  SetClearColor(10, 20, 30);
  ClearScreen();
  const Ref<TPixmap> edge = CaptureScreenPixmap(kWidth - 2, kHeight - 2, 4, 4);
  ASSERT_EQ(edge->Width(), 4);
  EXPECT_EQ(Rgb(edge, 1, 1), 0x0A141Eu);
  EXPECT_EQ(edge->GetPixel(2, 1), 0u);
  EXPECT_EQ(edge->GetPixel(1, 3), 0u);
  const Ref<TPixmap> before = CaptureScreenPixmap(-3, -3, 4, 4);
  EXPECT_EQ(before->GetPixel(0, 0), 0u);
  EXPECT_EQ(Rgb(before, 3, 3), 0x0A141Eu);

  const Ref<TPixmap> empty = CaptureScreenPixmap(0, 0, -5, 10);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Width(), 0);
}

}  // namespace
}  // namespace corvex
