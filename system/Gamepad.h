// Gamepads with the standard layout: face buttons by position, shoulders, sticks, d-pad and
// triggers, whatever the pad's own numbering, from a database of per-device mappings. Ports stay
// with their pad while it is plugged in; pads plugged in later take the lowest free port.
#pragma once

#include <cstdint>

#include "runtime/String.h"
#include "stream/Url.h"

namespace corvex {

// Ports 0 to kGamepadPorts - 1; pads beyond that many wait until a port frees up.
inline constexpr int32_t kGamepadPorts = 16;

// Buttons, named by where they sit: the face buttons by compass point (south is the bottom
// one, whatever letter or shape it bears).
inline constexpr int32_t GAMEPAD_SOUTH = 0;
inline constexpr int32_t GAMEPAD_EAST = 1;
inline constexpr int32_t GAMEPAD_WEST = 2;
inline constexpr int32_t GAMEPAD_NORTH = 3;
inline constexpr int32_t GAMEPAD_BACK = 4;
inline constexpr int32_t GAMEPAD_GUIDE = 5;
inline constexpr int32_t GAMEPAD_START = 6;
inline constexpr int32_t GAMEPAD_LEFT_STICK = 7;  // the left stick pressed in
inline constexpr int32_t GAMEPAD_RIGHT_STICK = 8;
inline constexpr int32_t GAMEPAD_LEFT_SHOULDER = 9;
inline constexpr int32_t GAMEPAD_RIGHT_SHOULDER = 10;
inline constexpr int32_t GAMEPAD_DPAD_UP = 11;
inline constexpr int32_t GAMEPAD_DPAD_DOWN = 12;
inline constexpr int32_t GAMEPAD_DPAD_LEFT = 13;
inline constexpr int32_t GAMEPAD_DPAD_RIGHT = 14;
inline constexpr int32_t kGamepadButtons = 15;

// Axes. Sticks read -1 ... 1 with x growing to the right and y growing downwards (as on the
// screen); triggers read 0 (released) ... 1 (fully pulled).
inline constexpr int32_t GAMEPAD_LEFT_X = 0;
inline constexpr int32_t GAMEPAD_LEFT_Y = 1;
inline constexpr int32_t GAMEPAD_RIGHT_X = 2;
inline constexpr int32_t GAMEPAD_RIGHT_Y = 3;
inline constexpr int32_t GAMEPAD_LEFT_TRIGGER = 4;
inline constexpr int32_t GAMEPAD_RIGHT_TRIGGER = 5;
inline constexpr int32_t kGamepadAxes = 6;

// The dead zone until SetGamepadDeadZone changes it.
inline constexpr float kDefaultGamepadDeadZone = 0.1f;

// The ports to look at: one past the highest port with a pad (0 when none is plugged in), so a
// loop up to it meets every pad; a port below it whose pad went reads as not connected.
int32_t GamepadCount();
// Whether a pad is on the port now.
bool GamepadConnected(int32_t port);
// The pad's name from its mapping; "" when the port has no pad.
String GamepadName(int32_t port);
// Whether the button is held now; false for a port without a pad or an unknown button.
bool GamepadDown(int32_t port, int32_t button);
// Presses of the button seen since the last call for that button and port; the count then
// starts again from 0. A held button counts once.
int32_t GamepadHits(int32_t port, int32_t button);
// The axis now, outside the dead zone: -1 ... 1 for the sticks, 0 ... 1 for the triggers; 0 for
// a port without a pad or an unknown axis.
float GamepadAxis(int32_t port, int32_t axis);
// Sets the dead zone, a fraction of the full travel (0 to 0.99) below which a stick or trigger
// reads 0. A stick's two axes count together by their distance from the centre, and beyond the
// dead zone the reading is stretched so that it still starts at 0 and reaches 1.
void SetGamepadDeadZone(float fraction);
// The dead zone in use.
float GamepadDeadZone();
// Starts the pad's low- and high-frequency motors at the given strengths (0 ... 1) for the given
// time, replacing an earlier request (0 ms stops them); answers whether the pad can.
bool GamepadRumble(int32_t port, float low, float high, int32_t milliseconds);
// Adds the mappings of a mapping file (one device a line: GUID, name, bindings, as the
// community's database of mappings spells them) read from the URL. Lines for another platform,
// comments and lines that do not parse are passed over; a line for a device already mapped
// replaces its mapping. Answers how many devices gained a mapping they did not have; 0 when the
// URL does not open, fails while read or is larger than 16 MiB.
int32_t LoadGamepadMappings(const Url& url);

// The gamepad module's initialiser (the platform's service starts on first use, with its
// built-in mappings and those of the environment variable SDL_GAMECONTROLLERCONFIG).
void InitGamepadModule();

}  // namespace corvex
