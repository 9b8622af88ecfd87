// Helpers for the renderer tests that draw on the (virtual) display: a fixture that opens a
// window through the OpenGL 2D driver, reading back what was drawn, and keeping every scene as
// a PNG so that a person can look at it (always, not only on failure).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "graphics/Graphics.h"
#include "pixmap/Pixmap.h"
#include "pixmap/PngCodec.h"
#include "stream/Url.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Renderer.h"

// Targets that use this header define it as "${CMAKE_BINARY_DIR}/test-output".
#ifndef CORVEX_TEST_OUTPUT_DIR
#define CORVEX_TEST_OUTPUT_DIR "test-output"
#endif

namespace corvex::scene_testing {

// "<suite>-<test>" of the running test, for file names.
inline std::string CurrentTestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info == nullptr) return "scene";
  std::string name = std::string(info->test_suite_name()) + "-" + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name;
}

// Writes the pixmap to test-output/<name>.png and answers the path.
inline std::string SaveScene(const Ref<TPixmap>& pixmap, const std::string& name) {
  const std::filesystem::path folder = CORVEX_TEST_OUTPUT_DIR;
  std::filesystem::create_directories(folder);
  const std::string path = (folder / (name + ".png")).string();
  EncodePNG(pixmap, Url(String(path.c_str())), 6);
  return path;
}

// Grabs the whole current screen (the back buffer, before any flip) with CaptureScreenPixmap
// and saves it as test-output/<test name><suffix>.png.
inline Ref<TPixmap> CaptureScene(const std::string& suffix = "") {
  const Ref<TPixmap> scene = CaptureScreenPixmap(0, 0, CurrentGraphicsWidth(), CurrentGraphicsHeight());
  SaveScene(scene, CurrentTestName() + suffix);
  return scene;
}

// The pixel's red, green and blue as 0xRRGGBB (windows need not have alpha).
inline uint32_t Rgb(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  return pixmap->GetPixel(x, y) & 0xFFFFFF;
}

// Whether every pixel of the rectangle (x0, y0)-(x1, y1), right and bottom edges excluded,
// has the colour.
inline bool AreaIs(const Ref<TPixmap>& pixmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t rgb) {
  for (int32_t y = y0; y < y1; ++y) {
    for (int32_t x = x0; x < x1; ++x) {
      if (Rgb(pixmap, x, y) != rgb) return false;
    }
  }
  return true;
}

// The bounding box of the pixels that are not `background`: x0, y0 inclusive, x1, y1
// exclusive; all 0 when there are none.
struct Box {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool operator==(const Box&) const = default;
};
inline Box BoundsOfNot(const Ref<TPixmap>& pixmap, uint32_t background) {
  Box box{pixmap->Width(), pixmap->Height(), 0, 0};
  for (int32_t y = 0; y < pixmap->Height(); ++y) {
    for (int32_t x = 0; x < pixmap->Width(); ++x) {
      if (Rgb(pixmap, x, y) == background) continue;
      box.x0 = std::min(box.x0, x);
      box.y0 = std::min(box.y0, y);
      box.x1 = std::max(box.x1, x + 1);
      box.y1 = std::max(box.y1, y + 1);
    }
  }
  return box.x1 == 0 ? Box{} : box;
}
inline void PrintTo(const Box& box, std::ostream* out) {
  *out << "(" << box.x0 << ", " << box.y0 << ")-(" << box.x1 << ", " << box.y1 << ")";
}

// Opens a width × height main window through the OpenGL 2D driver for every test and closes it
// afterwards. The window starts black, drawing white, in blend mode 1.
class Vex2DDisplayTest : public ::testing::Test {
 protected:
  static constexpr int32_t kWidth = 320;
  static constexpr int32_t kHeight = 240;

  void SetUp() override {
    InitGLVex2DModule();
    SelectGraphicsDriver(GLVex2DDriverInstance(), GfxBackBuffer);
    graphics_ = OpenGraphics(kWidth, kHeight, 0, 0, 0);
    ASSERT_TRUE(graphics_) << "no OpenGL window on this display";
  }
  void TearDown() override { CloseMainGraphics(); }

  Ref<TGraphics> graphics_;
};

}  // namespace corvex::scene_testing
