// What the gamepad module needs from the platform: the mapped pads attached now, each under an
// id of its own, their state in the standard layout, rumble and the mapping database.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Object.h"
#include "runtime/String.h"
#include "system/Gamepad.h"

namespace corvex {

// One pad's state: bit b of `buttons` set while button b is held; sticks -1 ... 1 and triggers
// 0 ... 1, before any dead zone.
struct GamepadReading {
  uint32_t buttons = 0;
  std::array<float, kGamepadAxes> axes{};
};

// A platform's gamepads. A pad's id stays the same while it is attached and is never given to
// another pad, nor to the same pad plugged in again.
class TGamepadPlatform : public Object {
 public:
  // Brings the list of pads and their state up to date.
  virtual void Update() = 0;
  // The ids of the mapped pads attached now.
  virtual void AttachedPads(std::vector<int64_t>& pads) = 0;
  // The pad's state as of the last Update; false when the pad has gone.
  virtual bool ReadPad(int64_t pad, GamepadReading& reading) = 0;
  // The pad's name, "" when it has gone.
  virtual String PadName(int64_t pad) = 0;
  // Starts the pad's motors (strengths 0 ... 65535); false when it has none or has gone.
  virtual bool Rumble(int64_t pad, uint16_t low, uint16_t high, uint32_t milliseconds) = 0;
  // The platform's name as mapping files write it after "platform:".
  virtual std::string_view MappingPlatform() = 0;
  // Adds one mapping line that has already been checked; true when it gave a device a mapping
  // it did not have.
  virtual bool AddMapping(const std::string& line) = 0;
};

// Makes `platform` the pads' source and frees every port; Null starts the platform's own afresh
// on next use.
void SetGamepadPlatform(const Ref<TGamepadPlatform>& platform);

namespace platform {
// The platform's gamepads.
Ref<TGamepadPlatform> NewGamepadPlatform();
}  // namespace platform

}  // namespace corvex
