// What the joystick module needs from the platform: devices by id, their capabilities and
// their raw state, in the platform-neutral form the module normalises.
#pragma once

#include <array>
#include <cstdint>

#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

// The axes the module reads, in slot order: x, y, z, r, u, v.
inline constexpr int32_t kJoystickAxes = 6;
// The hat code of a centred hat; directions are hundredths of a degree clockwise from up.
inline constexpr int32_t kHatCentred = 0xFFFF;

struct JoystickCaps {
  String name;
  int32_t buttonCount = 0;
  int32_t axisCount = 0;
  bool hasHat = false;
  // The raw range of every axis.
  std::array<int32_t, kJoystickAxes> axisMin{};
  std::array<int32_t, kJoystickAxes> axisMax{};
};

struct JoystickReading {
  // Bit b set: button b held.
  uint32_t buttons = 0;
  std::array<int32_t, kJoystickAxes> axes{};
  int32_t hat = kHatCentred;
};

// A platform's joysticks. Device ids run from 0 to DeviceCount() - 1.
class TJoystickPlatform : public Object {
 public:
  // Number of device ids to try.
  virtual int32_t DeviceCount() = 0;
  // Whether the device answers a position query now.
  virtual bool DevicePresent(int32_t device) = 0;
  // The device's capabilities; false when they cannot be read.
  virtual bool ReadCaps(int32_t device, JoystickCaps& caps) = 0;
  // The device's current state; false when it cannot be read.
  virtual bool ReadState(int32_t device, JoystickReading& reading) = 0;
};

// Makes `platform` the joysticks' source (tests put a fake device here) and forgets every
// port's assignment, state and hits; Null restores the platform's own on next use.
void SetJoystickPlatform(const Ref<TJoystickPlatform>& platform);

namespace platform {
// The platform's joysticks.
Ref<TJoystickPlatform> NewJoystickPlatform();
}  // namespace platform

}  // namespace corvex
