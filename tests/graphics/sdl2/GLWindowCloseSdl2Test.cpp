#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"
#include "system/Event.h"
#include "system/Hook.h"
#include "system/InputTracker.h"
#include "system/SystemDriver.h"
#include "tests/system/sdl2/X11WindowSdl2.h"

namespace corvex {
namespace {

int g_terminateEvents = 0;
bool g_terminateFromNull = true;

Ref<Object> WatchTerminate(int32_t, const Ref<Object>& data, const Ref<Object>&) {
  if (const Ref<TEvent> event = Cast<TEvent>(data); event && event->id == EVENT_APPTERMINATE) {
    ++g_terminateEvents;
    g_terminateFromNull = g_terminateFromNull && !event->source;
  }
  return data;
}

TEST(GLWindowCloseTest, ACloseRequestRaisesAppTerminateAndLeavesTheWindowOpen) {
  InitGLGraphicsModule();
  const Ref<TGraphics> graphics = OpenGLGraphics(320, 240, 0, 60, 0);
  ASSERT_TRUE(graphics) << "no OpenGL window on this display";
  glplatform::ContextRecord* record = Cast<TGLGraphics>(graphics)->Record();
  const uintptr_t window = glplatform::NativeWindow(record);
  if (window == 0) GTEST_SKIP() << "not an X11 window";

  AttachHook(EventHookId(), &WatchTerminate, Null, 100);
  EXPECT_EQ(TakeTerminateRequest(), 0);
  ASSERT_TRUE(testing_support::SendCloseRequest(window));
  int32_t requests = 0;
  for (int wait = 0; wait < 200 && requests == 0; ++wait) {
    requests = TakeTerminateRequest();
    if (requests == 0) SleepMillis(10);
  }
  DetachHook(EventHookId(), &WatchTerminate, Null);
  EXPECT_EQ(requests, 1);
  EXPECT_EQ(g_terminateEvents, 1);
  EXPECT_TRUE(g_terminateFromNull);  // graphics windows raise their events with no source

  // Nothing was closed: the program decides.
  EXPECT_EQ(MainGraphics(), graphics);
  EXPECT_EQ(glplatform::NativeWindow(record), window);
  const std::string query = "xwininfo -id " + std::to_string(window) + " >/dev/null 2>&1";
  EXPECT_EQ(std::system(query.c_str()), 0);
  FlipPage(0);
  CloseMainGraphics();
  EXPECT_EQ(glplatform::NativeWindow(record), 0u);
}

}  // namespace
}  // namespace corvex
