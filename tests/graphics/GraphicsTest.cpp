#include "graphics/Graphics.h"

#include <gtest/gtest.h>

#include <new>
#include <numeric>
#include <vector>

#include "data/BankDataType.h"
#include "data/DataStream.h"
#include "runtime/Exceptions.h"
#include "stream/Bank.h"
#include "system/Event.h"
#include "system/Hook.h"
#include "system/InputTracker.h"

namespace corvex {
namespace {

// A simulated millisecond clock: sleeping moves it on, and so may the simulated driver.
int32_t g_now = 0;
std::vector<int32_t> g_sleeps;
int32_t SimulatedNow() {
  return g_now;
}
void SimulatedSleep(int32_t milliseconds) {
  g_sleeps.push_back(milliseconds);
  g_now += milliseconds;
}

class FakeDriver;

class FakeGraphics : public TGraphics {
 public:
  FakeGraphics(FakeDriver* driver, int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags)
      : driver_(driver), width_(width), height_(height), depth_(depth), hertz_(hertz), flags_(flags) {}
  Ref<TGraphicsDriver> Driver() const override;
  void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                   int32_t& flags) const override {
    width = width_;
    height = height_;
    depth = depth_;
    hertz = hertz_;
    flags = flags_;
  }
  void Close() override { ++closes; }
  // Changes size at once and reports it as a window system does.
  int32_t Resize(int32_t width, int32_t height) override {
    width_ = width;
    height_ = height;
    SendEvent(NewEvent(EVENT_WINDOWSIZE, Null, 0, 0, width, height, Null));
    return 1;
  }

  int closes = 0;

 private:
  FakeDriver* driver_;
  int32_t width_, height_, depth_, hertz_, flags_;
};

// What a failing driver raises.
enum class Failure { kNone, kNull, kRuntimeException, kThrownString, kBadAlloc };

// A driver that records what the graphics layer asks of it.
class FakeDriver : public TGraphicsDriver {
 public:
  Array<Ref<TGraphicsMode>> EnumModes() override {
    ++enumCalls;
    return Array<Ref<TGraphicsMode>>::FromVector(modes);
  }
  Ref<TGraphics> Attach(uintptr_t, int32_t flags) override { return Make(0, 0, 0, 0, flags); }
  Ref<TGraphics> Create(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) override {
    return Make(width, height, depth, hertz, flags);
  }
  void MakeCurrent(const Ref<TGraphics>& graphics) override { madeCurrent.push_back(graphics); }
  void Flip(int32_t sync) override {
    flips.push_back(sync);
    if (sync != 0) g_now += retraceMillis;
  }

  std::vector<Ref<TGraphicsMode>> modes;
  Failure failure = Failure::kNone;
  int32_t retraceMillis = 1;  // how long a Flip (1) takes on the simulated clock
  int enumCalls = 0;
  int32_t lastFlags = -1;
  std::vector<Ref<TGraphics>> madeCurrent;
  std::vector<int32_t> flips;

 private:
  Ref<TGraphics> Make(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
    lastFlags = flags;
    switch (failure) {
      case Failure::kNone:
        return New<FakeGraphics>(this, width, height, depth, hertz, flags);
      case Failure::kNull:
        return Null;
      case Failure::kRuntimeException:
        throw TRuntimeException("no window");
      case Failure::kThrownString:
        throw TThrownString("no window");
      case Failure::kBadAlloc:
        throw std::bad_alloc();
    }
    return Null;
  }
};

Ref<TGraphicsDriver> FakeGraphics::Driver() const {
  return Ref<TGraphicsDriver>(driver_);
}

int g_flipHooks = 0;
Ref<Object> CountFlip(int32_t, const Ref<Object>& data, const Ref<Object>&) {
  ++g_flipHooks;
  return data;
}

class GraphicsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitGraphicsModule();
    InitDataStreamModule();
    InitBankDataTypeModule();
    previousClock_ = SetGraphicsClock({&SimulatedNow, &SimulatedSleep});
    g_now = 100000;
    g_sleeps.clear();
    // Data types stay registered for the whole process, so each test makes two new drivers.
    driver_ = New<FakeDriver>();
    other_ = New<FakeDriver>();
    SelectGraphicsDriver(driver_, GfxBackBuffer);
  }
  void TearDown() override {
    CloseMainGraphics();
    SetGraphicsClock(previousClock_);
  }

  Ref<FakeDriver> driver_;
  Ref<FakeDriver> other_;
  GraphicsClock previousClock_{};
};

TEST_F(GraphicsTest, ModeTextAndListing) {
  EXPECT_EQ(New<TGraphicsMode>(800, 600, 32, 60)->ToString(), String("800,600,32 60Hz"));
  driver_->modes = {New<TGraphicsMode>(640, 480, 16, 60), New<TGraphicsMode>(1024, 768, 32, 75)};

  const Array<Ref<TGraphicsMode>> first = ListGraphicsModes();
  const Array<Ref<TGraphicsMode>> second = ListGraphicsModes();
  EXPECT_EQ(driver_->enumCalls, 1);  // cached
  EXPECT_FALSE(first.SharesWith(second));
  EXPECT_EQ(first[1], second[1]);  // the same mode objects in a new array
  EXPECT_EQ(GraphicsModeCount(), 2);

  int32_t width = 0, height = 0, depth = 0, hertz = 0;
  GraphicsModeAt(1, width, height, depth, hertz);
  EXPECT_EQ(width, 1024);
  EXPECT_EQ(height, 768);
  EXPECT_EQ(depth, 32);
  EXPECT_EQ(hertz, 75);
  EXPECT_THROW(GraphicsModeAt(2, width, height, depth, hertz), TArrayBoundsException);
  EXPECT_THROW(GraphicsModeAt(-1, width, height, depth, hertz), TArrayBoundsException);

  EXPECT_EQ(HasGraphicsMode(0, 0, 32, 0), 1);
  EXPECT_EQ(HasGraphicsMode(640, 0, 0, 60), 1);
  EXPECT_EQ(HasGraphicsMode(640, 0, 32, 0), 0);
  EXPECT_EQ(HasGraphicsMode(0, 0, 24, 0), 0);

  // Another driver empties the cache; selecting the same one again keeps it.
  SelectGraphicsDriver(driver_, GfxBackBuffer);
  ListGraphicsModes();
  EXPECT_EQ(driver_->enumCalls, 1);
  SelectGraphicsDriver(other_, GfxBackBuffer);
  SelectGraphicsDriver(driver_, GfxBackBuffer);
  ListGraphicsModes();
  EXPECT_EQ(driver_->enumCalls, 2);
}

TEST_F(GraphicsTest, NewGraphicsAddsDefaultFlagsAndTurnsEveryFailureIntoNull) {
  SelectGraphicsDriver(driver_, GfxBackBuffer | GfxDepthBuffer);
  EXPECT_EQ(GetDefaultGraphicsFlags(), GfxBackBuffer | GfxDepthBuffer);
  EXPECT_TRUE(NewGraphics(320, 200, 0, 0, GfxAlphaBuffer));
  EXPECT_EQ(driver_->lastFlags, GfxBackBuffer | GfxDepthBuffer | GfxAlphaBuffer);
  EXPECT_TRUE(AttachGraphicsTo(1234, GfxStencilBuffer));
  EXPECT_EQ(driver_->lastFlags, GfxBackBuffer | GfxDepthBuffer | GfxStencilBuffer);

  for (const Failure failure :
       {Failure::kNull, Failure::kRuntimeException, Failure::kThrownString, Failure::kBadAlloc}) {
    driver_->failure = failure;
    EXPECT_FALSE(NewGraphics(320, 200, 0, 0, 0));
    EXPECT_FALSE(AttachGraphicsTo(1234, 0));
  }
}

TEST_F(GraphicsTest, ANewSizeUpdatesTheCurrentSettingsAndMakesTheContextCurrentAgain) {
  const Ref<TGraphics> graphics = OpenGraphics(320, 240, 0, 0, 0);
  ASSERT_TRUE(graphics);
  driver_->madeCurrent.clear();
  EXPECT_EQ(SetGraphicsSize(graphics, 640, 360), 1);
  EXPECT_EQ(CurrentGraphicsWidth(), 640);
  EXPECT_EQ(CurrentGraphicsHeight(), 360);
  ASSERT_EQ(driver_->madeCurrent.size(), 1u);
  EXPECT_EQ(driver_->madeCurrent[0], graphics);
  // A report that changes nothing for the current context does nothing.
  SendEvent(NewEvent(EVENT_WINDOWSIZE, Null, 0, 0, 100, 100, Null));
  EXPECT_EQ(driver_->madeCurrent.size(), 1u);
  // Contexts that cannot change say so.
  EXPECT_EQ(SetGraphicsFullScreen(graphics, 1), 0);
  EXPECT_EQ(GraphicsFullScreen(graphics), 0);
  EXPECT_EQ(SetGraphicsSize(Null, 10, 10), 0);
  EXPECT_FLOAT_EQ(GraphicsPixelScale(), 1.0f);
  CloseMainGraphics();
}

TEST_F(GraphicsTest, MakingCurrentRecordsSettingsAndSwitchesDrivers) {
  const Ref<TGraphics> mine = NewGraphics(320, 200, 16, 70, 0);
  MakeGraphicsCurrent(mine);
  EXPECT_EQ(CurrentGraphics(), mine);
  EXPECT_EQ(CurrentGraphicsWidth(), 320);
  EXPECT_EQ(CurrentGraphicsHeight(), 200);
  EXPECT_EQ(CurrentGraphicsDepth(), 16);
  EXPECT_EQ(CurrentGraphicsHertz(), 70);
  EXPECT_EQ(CurrentGraphicsFlags(), GfxBackBuffer);
  ASSERT_EQ(driver_->madeCurrent.size(), 1u);
  EXPECT_EQ(driver_->madeCurrent[0], mine);

  // A context of another driver makes that driver current, releasing the old one's context.
  const Ref<TGraphics> theirs = other_->Create(640, 480, 0, 0, 0);
  MakeGraphicsCurrent(theirs);
  EXPECT_EQ(CurrentGraphicsDriver(), other_);
  ASSERT_EQ(driver_->madeCurrent.size(), 2u);
  EXPECT_FALSE(driver_->madeCurrent[1]);
  EXPECT_EQ(CurrentGraphicsWidth(), 640);

  // Selecting the current driver again forgets the current graphics without telling it.
  SelectGraphicsDriver(other_, GfxBackBuffer);
  EXPECT_FALSE(CurrentGraphics());
  EXPECT_EQ(CurrentGraphicsWidth(), 0);
  EXPECT_EQ(other_->madeCurrent.size(), 1u);

  // Null releases the context of the current driver, when there is one.
  MakeGraphicsCurrent(theirs);
  MakeGraphicsCurrent(Null);
  EXPECT_FALSE(other_->madeCurrent.back());
  EXPECT_EQ(CurrentGraphicsHeight(), 0);
}

TEST_F(GraphicsTest, OpenAndCloseMoveTheGenerationAndInputTracking) {
  const int32_t start = GraphicsGeneration();
  const Ref<TGraphics> first = OpenGraphics(800, 600, 0, 60, 0);
  ASSERT_TRUE(first);
  EXPECT_EQ(MainGraphics(), first);
  EXPECT_EQ(CurrentGraphics(), first);
  EXPECT_EQ(GraphicsGeneration(), start + 1);
  EXPECT_EQ(IsInputTracking(), 1);

  const Ref<TGraphics> second = OpenGraphics(640, 480, 0, 60, 0);
  EXPECT_EQ(GraphicsGeneration(), start + 3);  // closed and opened
  EXPECT_EQ(Cast<FakeGraphics>(first)->closes, 1);
  EXPECT_EQ(MainGraphics(), second);

  // A failing driver: the old main graphics is still closed, input tracking is off.
  driver_->failure = Failure::kRuntimeException;
  EXPECT_FALSE(OpenGraphics(640, 480, 0, 60, 0));
  EXPECT_EQ(GraphicsGeneration(), start + 4);
  EXPECT_FALSE(MainGraphics());
  EXPECT_FALSE(CurrentGraphics());
  EXPECT_EQ(IsInputTracking(), 0);
  EXPECT_EQ(Cast<FakeGraphics>(second)->closes, 1);

  CloseMainGraphics();  // nothing open: nothing changes
  EXPECT_EQ(GraphicsGeneration(), start + 4);
}

TEST_F(GraphicsTest, ClosingTheMainGraphicsDirectlyKeepsTheGeneration) {
  const Ref<TGraphics> main = OpenGraphics(800, 600, 0, 60, 0);
  const int32_t generation = GraphicsGeneration();
  CloseGraphics(main);
  EXPECT_FALSE(MainGraphics());
  EXPECT_FALSE(CurrentGraphics());
  EXPECT_FALSE(driver_->madeCurrent.back());  // released before closing
  EXPECT_EQ(Cast<FakeGraphics>(main)->closes, 1);
  EXPECT_EQ(GraphicsGeneration(), generation);
}

TEST_F(GraphicsTest, SoftSyncPacesTheMainWindowAtSixteenSeventeenSeventeen) {
  const int32_t hook = FlipHookId();
  AttachHook(hook, &CountFlip, Null, 0);
  g_flipHooks = 0;
  OpenGraphics(800, 600, 0, 60, 0);
  for (int frame = 0; frame < 60; ++frame) FlipPage(-1);
  DetachHook(hook, &CountFlip, Null);

  ASSERT_EQ(g_sleeps.size(), 60u);
  for (size_t frame = 0; frame < g_sleeps.size(); ++frame) {
    EXPECT_EQ(g_sleeps[frame], frame % 3 == 0 ? 16 : 17) << "frame " << frame;
  }
  EXPECT_EQ(std::accumulate(g_sleeps.begin(), g_sleeps.end(), 0), 1000);
  EXPECT_EQ(driver_->flips, std::vector<int32_t>(60, 0));  // paced frames present at once
  EXPECT_EQ(g_flipHooks, 60);
}

TEST_F(GraphicsTest, UnpacedFlipsPresentAsTheirKindWants) {
  // Hertz 0 never sleeps: a window presents at once, a full screen waits for the retrace.
  OpenGraphics(800, 600, 0, 0, 0);
  FlipPage(-1);
  OpenGraphics(800, 600, 32, 0, 0);
  FlipPage(-1);
  EXPECT_TRUE(g_sleeps.empty());
  EXPECT_EQ(driver_->flips, (std::vector<int32_t>{0, 1}));

  // Explicit syncs pass through; a current context other than the main one is not paced.
  driver_->flips.clear();
  OpenGraphics(800, 600, 0, 60, 0);
  FlipPage(0);
  FlipPage(1);
  MakeGraphicsCurrent(NewGraphics(100, 100, 0, 60, 0));
  FlipPage(-1);
  EXPECT_TRUE(g_sleeps.empty());
  EXPECT_EQ(driver_->flips, (std::vector<int32_t>{0, 1, 0}));
}

TEST_F(GraphicsTest, FullScreenTrustsARetraceThatKeepsTheRate) {
  // Every Flip (1) lasts 16 ms, 1000 / 60: three in a row turn soft sync off.
  driver_->retraceMillis = 16;
  OpenGraphics(1024, 768, 32, 60, 0);
  EXPECT_EQ(driver_->flips, (std::vector<int32_t>{1, 1, 1}));
  FlipPage(-1);
  EXPECT_TRUE(g_sleeps.empty());
  EXPECT_EQ(driver_->flips.back(), 1);

  // A retrace of 5 ms is measured for one second (200 flips), then soft sync stays on.
  driver_->flips.clear();
  driver_->retraceMillis = 5;
  OpenGraphics(1024, 768, 32, 60, 0);
  EXPECT_EQ(driver_->flips.size(), 200u);
  FlipPage(-1);
  EXPECT_EQ(g_sleeps, std::vector<int32_t>{16});
  EXPECT_EQ(driver_->flips.back(), 0);
}

TEST_F(GraphicsTest, SerialisesAsItsFourNumbersAndReadsBackAsANewMainGraphics) {
  const Ref<TGraphics> graphics = NewGraphics(640, 480, 16, 75, GfxDepthBuffer);
  EXPECT_EQ(graphics->DataType(), driver_);
  EXPECT_EQ(driver_->TypeName(), String("NOX.Graphics.TGraphics"));

  const Ref<TBankStream> stream = TBankStream::Create(NewBank(0));
  TDataStream::Create(stream)->WriteObject(graphics);
  SeekStream(stream, 0);
  const Ref<TGraphics> read = Cast<TGraphics>(TDataStream::Create(stream)->ReadObject());
  ASSERT_TRUE(read);
  EXPECT_NE(read, graphics);
  EXPECT_EQ(MainGraphics(), read);
  int32_t width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
  read->GetSettings(width, height, depth, hertz, flags);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(depth, 16);
  EXPECT_EQ(hertz, 75);
  EXPECT_EQ(flags, GfxBackBuffer);  // flags are not written: only the defaults
}

}  // namespace
}  // namespace corvex
