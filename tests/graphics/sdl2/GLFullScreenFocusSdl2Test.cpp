#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"
#include "system/SystemDriver.h"

namespace corvex {
namespace {

// Gives the X input focus to the window, as a window manager would on a click.
bool Focus(uintptr_t window) {
  const std::string command = "xdotool windowfocus --sync " + std::to_string(window) + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Dispatches events for half a second: SDL holds a focus change back for 200 ms.
void Settle() {
  for (int wait = 0; wait < 50; ++wait) {
    PollSystemEvents();
    SleepMillis(10);
  }
}

// Dispatches events until `done` holds, for at most two seconds.
template <class Condition>
bool PollUntil(Condition done) {
  for (int wait = 0; wait < 200; ++wait) {
    PollSystemEvents();
    if (done()) return true;
    SleepMillis(10);
  }
  return false;
}

TEST(GLFullScreenFocusTest, TheDisplayModeFollowsTheFocus) {
  InitGLGraphicsModule();
  SelectGraphicsDriver(GLGraphicsDriverInstance(), GfxBackBuffer);
  const Array<Ref<TGraphicsMode>> modes = ListGraphicsModes();
  if (modes.IsEmpty()) GTEST_SKIP() << "the display lists no modes";
  const Ref<TGraphics> full = OpenGLGraphics(modes[0]->width, modes[0]->height, modes[0]->depth, 0, 0);
  ASSERT_TRUE(full);
  glplatform::ContextRecord* record = Cast<TGLGraphics>(full)->Record();
  EXPECT_EQ(glplatform::FullScreenRecord(), record);  // switched as soon as it was shown

  const Ref<TGraphics> other = NewGraphics(64, 64, 0, 0, 0);
  ASSERT_TRUE(other);
  const uintptr_t fullWindow = glplatform::NativeWindow(record);
  const uintptr_t otherWindow = glplatform::NativeWindow(Cast<TGLGraphics>(other)->Record());
  if (fullWindow == 0 || otherWindow == 0) GTEST_SKIP() << "not X11 windows";
  // SDL reports a lost focus only for a window it saw gain it: hand the focus over once first.
  ASSERT_TRUE(Focus(otherWindow));
  Settle();
  ASSERT_TRUE(Focus(fullWindow));
  Settle();
  EXPECT_EQ(glplatform::FullScreenRecord(), record);  // gaining the focus again changes nothing

  ASSERT_TRUE(Focus(otherWindow));
  EXPECT_TRUE(PollUntil([] { return glplatform::FullScreenRecord() == nullptr; }))
      << "desktop mode not restored";
  ASSERT_TRUE(Focus(fullWindow));
  EXPECT_TRUE(PollUntil([record] { return glplatform::FullScreenRecord() == record; }))
      << "mode not switched back";

  // The window that changed the display mode covers the screen: a press takes no capture.
  SDL_Window* const focused = SDL_GetKeyboardFocus();
  ASSERT_NE(focused, nullptr);
  ASSERT_EQ(std::system(
                ("xdotool mousemove --window " + std::to_string(fullWindow) + " 10 10 mousedown 1").c_str()),
            0);
  EXPECT_TRUE(PollUntil([] { return (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK) != 0; }));
  EXPECT_EQ(SDL_GetWindowFlags(focused) & SDL_WINDOW_MOUSE_CAPTURE, 0u);
  ASSERT_EQ(std::system("xdotool mouseup 1"), 0);
  Settle();

  CloseGraphics(other);
  CloseMainGraphics();
  EXPECT_EQ(glplatform::FullScreenRecord(), nullptr);
}

}  // namespace
}  // namespace corvex
