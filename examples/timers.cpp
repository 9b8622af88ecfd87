// Timers and frame pacing: a 4 Hz timer whose ticks arrive as events and blink a lamp, a ball
// moved by elapsed milliseconds (so its speed does not depend on the frame rate), and the
// measured frame time under the three ways of presenting a frame: 1 paces to the window's
// 60 Hz, 2 waits for the display's retrace, 3 presents at once. Escape or closing the window
// quits.
//
// Run: build/release/examples/corvex-example-timers
// With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N frames.
#include <cstdlib>

#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "system/Event.h"
#include "system/EventQueue.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "system/SystemDriver.h"
#include "system/Timer.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"

using namespace corvex;

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

// Whether the main loop goes on: no Escape, no close request, and under the frame limit.
bool KeepRunning(int32_t frame) {
  static const char* const limit = std::getenv("CORVEX_EXAMPLE_FRAMES");
  if (limit != nullptr && frame >= std::atoi(limit)) return false;
  return KeyHitCount(KEY_ESCAPE) == 0 && TakeTerminateRequest() == 0;
}

void RunExample() {
  // Set-up: the window asks for 60 frames a second; the timer ticks four times a second.
  InitFrameworkModules();
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
  SetClearColor(20, 20, 30);
  const Ref<TTimer> timer = StartTimer(4);
  if (!timer) throw TRuntimeException("Unable to start a timer");
  int32_t sync = -1;  // FlipPage's argument
  bool lampOn = false;
  float ballX = 0;
  int32_t last = MillisNow();
  float averageMillis = 16.7f;

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    // [docs:timer-events]
    // Update: take every queued event; the timer's ticks are among them.
    while (NextEvent() != 0) {
      if (LastEventId() == EVENT_TIMERTICK && LastEventSource() == timer) lampOn = !lampOn;
    }
    // [/docs:timer-events]
    if (KeyHitCount('1') != 0) sync = -1;
    if (KeyHitCount('2') != 0) sync = 1;
    if (KeyHitCount('3') != 0) sync = 0;

    // [docs:elapsed-time]
    // Motion by elapsed time: 200 pixels a second whatever the frame rate.
    const int32_t now = MillisNow();
    const int32_t elapsed = now - last;
    last = now;
    ballX += 200.0f * static_cast<float>(elapsed) / 1000.0f;
    if (ballX > kWidth) ballX -= kWidth;
    averageMillis += (static_cast<float>(elapsed) - averageMillis) * 0.05f;
    // [/docs:elapsed-time]

    // Draw.
    ClearScreen();
    if (lampOn) {
      SetDrawColor(250, 210, 60);
    } else {
      SetDrawColor(70, 60, 30);
    }
    DrawOval(40, 80, 60, 60);
    SetDrawColor(100, 200, 255);
    DrawOval(ballX - 15, 300, 30, 30);
    SetDrawColor(255, 255, 255);
    DrawText(String("Timer ticks: ") + String::FromInt(TimerTickCount(timer)), 120, 104);
    const char* modes[] = {"paced to 60 Hz (1)", "at once (3)", "at the display's retrace (2)"};
    DrawText(String("Presenting ") + modes[sync + 1], 8, 8);
    DrawText(String("Frame time: ") + String::FromFloat(averageMillis).Slice(0, 5) + " ms", 8, 26);
    DrawText("1, 2 and 3 change how frames are presented, Escape quits", 8, 450);
    // [docs:flip]
    FlipPage(sync);  // -1: sleeps to the next 60 Hz slot, then presents
    // [/docs:flip]
  }

  // Clean-up: a running timer keeps itself alive until it is stopped.
  StopTimer(timer);
  CloseMainGraphics();
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
