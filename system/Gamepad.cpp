#include "system/Gamepad.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/Module.h"
#include "stream/Stream.h"
#include "stream/StreamClosing.h"
#include "system/GamepadPlatform.h"

namespace corvex {
namespace {

struct Port {
  bool connected = false;
  int64_t pad = 0;  // the platform's id of the pad on the port
  GamepadReading reading;
  std::array<int32_t, kGamepadButtons> hits{};
};

struct GamepadTables {
  std::array<Port, kGamepadPorts> ports;
  float deadZone = kDefaultGamepadDeadZone;
  std::vector<int64_t> attached;  // kept to spare an allocation on every refresh
};

// Module state lives until the process ends: created by the initialiser, never destroyed.
GamepadTables* g_tables = nullptr;
Ref<TGamepadPlatform>* g_platform = nullptr;

GamepadTables& Tables() {
  InitGamepadModule();
  return *g_tables;
}

TGamepadPlatform& Platform() {
  InitGamepadModule();
  if (!*g_platform) *g_platform = platform::NewGamepadPlatform();
  return **g_platform;
}

// Brings the ports up to date: a pad that went frees its port, a new pad takes the lowest free
// one, and every connected port is read, counting a hit for each button that went down.
void Refresh() {
  GamepadTables& tables = Tables();
  TGamepadPlatform& pads = Platform();
  pads.Update();
  pads.AttachedPads(tables.attached);
  const auto attached = [&](int64_t pad) {
    return std::find(tables.attached.begin(), tables.attached.end(), pad) != tables.attached.end();
  };
  const auto onPort = [&](int64_t pad) {
    return std::any_of(tables.ports.begin(), tables.ports.end(),
                       [&](const Port& port) { return port.connected && port.pad == pad; });
  };

  for (Port& port : tables.ports) {
    if (port.connected && !attached(port.pad)) port = Port();
  }
  for (const int64_t pad : tables.attached) {
    if (onPort(pad)) continue;
    const auto free = std::find_if(tables.ports.begin(), tables.ports.end(),
                                   [](const Port& port) { return !port.connected; });
    if (free == tables.ports.end()) break;
    free->connected = true;
    free->pad = pad;
  }
  for (Port& port : tables.ports) {
    if (!port.connected) continue;
    const uint32_t before = port.reading.buttons;
    if (!pads.ReadPad(port.pad, port.reading)) continue;
    const uint32_t pressed = port.reading.buttons & ~before;
    for (std::size_t button = 0; button < kGamepadButtons; ++button) {
      if ((pressed >> button) & 1u) ++port.hits[button];
    }
  }
}

// The port after a refresh, or nullptr when it is out of range or has no pad.
Port* ConnectedPort(int32_t port) {
  if (port < 0 || port >= kGamepadPorts) return nullptr;
  Refresh();
  Port& entry = Tables().ports[static_cast<std::size_t>(port)];
  return entry.connected ? &entry : nullptr;
}

bool ValidButton(int32_t button) {
  return button >= 0 && button < kGamepadButtons;
}

// The axis with the dead zone taken out and the rest stretched back to the full travel.
float DeadZoned(const GamepadReading& reading, int32_t axis, float deadZone) {
  const float value = reading.axes[static_cast<std::size_t>(axis)];
  if (axis == GAMEPAD_LEFT_TRIGGER || axis == GAMEPAD_RIGHT_TRIGGER) {
    return value <= deadZone ? 0.0f : std::min((value - deadZone) / (1 - deadZone), 1.0f);
  }
  // A stick's x and y share one dead zone around the centre, so a diagonal push is not cut to a
  // straight line; with no dead zone the values pass through unchanged.
  const auto first = static_cast<std::size_t>(axis & ~1);
  const float distance = std::hypot(reading.axes[first], reading.axes[first + 1]);
  if (distance <= deadZone) return 0.0f;
  const float scaled = value * ((distance - deadZone) / (1 - deadZone)) / distance;
  return std::clamp(scaled, -1.0f, 1.0f);
}

uint16_t MotorStrength(float strength) {
  if (!(strength > 0)) return 0;  // NaN too
  return static_cast<uint16_t>(std::lround(std::min(strength, 1.0f) * 65535));
}

// The community's whole database is well under 1 MiB: the caps only stop absurd input.
constexpr int32_t kMaxMappingFileBytes = 16 << 20;
constexpr std::size_t kMaxMappingLineBytes = 4096;

// The whole file in `text`; false when it does not open, fails while read or is too big.
bool ReadMappingFile(const Url& url, std::string& text) {
  const Ref<TStream> stream = OpenReadStream(url);
  if (!stream) return false;
  const StreamCloser closer(stream);
  try {
    std::array<char, 16384> chunk;
    while (!stream->Eof()) {
      const int32_t n = stream->Read(chunk.data(), static_cast<int32_t>(chunk.size()));
      if (n <= 0) break;  // a stream that delivers nothing although it has not ended
      if (static_cast<int64_t>(text.size()) + n > kMaxMappingFileBytes) return false;
      text.append(chunk.data(), static_cast<std::size_t>(n));
    }
  } catch (const TStreamException&) {
    return false;
  }
  return true;
}

bool IsDigits(std::string_view text, std::size_t most) {
  return !text.empty() && text.size() <= most &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A standard-layout name ("a", "leftx", "dpup"), or a half axis of one ("+leftx").
bool IsElementName(std::string_view name) {
  if (!name.empty() && (name.front() == '+' || name.front() == '-')) name.remove_prefix(1);
  return !name.empty() && name.size() <= 16 && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

// An input of the device: button "b3", hat direction "h0.4", axis "a2", half axis "+a2" or
// "-a2", inverted axis "a2~".
bool IsDeviceInput(std::string_view input) {
  bool axisOnly = false;
  if (!input.empty() && (input.front() == '+' || input.front() == '-')) {
    input.remove_prefix(1);
    axisOnly = true;
  }
  if (!input.empty() && input.back() == '~') {
    input.remove_suffix(1);
    axisOnly = true;
  }
  if (input.empty()) return false;
  const char kind = input.front();
  input.remove_prefix(1);
  if (kind == 'a') return IsDigits(input, 3);
  if (axisOnly) return false;
  if (kind == 'b') return IsDigits(input, 3);
  if (kind != 'h') return false;
  const std::size_t dot = input.find('.');
  return dot != std::string_view::npos && IsDigits(input.substr(0, dot), 2) &&
         IsDigits(input.substr(dot + 1), 2);
}

// Fields that describe the mapping rather than bind an input.
bool IsMappingProperty(std::string_view key) {
  return key == "platform" || key == "hint" || key == "crc" || key == "sdk>=" || key == "sdk<=";
}

// Whether a mapping line (trimmed, not a comment) is well formed and for this platform, checked
// field by field so that only sound mappings reach the platform's parser: a GUID of 32 hex
// digits, a name, then "element:input" bindings and properties. A line naming no platform
// applies everywhere.
bool IsMappingForPlatform(std::string_view line, std::string_view platformName) {
  if (line.size() > kMaxMappingLineBytes) return false;
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (fields.size() < 3 || fields[0].size() != 32 ||
      !std::all_of(fields[0].begin(), fields[0].end(), IsHexDigit)) {
    return false;
  }
  // Names may be UTF-8; nothing else may carry control or non-ASCII bytes.
  const auto control = [](unsigned char c) { return c < 0x20 || c == 0x7f; };
  if (fields[1].empty() || std::any_of(fields[1].begin(), fields[1].end(), control)) return false;

  int32_t bindings = 0;
  int32_t platforms = 0;
  bool thisPlatform = true;
  for (std::size_t i = 2; i < fields.size(); ++i) {
    const std::string_view field = fields[i];
    if (field.empty()) continue;
    if (std::any_of(field.begin(), field.end(), [&](unsigned char c) { return control(c) || c >= 0x80; })) {
      return false;
    }
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos || colon + 1 == field.size()) return false;
    const std::string_view key = field.substr(0, colon);
    const std::string_view value = field.substr(colon + 1);
    if (IsMappingProperty(key)) {
      if (key == "platform") {
        ++platforms;
        thisPlatform = value.size() == platformName.size() &&
                       std::equal(value.begin(), value.end(), platformName.begin(), [](char a, char b) {
                         return std::tolower(static_cast<unsigned char>(a)) ==
                                std::tolower(static_cast<unsigned char>(b));
                       });
      }
      continue;
    }
    if (!IsElementName(key) || !IsDeviceInput(value)) return false;
    ++bindings;
  }
  if (bindings == 0 || platforms > 1) return false;
  return thisPlatform;
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

int32_t GamepadCount() {
  Refresh();
  const auto& ports = Tables().ports;
  for (int32_t port = kGamepadPorts; port > 0; --port) {
    if (ports[static_cast<std::size_t>(port - 1)].connected) return port;
  }
  return 0;
}

bool GamepadConnected(int32_t port) {
  return ConnectedPort(port) != nullptr;
}

String GamepadName(int32_t port) {
  const Port* const entry = ConnectedPort(port);
  return entry != nullptr ? Platform().PadName(entry->pad) : String();
}

bool GamepadDown(int32_t port, int32_t button) {
  if (!ValidButton(button)) return false;
  const Port* const entry = ConnectedPort(port);
  return entry != nullptr && ((entry->reading.buttons >> button) & 1u) != 0;
}

int32_t GamepadHits(int32_t port, int32_t button) {
  if (!ValidButton(button)) return 0;
  Port* const entry = ConnectedPort(port);
  if (entry == nullptr) return 0;
  return std::exchange(entry->hits[static_cast<std::size_t>(button)], 0);
}

float GamepadAxis(int32_t port, int32_t axis) {
  if (axis < 0 || axis >= kGamepadAxes) return 0.0f;
  const Port* const entry = ConnectedPort(port);
  return entry != nullptr ? DeadZoned(entry->reading, axis, Tables().deadZone) : 0.0f;
}

void SetGamepadDeadZone(float fraction) {
  Tables().deadZone = fraction > 0 ? std::min(fraction, 0.99f) : 0.0f;  // NaN reads as 0
}

float GamepadDeadZone() {
  return Tables().deadZone;
}

bool GamepadRumble(int32_t port, float low, float high, int32_t milliseconds) {
  const Port* const entry = ConnectedPort(port);
  return entry != nullptr && Platform().Rumble(entry->pad, MotorStrength(low), MotorStrength(high),
                                               static_cast<uint32_t>(std::max(milliseconds, 0)));
}

int32_t LoadGamepadMappings(const Url& url) {
  InitGamepadModule();
  std::string text;
  if (!ReadMappingFile(url, text)) return 0;
  TGamepadPlatform& pads = Platform();
  const std::string_view platformName = pads.MappingPlatform();
  int32_t added = 0;
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = Trimmed(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (IsMappingForPlatform(line, platformName) && pads.AddMapping(std::string(line))) ++added;
  }
  return added;
}

void SetGamepadPlatform(const Ref<TGamepadPlatform>& platform) {
  InitGamepadModule();
  const float deadZone = g_tables->deadZone;
  *g_tables = GamepadTables();
  g_tables->deadZone = deadZone;
  // The old platform closes its pads before the new one opens them.
  *g_platform = Null;
  *g_platform = platform;
}

void InitGamepadModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  g_tables = new GamepadTables();
  g_platform = new Ref<TGamepadPlatform>();
}

}  // namespace corvex
