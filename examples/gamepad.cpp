// Gamepads and joysticks: the first gamepad's buttons, sticks and triggers drawn as a pad, lit
// while held; the south button makes the pad rumble and counts its presses. Up and Down change
// the dead zone. A joystick without a mapping shows its raw axes, buttons and hat instead.
// Mappings for more pads load from gamecontrollerdb.txt beside the program when it is there.
// Escape or closing the window quits.
//
// Run: build/release/examples/corvex-example-gamepad
// With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N frames.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "system/Gamepad.h"
#include "system/InputTracker.h"
#include "system/Joystick.h"
#include "system/KeyCodes.h"
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

// Bright while held, dim otherwise.
void SetLit(bool held) {
  if (held) {
    SetDrawColor(250, 210, 70);
  } else {
    SetDrawColor(70, 70, 90);
  }
}

// A round button centred at (x, y).
void DrawButton(int32_t port, int32_t button, float x, float y, float size) {
  SetLit(GamepadDown(port, button));
  DrawOval(x - size / 2, y - size / 2, size, size);
}

// A rectangular button (shoulder, d-pad) with its top left at (x, y).
void DrawKey(int32_t port, int32_t button, float x, float y, float width, float height) {
  SetLit(GamepadDown(port, button));
  DrawRect(x, y, width, height);
}

// A stick's travel as a disc with its position as a dot; the disc lights while pressed in.
void DrawStick(int32_t port, int32_t xAxis, int32_t button, float x, float y) {
  constexpr float kRadius = 40;
  SetLit(GamepadDown(port, button));
  DrawOval(x - kRadius, y - kRadius, kRadius * 2, kRadius * 2);
  SetDrawColor(255, 255, 255);
  const float dotX = x + GamepadAxis(port, xAxis) * kRadius;
  const float dotY = y + GamepadAxis(port, xAxis + 1) * kRadius;
  DrawOval(dotX - 6, dotY - 6, 12, 12);
}

// A bar filled to `value`: 0 ... 1 from the left, or -1 ... 1 from the middle when `centred`.
void DrawBar(float x, float y, float width, float value, bool centred) {
  SetDrawColor(70, 70, 90);
  DrawRect(x, y, width, 10);
  SetDrawColor(90, 200, 250);
  if (centred) {
    DrawRect(x + width / 2 + std::min(value, 0.0f) * width / 2, y, std::abs(value) * width / 2, 10);
  } else {
    DrawRect(x, y, value * width, 10);
  }
}

void DrawGamepad(int32_t port) {
  // [docs:gamepad-read]
  // Buttons by position, the same on every pad the mappings know.
  DrawButton(port, GAMEPAD_SOUTH, 470, 235, 30);
  DrawButton(port, GAMEPAD_EAST, 505, 200, 30);
  DrawButton(port, GAMEPAD_WEST, 435, 200, 30);
  DrawButton(port, GAMEPAD_NORTH, 470, 165, 30);
  DrawButton(port, GAMEPAD_BACK, 275, 200, 18);
  DrawButton(port, GAMEPAD_GUIDE, 320, 200, 22);
  DrawButton(port, GAMEPAD_START, 365, 200, 18);
  // Sticks read -1 ... 1 (y grows downwards), triggers 0 ... 1.
  DrawStick(port, GAMEPAD_LEFT_X, GAMEPAD_LEFT_STICK, 170, 200);
  DrawStick(port, GAMEPAD_RIGHT_X, GAMEPAD_RIGHT_STICK, 400, 320);
  DrawBar(110, 100, 120, GamepadAxis(port, GAMEPAD_LEFT_TRIGGER), false);
  DrawBar(410, 100, 120, GamepadAxis(port, GAMEPAD_RIGHT_TRIGGER), false);
  // [/docs:gamepad-read]
  DrawKey(port, GAMEPAD_LEFT_SHOULDER, 110, 120, 120, 16);
  DrawKey(port, GAMEPAD_RIGHT_SHOULDER, 410, 120, 120, 16);
  DrawKey(port, GAMEPAD_DPAD_UP, 228, 278, 24, 24);
  DrawKey(port, GAMEPAD_DPAD_DOWN, 228, 326, 24, 24);
  DrawKey(port, GAMEPAD_DPAD_LEFT, 204, 302, 24, 24);
  DrawKey(port, GAMEPAD_DPAD_RIGHT, 252, 302, 24, 24);
}

// A joystick the mappings do not know: its six axes as bars, its buttons as lamps, its hat.
void DrawJoystick(int32_t port) {
  // [docs:joystick-read]
  // Raw joysticks: axes by letter, buttons by number, the hat as a fraction of a turn.
  const float axes[6] = {JoystickX(port), JoystickY(port), JoystickZ(port),
                         JoystickR(port), JoystickU(port), JoystickV(port)};
  const int32_t buttons = JoystickButtonMask(port);
  for (int32_t button = 0; button < kJoystickButtons; ++button) {
    if ((buttons >> button & 1) == 0) continue;  // the device has no such button
    SetLit(JoystickButtonDown(button, port) != 0);
    DrawOval(110 + static_cast<float>(button) * 28, 330, 22, 22);
  }
  const float hat = JoystickHat(port);  // -1 when centred
  // [/docs:joystick-read]
  for (int32_t axis = 0; axis < 6; ++axis) {
    const float y = 110 + static_cast<float>(axis) * 30;
    SetDrawColor(255, 255, 255);
    DrawText(String(std::u16string(1, u"XYZRUV"[axis])), 90, y - 3);
    DrawBar(110, y, 300, axes[axis], true);
  }
  SetDrawColor(255, 255, 255);
  DrawText(hat < 0 ? String("Hat: centred")
                   : "Hat: " + String::FromInt(static_cast<int32_t>(hat * 360)) + " degrees",
           110, 290);
}

void RunExample() {
  InitFrameworkModules();
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
  SetClearColor(25, 25, 35);
  // [docs:gamepad-setup]
  // More mappings than SDL's own: a mapping file in the community's format, when it is there.
  const int32_t mappings = LoadGamepadMappings("gamecontrollerdb.txt");
  SetGamepadDeadZone(0.15f);
  // [/docs:gamepad-setup]
  int32_t southPresses = 0;

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    if (KeyHitCount(KEY_UP) != 0) SetGamepadDeadZone(GamepadDeadZone() + 0.05f);
    if (KeyHitCount(KEY_DOWN) != 0) SetGamepadDeadZone(GamepadDeadZone() - 0.05f);
    // [docs:gamepad-ports]
    // The first pad plugged in; ports keep their pads while others come and go.
    int32_t port = -1;
    for (int32_t p = 0; p < GamepadCount() && port < 0; ++p) {
      if (GamepadConnected(p)) port = p;
    }
    // Hits count presses between calls, so a tap shorter than a frame still counts.
    if (port >= 0 && GamepadHits(port, GAMEPAD_SOUTH) > 0) {
      ++southPresses;
      GamepadRumble(port, 0.6f, 0.3f, 150);  // ignored by a pad without motors
    }
    // [/docs:gamepad-ports]

    ClearScreen();
    SetDrawColor(255, 255, 255);
    if (port >= 0) {
      DrawText("Port " + String::FromInt(port) + ": " + GamepadName(port), 8, 8);
      DrawText("South presses: " + String::FromInt(southPresses), 8, 26);
      DrawGamepad(port);
    } else if (CountJoysticks() > 0) {
      DrawText("Joystick without a mapping: " + JoystickName(0), 8, 8);
      DrawJoystick(0);
    } else {
      // A port without a pad reads as all released: the layout, unlit.
      DrawText("No gamepad or joystick: plug one in", 8, 8);
      DrawGamepad(0);
    }
    SetDrawColor(200, 200, 200);
    DrawText("Dead zone " + String::FromInt(static_cast<int32_t>(GamepadDeadZone() * 100 + 0.5f)) +
                 "% (Up and Down change it), " + String::FromInt(mappings) +
                 " mappings from gamecontrollerdb.txt",
             8, kHeight - 44);
    DrawText("Escape quits", 8, kHeight - 26);
    FlipPage(-1);
  }

  CloseMainGraphics();
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
