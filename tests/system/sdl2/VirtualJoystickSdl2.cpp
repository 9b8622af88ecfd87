#include "tests/system/sdl2/VirtualJoystickSdl2.h"

#include <SDL.h>

namespace corvex::testing_support {

struct VirtualJoystick::State {
  bool subsystem = false;
  int deviceIndex = -1;
  SDL_Joystick* joystick = nullptr;
  Rumble rumble;
};

namespace {

int KeepRumble(void* userdata, Uint16 low, Uint16 high) {
  auto* const rumble = static_cast<VirtualJoystick::Rumble*>(userdata);
  *rumble = {low, high};
  return 0;
}

}  // namespace

int32_t PendingSdlEvents() {
  SDL_PumpEvents();
  return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
}

VirtualJoystick::VirtualJoystick(const char* name, int32_t axes, int32_t buttons, int32_t hats)
    : VirtualJoystick(name, axes, buttons, hats, Options()) {}

VirtualJoystick::VirtualJoystick(const char* name, int32_t axes, int32_t buttons, int32_t hats,
                                 Options options)
    : state_(std::make_unique<State>()) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  state_->subsystem = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  if (!state_->subsystem) return;
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = options.gamepadType ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN;
  desc.naxes = static_cast<Uint16>(axes);
  desc.nbuttons = static_cast<Uint16>(buttons);
  desc.nhats = static_cast<Uint16>(hats);
  desc.name = name;
  if (options.rumble) {
    desc.userdata = &state_->rumble;
    desc.Rumble = KeepRumble;
  }
  state_->deviceIndex = SDL_JoystickAttachVirtualEx(&desc);
  if (state_->deviceIndex >= 0) state_->joystick = SDL_JoystickOpen(state_->deviceIndex);
}

VirtualJoystick::~VirtualJoystick() {
  if (state_->joystick != nullptr) {
    const SDL_JoystickID instance = SDL_JoystickInstanceID(state_->joystick);
    SDL_JoystickClose(state_->joystick);
    for (int index = 0; index < SDL_NumJoysticks(); ++index) {
      if (SDL_JoystickGetDeviceInstanceID(index) == instance) SDL_JoystickDetachVirtual(index);
    }
  }
  if (state_->subsystem) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

bool VirtualJoystick::Attached() const noexcept {
  return state_->joystick != nullptr;
}

void VirtualJoystick::SetAxis(int32_t axis, int32_t value) {
  SDL_JoystickSetVirtualAxis(state_->joystick, axis, static_cast<Sint16>(value));
}

void VirtualJoystick::SetButton(int32_t button, bool down) {
  SDL_JoystickSetVirtualButton(state_->joystick, button, down ? 1 : 0);
}

void VirtualJoystick::SetHat(int32_t hat, uint8_t bits) {
  SDL_JoystickSetVirtualHat(state_->joystick, hat, bits);
}

std::string VirtualJoystick::MappingGuid() const {
  char text[33] = {};
  SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(state_->joystick), text, sizeof text);
  // Bytes 2 and 3 carry a checksum of the name that mappings leave as zero.
  std::string guid = text;
  if (guid.size() == 32) guid.replace(4, 4, "0000");
  return guid;
}

VirtualJoystick::Rumble VirtualJoystick::LastRumble() const {
  return state_->rumble;
}

}  // namespace corvex::testing_support
