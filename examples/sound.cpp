// Sound: a short tone loaded from a WAV file plays on each press of Space, panned to where the
// mouse pointer is (left edge: left speaker, right edge: right speaker) and followed while it
// plays; the window shows whether its channel is still playing and which audio driver is in
// use, which it also prints at the start. Escape or closing the window quits. Without a sound
// card the framework falls back to the silent "Null" driver, and the example runs all the same.
//
// Run: build/release/examples/corvex-example-sound (the sound lies in assets/examples beside
// it; SDL_AUDIODRIVER=dummy plays to nowhere without an audio device)
// With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N frames.
#include <algorithm>
#include <cstdlib>

#include "audio/AudioDriver.h"
#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "stream/StdIO.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"

using namespace corvex;

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr float kLamp = 80;  // diameter of the playing lamp

// Whether the main loop goes on: no Escape, no close request, and under the frame limit.
bool KeepRunning(int32_t frame) {
  static const char* const limit = std::getenv("CORVEX_EXAMPLE_FRAMES");
  if (limit != nullptr && frame >= std::atoi(limit)) return false;
  return KeyHitCount(KEY_ESCAPE) == 0 && TakeTerminateRequest() == 0;
}

// The pan for a pointer position: -1 at the window's left edge, 1 at its right.
float PanAt(int32_t x) {
  return std::clamp(static_cast<float>(x) / (kWidth - 1) * 2 - 1, -1.0f, 1.0f);
}

void RunExample() {
  // Set-up: the framework and a window; the sound is made by the current audio driver,
  // which the first sound chooses (the software mixer, or "Null" when no device opens).
  InitFrameworkModules();
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
  SetClearColor(20, 30, 40);
  // [docs:play-sound]
  // OpenSound answers Null when the file is missing or no loader reads it; flags 0: play once.
  const Ref<TSound> beep = OpenSound("assets/examples/beep.wav", 0);
  if (!beep) throw TRuntimeException("Unable to load assets/examples/beep.wav");
  // Say which driver plays: "Null" means no audio device opened and the example is silent.
  const String driver = CurrentAudioDriver()->Name();
  PrintLine(
      "Audio driver: " + driver +
      (driver == "Null" ? String(" (no audio device could be opened: nothing will be heard)") : String()));
  Ref<TChannel> channel;  // Null until the first press; the Channel functions accept Null
  int32_t plays = 0;

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    // Each press starts the sound on a channel of its own; the newest one follows the mouse.
    for (int32_t press = KeyHitCount(KEY_SPACE); press > 0; --press, ++plays) {
      channel = StartSound(beep, Null);
    }
    const float pan = PanAt(PointerX());
    ChannelSetPan(channel, pan);
    const bool playing = ChannelIsPlaying(channel) != 0;
    // [/docs:play-sound]

    // Draw: a lamp that lights while the channel plays, a bar showing the pan, some help.
    ClearScreen();
    const float lampX = (kWidth - kLamp) / 2;
    if (playing) {
      SetDrawColor(120, 230, 120);
    } else {
      SetDrawColor(70, 80, 90);
    }
    DrawOval(lampX, 150, kLamp, kLamp);
    SetDrawColor(200, 200, 200);
    DrawLine(40, 300, kWidth - 40, 300);
    const float marker = 40 + (pan + 1) / 2 * (kWidth - 80);
    SetDrawColor(250, 200, 60);
    DrawRect(marker - 4, 290, 8, 20);
    SetDrawColor(255, 255, 255);
    DrawText("Space plays the tone; the mouse's x pans it; Escape quits", 8, 8);
    DrawText("Audio driver: " + driver, 8, 26);
    DrawText(String(playing ? "Playing" : "Silent") + "   plays: " + String::FromInt(plays) +
                 "   pan: " + String::FromInt(static_cast<int64_t>(pan * 100)) + "%",
             8, 44);
    DrawText("left", 40, 316);
    DrawText("right", kWidth - 80, 316);
    FlipPage(-1);
  }

  // Clean-up: stop the sound and close the window (both would also happen at exit).
  ChannelStop(channel);
  CloseMainGraphics();
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
