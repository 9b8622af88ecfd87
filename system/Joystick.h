// Polled joystick input: buttons held and hit, axes normalised to -1 ... 1 and the hat as a
// fraction of a turn, for ports 0 to 15 assigned to the platform's devices.
#pragma once

#include <cstdint>

#include "runtime/String.h"

namespace corvex {

// Ports and buttons the tables keep; others answer as an absent device.
inline constexpr int32_t kJoystickPorts = 16;
inline constexpr int32_t kJoystickButtons = 16;

// Assigns the devices present, in the platform's order, to ports 0, 1, ...; answers how many.
int32_t CountJoysticks();
// The device's product name, "" when it cannot be read.
String JoystickName(int32_t port = 0);
// A bit for each of the device's buttons; 0 when it cannot be read.
int32_t JoystickButtonMask(int32_t port = 0);
// A bit for each of the device's axes (x, y, z, r, u, v) plus 0x200 for a hat; 0 when it
// cannot be read.
int32_t JoystickAxisMask(int32_t port = 0);
// 1 when the button is held now.
int32_t JoystickButtonDown(int32_t button, int32_t port = 0);
// Presses of the button since the last call for that button and port.
int32_t JoystickButtonHits(int32_t button, int32_t port = 0);
// The axes now, -1 ... 1.
float JoystickX(int32_t port = 0);
float JoystickY(int32_t port = 0);
float JoystickZ(int32_t port = 0);
float JoystickR(int32_t port = 0);
float JoystickU(int32_t port = 0);
float JoystickV(int32_t port = 0);
// The hat now as a fraction of a turn clockwise from up (0.25 right), -1 when centred.
float JoystickHat(int32_t port = 0);

// The joystick module's initialiser (the platform's joystick service starts on first use).
void InitJoystickModule();

}  // namespace corvex
