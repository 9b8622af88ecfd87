#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_map>

#include "system/GamepadPlatform.h"

namespace corvex {
namespace {

// The standard names are numbered as SDL numbers its buttons and axes.
static_assert(GAMEPAD_SOUTH == SDL_CONTROLLER_BUTTON_A && GAMEPAD_NORTH == SDL_CONTROLLER_BUTTON_Y);
static_assert(GAMEPAD_BACK == SDL_CONTROLLER_BUTTON_BACK &&
              GAMEPAD_DPAD_RIGHT == SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
static_assert(GAMEPAD_LEFT_X == SDL_CONTROLLER_AXIS_LEFTX &&
              GAMEPAD_RIGHT_TRIGGER == SDL_CONTROLLER_AXIS_TRIGGERRIGHT);

// SDL's game controllers seen through the module's platform interface. A pad's id is SDL's
// instance id, which SDL never hands out twice in a run.
class TSdl2GamepadPlatform : public TGamepadPlatform {
 public:
  TSdl2GamepadPlatform() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Programs poll pads whether or not one of their windows has the focus.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // Face buttons by position: otherwise SDL swaps them on pads whose labels sit elsewhere.
    SDL_SetHint(SDL_HINT_GAMECONTROLLER_USE_BUTTON_LABELS, "0");
    // Starting the service loads SDL's own mappings and those of SDL_GAMECONTROLLERCONFIG.
    started_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    // Polled, never dispatched: state is refreshed before each read, and the event queue is
    // spared a stream of axis events nobody takes (the joysticks' too, as their module does).
    if (started_) {
      SDL_GameControllerEventState(SDL_IGNORE);
      SDL_JoystickEventState(SDL_IGNORE);
    }
  }
  ~TSdl2GamepadPlatform() override {
    for (const auto& [id, controller] : open_) SDL_GameControllerClose(controller);
    // The last user of the service going also drops every mapping added at run time.
    if (started_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  }
  TSdl2GamepadPlatform(const TSdl2GamepadPlatform&) = delete;
  TSdl2GamepadPlatform& operator=(const TSdl2GamepadPlatform&) = delete;

  void Update() override {
    if (!started_) return;
    SDL_GameControllerUpdate();  // also notices pads that came or went
    // Pads that went are closed; their instance ids are never seen again.
    for (auto it = open_.begin(); it != open_.end();) {
      if (SDL_GameControllerGetAttached(it->second)) {
        ++it;
      } else {
        SDL_GameControllerClose(it->second);
        it = open_.erase(it);
      }
    }
    // Joysticks that have a mapping are opened as pads, so SDL keeps their state.
    const int devices = SDL_NumJoysticks();
    for (int device = 0; device < devices; ++device) {
      const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(device);
      if (id < 0 || open_.contains(id) || !SDL_IsGameController(device)) continue;
      SDL_GameController* const controller = SDL_GameControllerOpen(device);
      if (controller != nullptr) open_.emplace(id, controller);
    }
  }

  void AttachedPads(std::vector<int64_t>& pads) override {
    pads.clear();
    for (const auto& [id, controller] : open_) pads.push_back(id);
    // The platform's order, so pads present together take ports as SDL numbers them.
    std::sort(pads.begin(), pads.end());
  }

  bool ReadPad(int64_t pad, GamepadReading& reading) override {
    SDL_GameController* const controller = Find(pad);
    if (controller == nullptr) return false;
    reading = GamepadReading();
    for (int button = 0; button < kGamepadButtons; ++button) {
      if (SDL_GameControllerGetButton(controller, static_cast<SDL_GameControllerButton>(button)) != 0) {
        reading.buttons |= 1u << button;
      }
    }
    for (int axis = 0; axis < kGamepadAxes; ++axis) {
      // -32768 ... 32767 for sticks, 0 ... 32767 for triggers; the extra step below 0 is clamped.
      const float value =
          SDL_GameControllerGetAxis(controller, static_cast<SDL_GameControllerAxis>(axis)) / 32767.0f;
      reading.axes[static_cast<std::size_t>(axis)] = std::max(value, -1.0f);
    }
    return true;
  }

  String PadName(int64_t pad) override {
    SDL_GameController* const controller = Find(pad);
    const char* const name = controller != nullptr ? SDL_GameControllerName(controller) : nullptr;
    return String(name != nullptr ? name : "");
  }

  bool Rumble(int64_t pad, uint16_t low, uint16_t high, uint32_t milliseconds) override {
    SDL_GameController* const controller = Find(pad);
    return controller != nullptr && SDL_GameControllerHasRumble(controller) &&
           SDL_GameControllerRumble(controller, low, high, milliseconds) == 0;
  }

  std::string_view MappingPlatform() override { return SDL_GetPlatform(); }

  bool AddMapping(const std::string& line) override {
    if (!started_) return false;
    // SDL decides on a "hint:" field when the mapping is added but keeps it, and each time the
    // pad opens it parses every field's value into a 20-byte buffer, reading past the end of
    // one that fills it. So hints are decided here and left out, and long values refused.
    std::string kept;
    int fieldIndex = 0;  // 0 the GUID, 1 the name, then the bindings and properties
    for (std::size_t start = 0; start < line.size(); ++fieldIndex) {
      const std::size_t comma = std::min(line.find(',', start), line.size());
      const std::string_view field(line.data() + start, comma - start);
      start = comma + 1;
      if (fieldIndex >= 2 && field.starts_with("hint:")) {
        if (!HintHolds(field.substr(5))) return false;
        continue;
      }
      const std::size_t colon = field.find(':');
      if (fieldIndex >= 2 && colon != std::string_view::npos && field.size() - colon > 20) {
        return false;
      }
      if (!field.empty()) kept.append(field).append(",");
    }
    return SDL_GameControllerAddMapping(kept.c_str()) > 0;
  }

 private:
  SDL_GameController* Find(int64_t pad) const {
    const auto it = open_.find(static_cast<SDL_JoystickID>(pad));
    return it != open_.end() && SDL_GameControllerGetAttached(it->second) ? it->second : nullptr;
  }

  // A hint condition "[!]NAME[:=DEFAULT]" as SDL reads it: the hint as a boolean (DEFAULT, as
  // a number, when unset), negated by "!".
  static bool HintHolds(std::string_view condition) {
    const bool negate = condition.starts_with('!');
    if (negate) condition.remove_prefix(1);
    const std::size_t assign = condition.find(":=");
    const std::string name(condition.substr(0, assign));
    const bool byDefault =
        assign != std::string_view::npos && std::atoi(std::string(condition.substr(assign + 2)).c_str()) != 0;
    return (SDL_GetHintBoolean(name.c_str(), byDefault ? SDL_TRUE : SDL_FALSE) == SDL_TRUE) != negate;
  }

  bool started_ = false;
  std::unordered_map<SDL_JoystickID, SDL_GameController*> open_;
};

}  // namespace

Ref<TGamepadPlatform> platform::NewGamepadPlatform() {
  return New<TSdl2GamepadPlatform>();
}

}  // namespace corvex
