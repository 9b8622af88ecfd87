#include "system/Joystick.h"

#include <gtest/gtest.h>

#include <vector>

#include "system/JoystickPlatform.h"
#include "tests/system/sdl2/VirtualJoystickSdl2.h"

namespace corvex {
namespace {

// Devices whose capabilities and state the test sets directly.
class FakeJoysticks : public TJoystickPlatform {
 public:
  struct Device {
    bool present = true;
    bool capsReadable = true;
    bool stateReadable = true;
    JoystickCaps caps;
    JoystickReading reading;
    int32_t stateReads = 0;
  };

  int32_t DeviceCount() override { return static_cast<int32_t>(devices.size()); }
  bool DevicePresent(int32_t device) override { return Valid(device) && At(device).present; }
  bool ReadCaps(int32_t device, JoystickCaps& caps) override {
    if (!Valid(device) || !At(device).capsReadable) return false;
    caps = At(device).caps;
    return true;
  }
  bool ReadState(int32_t device, JoystickReading& reading) override {
    if (!Valid(device)) return false;
    ++At(device).stateReads;
    if (!At(device).stateReadable) return false;
    reading = At(device).reading;
    return true;
  }

  // A device with twelve buttons, two axes over 0 ... 65535 and a hat.
  Device& Add(const char* name) {
    Device device;
    device.caps.name = String(name);
    device.caps.buttonCount = 12;
    device.caps.axisCount = 2;
    device.caps.hasHat = true;
    device.caps.axisMax.fill(65535);
    device.reading.axes.fill(32767);
    devices.push_back(device);
    return devices.back();
  }
  Device& At(int32_t device) { return devices[static_cast<std::size_t>(device)]; }

  std::vector<Device> devices;

 private:
  bool Valid(int32_t device) const { return device >= 0 && device < static_cast<int32_t>(devices.size()); }
};

class JoystickTest : public testing::Test {
 protected:
  void SetUp() override {
    InitJoystickModule();
    fake_ = New<FakeJoysticks>();
    SetJoystickPlatform(fake_);
  }
  void TearDown() override { SetJoystickPlatform(Null); }

  Ref<FakeJoysticks> fake_;
};

TEST_F(JoystickTest, HeldButtonCountsOneHitUntilPressedAgain) {
  FakeJoysticks::Device& pad = fake_->Add("pad");
  pad.reading.buttons = 1u << 3;
  EXPECT_EQ(JoystickButtonDown(3), 1);
  EXPECT_EQ(JoystickButtonDown(3), 1);
  EXPECT_EQ(JoystickButtonDown(2), 0);
  EXPECT_EQ(JoystickButtonHits(3), 1);
  EXPECT_EQ(JoystickButtonHits(3), 0);  // still held: no new press

  pad.reading.buttons = 0;
  EXPECT_EQ(JoystickButtonDown(3), 0);
  pad.reading.buttons = 1u << 3;
  EXPECT_EQ(JoystickButtonDown(3), 1);
  pad.reading.buttons = 0;
  JoystickX();
  pad.reading.buttons = 1u << 3 | 1u << 15;
  EXPECT_EQ(JoystickButtonHits(3), 2);  // two presses seen by polls since the last call
  EXPECT_EQ(JoystickButtonHits(15), 1);
  EXPECT_EQ(JoystickButtonHits(15), 0);
}

TEST_F(JoystickTest, AxesAreNormalisedByTheMaximum) {
  FakeJoysticks::Device& pad = fake_->Add("pad");
  pad.reading.axes = {0, 65535, 32767, 0, 0, 0};
  EXPECT_FLOAT_EQ(JoystickX(), -1.0f);
  EXPECT_FLOAT_EQ(JoystickY(), 1.0f);
  EXPECT_NEAR(JoystickZ(), 0.0f, 1e-4f);

  // A range not starting at 0 keeps the device's own arithmetic: (150 - 100) * 2 / 200 - 1.
  pad.caps.axisMin = {100, 0, 0, 0, 0, 0};
  pad.caps.axisMax = {200, 65535, 65535, 65535, 65535, 0};
  pad.reading.axes = {150, 0, 0, 65535, 49151, 7};
  EXPECT_FLOAT_EQ(JoystickX(), -0.5f);
  EXPECT_FLOAT_EQ(JoystickR(), 1.0f);
  EXPECT_NEAR(JoystickU(), 0.5f, 1e-4f);
  EXPECT_FLOAT_EQ(JoystickV(), 0.0f);  // a maximum of 0 reads centred instead of dividing by it
}

TEST_F(JoystickTest, HatIsAFractionOfATurnOrMinusOneWhenCentred) {
  FakeJoysticks::Device& pad = fake_->Add("pad");
  EXPECT_FLOAT_EQ(JoystickHat(), -1.0f);
  const std::pair<int32_t, float> directions[] = {
      {0, 0.0f}, {9000, 0.25f}, {18000, 0.5f}, {27000, 0.75f}, {36000, 1.0f}, {36001, -1.0f}, {-1, -1.0f}};
  for (const auto& [code, turn] : directions) {
    pad.reading.hat = code;
    EXPECT_FLOAT_EQ(JoystickHat(), turn) << code;
  }
}

TEST_F(JoystickTest, MasksNameAndFailedCapabilities) {
  FakeJoysticks::Device& pad = fake_->Add("Game Pad");
  EXPECT_EQ(JoystickName(), String("Game Pad"));
  EXPECT_EQ(JoystickButtonMask(), 4095);
  EXPECT_EQ(JoystickAxisMask(), 0x203);
  pad.caps.hasHat = false;
  pad.caps.axisCount = 9;     // only the six axes read get bits; the hat bit stays clear
  pad.caps.buttonCount = 32;  // every bit, without shifting past the word
  EXPECT_EQ(JoystickAxisMask(), 0x3f);
  EXPECT_EQ(JoystickButtonMask(), -1);
  pad.caps.buttonCount = 0;
  EXPECT_EQ(JoystickButtonMask(), 0);

  pad.capsReadable = false;
  EXPECT_EQ(JoystickName(), String(""));
  EXPECT_EQ(JoystickButtonMask(), 0);
  EXPECT_EQ(JoystickAxisMask(), 0);
  EXPECT_EQ(pad.stateReads, 0);  // names and masks never read the state
}

TEST_F(JoystickTest, FailedReadKeepsTheLastValues) {
  FakeJoysticks::Device& pad = fake_->Add("pad");
  pad.reading.axes[0] = 0;
  pad.reading.buttons = 1;
  pad.reading.hat = 9000;
  EXPECT_FLOAT_EQ(JoystickX(), -1.0f);

  pad.reading.axes[0] = 65535;
  pad.reading.buttons = 2;
  pad.reading.hat = kHatCentred;
  pad.stateReadable = false;
  EXPECT_FLOAT_EQ(JoystickX(), -1.0f);
  EXPECT_EQ(JoystickButtonDown(0), 1);
  EXPECT_FLOAT_EQ(JoystickHat(), 0.25f);
  pad.stateReadable = true;
  pad.capsReadable = false;
  EXPECT_EQ(JoystickButtonDown(1), 0);
  const int32_t reads = pad.stateReads;
  JoystickY();
  EXPECT_EQ(pad.stateReads, reads);  // unreadable capabilities end the read before the state

  pad.capsReadable = true;
  EXPECT_EQ(JoystickButtonDown(1), 1);
  EXPECT_EQ(JoystickButtonHits(1), 1);
}

TEST_F(JoystickTest, PortsFollowCountJoysticks) {
  fake_->Add("zero");
  fake_->Add("one").present = false;
  fake_->Add("two");
  EXPECT_EQ(JoystickName(0), String("zero"));
  EXPECT_EQ(JoystickName(5), String("zero"));  // before counting every port is device 0

  EXPECT_EQ(CountJoysticks(), 2);
  EXPECT_EQ(JoystickName(0), String("zero"));
  EXPECT_EQ(JoystickName(1), String("two"));
  EXPECT_EQ(JoystickName(2), String("zero"));  // unassigned ports keep their device

  fake_->At(0).present = false;
  EXPECT_EQ(CountJoysticks(), 1);
  EXPECT_EQ(JoystickName(0), String("two"));
  EXPECT_EQ(JoystickName(1), String("two"));

  fake_->At(2).reading.buttons = 1;
  EXPECT_EQ(JoystickButtonHits(0, 0), 1);
  EXPECT_EQ(JoystickButtonHits(0, 1), 1);  // each port counts its own hits
}

TEST_F(JoystickTest, EveryQueryReadsTheDeviceAndBadPortsReadNothing) {
  FakeJoysticks::Device& pad = fake_->Add("pad");
  JoystickX();
  JoystickHat();
  JoystickButtonDown(0);
  JoystickButtonHits(0);
  EXPECT_EQ(pad.stateReads, 4);

  pad.reading.buttons = 0xffffffffu;
  pad.reading.axes[0] = 0;
  EXPECT_EQ(JoystickButtonDown(0, -1), 0);
  EXPECT_EQ(JoystickButtonDown(0, kJoystickPorts), 0);
  EXPECT_EQ(JoystickButtonDown(16), 0);
  EXPECT_EQ(JoystickButtonHits(-1), 0);
  EXPECT_FLOAT_EQ(JoystickX(99), 0.0f);
  EXPECT_FLOAT_EQ(JoystickHat(-3), -1.0f);
  EXPECT_EQ(JoystickName(16), String(""));
  EXPECT_EQ(JoystickButtonMask(-1), 0);
  EXPECT_EQ(pad.stateReads, 4);
}

// The SDL path end to end, on a virtual device SDL provides.
TEST(JoystickSdl2Test, VirtualDeviceReadsThroughSdl) {
  InitJoystickModule();
  SetJoystickPlatform(Null);
  testing_support::VirtualJoystick pad("Corvex Virtual Pad", 2, 12, 1);
  if (!pad.Attached()) GTEST_SKIP() << "SDL has no virtual joystick driver here";

  const int32_t count = CountJoysticks();
  int32_t port = -1;
  for (int32_t p = 0; p < count && p < kJoystickPorts; ++p) {
    if (JoystickName(p) == String("Corvex Virtual Pad")) port = p;
  }
  ASSERT_GE(port, 0);
  EXPECT_EQ(JoystickButtonMask(port), 4095);
  EXPECT_EQ(JoystickAxisMask(port), 0x203);

  pad.SetAxis(0, -32768);
  pad.SetAxis(1, 32767);
  EXPECT_FLOAT_EQ(JoystickX(port), -1.0f);
  EXPECT_FLOAT_EQ(JoystickY(port), 1.0f);
  pad.SetAxis(0, 0);
  EXPECT_NEAR(JoystickX(port), 0.0f, 1e-4f);

  EXPECT_FLOAT_EQ(JoystickHat(port), -1.0f);
  pad.SetHat(0, 2);  // right
  EXPECT_FLOAT_EQ(JoystickHat(port), 0.25f);
  pad.SetHat(0, 4 | 8);  // left and down
  EXPECT_FLOAT_EQ(JoystickHat(port), 0.625f);

  JoystickButtonHits(11, port);
  pad.SetButton(11, true);
  EXPECT_EQ(JoystickButtonDown(11, port), 1);
  pad.SetButton(11, false);
  EXPECT_EQ(JoystickButtonDown(11, port), 0);
  pad.SetButton(11, true);
  EXPECT_EQ(JoystickButtonHits(11, port), 2);
  EXPECT_EQ(JoystickButtonHits(11, port), 0);
}

}  // namespace
}  // namespace corvex
