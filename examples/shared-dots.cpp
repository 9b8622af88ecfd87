// Shared objects: every running copy owns one dot, moved with the arrow keys, and draws the
// dots of all the others. One copy is the hub the others dial; it relays between them.
//
// Run:  build/release/examples/corvex-example-shared-dots --listen 4567      (0: any free port)
//       build/release/examples/corvex-example-shared-dots --dial 127.0.0.1 4567   (as often as you like)
// Escape or closing the window quits; a client whose hub has gone shows it in its caption.
// With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N frames. On
// the way out it prints "dot X Y own|peer" for every dot it knows, for scripts to check.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "graphics/Graphics.h"
#include "net/OrbuHost.h"
#include "runtime/AppStrings.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"

using namespace corvex;

namespace {

constexpr int32_t kWidth = 480;
constexpr int32_t kHeight = 360;
constexpr float kSize = 24;
constexpr int32_t kSpeed = 3;  // pixels a frame
// The dot's slots.
constexpr int32_t kSlotX = 0;
constexpr int32_t kSlotY = 1;

bool KeepRunning(int32_t frame) {
  static const char* const limit = std::getenv("CORVEX_EXAMPLE_FRAMES");
  if (limit != nullptr && frame >= std::atoi(limit)) return false;
  return KeyHitCount(KEY_ESCAPE) == 0 && TakeTerminateRequest() == 0;
}

// [docs:connect]
// Listens or dials as the command line says; answers the caption, or throws with the usage.
String Connect(const Ref<TOrbuHost>& host) {
  const Array<String>& args = AppArguments();
  if (args.Length() == 3 && args[1] == String("--listen")) {
    if (!OrbuOpenPort(host, args[2].ToInt())) throw TRuntimeException("Unable to listen on port " + args[2]);
    // Port 0 takes any free port; say which, so that clients can be pointed at it.
    std::printf("port %d\n", host->Port());
    std::fflush(stdout);
    return "hub on port " + String::FromInt(host->Port());
  }
  if (args.Length() == 4 && args[1] == String("--dial")) {
    if (!OrbuDial(host, args[2], args[3].ToInt(), 5000)) {
      throw TRuntimeException("No hub answered at " + args[2] + ":" + args[3]);
    }
    return "dialled " + args[2] + ":" + args[3];
  }
  throw TRuntimeException("usage: corvex-example-shared-dots --listen PORT | --dial HOST PORT");
}
// [/docs:connect]

void RunExample() {
  // Set-up: the framework, the network, a small window and this copy's dot.
  InitFrameworkModules();
  const Ref<TOrbuHost> host = NewOrbuHost();
  const String caption = Connect(host);
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a 480 x 360 window");
  SetClearColor(20, 24, 36);
  // [docs:own-object]
  const Ref<TOrbuObject> dot = NewOrbuObject(host);
  PutOrbuInt(dot, kSlotX, kWidth / 2);
  PutOrbuInt(dot, kSlotY, kHeight / 2);
  // [/docs:own-object]
  const bool hub = AppArguments()[1] == String("--listen");

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    // [docs:pump]
    // Update: arrows move the dot; only changed slots travel at the pump.
    const int32_t dx = (IsKeyDown(KEY_RIGHT) - IsKeyDown(KEY_LEFT)) * kSpeed;
    const int32_t dy = (IsKeyDown(KEY_DOWN) - IsKeyDown(KEY_UP)) * kSpeed;
    if (dx != 0) PutOrbuInt(dot, kSlotX, std::clamp(FetchOrbuInt(dot, kSlotX) + dx, 0, kWidth));
    if (dy != 0) PutOrbuInt(dot, kSlotY, std::clamp(FetchOrbuInt(dot, kSlotY) + dy, 0, kHeight));
    PumpOrbuHost(host);

    // Draw: every live dot, this copy's own in white, the others coloured by their id.
    ClearScreen();
    for (const Ref<Object>& item : *OrbuObjectList(host, kOrbuListAll)) {
      const Ref<TOrbuObject> object = Cast<TOrbuObject>(item);
      if (object == dot) {
        SetDrawColor(255, 255, 255);
      } else {
        SetDrawColor(80 + object->id * 67 % 176, 80 + object->id * 151 % 176, 80 + object->id * 97 % 176);
      }
      DrawOval(static_cast<float>(FetchOrbuInt(object, kSlotX)) - kSize / 2,
               static_cast<float>(FetchOrbuInt(object, kSlotY)) - kSize / 2, kSize, kSize);
    }
    // [/docs:pump]
    SetDrawColor(200, 200, 200);
    const bool alone = !hub && host->peers->IsEmpty();
    DrawText(caption + (alone ? String(" (hub gone)") : String()), 8, 8);
    const int32_t dots = host->objects->Count();
    DrawText(String::FromInt(dots) + (dots == 1 ? " dot" : " dots") + "; arrows move yours", 8, 26);
    FlipPage(-1);
  }

  // Clean-up: report the dots; peers see this copy's dot close when it disconnects.
  for (const Ref<Object>& item : *OrbuObjectList(host, kOrbuListAll)) {
    const Ref<TOrbuObject> object = Cast<TOrbuObject>(item);
    std::printf("dot %d %d %s\n", FetchOrbuInt(object, kSlotX), FetchOrbuInt(object, kSlotY),
                object == dot ? "own" : "peer");
  }
  std::fflush(stdout);
  ShutOrbuHost(host);
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
