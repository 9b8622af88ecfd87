// A child process whose output is shown in the window: a shell counts slowly to ten on its
// standard output while the window keeps drawing; lines are taken without ever waiting, so a
// silent child does not freeze the frame loop. R runs it again (killing a child still running);
// Escape or closing the window quits, and children still running are killed at exit.
//
// Run: build/release/examples/corvex-example-child-process [COMMAND LINE]
// The optional arguments name another program to run, e.g. `ls -l /`.
// With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N frames.
#include <cstdlib>
#include <deque>

#include "graphics/Graphics.h"
#include "process/Process.h"
#include "runtime/Exceptions.h"
#include "startup/AppStrings.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"

using namespace corvex;

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr size_t kShownLines = 24;
constexpr const char* kCountingChild =
    "sh -c \"for i in 1 2 3 4 5 6 7 8 9 10; do echo line $i; sleep 0.2; done\"";

// Whether the main loop goes on: no Escape, no close request, and under the frame limit.
bool KeepRunning(int32_t frame) {
  static const char* const limit = std::getenv("CORVEX_EXAMPLE_FRAMES");
  if (limit != nullptr && frame >= std::atoi(limit)) return false;
  return KeyHitCount(KEY_ESCAPE) == 0 && TakeTerminateRequest() == 0;
}

// The command line from the program's arguments, or the counting shell without any.
String ChildCommand() {
  const Array<String>& arguments = AppArguments();
  if (arguments.Length() < 2) return kCountingChild;
  String command;
  for (int32_t i = 1; i < arguments.Length(); ++i) command += (i > 1 ? " " : "") + arguments[i];
  return command;
}

void RunExample() {
  // Set-up.
  InitFrameworkModules();
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
  SetClearColor(12, 12, 16);
  const String command = ChildCommand();
  std::deque<String> lines;
  Ref<TProcess> child;

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    // Update: start the child on the first frame and on R.
    if (frame == 0 || KeyHitCount('R') != 0) {
      if (child) {
        KillProcess(child);
        child->ClosePipes();
      }
      lines.clear();
      // [docs:launch]
      child = LaunchProcess(command);
      if (!child) throw TRuntimeException("Unable to start: " + command);
      // [/docs:launch]
    }
    // [docs:read-lines]
    // ReadLine on a pipe takes only what has already arrived: "" while no line is complete.
    for (String line = child->Pipe()->ReadLine(); !line.IsEmpty(); line = child->Pipe()->ReadLine()) {
      lines.push_back(line);
      if (lines.size() > kShownLines) lines.pop_front();
    }
    const bool running = ProcessRunning(child) != 0;
    // [/docs:read-lines]

    // Draw.
    ClearScreen();
    SetDrawColor(120, 220, 120);
    float y = 50;
    for (const String& line : lines) {
      DrawText(line, 8, y);
      y += 16;
    }
    SetDrawColor(255, 255, 255);
    DrawText(String("$ ") + command, 8, 8);
    DrawText(running ? "running..." : "ended", 8, 26);
    DrawText("R runs it again, Escape quits", 8, 456);
    // A spinner shows that the frames go on while the child is quiet.
    SetTransform(static_cast<float>(frame * 6), 1, 1);
    SetHandle(10, 2);
    DrawRect(600, 30, 20, 4);
    SetHandle(0, 0);
    SetTransform(0, 1, 1);
    FlipPage(-1);
  }

  // Clean-up: stop a child still running and close its pipes.
  if (child) {
    KillProcess(child);
    child->ClosePipes();
  }
  CloseMainGraphics();
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
