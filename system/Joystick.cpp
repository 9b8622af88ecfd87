#include "system/Joystick.h"

#include <array>

#include "runtime/Module.h"
#include "system/JoystickPlatform.h"

namespace corvex {
namespace {

// Device ids a port table can hold, as many as CountJoysticks may assign.
constexpr int32_t kPortDevices = 256;
constexpr std::size_t kHatSlot = 9;

struct JoystickTables {
  std::array<int32_t, kPortDevices> portDevice{};
  std::array<uint32_t, kJoystickPorts> buttonState{};
  std::array<std::array<float, 16>, kJoystickPorts> axisState{};
  std::array<std::array<int32_t, kJoystickButtons>, kJoystickPorts> buttonHits{};
};

// Module state lives until the process ends: created by the initialiser, never destroyed.
JoystickTables* g_tables = nullptr;
Ref<TJoystickPlatform>* g_platform = nullptr;

JoystickTables& Tables() {
  InitJoystickModule();
  return *g_tables;
}

TJoystickPlatform& Platform() {
  InitJoystickModule();
  if (!*g_platform) *g_platform = platform::NewJoystickPlatform();
  return **g_platform;
}

bool ValidPort(int32_t port) {
  return port >= 0 && port < kJoystickPorts;
}

int32_t PortDevice(int32_t port) {
  return Tables().portDevice[static_cast<std::size_t>(port)];
}

bool ReadCaps(int32_t port, JoystickCaps& caps) {
  return ValidPort(port) && Platform().ReadCaps(PortDevice(port), caps);
}

// Reads the port's device into the tables; a failed read leaves the last values in place.
void ReadDevice(int32_t port) {
  JoystickCaps caps;
  if (!Platform().ReadCaps(PortDevice(port), caps)) return;
  JoystickReading reading;
  if (!Platform().ReadState(PortDevice(port), reading)) return;

  JoystickTables& tables = Tables();
  const auto p = static_cast<std::size_t>(port);
  tables.buttonState[p] = reading.buttons;
  for (std::size_t axis = 0; axis < kJoystickAxes; ++axis) {
    // The divisor is the maximum, not the range: a range starting at 0 maps exactly onto
    // -1 ... 1. A device reporting a maximum of 0 reads as centred rather than dividing by it.
    const long double maximum = caps.axisMax[axis];
    const long double offset = static_cast<long double>(reading.axes[axis]) - caps.axisMin[axis];
    tables.axisState[p][axis] = maximum == 0 ? 0.0f : static_cast<float>(offset * 2 / maximum - 1);
  }
  tables.axisState[p][kHatSlot] =
      reading.hat >= 0 && reading.hat < 36001 ? static_cast<float>(reading.hat / 36000.0L) : -1.0f;
}

// Reads the port and counts a hit for every button that went down since the last poll.
void Poll(int32_t port) {
  JoystickTables& tables = Tables();
  const auto p = static_cast<std::size_t>(port);
  const uint32_t before = tables.buttonState[p];
  ReadDevice(port);
  const uint32_t pressed = tables.buttonState[p] & ~before;
  for (std::size_t button = 0; button < kJoystickButtons; ++button) {
    if ((pressed >> button) & 1u) ++tables.buttonHits[p][button];
  }
}

float Axis(int32_t port, std::size_t slot) {
  if (!ValidPort(port)) return slot == kHatSlot ? -1.0f : 0.0f;
  Poll(port);
  return Tables().axisState[static_cast<std::size_t>(port)][slot];
}

// (1 << count) - 1 without shifting past the word.
int32_t LowBits(int32_t count) {
  if (count <= 0) return 0;
  if (count >= 32) return -1;
  return static_cast<int32_t>((1u << count) - 1u);
}

}  // namespace

int32_t CountJoysticks() {
  JoystickTables& tables = Tables();
  TJoystickPlatform& joysticks = Platform();
  int32_t assigned = 0;
  const int32_t devices = joysticks.DeviceCount();
  for (int32_t device = 0; device < devices && assigned < kPortDevices; ++device) {
    if (joysticks.DevicePresent(device)) tables.portDevice[static_cast<std::size_t>(assigned++)] = device;
  }
  return assigned;
}

String JoystickName(int32_t port) {
  JoystickCaps caps;
  return ReadCaps(port, caps) ? caps.name : String();
}

int32_t JoystickButtonMask(int32_t port) {
  JoystickCaps caps;
  return ReadCaps(port, caps) ? LowBits(caps.buttonCount) : 0;
}

int32_t JoystickAxisMask(int32_t port) {
  JoystickCaps caps;
  if (!ReadCaps(port, caps)) return 0;
  // Only the six axes the module reads get a bit, so the hat's bit stays its own.
  const int32_t axes = caps.axisCount < kJoystickAxes ? caps.axisCount : kJoystickAxes;
  return LowBits(axes) + (caps.hasHat ? 0x200 : 0);
}

int32_t JoystickButtonDown(int32_t button, int32_t port) {
  if (!ValidPort(port) || button < 0 || button >= kJoystickButtons) return 0;
  Poll(port);
  return static_cast<int32_t>((Tables().buttonState[static_cast<std::size_t>(port)] >> button) & 1u);
}

int32_t JoystickButtonHits(int32_t button, int32_t port) {
  if (!ValidPort(port) || button < 0 || button >= kJoystickButtons) return 0;
  Poll(port);
  int32_t& hits = Tables().buttonHits[static_cast<std::size_t>(port)][static_cast<std::size_t>(button)];
  const int32_t count = hits;
  hits = 0;
  return count;
}

float JoystickX(int32_t port) {
  return Axis(port, 0);
}
float JoystickY(int32_t port) {
  return Axis(port, 1);
}
float JoystickZ(int32_t port) {
  return Axis(port, 2);
}
float JoystickR(int32_t port) {
  return Axis(port, 3);
}
float JoystickU(int32_t port) {
  return Axis(port, 4);
}
float JoystickV(int32_t port) {
  return Axis(port, 5);
}
float JoystickHat(int32_t port) {
  return Axis(port, kHatSlot);
}

void SetJoystickPlatform(const Ref<TJoystickPlatform>& platform) {
  InitJoystickModule();
  *g_platform = platform;
  *g_tables = JoystickTables();
}

void InitJoystickModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  g_tables = new JoystickTables();
  g_platform = new Ref<TJoystickPlatform>();
}

}  // namespace corvex
