#include "graphics/GLDebugDraw.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "GLTestSupport.h"
#include "graphics/GLCheck.h"
#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"
#include "stream/EmbeddedFiles.h"

namespace corvex {
namespace {

using namespace gl_testing;

// Whether the committed font lights pixel (x, y) of the glyph for `code`.
bool FontBit(int32_t code, int32_t x, int32_t y) {
  const uint8_t* font = EmbeddedFileData(String("gldrawtextfont.bin"));
  return (font[y * 96 + (code - 32)] >> x) & 1;
}

// Expected pixels were derived from the committed font bits themselves; a pixel counts as lit
// when its red is above half, which allows for the GL's filtering at exact texel centres.
bool Lit(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  return ((pixmap->GetPixel(x, y) >> 16) & 0xFF) > 127;
}

class GLDebugDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitGLGraphicsModule();
    SelectGraphicsDriver(GLGraphicsDriverInstance(), GfxBackBuffer);
    window_ = NewGraphics(256, 64, 0, 0, 0);
    ASSERT_TRUE(window_) << "no OpenGL window on this display";
    MakeGraphicsCurrent(window_);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1, 1, 1, 1);
    errors_ = GLErrorCount();
  }
  void TearDown() override {
    EXPECT_EQ(GLErrorCount(), errors_) << "the GL reported errors (see standard error)";
    if (window_) CloseGraphics(window_);
  }

  Ref<TGraphics> window_;
  int32_t errors_ = 0;
};

TEST_F(GLDebugDrawTest, TheEmbeddedFontIsTheCommittedAsset) {
  std::ifstream file(std::string(CORVEX_ASSET_DIR) + "/gldrawtextfont/gldrawtextfont.bin", std::ios::binary);
  const std::string committed((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_EQ(committed.size(), 1536u);
  ASSERT_EQ(EmbeddedFileSize(String("gldrawtextfont.bin")), 1536);
  EXPECT_EQ(std::memcmp(EmbeddedFileData(String("gldrawtextfont.bin")), committed.data(), 1536), 0);
  // A space is blank and a letter is not.
  int spaceBits = 0, letterBits = 0;
  for (int32_t y = 0; y < 16; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      spaceBits += FontBit(' ', x, y);
      letterBits += FontBit('A', x, y);
    }
  }
  EXPECT_EQ(spaceBits, 0);
  EXPECT_GT(letterBits, 10);
}

TEST_F(GLDebugDrawTest, TextDrawsEachGlyphPixelForPixelEightPixelsApart) {
  const String text("A\tB~");  // the tab leaves an 8-pixel gap
  GLDebugText(text, 0, 0);
  GLDebugText(String("Zq"), 100, 30);
  const Ref<TPixmap> drawn = ReadBack(0, 0, 256, 64);

  int mismatches = 0;
  for (int32_t y = 0; y < 64; ++y) {
    for (int32_t x = 0; x < 256; ++x) {
      bool expected = false;
      if (y < 16 && x < 32) {
        const char16_t code = text.Data()[x / 8];
        expected = code >= 32 && FontBit(code, x % 8, y);
      } else if (y >= 30 && y < 46 && x >= 100 && x < 116) {
        expected = FontBit(x < 108 ? 'Z' : 'q', (x - 100) % 8, y - 30);
      }
      if (Lit(drawn, x, y) != expected) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
  if (mismatches != 0) SaveForInspection(drawn, "GLDebugDrawTest-text");
}

TEST_F(GLDebugDrawTest, RectFillsExactlyItsPixelsInTheCurrentColour) {
  glColor3f(1, 0, 0);
  GLDebugRect(10, 20, 30, 5);
  const Ref<TPixmap> drawn = ReadBack(0, 0, 256, 64);
  int mismatches = 0;
  for (int32_t y = 0; y < 64; ++y) {
    for (int32_t x = 0; x < 256; ++x) {
      const bool inside = x >= 10 && x < 40 && y >= 20 && y < 25;
      if (Rgb(drawn, x, y) != (inside ? 0xFF0000u : 0u)) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
  if (mismatches != 0) SaveForInspection(drawn, "GLDebugDrawTest-rect");
}

TEST_F(GLDebugDrawTest, PixmapDrawsItsPixelsTopLeftAtThePoint) {
  // RGB888, so that the conversion to RGBA is exercised too.
  const Ref<TPixmap> pixmap = NewPixmap(3, 2, PIXEL_RGB888, 4);
  const uint32_t colours[2][3] = {{0xFF0000, 0x00FF00, 0x0000FF}, {0xFFFF00, 0x00FFFF, 0xFFFFFF}};
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 3; ++x) pixmap->SetPixel(x, y, 0xFF000000 | colours[y][x]);
  }
  GLDebugPixmap(pixmap, 5, 7);
  const Ref<TPixmap> drawn = ReadBack(0, 0, 16, 16);
  int mismatches = 0;
  for (int32_t y = 0; y < 16; ++y) {
    for (int32_t x = 0; x < 16; ++x) {
      const bool inside = x >= 5 && x < 8 && y >= 7 && y < 9;
      if (Rgb(drawn, x, y) != (inside ? colours[y - 7][x - 5] : 0u)) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
  if (mismatches != 0) SaveForInspection(drawn, "GLDebugDrawTest-pixmap");
}

TEST_F(GLDebugDrawTest, DrawingLeavesTheCallersStateAsItWas) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 3);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-2, 2, -3, 3, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(1, 2, 0);
  GLdouble modelView[16], projection[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);

  GLDebugText(String("state"), 4, 4);
  GLDebugRect(1, 1, 2, 2);
  GLDebugPixmap(NewPixmap(2, 2, PIXEL_RGBA8888, 4), 0, 0);
  GLTextureFromPixmap(NewPixmap(3, 3, PIXEL_RGBA8888, 4), true);

  GLdouble modelViewAfter[16], projectionAfter[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelViewAfter);
  glGetDoublev(GL_PROJECTION_MATRIX, projectionAfter);
  EXPECT_EQ(std::memcmp(modelView, modelViewAfter, sizeof modelView), 0);
  EXPECT_EQ(std::memcmp(projection, projectionAfter, sizeof projection), 0);
  GLint matrixMode = 0, binding = 0, rowLength = 0;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
  glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
  EXPECT_EQ(matrixMode, GL_MODELVIEW);
  EXPECT_EQ(static_cast<GLuint>(binding), texture);
  EXPECT_EQ(rowLength, 3);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glDeleteTextures(1, &texture);
}

TEST_F(GLDebugDrawTest, TexturesGetPowerOfTwoSizesAndEveryMipmapLevel) {
  EXPECT_EQ(NextPow2(std::numeric_limits<int32_t>::min()), 1);
  EXPECT_EQ(NextPow2(0), 1);
  EXPECT_EQ(NextPow2(1), 1);
  EXPECT_EQ(NextPow2(3), 4);
  EXPECT_EQ(NextPow2(1024), 1024);
  EXPECT_EQ(NextPow2(1025), 2048);
  EXPECT_EQ(NextPow2(std::numeric_limits<int32_t>::max()), 1 << 30);

  int32_t width = 3, height = 5;
  GLFitTextureSize(width, height);
  EXPECT_EQ(width, 4);
  EXPECT_EQ(height, 8);
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  width = maxSize * 4;
  height = 2;
  GLFitTextureSize(width, height);  // halves both sides until the GL accepts it
  EXPECT_EQ(width, maxSize);
  EXPECT_EQ(height, 1);

  const GLuint texture = GLTextureFromPixmap(NewPixmap(5, 3, PIXEL_GRAY8, 1), true);
  glBindTexture(GL_TEXTURE_2D, texture);
  const GLint expected[][2] = {{8, 4}, {4, 2}, {2, 1}, {1, 1}};
  for (GLint level = 0; level < 4; ++level) {
    GLint levelWidth = 0, levelHeight = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &levelWidth);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &levelHeight);
    EXPECT_EQ(levelWidth, expected[level][0]) << "level " << level;
    EXPECT_EQ(levelHeight, expected[level][1]) << "level " << level;
  }
  GLint beyond = -1;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 4, GL_TEXTURE_WIDTH, &beyond);
  EXPECT_EQ(beyond, 0);
  glBindTexture(GL_TEXTURE_2D, 0);
  glDeleteTextures(1, &texture);
}

TEST_F(GLDebugDrawTest, NothingIsDrawnWithoutAContext) {
  MakeGraphicsCurrent(Null);
  ASSERT_FALSE(glplatform::HasCurrentGLContext());
  GLDebugText(String("nowhere"), 0, 0);
  GLDebugRect(0, 0, 10, 10);
  GLDebugPixmap(NewPixmap(2, 2, PIXEL_RGBA8888, 4), 0, 0);
  MakeGraphicsCurrent(window_);
  const Ref<TPixmap> drawn = ReadBack(0, 0, 16, 16);
  EXPECT_EQ(Rgb(drawn, 1, 1), 0u);
}

}  // namespace
}  // namespace corvex
