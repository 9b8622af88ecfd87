// Render images: a scene drawn into one and then onto the screen is the scene drawn straight
// there, render images draw into one another, the current one is what GrabPixels and Lock
// read, dropping it returns drawing to the window, and none leaves a texture or framebuffer
// behind.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "SceneCapture.h"
#include "graphics/GLDebugDraw.h"
#include "vex2d/Collision.h"
#include "vex2d/GLImageFrame.h"
#include "vex2d/Image.h"
#include "vex2d/RenderTarget.h"
#include "vex2d/RendererText.h"

namespace corvex {
namespace {

using namespace scene_testing;

Ref<TImage> Checker(int32_t side, uint32_t a, uint32_t b, int32_t flags) {
  const Ref<TPixmap> pixmap = NewPixmap(side, side, PIXEL_RGBA8888, 4);
  for (int32_t y = 0; y < side; ++y) {
    for (int32_t x = 0; x < side; ++x) pixmap->SetPixel(x, y, ((x + y) % 2 == 0) ? a : b);
  }
  return LoadImage(pixmap, flags);
}

// Shapes, text, unfiltered images turned by right angles and scaled by whole numbers, blended
// in every mode, a blitted pixmap, clipped by a viewport: everything lands on whole pixels.
void DrawScene(int32_t width, int32_t height) {
  const Ref<TImage> checker = Checker(8, 0xFFFF8000, 0x80004080, 0);
  SetClearColor(20, 30, 40);
  SetViewport(0, 0, width, height);
  ClearScreen();
  SetDrawColor(200, 100, 50);
  DrawRect(10, 10, 40, 30);
  DrawOval(60, 10, 30, 20);
  DrawLine(5, 60, 120, 90);
  Plot(3, 3);
  SetDrawColor(255, 255, 255);
  DrawText("Render 24", 10, 100);
  const int32_t blends[] = {BlendMasked, BlendSolid, BlendAlpha, BlendLight, BlendShade};
  for (int32_t i = 0; i < 5; ++i) {
    SetBlendMode(blends[i]);
    SetDrawAlpha(0.6f);
    SetTransform(static_cast<float>(90 * i), 1.0f + static_cast<float>(i % 2), 2.0f);
    DrawImage(checker, 140.0f + 30 * i, 40.0f);
  }
  SetTransform(0, 1, 1);
  SetDrawAlpha(1);
  SetBlendMode(BlendMasked);
  const Ref<TPixmap> blit = NewPixmap(12, 9, PIXEL_RGBA8888, 4);
  blit->Fill(0xFF8040C0);
  blit->SetPixel(0, 0, 0xFFFFFFFF);
  BlitPixmap(blit, 260, 180);
  SetViewport(200, 100, 50, 40);
  SetDrawColor(0, 200, 0);
  DrawOval(180, 90, 100, 80);
  SetViewport(0, 0, width, height);
  SetDrawColor(255, 255, 255);
}

// Whether the two pictures' colours are the same everywhere.
bool SameColours(const Ref<TPixmap>& a, const Ref<TPixmap>& b) {
  if (a->Width() != b->Width() || a->Height() != b->Height()) return false;
  for (int32_t y = 0; y < a->Height(); ++y) {
    for (int32_t x = 0; x < a->Width(); ++x) {
      if (Rgb(a, x, y) != Rgb(b, x, y)) return false;
    }
  }
  return true;
}

class RenderTargetTest : public Vex2DDisplayTest {
 protected:
  void SetUp() override {
    Vex2DDisplayTest::SetUp();
    InitImageModule();
  }
  void TearDown() override {
    if (graphics_) SetRenderTarget(Null);
    Vex2DDisplayTest::TearDown();
  }
};

TEST_F(RenderTargetTest, ASceneDrawnThroughARenderImageIsTheSceneDrawnStraight) {
  DrawScene(kWidth, kHeight);
  const Ref<TPixmap> straight = CaptureScene("-straight");

  const Ref<TImage> target = CreateRenderImage(kWidth, kHeight, 0);
  ASSERT_TRUE(target) << RenderImageError().ToBytes();
  EXPECT_EQ(RenderImageError().Length(), 0);
  EXPECT_FALSE(Cast<TGLImageFrame>(target->Frame(0))->page) << "a texture of its own";
  ASSERT_EQ(SetRenderTarget(target), 1);
  EXPECT_EQ(RenderTarget(), target);
  int32_t vx = 0, vy = 0, vw = 0, vh = 0;
  GetViewport(vx, vy, vw, vh);
  EXPECT_EQ(vw, kWidth);
  SetClearColor(255, 0, 255);  // the window behind is told apart from the target
  DrawScene(kWidth, kHeight);
  EXPECT_TRUE(SameColours(CaptureScene("-grabbed"), straight)) << "GrabPixels reads the target";
  ASSERT_EQ(SetRenderTarget(Null), 1);
  EXPECT_FALSE(RenderTarget());
  EXPECT_TRUE(SameColours(LockImageFrame(target, 0, 1, 0), straight)) << "Lock reads what was drawn";

  SetClearColor(0, 0, 0);
  ClearScreen();
  SetBlendMode(BlendSolid);
  DrawImage(target, 0, 0);
  SetBlendMode(BlendMasked);
  EXPECT_TRUE(SameColours(CaptureScene("-through"), straight));
}

TEST_F(RenderTargetTest, RenderImagesDrawIntoOneAnotherAndDroppingTheTargetReturnsToTheWindow) {
  const Ref<TImage> inner = CreateRenderImage(16, 8, 0);
  Ref<TImage> outer = CreateRenderImage(64, 48, 0);
  ASSERT_TRUE(inner && outer);
  ASSERT_EQ(SetRenderTarget(inner), 1);
  SetClearColor(255, 0, 0);
  ClearScreen();
  SetDrawColor(0, 0, 255);
  DrawRect(0, 0, 4, 4);
  GLDebugRect(12, 4, 4, 4);  // debug drawing goes to the target too, upright
  ASSERT_EQ(SetRenderTarget(outer), 1);
  SetClearColor(0, 64, 0);
  ClearScreen();
  SetDrawColor(255, 255, 255);
  SetBlendMode(BlendSolid);
  SetScale(2, 2);
  DrawImage(inner, 10, 5);
  SetScale(1, 1);
  ASSERT_EQ(SetRenderTarget(Null), 1);
  ClearScreen();
  DrawImage(outer, 100, 100);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_TRUE(AreaIs(scene, 100, 100, 164, 105, 0x004000u));
  EXPECT_TRUE(AreaIs(scene, 110, 105, 118, 113, 0x0000FFu)) << "the inner rectangle, doubled";
  EXPECT_TRUE(AreaIs(scene, 118, 105, 134, 113, 0xFF0000u));
  EXPECT_TRUE(AreaIs(scene, 134, 113, 142, 121, 0x0000FFu)) << "the debug rectangle, doubled";
  EXPECT_TRUE(AreaIs(scene, 142, 105, 164, 148, 0x004000u));

  // Dropping the last reference to the current target sends drawing back to the window.
  ASSERT_EQ(SetRenderTarget(outer), 1);
  outer = Null;
  EXPECT_FALSE(RenderTarget());
  int32_t vx = 0, vy = 0, vw = 0, vh = 0;
  GetViewport(vx, vy, vw, vh);
  EXPECT_EQ(vw, kWidth);
  EXPECT_EQ(vh, kHeight);
  SetDrawColor(255, 255, 0);
  DrawRect(0, 0, 3, 3);
  EXPECT_TRUE(AreaIs(CaptureScene("-window"), 0, 0, 3, 3, 0xFFFF00u));

  // Collisions see what was drawn into a render image; the rest of it is transparent.
  InitCollisionModule();
  const Ref<TImage> drawn = CreateRenderImage(16, 16, 0);
  ASSERT_EQ(SetRenderTarget(drawn), 1);
  DrawRect(0, 0, 4, 4);
  SetRenderTarget(Null);
  const Ref<TImage> dot = Checker(1, 0xFFFFFFFF, 0xFFFFFFFF, 0);
  EXPECT_EQ(ImagesOverlap(drawn, 0, 0, 0, dot, 3, 3, 0), 1);
  EXPECT_EQ(ImagesOverlap(drawn, 0, 0, 0, dot, 10, 10, 0), 0);

  // Only render images can be targets; a bad size gives Null and the reason.
  EXPECT_EQ(SetRenderTarget(Checker(4, 0xFFFFFFFF, 0xFF000000, 0)), 0);
  EXPECT_GT(RenderImageError().Length(), 0);
  EXPECT_FALSE(RenderTarget());
  EXPECT_FALSE(CreateRenderImage(0, 10, 0));
  EXPECT_GT(RenderImageError().Length(), 0);
}

TEST_F(RenderTargetTest, ManyRenderImagesLeaveNoTextureOrFramebufferBehind) {
  std::vector<GLuint> textures;
  GLint framebuffer = 0;
  for (int32_t i = 0; i < 200; ++i) {
    Ref<TImage> target = CreateRenderImage(64 + i % 7, 32, ImgFiltered);
    ASSERT_TRUE(target) << i;
    textures.push_back(static_cast<GLuint>(Cast<TGLImageFrame>(target->Frame(0))->textureName));
    ASSERT_EQ(SetRenderTarget(target), 1);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    ClearScreen();
    DrawRect(1, 1, 5, 5);
    SetRenderTarget(Null);
    EXPECT_FALSE(glIsFramebuffer(static_cast<GLuint>(framebuffer))) << i;
    DrawImage(target, static_cast<float>(i % 20), 0);
  }
  FlushGLDrawing();
  glFinish();
  int32_t live = 0;
  for (const GLuint name : textures) live += glIsTexture(name) ? 1 : 0;
  EXPECT_EQ(live, 0);
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
  EXPECT_EQ(framebuffer, 0);

  // Closing the graphics while drawing into a render image: the new window is drawn into, and
  // the image keeps the pixels last read back from it.
  const Ref<TImage> kept = CreateRenderImage(8, 8, 0);
  ASSERT_EQ(SetRenderTarget(kept), 1);
  SetClearColor(0, 0, 255);
  ClearScreen();
  LockImageFrame(kept, 0, 1, 0);
  CloseMainGraphics();
  graphics_ = OpenGraphics(kWidth, kHeight, 0, 0, 0);
  ASSERT_TRUE(graphics_);
  EXPECT_FALSE(RenderTarget());
  ClearScreen();
  DrawImage(kept, 4, 4);
  EXPECT_TRUE(AreaIs(CaptureScene(), 4, 4, 12, 12, 0x0000FFu));
}

}  // namespace
}  // namespace corvex
