#include "system/Gamepad.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "stream/Stream.h"
#include "system/GamepadPlatform.h"
#include "tests/support/DamagedCopies.h"
#include "tests/support/TestFiles.h"
#include "tests/system/sdl2/VirtualJoystickSdl2.h"

namespace corvex {
namespace {

using testing_support::VirtualJoystick;

// A device SDL does not know as a pad (only a mapping makes it one): six axes, eleven buttons
// and a hat, numbered unlike the standard layout so that the mapping shows.
std::unique_ptr<VirtualJoystick> Attach(const char* name, bool rumble = false) {
  return std::make_unique<VirtualJoystick>(name, 6, 11, 1,
                                           VirtualJoystick::Options{.gamepadType = false, .rumble = rumble});
}

// Its mapping: face buttons reversed (b3 is south ... b0 north), the rest in order.
std::string MappingFor(const VirtualJoystick& pad, const char* name) {
  return pad.MappingGuid() + "," + name +
         ",a:b3,b:b2,x:b1,y:b0,back:b4,guide:b5,start:b6,leftstick:b7,rightstick:b8,leftshoulder:b9,"
         "rightshoulder:b10,dpup:h0.1,dpdown:h0.4,dpleft:h0.8,dpright:h0.2,"
         "leftx:a0,lefty:a1,rightx:a2,righty:a3,lefttrigger:a4,righttrigger:a5,";
}

int32_t LoadMappingText(std::string text) {
  return LoadGamepadMappings(test_files::MemoryStream(text));
}

class GamepadTest : public testing::Test {
 protected:
  void SetUp() override {
    InitGamepadModule();
    SetGamepadPlatform(Null);
    SetGamepadDeadZone(0);
    pad_ = Attach("Corvex Test Pad", true);
    if (!pad_->Attached()) GTEST_SKIP() << "SDL has no virtual joystick driver here";
  }
  void TearDown() override {
    pad_.reset();
    SetGamepadPlatform(Null);  // with the pad gone too, SDL forgets the mappings added
    SetGamepadDeadZone(kDefaultGamepadDeadZone);
  }

  // Maps the test pad, which then sits on port 0.
  void MapPad() {
    EXPECT_EQ(LoadMappingText(MappingFor(*pad_, "Mapped Pad")), 1);
    EXPECT_EQ(GamepadCount(), 1);
  }

  std::unique_ptr<VirtualJoystick> pad_;
};

TEST_F(GamepadTest, PadReadsThroughTheStandardNames) {
  EXPECT_EQ(GamepadCount(), 0);  // an unmapped joystick is no pad
  EXPECT_FALSE(GamepadConnected(0));
  // Face buttons go by position, so a mapping meant for reading them by their labels is passed
  // over; so is one for another platform.
  const std::string file = "# mappings\r\n" + MappingFor(*pad_, "Elsewhere") + "platform:Windows,\r\n\r\n" +
                           MappingFor(*pad_, "Mapped Pad") +
                           "hint:!SDL_GAMECONTROLLER_USE_BUTTON_LABELS:=1,platform:Linux,\r\n" +
                           MappingFor(*pad_, "By Labels") + "hint:SDL_GAMECONTROLLER_USE_BUTTON_LABELS:=1,\n";
  EXPECT_EQ(LoadMappingText(file), 1);
  ASSERT_EQ(GamepadCount(), 1);
  EXPECT_TRUE(GamepadConnected(0));
  EXPECT_EQ(GamepadName(0), String("Mapped Pad"));

  const int32_t standard[11] = {GAMEPAD_NORTH,         GAMEPAD_WEST,          GAMEPAD_EAST,
                                GAMEPAD_SOUTH,         GAMEPAD_BACK,          GAMEPAD_GUIDE,
                                GAMEPAD_START,         GAMEPAD_LEFT_STICK,    GAMEPAD_RIGHT_STICK,
                                GAMEPAD_LEFT_SHOULDER, GAMEPAD_RIGHT_SHOULDER};
  for (int32_t raw = 0; raw < 11; ++raw) {
    pad_->SetButton(raw, true);
    for (int32_t button = 0; button < kGamepadButtons; ++button) {
      EXPECT_EQ(GamepadDown(0, button), button == standard[raw]) << "raw " << raw << " standard " << button;
    }
    pad_->SetButton(raw, false);
  }
  const std::pair<uint8_t, int32_t> hat[] = {
      {1, GAMEPAD_DPAD_UP}, {2, GAMEPAD_DPAD_RIGHT}, {4, GAMEPAD_DPAD_DOWN}, {8, GAMEPAD_DPAD_LEFT}};
  for (const auto& [bits, button] : hat) {
    pad_->SetHat(0, bits);
    EXPECT_TRUE(GamepadDown(0, button)) << int(bits);
  }
  pad_->SetHat(0, 0);
  EXPECT_FALSE(GamepadDown(0, GAMEPAD_DPAD_LEFT));

  const int32_t raw[6] = {-32768, 32767, 16384, -16384, -32768, 32767};
  const float expected[6] = {-1.0f, 1.0f, 0.5f, -0.5f, 0.0f, 1.0f};
  for (int32_t axis = 0; axis < 6; ++axis) pad_->SetAxis(axis, raw[axis]);
  for (int32_t axis = 0; axis < kGamepadAxes; ++axis) {
    EXPECT_NEAR(GamepadAxis(0, axis), expected[axis], 1e-4f) << "axis " << axis;
  }

  // Ports, buttons and axes out of range read as nothing.
  pad_->SetButton(3, true);
  EXPECT_TRUE(GamepadDown(0, GAMEPAD_SOUTH));
  EXPECT_FALSE(GamepadDown(0, kGamepadButtons));
  EXPECT_FALSE(GamepadDown(1, GAMEPAD_SOUTH));
  EXPECT_FALSE(GamepadDown(-1, GAMEPAD_SOUTH));
  EXPECT_EQ(GamepadHits(kGamepadPorts, GAMEPAD_SOUTH), 0);
  EXPECT_FLOAT_EQ(GamepadAxis(0, kGamepadAxes), 0.0f);
  EXPECT_EQ(GamepadName(1), String(""));
}

TEST_F(GamepadTest, DeadZoneIsRoundTheCentreAndStretchesTheRest) {
  MapPad();
  const int32_t port = 0;
  SetGamepadDeadZone(0.2f);
  const auto raw = [](float value) { return static_cast<int32_t>(std::lround(value * 32767)); };
  struct Case {
    float x, y, trigger;
    float wantX, wantY, wantTrigger;
  };
  const Case cases[] = {
      {0.1f, 0.0f, 0.1f, 0.0f, 0.0f, 0.0f},      // inside
      {0.1f, 0.1f, 0.2f, 0.0f, 0.0f, 0.0f},      // a diagonal inside too
      {0.6f, 0.0f, 0.6f, 0.5f, 0.0f, 0.5f},      // stretched: (0.6 - 0.2) / 0.8
      {0.3f, 0.4f, 1.0f, 0.225f, 0.3f, 1.0f},    // distance 0.5 gives 0.375 along the push
      {-1.0f, -1.0f, 0.0f, -1.0f, -1.0f, 0.0f},  // a corner stays within -1 ... 1
  };
  for (const Case& c : cases) {
    pad_->SetAxis(0, raw(c.x));
    pad_->SetAxis(1, raw(c.y));
    pad_->SetAxis(5, raw(c.trigger * 2 - 1));  // the device's trigger axis runs -1 ... 1
    EXPECT_NEAR(GamepadAxis(port, GAMEPAD_LEFT_X), c.wantX, 1e-3f) << c.x << "," << c.y;
    EXPECT_NEAR(GamepadAxis(port, GAMEPAD_LEFT_Y), c.wantY, 1e-3f) << c.x << "," << c.y;
    EXPECT_NEAR(GamepadAxis(port, GAMEPAD_RIGHT_TRIGGER), c.wantTrigger, 1e-3f) << c.trigger;
  }
  SetGamepadDeadZone(5);
  EXPECT_FLOAT_EQ(GamepadDeadZone(), 0.99f);
  SetGamepadDeadZone(-1);
  EXPECT_FLOAT_EQ(GamepadDeadZone(), 0.0f);
  SetGamepadDeadZone(std::nanf(""));
  EXPECT_FLOAT_EQ(GamepadDeadZone(), 0.0f);
}

TEST_F(GamepadTest, HitsCountPressesSeenSinceTheLastCall) {
  MapPad();
  const int32_t port = 0;
  pad_->SetButton(3, true);
  EXPECT_TRUE(GamepadDown(port, GAMEPAD_SOUTH));
  EXPECT_TRUE(GamepadDown(port, GAMEPAD_SOUTH));
  EXPECT_EQ(GamepadHits(port, GAMEPAD_SOUTH), 1);
  EXPECT_EQ(GamepadHits(port, GAMEPAD_SOUTH), 0);  // still held: no new press

  pad_->SetButton(3, false);
  GamepadAxis(port, GAMEPAD_LEFT_X);  // any query sees the release ...
  pad_->SetButton(3, true);
  GamepadName(port);  // ... and the next press
  pad_->SetButton(3, false);
  pad_->SetButton(0, true);
  EXPECT_EQ(GamepadHits(port, GAMEPAD_SOUTH), 1);
  EXPECT_EQ(GamepadHits(port, GAMEPAD_NORTH), 1);
  EXPECT_EQ(GamepadHits(port, GAMEPAD_EAST), 0);
  // Polling leaves nothing queued for a program that never takes events.
  EXPECT_EQ(testing_support::PendingSdlEvents(), 0);
}

TEST_F(GamepadTest, PortsStayWithTheirPadsAcrossPlugging) {
  const std::string mappings = MappingFor(*pad_, "First") + "\n";
  std::unique_ptr<VirtualJoystick> second = Attach("Corvex Second Pad");
  std::unique_ptr<VirtualJoystick> third = Attach("Corvex Third Pad");
  EXPECT_EQ(LoadMappingText(mappings + MappingFor(*second, "Second") + "\n" + MappingFor(*third, "Third")),
            3);
  ASSERT_EQ(GamepadCount(), 3);
  EXPECT_EQ(GamepadName(0), String("First"));
  EXPECT_EQ(GamepadName(1), String("Second"));
  EXPECT_EQ(GamepadName(2), String("Third"));
  second->SetButton(3, true);
  EXPECT_TRUE(GamepadDown(1, GAMEPAD_SOUTH));
  second->SetButton(3, false);
  EXPECT_FALSE(GamepadDown(1, GAMEPAD_SOUTH));
  second->SetButton(3, true);  // a hit waiting on port 1
  pad_->SetButton(3, true);
  EXPECT_TRUE(GamepadDown(0, GAMEPAD_SOUTH));  // and one on port 0

  pad_.reset();  // unplugged: its port frees, the others stay where they are
  EXPECT_FALSE(GamepadConnected(0));
  EXPECT_EQ(GamepadName(0), String(""));
  EXPECT_EQ(GamepadCount(), 3);
  EXPECT_EQ(GamepadName(1), String("Second"));
  EXPECT_EQ(GamepadHits(1, GAMEPAD_SOUTH), 2);
  third.reset();
  EXPECT_EQ(GamepadCount(), 2);

  pad_ = Attach("Corvex Test Pad");  // plugged in again: it takes the lowest free port
  EXPECT_EQ(GamepadName(0), String("First"));
  EXPECT_EQ(GamepadHits(0, GAMEPAD_SOUTH), 0);  // the port started afresh when its pad went
  EXPECT_EQ(GamepadName(1), String("Second"));
  third = Attach("Corvex Third Pad");
  EXPECT_EQ(GamepadName(2), String("Third"));
}

TEST_F(GamepadTest, RumbleAnswersWhetherThePadCan) {
  std::unique_ptr<VirtualJoystick> still = Attach("Corvex Still Pad");
  EXPECT_EQ(LoadMappingText(MappingFor(*pad_, "Rumbling") + "\n" + MappingFor(*still, "Still")), 2);
  EXPECT_TRUE(GamepadRumble(0, 1.0f, 0.5f, 100));
  EXPECT_EQ(pad_->LastRumble().low, 65535);
  EXPECT_EQ(pad_->LastRumble().high, 32768);
  EXPECT_TRUE(GamepadRumble(0, -3.0f, std::nanf(""), -5));
  EXPECT_EQ(pad_->LastRumble().low, 0);
  EXPECT_EQ(pad_->LastRumble().high, 0);
  EXPECT_FALSE(GamepadRumble(1, 1.0f, 1.0f, 100));
  EXPECT_FALSE(GamepadRumble(2, 1.0f, 1.0f, 100));
}

TEST_F(GamepadTest, EnvironmentMappingsApplyWhenTheServiceStarts) {
  // SDL reads them when its joystick service starts, which the virtual pad holds too.
  const std::string mapping = MappingFor(*pad_, "From The Environment");
  pad_.reset();
  SetGamepadPlatform(Null);
  ASSERT_EQ(setenv("SDL_GAMECONTROLLERCONFIG", mapping.c_str(), 1), 0);
  pad_ = Attach("Corvex Test Pad");
  EXPECT_EQ(GamepadName(0), String("From The Environment"));
  unsetenv("SDL_GAMECONTROLLERCONFIG");
}

// A stream that fails part-way, as a connection that drops.
class FailingStream : public TStream {
 public:
  bool Eof() override { return false; }
  int32_t Read(void* buffer, int32_t count) override {
    if (reads_++ > 0) throw TStreamReadException();
    const std::string start = "# the first bytes arrive\n";
    const auto n = std::min<std::size_t>(start.size(), static_cast<std::size_t>(count));
    std::copy_n(start.data(), n, static_cast<char*>(buffer));
    return static_cast<int32_t>(n);
  }

 private:
  int32_t reads_ = 0;
};

TEST_F(GamepadTest, MalformedMappingFilesAddNothing) {
  const std::string guid = pad_->MappingGuid();
  const std::string good = MappingFor(*pad_, "Pad");
  const std::pair<const char*, std::string> cases[] = {
      {"empty file", ""},
      {"binary bytes", std::string("\x00\xff\x13\x80,:\n\x7f", 9)},
      {"GUID only", guid},
      {"no bindings", guid + ",Pad,"},
      {"short GUID", guid.substr(1) + ",Pad,a:b3,"},
      {"GUID not hex", "g" + guid.substr(1) + ",Pad,a:b3,"},
      {"no name", guid + ",,a:b3,"},
      {"binding without colon", guid + ",Pad,ab3,"},
      {"input of no kind", guid + ",Pad,a:x3,"},
      {"input number cut off", guid + ",Pad,a:b"},
      {"input number too long", guid + ",Pad,a:b12345,"},
      {"half button", guid + ",Pad,a:+b3,"},
      {"element name too long", guid + ",Pad,abcdefghijklmnopqrstuvwxyz:b3,"},
      {"NUL in a line", good + std::string("\0,", 2)},
      {"control byte in the name", guid + ",P\x01"
                                          "ad,a:b3,"},
      {"non-ASCII byte in a binding", guid + ",Pad,a:b3\xc3\xa9,"},
      {"line over 4 KiB", guid + "," + std::string(5000, 'n') + ",a:b3,"},
      {"two platforms", good + "platform:Linux,platform:Linux,"},
      {"another platform only", good + "platform:Mac OS X,"},
      {"larger than 16 MiB", good + "\n#" + std::string(16 << 20, 'x')},
  };
  for (const auto& [what, text] : cases) {
    EXPECT_EQ(LoadMappingText(text), 0) << what;
    EXPECT_EQ(GamepadCount(), 0) << what;
  }
  EXPECT_EQ(LoadGamepadMappings("no/such/mappings.txt"), 0);
  EXPECT_EQ(LoadGamepadMappings(New<FailingStream>()), 0);

  // Bad lines pass by the good ones; a mapping loaded again replaces itself, adding nothing.
  const std::string mixed = guid + ",Pad,a:x3,\n" + good + "\n\x01\x02\n";
  EXPECT_EQ(LoadMappingText(mixed), 1);
  EXPECT_EQ(LoadMappingText(mixed), 0);
  EXPECT_EQ(GamepadCount(), 1);

  // Damage anywhere adds at most a mapping and never crashes.
  for (const std::string& copy : damaged_copies::BitFlippedCopies(good + "\n", "gamepad mapping")) {
    const int32_t added = LoadMappingText(copy);
    EXPECT_TRUE(added == 0 || added == 1);
  }
}

}  // namespace
}  // namespace corvex
