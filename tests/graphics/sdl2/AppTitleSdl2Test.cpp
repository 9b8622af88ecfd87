#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"
#include "runtime/AppStrings.h"
#include "system/SystemDriver.h"

namespace corvex {
namespace {

// The title the X server holds for the window, as the window manager reads it.
std::string XWindowName(uintptr_t window) {
  const std::string command = "xdotool getwindowname " + std::to_string(window) + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "(no xdotool)";
  std::string name;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) name += buffer;
  pclose(pipe);
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

uintptr_t WindowOf(const Ref<TGraphics>& graphics) {
  return glplatform::NativeWindow(Cast<TGLGraphics>(graphics)->Record());
}

TEST(AppTitleTest, NewWindowsTakeTheTitleAndOpenOnesFollowAChange) {
  InitGLGraphicsModule();
  SetAppTitle(String("First title"));
  EXPECT_EQ(AppTitle(), String("First title"));
  const Ref<TGraphics> first = GLGraphicsDriverInstance()->Create(160, 120, 0, 60, GfxBackBuffer);
  ASSERT_TRUE(first) << "no OpenGL window on this display";
  if (WindowOf(first) == 0) GTEST_SKIP() << "not an X11 window";
  EXPECT_EQ(XWindowName(WindowOf(first)), "First title");

  SetAppTitle(String("Second title"));
  PollSystemEvents();
  EXPECT_EQ(XWindowName(WindowOf(first)), "Second title");
  const Ref<TGraphics> second = GLGraphicsDriverInstance()->Create(160, 120, 0, 60, GfxBackBuffer);
  ASSERT_TRUE(second);
  EXPECT_EQ(XWindowName(WindowOf(second)), "Second title");
  first->Close();
  second->Close();
}

}  // namespace
}  // namespace corvex
