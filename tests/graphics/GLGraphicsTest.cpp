#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "GLTestSupport.h"
#include "graphics/GLDebugDraw.h"
#include "runtime/Exceptions.h"
#include "system/InputTracker.h"

namespace corvex {
namespace {

using namespace gl_testing;

// Counts the swap-interval calls and passes them on.
int g_intervalCalls = 0;
glplatform::SwapIntervalFunction g_platformInterval = nullptr;
void CountInterval(int32_t interval) {
  ++g_intervalCalls;
  g_platformInterval(interval);
}

// What `command` prints, "" when it cannot run.
std::string CommandOutput(const char* command) {
  std::string output;
  if (FILE* pipe = popen(command, "r")) {
    char buffer[4096];
    for (size_t read; (read = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, read);
    pclose(pipe);
  }
  return output;
}

class GLGraphicsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitGLGraphicsModule();
    SelectGraphicsDriver(GLGraphicsDriverInstance(), GfxBackBuffer);
  }
  void TearDown() override { CloseMainGraphics(); }

  // A window of its own (not the main graphics), made current.
  static Ref<TGraphics> CurrentWindow(int32_t width, int32_t height, int32_t flags = 0) {
    const Ref<TGraphics> graphics = NewGraphics(width, height, 0, 0, flags);
    if (graphics) MakeGraphicsCurrent(graphics);
    return graphics;
  }
};

TEST_F(GLGraphicsTest, AWindowHasExactlyTheRequestedClientArea) {
  const Ref<TGraphics> graphics = OpenGLGraphics(800, 600, 0, 60, 0);
  ASSERT_TRUE(graphics) << "no OpenGL window on this display";
  EXPECT_EQ(graphics->Driver(), GLGraphicsDriverInstance());
  int32_t width = 0, height = 0, depth = -1, hertz = 0, flags = 0;
  graphics->GetSettings(width, height, depth, hertz, flags);
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 600);
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(hertz, 60);
  EXPECT_EQ(flags, GfxBackBuffer);
  EXPECT_EQ(CurrentGraphicsWidth(), 800);
  EXPECT_EQ(IsInputTracking(), 1);

  // The GL sees a double-buffered drawable of that size...
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 800);
  EXPECT_EQ(viewport[3], 600);
  GLboolean doubleBuffered = GL_FALSE;
  glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
  EXPECT_TRUE(doubleBuffered);
  // ...and so does the X server, at (32, 32) on the screen.
  const std::string tree = CommandOutput("xwininfo -root -children 2>/dev/null");
  if (!tree.empty()) {
    EXPECT_NE(tree.find("800x600+32+32"), std::string::npos) << tree;
  }

  glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  const Ref<TPixmap> drawn = ReadBack(0, 0, 800, 600);
  const bool allGreen = Rgb(drawn, 0, 0) == 0x00FF00 && Rgb(drawn, 799, 599) == 0x00FF00;
  EXPECT_TRUE(allGreen);
  if (!allGreen) SaveForInspection(drawn, "GLGraphicsTest-window-clear");
  FlipPage(-1);
}

TEST_F(GLGraphicsTest, GraphicsFlagsBecomeBufferRequests) {
  const Ref<TGraphics> graphics = CurrentWindow(64, 64, GfxAlphaBuffer | GfxDepthBuffer | GfxStencilBuffer);
  ASSERT_TRUE(graphics);
  GLint alpha = 0, depth = 0, stencil = 0;
  glGetIntegerv(GL_ALPHA_BITS, &alpha);
  glGetIntegerv(GL_DEPTH_BITS, &depth);
  glGetIntegerv(GL_STENCIL_BITS, &stencil);
  EXPECT_GT(alpha, 0);
  EXPECT_GT(depth, 0);
  EXPECT_GT(stencil, 0);
  CloseGraphics(graphics);
}

TEST_F(GLGraphicsTest, UnusableSizesAndClosedContextsGiveNothing) {
  EXPECT_FALSE(NewGraphics(0, 600, 0, 0, 0));
  EXPECT_FALSE(NewGraphics(800, -1, 0, 0, 0));
  EXPECT_FALSE(NewGraphics(glplatform::kMaxWindowSide + 1, 600, 0, 0, 0));

  const Ref<TGraphics> graphics = CurrentWindow(32, 32);
  ASSERT_TRUE(graphics);
  CloseGraphics(graphics);
  EXPECT_FALSE(CurrentGraphics());
  EXPECT_EQ(glplatform::CurrentRecord(), nullptr);
  graphics->Close();  // a second close does nothing
  int32_t width = -1, height = -1, depth = -1, hertz = -1, flags = -1;
  graphics->GetSettings(width, height, depth, hertz, flags);
  EXPECT_EQ(width + height + depth + hertz + flags, 0);
  GLGraphicsDriverInstance()->Flip(0);  // nothing current: nothing happens
}

TEST_F(GLGraphicsTest, TheSwapIntervalIsSetOnlyWhenItChanges) {
  const Ref<TGraphics> graphics = CurrentWindow(32, 32, GfxBackBuffer);
  ASSERT_TRUE(graphics);
  const Ref<TGLGraphicsDriver> driver = GLGraphicsDriverInstance();
  driver->Flip(1);  // whatever an earlier test left, the interval is now 1
  g_platformInterval = glplatform::SetSwapIntervalFunction(&CountInterval);
  g_intervalCalls = 0;

  for (int flip = 0; flip < 4; ++flip) driver->Flip(flip % 2 == 0 ? 0 : 1);
  EXPECT_EQ(g_intervalCalls, 4);  // alternating: every flip sets it
  for (int flip = 0; flip < 3; ++flip) driver->Flip(1);
  EXPECT_EQ(g_intervalCalls, 4);  // the same again: never
  for (int flip = 0; flip < 3; ++flip) driver->Flip(0);
  EXPECT_EQ(g_intervalCalls, 5);  // once, for the change

  glplatform::SetSwapIntervalFunction(g_platformInterval);
  CloseGraphics(graphics);
}

TEST_F(GLGraphicsTest, ToggleSharedContextSwitchesOnlyTheGLContext) {
  const Ref<TGraphics> graphics = CurrentWindow(48, 40);
  ASSERT_TRUE(graphics);
  const Ref<TGLGraphicsDriver> driver = GLGraphicsDriverInstance();
  GLint viewport[4] = {0, 0, 0, 0};

  driver->ToggleSharedContext();
  EXPECT_TRUE(glplatform::IsSharedContextCurrent());
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 1);  // the hidden window is 1 by 1
  EXPECT_EQ(CurrentGraphics(), graphics);
  driver->ToggleSharedContext();
  EXPECT_FALSE(glplatform::IsSharedContextCurrent());
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 48);

  {
    const SharedContextGuard outer;
    EXPECT_TRUE(glplatform::IsSharedContextCurrent());
    {
      const SharedContextGuard inner;  // nested: changes nothing, also on leaving
      EXPECT_TRUE(glplatform::IsSharedContextCurrent());
    }
    EXPECT_TRUE(glplatform::IsSharedContextCurrent());
  }
  EXPECT_FALSE(glplatform::IsSharedContextCurrent());
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 48);

  // With no current context, toggling back leaves none.
  MakeGraphicsCurrent(Null);
  driver->ToggleSharedContext();
  EXPECT_TRUE(glplatform::IsSharedContextCurrent());
  driver->ToggleSharedContext();
  EXPECT_FALSE(glplatform::HasCurrentGLContext());
  CloseGraphics(graphics);
}

// A textured quad over the whole viewport.
void DrawTexture(GLuint texture) {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(-1, 1);
  glTexCoord2f(1, 0);
  glVertex2f(1, 1);
  glTexCoord2f(1, 1);
  glVertex2f(1, -1);
  glTexCoord2f(0, 1);
  glVertex2f(-1, -1);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

TEST_F(GLGraphicsTest, ATextureMadeInTheSharedContextDrawsInEveryWindow) {
  const Ref<TGraphics> first = NewGraphics(64, 64, 0, 0, 0);
  const Ref<TGraphics> second = NewGraphics(96, 32, 0, 0, 0);
  ASSERT_TRUE(first && second);

  // Four quadrants: red, green / blue, white (top-down).
  const Ref<TPixmap> pixmap = NewPixmap(2, 2, PIXEL_RGBA8888, 4);
  pixmap->SetPixel(0, 0, 0xFFFF0000);
  pixmap->SetPixel(1, 0, 0xFF00FF00);
  pixmap->SetPixel(0, 1, 0xFF0000FF);
  pixmap->SetPixel(1, 1, 0xFFFFFFFF);
  GLuint texture = 0;
  {
    const SharedContextGuard shared;
    texture = GLTextureFromPixmap(pixmap, false);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
  }
  ASSERT_NE(texture, 0u);

  for (const Ref<TGraphics>& window : {first, second}) {
    MakeGraphicsCurrent(window);
    DrawTexture(texture);
    const int32_t width = CurrentGraphicsWidth(), height = CurrentGraphicsHeight();
    const Ref<TPixmap> drawn = ReadBack(0, 0, width, height);
    const int32_t left = width / 4, right = width * 3 / 4, top = height / 4, bottom = height * 3 / 4;
    const bool right_colours = Rgb(drawn, left, top) == 0xFF0000 && Rgb(drawn, right, top) == 0x00FF00 &&
                               Rgb(drawn, left, bottom) == 0x0000FF && Rgb(drawn, right, bottom) == 0xFFFFFF;
    EXPECT_TRUE(right_colours) << width << " by " << height;
    if (!right_colours) SaveForInspection(drawn, "GLGraphicsTest-shared-texture-" + std::to_string(width));
  }
  {
    const SharedContextGuard shared;
    glDeleteTextures(1, &texture);
  }
  CloseGraphics(first);
  CloseGraphics(second);
}

TEST_F(GLGraphicsTest, DisplayModesOfSixteenBitsAndMoreAreListed) {
  const Array<Ref<TGraphicsMode>> modes = ListGraphicsModes();
  for (const Ref<TGraphicsMode>& mode : modes) EXPECT_GE(mode->depth, 16) << mode->ToString().ToBytes();
  EXPECT_EQ(HasGraphicsMode(0, 0, 0, 0), modes.IsEmpty() ? 0 : 1);

  // The filter itself, on modes no test display offers.
  std::vector<glplatform::DisplayMode> offered = {{640, 480, 8, 60}, {800, 600, 16, 60}, {1024, 768, 32, 75}};
  const Array<Ref<TGraphicsMode>> usable = UsableGraphicsModes(offered);
  ASSERT_EQ(usable.Length(), 2);
  EXPECT_EQ(usable[0]->ToString(), String("800,600,16 60Hz"));
  EXPECT_EQ(usable[1]->ToString(), String("1024,768,32 75Hz"));
  offered.assign(1500, glplatform::DisplayMode{320, 200, 32, 70});
  EXPECT_EQ(UsableGraphicsModes(offered).Length(), 1024);
}

TEST_F(GLGraphicsTest, AFullScreenDisplayTakesAnOfferedMode) {
  const Array<Ref<TGraphicsMode>> modes = ListGraphicsModes();
  if (modes.IsEmpty()) GTEST_SKIP() << "the display lists no modes";
  const Ref<TGraphicsMode> mode = modes[0];
  const Ref<TGraphics> graphics = OpenGLGraphics(mode->width, mode->height, mode->depth, 0, 0);
  ASSERT_TRUE(graphics) << mode->ToString().ToBytes();
  int32_t width = 0, height = 0, depth = 0, hertz = -1, flags = 0;
  graphics->GetSettings(width, height, depth, hertz, flags);
  EXPECT_EQ(width, mode->width);
  EXPECT_EQ(height, mode->height);
  EXPECT_EQ(depth, mode->depth);
  EXPECT_EQ(hertz, 0);
  EXPECT_EQ(flags, GfxBackBuffer);
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], mode->width);
  FlipPage(-1);
}

TEST_F(GLGraphicsTest, AModeTheDisplayDoesNotOfferIsAnErrorAndLeavesNoWindow) {
  ASSERT_EQ(HasGraphicsMode(333, 222, 32, 0), 0);
  try {
    GLGraphicsDriverInstance()->Create(333, 222, 32, 60, GfxBackBuffer);
    ADD_FAILURE() << "no error raised";
  } catch (const TRuntimeException& error) {
    EXPECT_EQ(error.Message(), String("GLGraphicsDriver failed to set display mode"));
  }
  EXPECT_FALSE(OpenGLGraphics(333, 222, 32, 60, 0));
  EXPECT_EQ(IsInputTracking(), 0);
  EXPECT_EQ(CommandOutput("xwininfo -root -children 2>/dev/null").find("333x222"), std::string::npos);
}

TEST_F(GLGraphicsTest, AnAttachedContextDrawsIntoAWindowOfAnotherProgram) {
  // xlogo stands in for a window of another toolkit.
  const std::string title = "corvex-attach-" + std::to_string(getpid());
  const int pid = std::atoi(
      CommandOutput(
          ("xlogo -title " + title + " -geometry 200x150+300+300 >/dev/null 2>&1 & echo $!").c_str())
          .c_str());
  if (pid <= 0) GTEST_SKIP() << "xlogo is not installed";
  const uintptr_t window = std::strtoul(
      CommandOutput(("timeout 10 xdotool search --sync --name '^" + title + "$' 2>/dev/null").c_str())
          .c_str(),
      nullptr, 10);
  if (window == 0) {
    kill(pid, SIGTERM);
    GTEST_SKIP() << "xdotool found no xlogo window";
  }

  const Ref<TGraphics> attached = AttachGraphicsTo(window, 0);
  ASSERT_TRUE(attached);
  int32_t width = 0, height = 0, depth = -1, hertz = -1, flags = 0;
  attached->GetSettings(width, height, depth, hertz, flags);
  EXPECT_EQ(width, 200);
  EXPECT_EQ(height, 150);
  EXPECT_EQ(depth + hertz, 0);
  EXPECT_EQ(flags, GfxBackBuffer);  // the default flags

  MakeGraphicsCurrent(attached);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  const Ref<TPixmap> drawn = ReadBack(0, 0, 200, 150);
  const bool red = Rgb(drawn, 0, 0) == 0xFF0000 && Rgb(drawn, 199, 149) == 0xFF0000;
  EXPECT_TRUE(red);
  if (!red) SaveForInspection(drawn, "GLGraphicsTest-attached");

  // Closing the context leaves the other program's window alone.
  CloseGraphics(attached);
  EXPECT_EQ(std::system(("xwininfo -id " + std::to_string(window) + " >/dev/null 2>&1").c_str()), 0);
  kill(pid, SIGTERM);
}

TEST(GLGraphicsNoDisplayTest, OpenGraphicsAnswersNullAndLeavesInputTrackingOff) {
  // A fresh process that has never seen a display (the threadsafe style re-runs the binary).
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        InitGLGraphicsModule();
        const int32_t generation = GraphicsGeneration();
        const bool failedCleanly = !OpenGLGraphics(800, 600, 0, 60, 0) && IsInputTracking() == 0 &&
                                   !MainGraphics() && GraphicsGeneration() == generation;
        std::_Exit(failedCleanly ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace corvex
