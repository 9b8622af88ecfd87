#include <SDL.h>

#include "system/JoystickPlatform.h"

namespace corvex {
namespace {

// SDL joysticks seen through the module's platform interface. Device ids are SDL's device
// indices; SDL's axes (-32768 ... 32767) are reported shifted to 0 ... 65535, so the module's
// normalisation maps them onto -1 ... 1.
class TSdl2JoystickPlatform : public TJoystickPlatform {
 public:
  TSdl2JoystickPlatform() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Programs poll joysticks whether or not one of their windows has the focus.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    started_ = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
    // Polled, never dispatched: the state is refreshed before each read instead, and the event
    // pump is spared a stream of axis events.
    if (started_) SDL_JoystickEventState(SDL_IGNORE);
  }
  ~TSdl2JoystickPlatform() override {
    if (started_) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  }
  TSdl2JoystickPlatform(const TSdl2JoystickPlatform&) = delete;
  TSdl2JoystickPlatform& operator=(const TSdl2JoystickPlatform&) = delete;

  int32_t DeviceCount() override {
    if (!started_) return 0;
    SDL_JoystickUpdate();  // also notices devices that came or went
    const int count = SDL_NumJoysticks();
    return count > 0 ? count : 0;
  }

  bool DevicePresent(int32_t device) override { return Open(device) != nullptr; }

  bool ReadCaps(int32_t device, JoystickCaps& caps) override {
    SDL_Joystick* const joystick = Open(device);
    if (joystick == nullptr) return false;
    const char* const name = SDL_JoystickName(joystick);
    caps.name = String(name != nullptr ? name : "");
    caps.buttonCount = SDL_JoystickNumButtons(joystick);
    caps.axisCount = SDL_JoystickNumAxes(joystick);
    caps.hasHat = SDL_JoystickNumHats(joystick) > 0;
    caps.axisMin.fill(0);
    caps.axisMax.fill(65535);
    return caps.buttonCount >= 0 && caps.axisCount >= 0;
  }

  bool ReadState(int32_t device, JoystickReading& reading) override {
    SDL_JoystickUpdate();
    SDL_Joystick* const joystick = Open(device);
    if (joystick == nullptr) return false;
    const int buttons = SDL_JoystickNumButtons(joystick);
    for (int button = 0; button < buttons && button < 32; ++button) {
      if (SDL_JoystickGetButton(joystick, button) != 0) reading.buttons |= 1u << button;
    }
    const int axes = SDL_JoystickNumAxes(joystick);
    for (int axis = 0; axis < kJoystickAxes; ++axis) {
      reading.axes[static_cast<std::size_t>(axis)] =
          axis < axes ? SDL_JoystickGetAxis(joystick, axis) + 32768 : 32768;
    }
    reading.hat = SDL_JoystickNumHats(joystick) > 0 ? HatCode(SDL_JoystickGetHat(joystick, 0)) : kHatCentred;
    return true;
  }

 private:
  // The opened joystick at a device index, or nullptr. Joysticks stay open while attached, so
  // SDL keeps their state between reads; one that has gone is closed.
  SDL_Joystick* Open(int32_t device) {
    if (!started_ || device < 0 || device >= SDL_NumJoysticks()) return nullptr;
    const SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(device);
    if (instance < 0) return nullptr;
    SDL_Joystick* joystick = SDL_JoystickFromInstanceID(instance);
    if (joystick == nullptr) joystick = SDL_JoystickOpen(device);
    if (joystick != nullptr && !SDL_JoystickGetAttached(joystick)) {
      SDL_JoystickClose(joystick);
      return nullptr;
    }
    return joystick;
  }

  // SDL's hat bits as hundredths of a degree clockwise from up; impossible pairs read centred.
  static int32_t HatCode(Uint8 hat) {
    switch (hat) {
      case SDL_HAT_UP:
        return 0;
      case SDL_HAT_RIGHTUP:
        return 4500;
      case SDL_HAT_RIGHT:
        return 9000;
      case SDL_HAT_RIGHTDOWN:
        return 13500;
      case SDL_HAT_DOWN:
        return 18000;
      case SDL_HAT_LEFTDOWN:
        return 22500;
      case SDL_HAT_LEFT:
        return 27000;
      case SDL_HAT_LEFTUP:
        return 31500;
      default:
        return kHatCentred;
    }
  }

  bool started_ = false;
};

}  // namespace

Ref<TJoystickPlatform> platform::NewJoystickPlatform() {
  return New<TSdl2JoystickPlatform>();
}

}  // namespace corvex
