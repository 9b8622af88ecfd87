// The demo program as a person uses it: started on the X display, looked at through window
// dumps (xwd), driven with real key presses (xdotool) and a window manager's close request.
// Every wait is bounded. The dumps are kept in test-output as PNG files.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "demo/Demo.h"
#include "demo/DemoModule.h"
#include "pixmap/PngCodec.h"
#include "startup/FrameworkModules.h"
#include "stream/Url.h"
#include "tests/demo/ChildProgram.h"
#include "tests/system/sdl2/X11WindowSdl2.h"
#include "tools/xwd2png/XwdDecoder.h"

namespace corvex {
namespace {

using testing_support::ChildProgram;

constexpr uint32_t kClear = 0x32508C;     // (50, 80, 140)
constexpr uint32_t kDiagonal = 0x284682;  // (40, 70, 130)

uint32_t Rgb(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  return pixmap->GetPixel(x, y) & 0xFFFFFF;
}

// Whether the column x has the diagonals' colour within a pixel of row y.
bool DiagonalNear(const Ref<TPixmap>& screen, int32_t x, float y) {
  for (int32_t row = static_cast<int32_t>(y) - 1; row <= static_cast<int32_t>(y) + 1; ++row) {
    if (row >= 0 && row < screen->Height() && Rgb(screen, x, row) == kDiagonal) return true;
  }
  return false;
}

std::filesystem::path OutputFolder() {
  std::filesystem::path folder = CORVEX_TEST_OUTPUT_DIR;
  std::filesystem::create_directories(folder);
  return folder;
}

// Runs a shell command, never for longer than `seconds`; answers whether it succeeded.
bool Shell(const std::string& command, int seconds = 5) {
  return std::system(("timeout " + std::to_string(seconds) + " " + command).c_str()) == 0;
}

class DemoEndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    // The font the demo draws with, to know what its caption's digits look like.
    RegisterDemoFiles();
    InitPacModule();
    InitFrameworkModules();
    font_ = TPacImage::Create(TPac::Load(kDemoFontUrl, -1), kDemoFontGroup);
    ASSERT_TRUE(font_->pac->image);
  }

  // The id of the demo's visible window, 0 when none shows up within ten seconds.
  unsigned long FindWindow(const ChildProgram& demo) {
    const std::filesystem::path found = OutputFolder() / "demo-window.txt";
    if (!Shell(
            "xdotool search --sync --onlyvisible --pid " + std::to_string(demo.Id()) + " > " + found.string(),
            10)) {
      return 0;
    }
    std::ifstream in(found);
    unsigned long window = 0;
    in >> window;
    return window;
  }

  // A dump of the window's contents, also kept as test-output/<name>.png; Null when xwd fails.
  Ref<TPixmap> Capture(unsigned long window, const std::string& name) {
    const std::filesystem::path dump = OutputFolder() / (name + ".xwd");
    if (!Shell("xwd -silent -id " + std::to_string(window) + " -out " + dump.string())) return Null;
    const Ref<TPixmap> picture = DecodeXwd(LoadAllBytes(String(dump.string().c_str())));
    std::filesystem::remove(dump);
    if (picture) EncodePNG(picture, Url(String((OutputFolder() / (name + ".png")).string().c_str())), 6);
    return picture;
  }

  // Which digit the caption ends in: the one whose glyph, drawn in (255, 100, 100) over the
  // clear colour, is closest to what the screen shows; -1 when neither is close (the turning
  // paragraph may pass over the caption).
  int32_t CaptionDigit(const Ref<TPixmap>& screen) {
    if (!screen || screen->Width() < 400 || screen->Height() < 100) return -1;
    const int32_t cursor = 25 + font_->TextWidth(kDemoCaption, 0, 0);
    const Ref<TPixmap> atlas = font_->pac->image->pixmaps[0];
    int64_t best = INT64_MAX;
    int32_t digit = -1;
    for (int32_t d = 0; d <= 1; ++d) {
      const int32_t k = '0' + d - 32;
      const int32_t left = cursor - (30 - font_->pac->charW[k]) / 2;
      int64_t error = 0;
      for (int32_t y = 0; y < 47; ++y) {
        for (int32_t x = 0; x < 30; ++x) {
          const uint32_t alpha = atlas->GetPixel(k % 17 * 30 + x, k / 17 * 47 + y) >> 24;
          const auto mix = [alpha](uint32_t ink, uint32_t under) {
            return (ink * alpha + under * (255 - alpha)) / 255;
          };
          const uint32_t expected = mix(255, 50) << 16 | mix(100, 80) << 8 | mix(100, 140);
          const uint32_t shown = Rgb(screen, left + x, 40 + y);
          for (int shift = 0; shift <= 16; shift += 8) {
            error += std::abs(static_cast<int32_t>((shown >> shift) & 255) -
                              static_cast<int32_t>((expected >> shift) & 255));
          }
        }
      }
      if (error < best) {
        best = error;
        digit = d;
      }
    }
    // A few levels of blending difference per pixel at most.
    return best <= 30 * 47 * 3 * 2 ? digit : -1;
  }

  // Captures until the caption shows `digit`, for at most `milliseconds`; answers the last
  // capture that did (Null when none did).
  Ref<TPixmap> CaptureShowing(unsigned long window, int32_t digit, const std::string& name,
                              int32_t milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
      const Ref<TPixmap> picture = Capture(window, name);
      if (CaptionDigit(picture) == digit) return picture;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return Null;
  }

  bool PressKey(unsigned long window, const std::string& key) {
    return Shell("xdotool windowfocus --sync " + std::to_string(window)) && Shell("xdotool key " + key);
  }

  Ref<TPacImage> font_;
};

TEST_F(DemoEndToEndTest, ShowsTheDemoSwitchesStyleWithCAndEndsWithEscape) {
  ChildProgram demo(CORVEX_DEMO_PATH);
  ASSERT_NE(demo.Id(), 0);
  const unsigned long window = FindWindow(demo);
  ASSERT_NE(window, 0u) << "no demo window";

  // A few frames in: the clear colour, the diagonals and the caption in style 0.
  const Ref<TPixmap> first = CaptureShowing(window, 0, "demo-first", 10000);
  ASSERT_TRUE(first) << "the caption never showed 0";
  EXPECT_EQ(first->Width(), 800);
  EXPECT_EQ(first->Height(), 600);
  EXPECT_EQ(Rgb(first, 60, 5), kClear);
  EXPECT_EQ(Rgb(first, 740, 595), kClear);
  for (const int32_t x : {1, 10, 789, 798}) {
    EXPECT_TRUE(DiagonalNear(first, x, x * 0.75f)) << "from the top left, at x " << x;
    EXPECT_TRUE(DiagonalNear(first, x, 600 - x * 0.75f)) << "from the bottom left, at x " << x;
  }

  ASSERT_TRUE(PressKey(window, "c"));
  EXPECT_TRUE(CaptureShowing(window, 1, "demo-after-c", 3000)) << "C did not switch to style 1";
  ASSERT_TRUE(PressKey(window, "c"));
  EXPECT_TRUE(CaptureShowing(window, 0, "demo-after-second-c", 3000)) << "a second C did not return to 0";

  // Closing the window from the window manager is not how the demo ends.
  ASSERT_TRUE(testing_support::SendCloseRequest(window));
  EXPECT_FALSE(demo.WaitForExit(700)) << "a close request ended the demo";

  ASSERT_TRUE(PressKey(window, "Escape"));
  // Generous: under the sanitizers on a loaded machine the exit's leak scan alone takes seconds.
  ASSERT_TRUE(demo.WaitForExit(15000)) << "Escape did not end the demo";
  EXPECT_EQ(demo.ExitStatus(), 0);
}

}  // namespace
}  // namespace corvex
