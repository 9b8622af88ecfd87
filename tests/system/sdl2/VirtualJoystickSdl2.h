// A virtual joystick attached to SDL, for testing the SDL joystick path without hardware.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvex::testing_support {

// How many events wait in SDL's queue after pumping it.
int32_t PendingSdlEvents();

class VirtualJoystick {
 public:
  struct Options {
    // Whether SDL reports the device as a game controller (SDL then maps it by itself).
    bool gamepadType = true;
    // Whether the device has motors; their last request is kept (LastRumble).
    bool rumble = false;
  };
  struct Rumble {
    uint16_t low = 0;
    uint16_t high = 0;
  };

  // Attaches a device named `name` with the given counts; Attached() tells whether SDL took it.
  VirtualJoystick(const char* name, int32_t axes, int32_t buttons, int32_t hats);
  VirtualJoystick(const char* name, int32_t axes, int32_t buttons, int32_t hats, Options options);
  ~VirtualJoystick();
  VirtualJoystick(const VirtualJoystick&) = delete;
  VirtualJoystick& operator=(const VirtualJoystick&) = delete;

  bool Attached() const noexcept;
  // Raw SDL values: axes -32768 ... 32767, buttons 0/1, hat bits 1 up, 2 right, 4 down, 8 left.
  void SetAxis(int32_t axis, int32_t value);
  void SetButton(int32_t button, bool down);
  void SetHat(int32_t hat, uint8_t bits);
  // The device's GUID as mapping files write it (32 hex digits, no name checksum).
  std::string MappingGuid() const;
  Rumble LastRumble() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace corvex::testing_support
