#include "graphics/Graphics.h"

#include <cstdlib>

#include "graphics/FramePacer.h"
#include "runtime/LastError.h"
#include "runtime/Module.h"
#include "stream/Stream.h"
#include "system/Event.h"
#include "system/Hook.h"
#include "system/InputTracker.h"
#include "system/SystemDriver.h"

namespace corvex {
namespace {

struct Settings {
  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;
  int32_t hertz = 0;
  int32_t flags = 0;
};

// The module's process-wide state. Created by the initialiser and never freed, so nothing here
// runs at static destruction (CloseMainGraphics still runs at exit).
struct GraphicsState {
  int32_t flipHookId = -1;
  Ref<TGraphicsDriver> driver;
  int32_t defaultFlags = 0;
  Array<Ref<TGraphicsMode>> modeCache;
  Ref<TGraphics> current;
  Settings currentSettings;
  Ref<TGraphics> main;
  bool softSync = false;
  FramePacer pacer;
  int32_t generation = 1;
  bool closeAtExitRegistered = false;
  GraphicsClock clock{nullptr, nullptr};
};

GraphicsState* g_state = nullptr;

GraphicsState& State() {
  InitGraphicsModule();
  return *g_state;
}

int32_t ClockNow() {
  const GraphicsState& state = State();
  return state.clock.millisNow != nullptr ? state.clock.millisNow() : MillisNow();
}

void ClockSleep(int32_t milliseconds) {
  const GraphicsState& state = State();
  if (state.clock.sleepMillis != nullptr) {
    state.clock.sleepMillis(milliseconds);
  } else {
    SleepMillis(milliseconds);
  }
}

// Moves the generation on, skipping 0 so that 0 can mean "never made".
void AdvanceGeneration(GraphicsState& state) {
  state.generation = static_cast<int32_t>(static_cast<uint32_t>(state.generation) + 1);
  if (state.generation == 0) state.generation = 1;
}

// Tells the current driver to release its context, if it has one current.
void ReleaseCurrentContext(GraphicsState& state) {
  if (state.driver && state.current) state.driver->MakeCurrent(Null);
}

void ChangeDriver(GraphicsState& state, const Ref<TGraphicsDriver>& driver) {
  ReleaseCurrentContext(state);
  state.modeCache = Array<Ref<TGraphicsMode>>();
  state.driver = driver;
}

// Whether the driver's retrace wait really runs at `hertz`: three flips in a row within a
// millisecond of the frame time, measured for at most one second.
bool RetraceKeepsRate(GraphicsState& state, int32_t hertz) {
  const int32_t frameMillis = 1000 / hertz;
  const int32_t start = ClockNow();
  int32_t streak = 0;
  while (MillisBetween(start, ClockNow()) < 1000) {
    const int32_t before = ClockNow();
    state.driver->Flip(1);
    const int32_t lasted = MillisBetween(before, ClockNow());
    const int32_t error = lasted - frameMillis;
    streak = error >= -1 && error <= 1 ? streak + 1 : 0;
    if (streak == 3) return true;
  }
  return false;
}

void CloseMainGraphicsAtExit() {
  CloseMainGraphics();
}

// Asks the current driver for a context; failures are recorded about "<call> <w> x <h>".
Ref<TGraphics> CreateWithDriver(const char* call, int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                int32_t flags) {
  GraphicsState& state = State();
  const String what = String(call) + " " + String::FromInt(width) + " x " + String::FromInt(height);
  const ErrorSubject subject(&what);
  const uint64_t failures = LastErrorCount();
  try {
    Ref<TGraphics> graphics = state.driver->Create(width, height, depth, hertz, flags | state.defaultFlags);
    if (!graphics && LastErrorCount() == failures) SetLastError("the graphics driver made no context");
    return graphics;
  } catch (const Object& error) {
    // A driver may fail in any way; to the program that is "no graphics".
    return FailNull(error.ToString());
  } catch (...) {
    return FailNull("the graphics driver failed");
  }
}

// Runs before every other listener of a "WindowSize" event: the current graphics' settings
// follow the new size, and its driver makes it current again so that what it keeps for the
// context (the renderer's projection and default viewport) follows too.
Ref<Object> FollowWindowSize(int32_t, const Ref<Object>& data, const Ref<Object>&) {
  const Ref<TEvent> event = Cast<TEvent>(data);
  if (!event || event->id != EVENT_WINDOWSIZE || g_state == nullptr) return data;
  GraphicsState& state = *g_state;
  if (!state.current || !state.driver) return data;
  Settings settings;
  state.current->GetSettings(settings.width, settings.height, settings.depth, settings.hertz, settings.flags);
  if (settings.width == state.currentSettings.width && settings.height == state.currentSettings.height) {
    return data;
  }
  state.currentSettings = settings;
  state.driver->FollowSize(state.current);
  return data;
}

// Ahead of the input tracker, the queue and the program's own listeners.
inline constexpr int32_t kFollowWindowSizePriority = 1000000;

}  // namespace

String TGraphicsMode::ToString() const {
  return String::FromInt(width) + String(",") + String::FromInt(height) + String(",") +
         String::FromInt(depth) + String(" ") + String::FromInt(hertz) + String("Hz");
}

Ref<TDataType> TGraphics::DataType() const {
  return Driver();
}

void TGraphicsDriver::FollowSize(const Ref<TGraphics>& graphics) {
  MakeCurrent(graphics);
}

int32_t TGraphics::Resize(int32_t, int32_t) {
  return 0;
}

int32_t TGraphics::SetFullScreen(int32_t) {
  return 0;
}

int32_t TGraphics::IsFullScreen() const {
  return 0;
}

float TGraphics::PixelScale() const {
  return 1.0f;
}

String TGraphicsDriver::TypeName() const {
  return String("NOX.Graphics.TGraphics");
}

Ref<Object> TGraphicsDriver::ReadData(TStream& stream) const {
  const int32_t width = stream.ReadInt();
  const int32_t height = stream.ReadInt();
  const int32_t depth = stream.ReadInt();
  const int32_t hertz = stream.ReadInt();
  return OpenGraphics(width, height, depth, hertz, 0);
}

void TGraphicsDriver::WriteData(const Ref<Object>& object, TStream& stream) const {
  int32_t width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
  Cast<TGraphics>(object)->GetSettings(width, height, depth, hertz, flags);
  stream.WriteInt(width);
  stream.WriteInt(height);
  stream.WriteInt(depth);
  stream.WriteInt(hertz);
}

void SelectGraphicsDriver(const Ref<TGraphicsDriver>& driver, int32_t defaultFlags) {
  GraphicsState& state = State();
  if (driver != state.driver) ChangeDriver(state, driver);
  state.defaultFlags = defaultFlags;
  state.current = Null;
  state.currentSettings = Settings();
}

Ref<TGraphicsDriver> CurrentGraphicsDriver() {
  return State().driver;
}

int32_t GetDefaultGraphicsFlags() {
  return State().defaultFlags;
}

Array<Ref<TGraphicsMode>> ListGraphicsModes() {
  GraphicsState& state = State();
  if (state.modeCache.IsEmpty()) state.modeCache = state.driver->EnumModes();
  return state.modeCache.Resized(state.modeCache.Length());
}

int32_t GraphicsModeCount() {
  return ListGraphicsModes().Length();
}

void GraphicsModeAt(int32_t index, int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz) {
  const Ref<TGraphicsMode> mode = ListGraphicsModes()[index];
  width = mode->width;
  height = mode->height;
  depth = mode->depth;
  hertz = mode->hertz;
}

int32_t HasGraphicsMode(int32_t width, int32_t height, int32_t depth, int32_t hertz) {
  for (const Ref<TGraphicsMode>& mode : ListGraphicsModes()) {
    if ((width == 0 || mode->width == width) && (height == 0 || mode->height == height) &&
        (depth == 0 || mode->depth == depth) && (hertz == 0 || mode->hertz == hertz)) {
      return 1;
    }
  }
  return 0;
}

Ref<TGraphics> NewGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
  return CreateWithDriver("NewGraphics", width, height, depth, hertz, flags);
}

Ref<TGraphics> AttachGraphicsTo(uintptr_t window, int32_t flags) {
  GraphicsState& state = State();
  try {
    return state.driver->Attach(window, flags | state.defaultFlags);
  } catch (...) {
    return Null;
  }
}

void MakeGraphicsCurrent(const Ref<TGraphics>& graphics) {
  GraphicsState& state = State();
  if (!graphics) {
    ReleaseCurrentContext(state);
    state.current = Null;
    state.currentSettings = Settings();
    return;
  }
  const Ref<TGraphicsDriver> driver = graphics->Driver();
  if (driver != state.driver) ChangeDriver(state, driver);
  Settings settings;
  graphics->GetSettings(settings.width, settings.height, settings.depth, settings.hertz, settings.flags);
  state.currentSettings = settings;
  state.driver->MakeCurrent(graphics);
  state.current = graphics;
}

void CloseGraphics(const Ref<TGraphics>& graphics) {
  GraphicsState& state = State();
  const Ref<TGraphics> closing = graphics;  // the argument may be the main graphics itself
  if (closing == state.main) state.main = Null;
  if (closing == state.current) MakeGraphicsCurrent(Null);
  closing->Close();
}

Ref<TGraphics> CurrentGraphics() {
  return State().current;
}

int32_t CurrentGraphicsWidth() {
  return State().currentSettings.width;
}
int32_t CurrentGraphicsHeight() {
  return State().currentSettings.height;
}
int32_t CurrentGraphicsDepth() {
  return State().currentSettings.depth;
}
int32_t CurrentGraphicsHertz() {
  return State().currentSettings.hertz;
}
int32_t CurrentGraphicsFlags() {
  return State().currentSettings.flags;
}

int32_t SetGraphicsSize(const Ref<TGraphics>& graphics, int32_t width, int32_t height) {
  if (!graphics || graphics->Resize(width, height) == 0) return 0;
  // The platform reports the change as an event; taking it now lets the settings answer the
  // new size at once (inside a listener it arrives with the next poll).
  PollSystemEvents();
  return 1;
}

int32_t SetGraphicsFullScreen(const Ref<TGraphics>& graphics, int32_t enable) {
  if (!graphics || graphics->SetFullScreen(enable) == 0) return 0;
  PollSystemEvents();
  return 1;
}

int32_t GraphicsFullScreen(const Ref<TGraphics>& graphics) {
  return graphics ? graphics->IsFullScreen() : 0;
}

float GraphicsPixelScale() {
  const GraphicsState& state = State();
  return state.current ? state.current->PixelScale() : 1.0f;
}

Ref<TGraphics> OpenGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
  GraphicsState& state = State();
  CloseMainGraphics();
  const Ref<TGraphics> graphics = CreateWithDriver("OpenGraphics", width, height, depth, hertz, flags);
  if (!graphics) return Null;
  AdvanceGeneration(state);
  MakeGraphicsCurrent(graphics);

  // A negative rate cannot be paced and is treated like 0.
  state.softSync = hertz > 0;
  if (state.softSync && depth != 0 && RetraceKeepsRate(state, hertz)) state.softSync = false;
  state.pacer.Start(hertz, ClockNow());

  state.main = graphics;
  if (depth != 0) SetPointerPosition(width / 2, height / 2);
  StartInputTracking(Null);
  if (!state.closeAtExitRegistered) {
    state.closeAtExitRegistered = true;
    std::atexit(&CloseMainGraphicsAtExit);
  }
  return graphics;
}

void CloseMainGraphics() {
  GraphicsState& state = State();
  if (!state.main) return;
  AdvanceGeneration(state);
  StopInputTracking();
  CloseGraphics(state.main);
}

Ref<TGraphics> MainGraphics() {
  return State().main;
}

void FlipPage(int32_t sync) {
  GraphicsState& state = State();
  CallHooks(state.flipHookId, Null);
  if (sync != -1) {
    state.driver->Flip(sync);
    return;
  }
  if (state.current != state.main || !state.softSync) {
    state.driver->Flip(state.currentSettings.depth != 0 ? 1 : 0);
    return;
  }
  const int32_t wait = state.pacer.NextWait(ClockNow());
  if (wait > 0) ClockSleep(wait);
  state.driver->Flip(0);
}

int32_t GraphicsGeneration() {
  return State().generation;
}

int32_t FlipHookId() {
  return State().flipHookId;
}

GraphicsClock SetGraphicsClock(GraphicsClock clock) {
  GraphicsState& state = State();
  const GraphicsClock previous = state.clock;
  state.clock = clock;
  return previous;
}

void InitGraphicsModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitHookModule();
  InitEventModule();
  InitSystemModule();
  InitInputModule();
  g_state = new GraphicsState();
  g_state->flipHookId = NewHookId();
  AttachHook(EventHookId(), &FollowWindowSize, Null, kFollowWindowSizePriority);
}

}  // namespace corvex
