// Helpers for the tests that draw on the (virtual) display: reading back what the GL drew and
// keeping it as a PNG when a test does not like it.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "pixmap/PixelFormats.h"
#include "pixmap/Pixmap.h"
#include "pixmap/PixmapTransforms.h"
#include "pixmap/PngCodec.h"

namespace corvex::gl_testing {

// The w × h pixels whose top left is (x, y) from the top of the current viewport, as an
// RGBA8888 pixmap with row 0 at the top.
inline Ref<TPixmap> ReadBack(int32_t x, int32_t y, int32_t width, int32_t height) {
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  const Ref<TPixmap> bottomUp = NewPixmap(width, height, PIXEL_RGBA8888, 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(x, viewport[3] - y - height, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp->Pixels());
  return MirrorPixmapY(bottomUp);
}

// The pixel's red, green and blue as 0xRRGGBB (alpha left out: windows need not have any).
inline uint32_t Rgb(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  return pixmap->GetPixel(x, y) & 0xFFFFFF;
}

// Writes build/test-output/<name>.png so that a person can look at what was drawn.
inline void SaveForInspection(const Ref<TPixmap>& pixmap, const std::string& name) {
  const std::filesystem::path folder = CORVEX_TEST_OUTPUT_DIR;
  std::filesystem::create_directories(folder);
  const std::string path = (folder / (name + ".png")).string();
  EncodePNG(pixmap, Url(String(path.c_str())), 6);
  ADD_FAILURE() << "what was drawn is in " << path;
}

}  // namespace corvex::gl_testing
