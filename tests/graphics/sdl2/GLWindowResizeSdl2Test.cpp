// Windows that change size while running: by the program, by the window system (xdotool, as a
// person dragging the frame would), and to desktop full screen and back; and the pixel mapping
// of a high-density drawable, stood in through the platform's drawable-size query.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"
#include "pixmap/PixelFormats.h"
#include "pixmap/PngCodec.h"
#include "stream/Url.h"
#include "system/Event.h"
#include "system/EventQueue.h"
#include "system/SystemDriver.h"
#include "system/sdl2/EventPumpSdl2.h"
#include "tests/system/EventRecorder.h"
#include "tools/xwd2png/XwdDecoder.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Image.h"
#include "vex2d/RenderTarget.h"
#include "vex2d/Renderer.h"
#include "vex2d/Shader.h"

namespace corvex {
namespace {

using testing_support::EventRecorder;
using testing_support::RecordedEvent;

constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;

bool Shell(const std::string& command) {
  return std::system(("timeout 10 " + command + " >/dev/null 2>&1").c_str()) == 0;
}

class WindowResizeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitGLVex2DModule();
    SelectGraphicsDriver(GLVex2DDriverInstance(), GfxBackBuffer);
  }
  void TearDown() override { CloseMainGraphics(); }

  Ref<TGraphics> Open(int32_t width, int32_t height, int32_t flags) {
    const Ref<TGraphics> graphics = OpenGraphics(width, height, 0, 0, flags);
    if (graphics) {
      PollSystemEvents();
      while (NextEvent() != 0) {
      }
    }
    return graphics;
  }

  // The X window id of the main graphics, 0 when it is not an X11 window.
  static unsigned long XWindow() {
    const Ref<TVex2DGraphics> state = Cast<TVex2DGraphics>(MainGraphics());
    const Ref<TGLGraphics> gl = Cast<TGLGraphics>(state->graphics);
    return gl ? glplatform::NativeWindow(gl->Record()) : 0;
  }

  // Pumps until a WindowSize event of that size has been raised (three seconds at most).
  bool AwaitSize(const EventRecorder& recorder, int32_t width, int32_t height) {
    for (int wait = 0; wait < 300; ++wait) {
      PollSystemEvents();
      for (const RecordedEvent& e : recorder.events()) {
        if (e.id == EVENT_WINDOWSIZE && e.x == width && e.y == height) return true;
      }
      SleepMillis(10);
    }
    return false;
  }

  // Draws a green frame filling the screen with a blue 10 × 10 square in its bottom-right corner,
  // shows it, and answers the window as the X server has it (a screenshot taken with xwd).
  Ref<TPixmap> DrawAndScreenshot(const std::string& name) {
    SetClearColor(0, 0, 0);
    ClearScreen();
    int32_t x = 0, y = 0, width = 0, height = 0;
    GetViewport(x, y, width, height);
    SetDrawColor(0, 255, 0);
    DrawRect(0, 0, static_cast<float>(width), static_cast<float>(height));
    SetDrawColor(0, 0, 255);
    DrawRect(static_cast<float>(width - 10), static_cast<float>(height - 10), 10, 10);
    FlipPage(0);
    const std::filesystem::path folder = CORVEX_TEST_OUTPUT_DIR;
    std::filesystem::create_directories(folder);
    const std::string dump = (folder / (name + ".xwd")).string();
    if (!Shell("xwd -silent -id " + std::to_string(XWindow()) + " -out " + dump)) return Null;
    const Ref<TPixmap> shot = DecodeXwd(LoadAllBytes(String(dump.c_str())));
    std::filesystem::remove(dump);
    if (shot) EncodePNG(shot, Url(String((folder / (name + ".png")).string().c_str())), 6);
    return shot;
  }

  static uint32_t Rgb(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
    return pixmap->GetPixel(x, y) & 0xFFFFFF;
  }
};

TEST_F(WindowResizeTest, AResizableWindowFollowsTheProgramAndTheWindowSystem) {
  const Ref<TGraphics> graphics = Open(320, 240, GfxResizable);
  ASSERT_TRUE(graphics) << "no OpenGL window on this display";
  const int32_t generation = GraphicsGeneration();
  EventRecorder recorder;

  ASSERT_EQ(SetGraphicsSize(graphics, 400, 300), 1);
  // Settings follow before the event reaches the queue, and the event is the only one raised.
  EXPECT_EQ(recorder.events(), (std::vector<RecordedEvent>{{EVENT_WINDOWSIZE, nullptr, 0, 0, 400, 300}}));
  EXPECT_EQ(CurrentGraphicsWidth(), 400);
  EXPECT_EQ(CurrentGraphicsHeight(), 300);
  EXPECT_EQ(NextEvent(), EVENT_WINDOWSIZE);
  EXPECT_EQ(LastEvent()->ToString(), String("WindowSize: data=0, mods=0, x=400, y=300, extra=\"\""));
  int32_t x = -1, y = -1, width = 0, height = 0;
  GetViewport(x, y, width, height);
  EXPECT_EQ((std::vector<int32_t>{x, y, width, height}), (std::vector<int32_t>{0, 0, 400, 300}));

  const unsigned long window = XWindow();
  if (window == 0) GTEST_SKIP() << "not an X11 window";
  recorder.Clear();
  ASSERT_TRUE(Shell("xdotool windowsize " + std::to_string(window) + " 500 350"));
  ASSERT_TRUE(AwaitSize(recorder, 500, 350));
  int32_t depth = -1, hertz = -1, flags = 0;
  graphics->GetSettings(width, height, depth, hertz, flags);
  EXPECT_EQ((std::vector<int32_t>{width, height, depth, hertz}), (std::vector<int32_t>{500, 350, 0, 0}));
  EXPECT_EQ(flags & GfxResizable, GfxResizable);
  EXPECT_EQ(CurrentGraphicsWidth(), 500);

  const Ref<TPixmap> shot = DrawAndScreenshot("WindowResizeTest-after-xdotool");
  ASSERT_TRUE(shot);
  ASSERT_EQ(shot->Width(), 500);
  ASSERT_EQ(shot->Height(), 350);
  EXPECT_EQ(Rgb(shot, 1, 1), kGreen);
  EXPECT_EQ(Rgb(shot, 489, 339), kGreen);
  EXPECT_EQ(Rgb(shot, 490, 340), kBlue);
  EXPECT_EQ(Rgb(shot, 499, 349), kBlue);
  EXPECT_EQ(GraphicsGeneration(), generation);
}

TEST_F(WindowResizeTest, AViewportTheProgramSetStaysAndTheDefaultOneFollows) {
  const Ref<TGraphics> graphics = Open(320, 240, 0);
  ASSERT_TRUE(graphics) << "no OpenGL window on this display";
  SetViewport(10, 20, 100, 50);
  ASSERT_EQ(SetGraphicsSize(graphics, 200, 150), 1);  // a window without a frame to drag still resizes
  int32_t x = 0, y = 0, width = 0, height = 0;
  GetViewport(x, y, width, height);
  EXPECT_EQ((std::vector<int32_t>{x, y, width, height}), (std::vector<int32_t>{10, 20, 100, 50}));
  SetViewport(0, 0, 200, 150);
  ASSERT_EQ(SetGraphicsSize(graphics, 260, 180), 1);
  GetViewport(x, y, width, height);
  EXPECT_EQ((std::vector<int32_t>{x, y, width, height}), (std::vector<int32_t>{0, 0, 260, 180}));
  EXPECT_EQ(SetGraphicsSize(graphics, 0, 100), 0);
  EXPECT_EQ(SetGraphicsSize(Null, 100, 100), 0);
  EXPECT_EQ(CurrentGraphicsWidth(), 260);
}

// A resize while drawing into a render image with a shader set keeps both; the window's
// default viewport follows once drawing returns to it.
TEST_F(WindowResizeTest, AShaderAndARenderTargetOutlastAResize) {
  const Ref<TGraphics> graphics = Open(320, 240, GfxResizable);
  ASSERT_TRUE(graphics) << "no OpenGL window on this display";
  const Ref<TShader> shader = CreateShader(String(), String("void main() { gl_FragColor = gl_Color; }"));
  ASSERT_TRUE(shader) << ShaderError().ToBytes();
  const Ref<TImage> target = CreateRenderImage(64, 32, 0);
  ASSERT_TRUE(target) << RenderImageError().ToBytes();
  SetShader(shader);
  ASSERT_EQ(SetRenderTarget(target), 1);

  ASSERT_EQ(SetGraphicsSize(graphics, 400, 300), 1);
  EXPECT_EQ(RenderTarget().Get(), target.Get());
  EXPECT_EQ(CurrentShader().Get(), shader.Get());
  int32_t x = -1, y = -1, width = 0, height = 0;
  GetViewport(x, y, width, height);
  EXPECT_EQ((std::vector<int32_t>{x, y, width, height}), (std::vector<int32_t>{0, 0, 64, 32}));

  ASSERT_EQ(SetRenderTarget(Null), 1);
  GetViewport(x, y, width, height);
  EXPECT_EQ((std::vector<int32_t>{x, y, width, height}), (std::vector<int32_t>{0, 0, 400, 300}));
  EXPECT_EQ(CurrentShader().Get(), shader.Get());
  SetShader(Null);
  const Ref<TPixmap> shot = DrawAndScreenshot("WindowResizeTest-after-render-target");
  ASSERT_TRUE(shot);
  EXPECT_EQ(Rgb(shot, 389, 289), kGreen);
  EXPECT_EQ(Rgb(shot, 399, 299), kBlue);
}

TEST_F(WindowResizeTest, FullScreenAndBackKeepImagesDrawing) {
  const Ref<TGraphics> graphics = Open(320, 240, 0);
  ASSERT_TRUE(graphics) << "no OpenGL window on this display";
  const Ref<TPixmap> pixels = NewPixmap(8, 8, PIXEL_RGBA8888, 4);
  pixels->Fill(0xFF0000FFu);
  const Ref<TImage> image = TImage::Load(pixels, 0, 0, 0, 0);
  const int32_t generation = GraphicsGeneration();
  EventRecorder recorder;

  SDL_Rect bounds{};
  ASSERT_EQ(SDL_GetDisplayBounds(0, &bounds), 0);
  ASSERT_EQ(SetGraphicsFullScreen(graphics, 1), 1);
  ASSERT_TRUE(AwaitSize(recorder, bounds.w, bounds.h));
  EXPECT_EQ(GraphicsFullScreen(graphics), 1);
  EXPECT_EQ(CurrentGraphicsWidth(), bounds.w);
  EXPECT_EQ(CurrentGraphicsHeight(), bounds.h);
  ClearScreen();
  DrawImage(image, static_cast<float>(bounds.w - 8), static_cast<float>(bounds.h - 8), 0);
  Ref<TPixmap> grabbed = CaptureScreenPixmap(bounds.w - 8, bounds.h - 8, 8, 8);
  EXPECT_EQ(Rgb(grabbed, 0, 0), kBlue);
  EXPECT_EQ(Rgb(grabbed, 7, 7), kBlue);

  recorder.Clear();
  ASSERT_EQ(SetGraphicsFullScreen(graphics, 0), 1);
  ASSERT_TRUE(AwaitSize(recorder, 320, 240));
  EXPECT_EQ(GraphicsFullScreen(graphics), 0);
  EXPECT_EQ(CurrentGraphicsWidth(), 320);
  ClearScreen();
  DrawImage(image, 312, 232, 0);
  grabbed = CaptureScreenPixmap(312, 232, 8, 8);
  EXPECT_EQ(Rgb(grabbed, 0, 0), kBlue);
  EXPECT_EQ(Rgb(grabbed, 7, 7), kBlue);
  EXPECT_EQ(GraphicsGeneration(), generation);
}

// A display of twice the density: the drawable is twice the window in each direction.
void DoubleDrawable(SDL_Window* window, int* width, int* height) {
  SDL_GetWindowSize(window, width, height);
  *width *= 2;
  *height *= 2;
}

TEST_F(WindowResizeTest, AHighDensityDrawableMapsMouseAndSizesToDrawablePixels) {
  const SdlDrawableSizeFunction previous = SetSdlDrawableSizeFunction(&DoubleDrawable);
  const Ref<TGraphics> graphics = Open(160, 120, GfxHighDpi);
  if (!graphics) SetSdlDrawableSizeFunction(previous);
  ASSERT_TRUE(graphics) << "no OpenGL window on this display";
  EXPECT_EQ(CurrentGraphicsWidth(), 320);
  EXPECT_EQ(CurrentGraphicsHeight(), 240);
  EXPECT_FLOAT_EQ(GraphicsPixelScale(), 2.0f);
  int32_t x = 0, y = 0, width = 0, height = 0;
  GetViewport(x, y, width, height);
  EXPECT_EQ(width, 320);

  EventRecorder recorder;
  SDL_Window* const window = SDL_GL_GetCurrentWindow();
  ASSERT_NE(window, nullptr);
  SDL_Event motion{};
  motion.type = SDL_MOUSEMOTION;
  motion.motion.windowID = SDL_GetWindowID(window);
  motion.motion.x = 10;
  motion.motion.y = 20;
  SDL_PushEvent(&motion);
  SDL_Event press{};
  press.type = SDL_MOUSEBUTTONDOWN;
  press.button.windowID = SDL_GetWindowID(window);
  press.button.button = SDL_BUTTON_LEFT;
  press.button.x = 150;
  press.button.y = 110;
  SDL_PushEvent(&press);
  PollSystemEvents();
  std::vector<RecordedEvent> mouse;
  for (const RecordedEvent& e : recorder.events()) {
    if (e.id == EVENT_MOUSEMOVE || e.id == EVENT_MOUSEDOWN) mouse.push_back(e);
  }
  EXPECT_EQ(mouse, (std::vector<RecordedEvent>{{EVENT_MOUSEMOVE, nullptr, 0, 0, 20, 40},
                                               {EVENT_MOUSEDOWN, nullptr, 1, 0, 300, 220}}));

  recorder.Clear();
  ASSERT_EQ(SetGraphicsSize(graphics, 200, 100), 1);
  EXPECT_TRUE(AwaitSize(recorder, 400, 200));
  EXPECT_EQ(CurrentGraphicsWidth(), 400);
  CloseMainGraphics();
  SetSdlDrawableSizeFunction(previous);
}

}  // namespace
}  // namespace corvex
