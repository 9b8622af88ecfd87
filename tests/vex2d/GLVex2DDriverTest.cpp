// The OpenGL 2D driver on a real window: blending, clamping, scissoring, where vertices go (read
// through OpenGL's feedback mode), textures with their edge copies, filtering and mipmaps, and
// the caches across context changes.
#include "vex2d/GLVex2DDriver.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "SceneCapture.h"
#include "graphics/GLCheck.h"
#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"
#include "pixmap/PixelFormats.h"
#include "vex2d/GLImageFrame.h"

namespace corvex {
namespace {

using namespace scene_testing;

class GLVex2DDriverTest : public Vex2DDisplayTest {
 protected:
  static TGLVex2DDriver& Driver() { return *GLVex2DDriverInstance(); }
};

// For tests that read OpenGL's feedback: Mesa's software feedback path allocates buffers that
// outlive the context and are not the framework's, so the leak checker looks away from the
// window's opening to its closing.
class GLFeedbackTest : public GLVex2DDriverTest {
 protected:
  void SetUp() override {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();
#endif
    GLVex2DDriverTest::SetUp();
  }
  void TearDown() override {
    GLVex2DDriverTest::TearDown();
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
  }
};

// The primitives OpenGL's feedback mode reports for what `draw` issues, in window
// coordinates (y up).
struct Feedback {
  std::vector<int> polygonSizes;
  std::vector<float> points;  // x, y of every point, line end and polygon corner, in order
};
template <class Draw>
Feedback Capture(Draw draw) {
  static GLfloat buffer[1 << 20];
  glFeedbackBuffer(static_cast<GLsizei>(std::size(buffer)), GL_2D, buffer);
  glRenderMode(GL_FEEDBACK);
  draw();
  const GLint count = glRenderMode(GL_RENDER);
  Feedback result;
  for (GLint i = 0; i < count;) {
    const auto token = static_cast<GLenum>(buffer[i++]);
    int vertices = 0;
    if (token == GL_POINT_TOKEN) vertices = 1;
    if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) vertices = 2;
    if (token == GL_POLYGON_TOKEN) {
      vertices = static_cast<int>(buffer[i++]);
      result.polygonSizes.push_back(vertices);
    }
    for (int v = 0; v < vertices; ++v, i += 2) {
      result.points.push_back(buffer[i]);
      result.points.push_back(buffer[i + 1]);
    }
  }
  return result;
}

// Whether feedback reported a vertex at (x, y).
bool HasPoint(const Feedback& feedback, float x, float y) {
  for (size_t i = 0; i + 1 < feedback.points.size(); i += 2) {
    if (std::fabs(feedback.points[i] - x) < 1e-3f && std::fabs(feedback.points[i + 1] - y) < 1e-3f)
      return true;
  }
  return false;
}

// The texel of the bound texture's level as 0xAARRGGBB.
struct TextureLevel {
  GLint width = 0, height = 0;
  std::vector<uint8_t> bytes;
  uint32_t At(int x, int y) const {
    EXPECT_TRUE(x >= 0 && x < width && y >= 0 && y < height) << x << ", " << y;
    if (x < 0 || x >= width || y < 0 || y >= height) return 0xDEADBEEF;
    const uint8_t* p = &bytes[(static_cast<size_t>(y) * width + x) * 4];
    return uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
  }
};
TextureLevel ReadTexture(int32_t name, int level) {
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
  TextureLevel texture;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &texture.width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &texture.height);
  texture.bytes.resize(static_cast<size_t>(texture.width) * texture.height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, texture.bytes.data());
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
  return texture;
}

GLint TextureParameter(int32_t name, GLenum parameter) {
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
  GLint value = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
  return value;
}

// A pixmap whose every pixel differs from its neighbours: red = x, green = y, blue = x + y.
Ref<TPixmap> Gradient(int32_t width, int32_t height) {
  const Ref<TPixmap> pixmap = NewPixmap(width, height, PIXEL_RGBA8888, 4);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      pixmap->SetPixel(
          x, y, 0xFF000000u | uint32_t(x & 255) << 16 | uint32_t(y & 255) << 8 | uint32_t((x + y) & 255));
    }
  }
  return pixmap;
}

Ref<TPixmap> Plain(int32_t width, int32_t height, uint32_t argb, int32_t format = PIXEL_RGBA8888) {
  const Ref<TPixmap> pixmap = NewPixmap(width, height, PIXEL_RGBA8888, 4);
  pixmap->Fill(argb);
  return format == PIXEL_RGBA8888 ? pixmap : pixmap->ToFormat(format);
}

Ref<TGLImageFrame> MakeFrame(const Ref<TPixmap>& pixmap, int32_t flags) {
  return Cast<TGLImageFrame>(GLVex2DDriverInstance()->CreateFrame(pixmap, flags));
}

void ExpectNear(uint32_t rgb, int red, int green, int blue) {
  EXPECT_NEAR(int(rgb >> 16 & 255), red, 2);
  EXPECT_NEAR(int(rgb >> 8 & 255), green, 2);
  EXPECT_NEAR(int(rgb & 255), blue, 2);
}

TEST_F(GLVex2DDriverTest, TheModuleSelectsTheDriverAndContextsAreWrapped) {
  EXPECT_EQ(CurrentGraphicsDriver(), GLVex2DDriverInstance());
  EXPECT_EQ(GetDefaultGraphicsFlags(), GfxBackBuffer);
  EXPECT_EQ(Driver().ToString().ToBytes(), "OpenGL");
  const Ref<TVex2DGraphics> state = Cast<TVex2DGraphics>(graphics_);
  ASSERT_TRUE(state);
  EXPECT_TRUE(IsA<TGLGraphics>(state->graphics));
  EXPECT_EQ(state->Driver(), GLVex2DDriverInstance());
  EXPECT_FALSE(Driver().Create(0, 10, 0, 0, 0));
  EXPECT_EQ(Driver().EnumModes().Length(), GLGraphicsDriverInstance()->EnumModes().Length());

  // Making Null current deactivates.
  MakeGraphicsCurrent(Null);
  EXPECT_FALSE(ActiveState());
  EXPECT_EQ(glplatform::CurrentRecord(), nullptr);
}

TEST_F(GLVex2DDriverTest, EachBlendModeMixesAsDocumented) {
  SetClearColor(100, 150, 200);
  ClearScreen();
  SetDrawColor(200, 100, 50);
  SetDrawAlpha(0.5f);  // 127 of 255
  const int32_t modes[] = {BlendMasked, BlendSolid, BlendAlpha, BlendLight, BlendShade, 9};
  for (int32_t i = 0; i < 6; ++i) {
    SetBlendMode(modes[i]);
    DrawRect(10.0f + 40 * i, 10, 30, 30);
  }
  SetBlendMode(BlendMasked);
  SetDrawAlpha(0.6f);
  DrawRect(10, 50, 30, 30);
  const Ref<TPixmap> scene = CaptureScene();

  const double a = 127.0 / 255.0;
  ExpectNear(Rgb(scene, 25, 25), 100, 150, 200);  // masked, alpha under one half: not drawn
  ExpectNear(Rgb(scene, 65, 25), 200, 100, 50);   // solid
  ExpectNear(Rgb(scene, 105, 25), int(200 * a + 100 * (1 - a)), int(100 * a + 150 * (1 - a)),
             int(50 * a + 200 * (1 - a)));                                                     // alpha
  ExpectNear(Rgb(scene, 145, 25), int(100 + 200 * a), int(150 + 100 * a), int(200 + 50 * a));  // light
  ExpectNear(Rgb(scene, 185, 25), 100 * 200 / 255, 150 * 100 / 255, 200 * 50 / 255);           // shade
  ExpectNear(Rgb(scene, 225, 25), 200, 100, 50);  // unknown code: solid
  ExpectNear(Rgb(scene, 25, 65), 200, 100, 50);   // masked, alpha above one half: replaces
}

TEST_F(GLVex2DDriverTest, ColoursAndAlphasAreClamped) {
  GLfloat colour[4] = {0, 0, 0, 0};
  const auto alphaByte = [&](float alpha) {
    Driver().ApplyAlpha(alpha);
    glGetFloatv(GL_CURRENT_COLOR, colour);
    return std::lround(colour[3] * 255.0f);
  };
  EXPECT_EQ(alphaByte(1.5f), 255);
  EXPECT_EQ(alphaByte(-1.0f), 0);
  EXPECT_EQ(alphaByte(0.5f), 127);
  EXPECT_EQ(alphaByte(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(alphaByte(std::numeric_limits<float>::infinity()), 255);

  Driver().ApplyAlpha(1.0f);
  Driver().ApplyColor(300, -5, 128);
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_EQ(std::lround(colour[0] * 255), 255);
  EXPECT_EQ(std::lround(colour[1] * 255), 0);
  EXPECT_EQ(std::lround(colour[2] * 255), 128);

  SetClearColor(-10, 999, 64);
  glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
  EXPECT_EQ(std::lround(colour[0] * 255), 0);
  EXPECT_EQ(std::lround(colour[1] * 255), 255);
  EXPECT_EQ(std::lround(colour[2] * 255), 64);

  ClearScreen();
  SetDrawColor(300, -5, 128);
  DrawRect(0, 0, 10, 10);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(Rgb(scene, 5, 5), 0xFF0080u);
  EXPECT_EQ(Rgb(scene, 50, 50), 0x00FF40u);
}

TEST_F(GLVex2DDriverTest, BlendChangesAreCachedUntilTheContextChanges) {
  SetBlendMode(BlendAlpha);
  ASSERT_TRUE(glIsEnabled(GL_BLEND));
  glDisable(GL_BLEND);  // behind the driver's back
  SetBlendMode(BlendAlpha);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));  // the repeat issued nothing
  MakeGraphicsCurrent(graphics_);       // a context change forgets the cache
  EXPECT_TRUE(glIsEnabled(GL_BLEND));

  // The same for the texture binding and texturing.
  const Ref<TGLImageFrame> frame = MakeFrame(Plain(4, 4, 0xFFFFFFFF), 0);
  ASSERT_TRUE(frame);
  frame->Render(0, 0, 4, 4, 0, 0);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(bound, frame->textureName);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  DrawRect(0, 0, 1, 1);  // untextured primitives switch texturing off
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  glBindTexture(GL_TEXTURE_2D, 0);
  frame->Render(0, 0, 4, 4, 0, 0);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(bound, 0);  // cached: not bound again
  MakeGraphicsCurrent(graphics_);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  frame->Render(0, 0, 4, 4, 0, 0);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(bound, frame->textureName);

  // A pixel projection: one unit is one pixel, y grows downwards.
  GLdouble projection[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  EXPECT_FLOAT_EQ(projection[0], 2.0f / kWidth);
  EXPECT_FLOAT_EQ(projection[5], -2.0f / kHeight);
  EXPECT_FLOAT_EQ(projection[12], -1.0f);
  EXPECT_FLOAT_EQ(projection[13], 1.0f);
}

TEST_F(GLVex2DDriverTest, ViewportsScissorUnlessTheyCoverTheWholeContext) {
  const int32_t errors = GLErrorCount();
  SetViewport(0, 0, kWidth, kHeight);
  EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
  SetViewport(0, 0, kWidth / 2, kHeight / 2);
  EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
  GLint box[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_SCISSOR_BOX, box);
  EXPECT_EQ(box[0], 0);
  EXPECT_EQ(box[1], kHeight / 2);  // OpenGL counts from the bottom
  EXPECT_EQ(box[2], kWidth / 2);
  EXPECT_EQ(box[3], kHeight / 2);
  DrawRect(0, 0, kWidth, kHeight);
  SetViewport(200, 150, -20, -5);  // an impossible size clips everything
  DrawRect(0, 0, kWidth, kHeight);
  EXPECT_EQ(GLErrorCount(), errors);
  SetViewport(0, 0, kWidth, kHeight);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(BoundsOfNot(scene, 0), (Box{0, 0, kWidth / 2, kHeight / 2}));
}

TEST_F(GLVex2DDriverTest, LineWidthsReachOpenGLAndImpossibleOnesAreIgnored) {
  const int32_t errors = GLErrorCount();
  SetLineWidth(3.0f);
  GLfloat width = 0;
  glGetFloatv(GL_LINE_WIDTH, &width);
  EXPECT_EQ(width, 3.0f);
  SetLineWidth(0.0f);
  SetLineWidth(-2.0f);
  SetLineWidth(std::numeric_limits<float>::quiet_NaN());
  glGetFloatv(GL_LINE_WIDTH, &width);
  EXPECT_EQ(width, 3.0f);
  EXPECT_EQ(GLErrorCount(), errors);
}

TEST_F(GLFeedbackTest, VerticesArePlacedThroughTheMatrixWithHalfPixelOffsetsForPointsAndLines) {
  const float h = kHeight;
  Driver().ApplyTransform(0, -1, 1, 0);  // 90 degrees
  const Feedback placed = Capture([] {
    Driver().RenderPoint(3, 4);                // no matrix
    Driver().RenderLine(0, 0, 10, 0, 50, 50);  // turned down
  });
  const std::vector<float> expected = {3.5f, h - 4.5f, 50.5f, h - 50.5f, 50.5f, h - 60.5f};
  ASSERT_EQ(placed.points.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(placed.points[i], expected[i], 1e-4) << i;

  // A rectangle has no offset; OpenGL may report it as triangles, so only its corners count.
  const Feedback rect = Capture([] { Driver().RenderRect(0, 0, 10, 20, 100, 100); });
  EXPECT_TRUE(HasPoint(rect, 100, h - 100));
  EXPECT_TRUE(HasPoint(rect, 100, h - 110));
  EXPECT_TRUE(HasPoint(rect, 80, h - 110));
  EXPECT_TRUE(HasPoint(rect, 80, h - 100));
  Driver().ApplyTransform(1, 0, 0, 1);
}

TEST_F(GLFeedbackTest, OvalsHaveSegmentsByTheirSizeAndPolygonsNeedThreePoints) {
  const auto segments = [](float width, float height) {
    // OpenGL may report the polygon as triangles; its corners are the distinct vertices.
    const Feedback drawn = Capture([&] { Driver().RenderOval(0, 0, width, height, 100, 100); });
    std::vector<std::pair<float, float>> corners;
    for (size_t i = 0; i + 1 < drawn.points.size(); i += 2)
      corners.emplace_back(drawn.points[i], drawn.points[i + 1]);
    std::sort(corners.begin(), corners.end());
    return static_cast<int>(std::unique(corners.begin(), corners.end()) - corners.begin());
  };
  EXPECT_EQ(segments(4, 4), 12);
  EXPECT_EQ(segments(100, 60), 80);
  EXPECT_EQ(segments(30, 30), 28);
  EXPECT_EQ(segments(-30, 30), 28);

  // Corners lie on the ellipse, one at each end of its axes.
  const Feedback oval = Capture([] { Driver().RenderOval(0, 0, 40, 20, 100, 100); });
  EXPECT_TRUE(HasPoint(oval, 140, kHeight - 110));
  EXPECT_TRUE(HasPoint(oval, 120, kHeight - 100));
  EXPECT_TRUE(HasPoint(oval, 100, kHeight - 110));
  EXPECT_TRUE(HasPoint(oval, 120, kHeight - 120));

  // Absurd sizes stay bounded and do not hang.
  Capture([] { Driver().RenderOval(0, 0, 1e30f, 1e30f, 0, 0); });
  Capture([] { Driver().RenderOval(0, 0, std::numeric_limits<float>::quiet_NaN(), 4, 0, 0); });

  const Feedback polys = Capture([] {
    Driver().RenderPoly(Array<float>{0, 0, 10, 0, 0, 10}, 5, 6, 100, 100);
    Driver().RenderPoly(Array<float>{0, 0, 10, 0, 0}, 0, 0, 0, 0);
    Driver().RenderPoly(Array<float>{0, 0, 10, 0}, 0, 0, 0, 0);
    Driver().RenderPoly(Array<float>(), 0, 0, 0, 0);
  });
  ASSERT_EQ(polys.polygonSizes, std::vector<int>{3});
  EXPECT_TRUE(HasPoint(polys, 105, kHeight - 106));
  EXPECT_TRUE(HasPoint(polys, 115, kHeight - 106));
  EXPECT_TRUE(HasPoint(polys, 105, kHeight - 116));
}

TEST_F(GLVex2DDriverTest, TexturesArePowersOfTwoWithTheLastColumnAndRowRepeated) {
  const Ref<TPixmap> picture = Gradient(300, 200);
  const Ref<TGLImageFrame> frame = MakeFrame(picture, 0);
  ASSERT_TRUE(frame);
  EXPECT_NE(frame->textureName, 0);
  EXPECT_EQ(frame->generation, GraphicsGeneration());
  EXPECT_EQ(frame->uLeft, 0.0f);
  EXPECT_EQ(frame->vTop, 0.0f);
  EXPECT_EQ(frame->uRight, 300.0f / 512.0f);
  EXPECT_EQ(frame->vBottom, 200.0f / 256.0f);

  const TextureLevel texture = ReadTexture(frame->textureName, 0);
  ASSERT_EQ(texture.width, 512);
  ASSERT_EQ(texture.height, 256);
  EXPECT_EQ(texture.At(17, 23), picture->GetPixel(17, 23));
  EXPECT_EQ(texture.At(299, 199), picture->GetPixel(299, 199));
  for (int y : {0, 100, 199}) EXPECT_EQ(texture.At(300, y), texture.At(299, y)) << y;
  for (int x : {0, 150, 299}) EXPECT_EQ(texture.At(x, 200), texture.At(x, 199)) << x;
  EXPECT_EQ(texture.At(300, 200), texture.At(299, 199));
  EXPECT_EQ(texture.At(301, 0), 0u);
  EXPECT_EQ(texture.At(0, 201), 0u);
  EXPECT_EQ(texture.At(511, 255), 0u);

  // Drawn at its own size, the frame shows the picture pixel for pixel.
  SetBlendMode(BlendSolid);
  frame->Render(0, 0, 300, 200, 10, 20);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_EQ(Rgb(scene, 10, 20), picture->GetPixel(0, 0) & 0xFFFFFF);
  EXPECT_EQ(Rgb(scene, 10 + 123, 20 + 45), picture->GetPixel(123, 45) & 0xFFFFFF);
  EXPECT_EQ(Rgb(scene, 10 + 299, 20 + 199), picture->GetPixel(299, 199) & 0xFFFFFF);
}

TEST_F(GLVex2DDriverTest, ExactSizesAreUploadedAsTheyAreAndOtherFormatsConverted) {
  const Ref<TPixmap> picture = Gradient(512, 512);
  const Ref<TGLImageFrame> frame = MakeFrame(picture, 0);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->uRight, 1.0f);
  EXPECT_EQ(frame->vBottom, 1.0f);
  const TextureLevel texture = ReadTexture(frame->textureName, 0);
  ASSERT_EQ(texture.width, 512);
  EXPECT_EQ(texture.At(511, 511), picture->GetPixel(511, 511));
  EXPECT_EQ(texture.At(300, 7), picture->GetPixel(300, 7));

  const Ref<TGLImageFrame> rgb = MakeFrame(Plain(4, 4, 0xFF336699, PIXEL_RGB888), 0);
  ASSERT_TRUE(rgb);
  EXPECT_EQ(ReadTexture(rgb->textureName, 0).At(3, 3), 0xFF336699u);

  // A window onto a larger pixmap keeps its parent's row pitch.
  const Ref<TGLImageFrame> window = MakeFrame(picture->SubWindow(8, 16, 4, 2), 0);
  ASSERT_TRUE(window);
  const TextureLevel part = ReadTexture(window->textureName, 0);
  EXPECT_EQ(part.At(0, 0), picture->GetPixel(8, 16));
  EXPECT_EQ(part.At(3, 1), picture->GetPixel(11, 17));

  // Nothing to show gives no frame.
  EXPECT_FALSE(Driver().CreateFrame(Null, 0));
  EXPECT_FALSE(Driver().CreateFrame(NewPixmap(0, 0, PIXEL_RGBA8888, 4), 0));
}

TEST_F(GLVex2DDriverTest, ImageFlagsChooseFilteringAndMipmaps) {
  struct Case {
    int32_t flags;
    GLint mag, min;
  };
  const Case cases[] = {{0, GL_NEAREST, GL_NEAREST},
                        {2, GL_LINEAR, GL_LINEAR},
                        {4, GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST},
                        {6, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR}};
  for (const Case& c : cases) {
    const Ref<TGLImageFrame> frame = MakeFrame(Plain(8, 4, 0xFFFF0000), c.flags);
    ASSERT_TRUE(frame);
    EXPECT_EQ(TextureParameter(frame->textureName, GL_TEXTURE_MAG_FILTER), c.mag) << c.flags;
    EXPECT_EQ(TextureParameter(frame->textureName, GL_TEXTURE_MIN_FILTER), c.min) << c.flags;
    EXPECT_EQ(TextureParameter(frame->textureName, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(TextureParameter(frame->textureName, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
  }

  // Mipmaps go down to 1 × 1, halving each side that is above 1, with the picture in each.
  const Ref<TGLImageFrame> mipmapped = MakeFrame(Plain(8, 4, 0xFFFF0000), 4);
  const int sizes[][2] = {{8, 4}, {4, 2}, {2, 1}, {1, 1}};
  for (int level = 0; level < 4; ++level) {
    const TextureLevel texture = ReadTexture(mipmapped->textureName, level);
    EXPECT_EQ(texture.width, sizes[level][0]) << level;
    EXPECT_EQ(texture.height, sizes[level][1]) << level;
    EXPECT_EQ(texture.At(0, 0), 0xFFFF0000u) << level;
  }
}

TEST_F(GLVex2DDriverTest, APictureLargerThanAnyTextureIsScaledDownToFit) {
  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  const Ref<TGLImageFrame> wide = MakeFrame(Plain(largest * 2, 2, 0xFF00FF00), 0);
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->uRight, 1.0f);
  EXPECT_EQ(wide->vBottom, 1.0f);
  const TextureLevel texture = ReadTexture(wide->textureName, 0);
  EXPECT_EQ(texture.width, largest);
  EXPECT_EQ(texture.At(largest - 1, 0), 0xFF00FF00u);
}

TEST_F(GLVex2DDriverTest, FramesMadeInOneWindowDrawInAnotherAndGoWithTheirLastReference) {
  Ref<TGLImageFrame> frame = MakeFrame(Plain(4, 4, 0xFF0000FF), 0);
  ASSERT_TRUE(frame);
  const int32_t name = frame->textureName;
  // Making the frame put the window's context back.
  EXPECT_EQ(glplatform::CurrentRecord(),
            Cast<TGLGraphics>(Cast<TVex2DGraphics>(graphics_)->graphics)->Record());
  EXPECT_FALSE(glplatform::IsSharedContextCurrent());

  const Ref<TGraphics> second = NewGraphics(64, 48, 0, 0, 0);
  ASSERT_TRUE(second);
  MakeGraphicsCurrent(second);
  frame->Render(0, 0, 16, 16, 8, 8);
  EXPECT_EQ(Rgb(CaptureScene("-second"), 10, 10), 0x0000FFu);
  EXPECT_TRUE(glIsTexture(static_cast<GLuint>(name)));

  frame = Null;
  EXPECT_FALSE(glIsTexture(static_cast<GLuint>(name)));
  CloseGraphics(second);
}

TEST_F(GLVex2DDriverTest, ATextureNameUsedAgainAfterADeletionIsBoundAgain) {
  SetBlendMode(BlendSolid);
  Ref<TGLImageFrame> first = MakeFrame(Plain(4, 4, 0xFFFF0000), 0);
  ASSERT_TRUE(first);
  const int32_t name = first->textureName;
  first->Render(0, 0, 4, 4, 0, 0);  // bound through the cache
  first = Null;

  // A new texture under the same name, as OpenGL may hand out after a deletion.
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
  const Ref<TPixmap> green = Plain(4, 4, 0xFF00FF00);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, green->Pixels());
  glBindTexture(GL_TEXTURE_2D, 0);
  const Ref<TGLImageFrame> second = New<TGLImageFrame>();
  second->textureName = name;
  second->uRight = second->vBottom = 1.0f;
  second->Render(0, 0, 8, 8, 20, 20);
  EXPECT_EQ(Rgb(CaptureScene(), 24, 24), 0x00FF00u);
}

}  // namespace
}  // namespace corvex
