// A virtual joystick attached to SDL, for testing the SDL joystick path without hardware.
#pragma once

#include <cstdint>
#include <memory>

namespace corvex::testing_support {

class VirtualJoystick {
 public:
  // Attaches a device named `name` with the given counts; Attached() tells whether SDL took it.
  VirtualJoystick(const char* name, int32_t axes, int32_t buttons, int32_t hats);
  ~VirtualJoystick();
  VirtualJoystick(const VirtualJoystick&) = delete;
  VirtualJoystick& operator=(const VirtualJoystick&) = delete;

  bool Attached() const noexcept;
  // Raw SDL values: axes -32768 ... 32767, buttons 0/1, hat bits 1 up, 2 right, 4 down, 8 left.
  void SetAxis(int32_t axis, int32_t value);
  void SetButton(int32_t button, bool down);
  void SetHat(int32_t hat, uint8_t bits);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace corvex::testing_support
