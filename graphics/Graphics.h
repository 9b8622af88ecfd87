// The device-independent graphics layer: what a graphics driver, a graphics context and a
// display mode are; the process-wide current driver and context; opening the main graphics;
// page flipping with millisecond frame pacing; and the counter that tells per-context resources
// that their context has gone.
#pragma once

#include <cstdint>

#include "runtime/Array.h"
#include "runtime/Data.h"
#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

// Graphics flags, OR-ed together and turned into buffer requests by the driver.
inline constexpr int32_t GfxBackBuffer = 2;      // double-buffered: Flip shows the back buffer
inline constexpr int32_t GfxAlphaBuffer = 4;     // the frame buffer has an alpha channel
inline constexpr int32_t GfxDepthBuffer = 8;     // a depth buffer is attached
inline constexpr int32_t GfxStencilBuffer = 16;  // a stencil buffer is attached
inline constexpr int32_t GfxAccumBuffer = 32;    // an accumulation buffer is attached
inline constexpr int32_t GfxResizable = 64;      // a window the user can resize
inline constexpr int32_t GfxHighDpi = 128;       // a window asks for a high-density drawable

// A display mode a driver can use for full-screen graphics.
class TGraphicsMode : public Object {
 public:
  // A mode of the given size in pixels, colour depth in bits and refresh rate.
  TGraphicsMode(int32_t modeWidth, int32_t modeHeight, int32_t modeDepth, int32_t modeHertz) noexcept
      : width(modeWidth), height(modeHeight), depth(modeDepth), hertz(modeHertz) {}
  // "width,height,depth hertzHz", e.g. "800,600,32 60Hz".
  String ToString() const override;

  // Pixels across and down, bits per pixel, and refreshes per second.
  int32_t width;
  int32_t height;
  int32_t depth;  // bits per pixel
  int32_t hertz;  // refresh rate
};

class TGraphicsDriver;

// A graphics context: a window or full-screen display that a driver draws into. It serialises
// through its driver, which writes its size, depth and rate.
class TGraphics : public TData {
 public:
  // The driver that created this context, which is also its data type.
  Ref<TDataType> DataType() const override;
  // The driver that created this context.
  virtual Ref<TGraphicsDriver> Driver() const = 0;
  // The drawable size, the depth (0 for a window), the refresh rate (0 when not given) and the
  // flags the context was created with.
  virtual void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                           int32_t& flags) const = 0;
  // Releases the platform resources; the object stays valid but draws nowhere. Idempotent.
  virtual void Close() = 0;

  // Asks for a new window size in window units; 1 when the context can change size (its
  // settings follow once the platform reports the change), 0 when it cannot.
  virtual int32_t Resize(int32_t width, int32_t height);
  // Switches a window to desktop full screen (non-zero) or back; 1 when the context can.
  virtual int32_t SetFullScreen(int32_t enable);
  // 1 while a window is in desktop full screen, else 0.
  virtual int32_t IsFullScreen() const;
  // Drawable pixels per window unit: above 1 on high-density displays.
  virtual float PixelScale() const;
};

// A graphics driver. Constructing one registers it as the data type "NOX.Graphics.TGraphics".
class TGraphicsDriver : public TDataType {
 public:
  // "NOX.Graphics.TGraphics".
  String TypeName() const override;
  // Reads width, height, depth and hertz and answers OpenGraphics with them (Null when that fails).
  Ref<Object> ReadData(TStream& stream) const override;
  // Writes the context's width, height, depth and hertz (not its flags).
  void WriteData(const Ref<Object>& object, TStream& stream) const override;

  // The display modes the driver can use for full-screen graphics.
  virtual Array<Ref<TGraphicsMode>> EnumModes() = 0;
  // A context drawing into an existing window of another toolkit (its native handle), or Null.
  virtual Ref<TGraphics> Attach(uintptr_t window, int32_t flags) = 0;
  // A new window (depth 0) or full-screen display of the given mode, or Null.
  virtual Ref<TGraphics> Create(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                int32_t flags) = 0;
  // Makes the context the target of drawing; Null makes none the target.
  virtual void MakeCurrent(const Ref<TGraphics>& graphics) = 0;
  // The current context's window changed size: what the driver keeps for it (projection,
  // viewport) follows. By default the context is made current again.
  virtual void FollowSize(const Ref<TGraphics>& graphics);
  // Presents the back buffer: non-zero sync waits for the display's retrace, 0 presents at once.
  virtual void Flip(int32_t sync) = 0;
};

// Makes `driver` current (telling the old one to release its context) and stores the flags
// OR-ed into every Create and Attach. Always clears the current graphics and its settings.
void SelectGraphicsDriver(const Ref<TGraphicsDriver>& driver, int32_t defaultFlags);
// The current driver, Null before one is selected.
Ref<TGraphicsDriver> CurrentGraphicsDriver();
// The flags OR-ed into every Create and Attach.
int32_t GetDefaultGraphicsFlags();

// The current driver's display modes (cached until the driver changes), in a new array.
Array<Ref<TGraphicsMode>> ListGraphicsModes();
// The number of listed modes.
int32_t GraphicsModeCount();
// The fields of mode `index` (from 0; TArrayBoundsException at or above the count).
void GraphicsModeAt(int32_t index, int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz);
// 1 when some listed mode matches; an argument of 0 matches any value of its field.
int32_t HasGraphicsMode(int32_t width, int32_t height, int32_t depth, int32_t hertz);

// A new context from the current driver, or Null; any error the driver raises gives Null.
Ref<TGraphics> NewGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags);
// A context over a window of another toolkit, or Null; any error the driver raises gives Null.
Ref<TGraphics> AttachGraphicsTo(uintptr_t window, int32_t flags);
// Makes the context (or none, for Null) the target of drawing and records its settings.
void MakeGraphicsCurrent(const Ref<TGraphics>& graphics);
// Closes a context, releasing it first when it is current and forgetting it when it is the main
// graphics.
void CloseGraphics(const Ref<TGraphics>& graphics);
// The current context, Null when there is none.
Ref<TGraphics> CurrentGraphics();

// Settings of the current context as read when it was made current; 0 when there is none.
int32_t CurrentGraphicsWidth();
int32_t CurrentGraphicsHeight();
int32_t CurrentGraphicsDepth();
int32_t CurrentGraphicsHertz();
int32_t CurrentGraphicsFlags();

// Changes a window's size while running (in window units); its settings, the renderer's
// default viewport and a "WindowSize" event follow. In desktop full screen the size is kept for
// the way back. 0 when the context cannot change size.
int32_t SetGraphicsSize(const Ref<TGraphics>& graphics, int32_t width, int32_t height);
// Switches a window to desktop full screen (non-zero) or back, with the same rules as
// SetGraphicsSize. 0 when the context cannot.
int32_t SetGraphicsFullScreen(const Ref<TGraphics>& graphics, int32_t enable);
// 1 while the window is in desktop full screen, else 0.
int32_t GraphicsFullScreen(const Ref<TGraphics>& graphics);
// Drawable pixels per window unit of the current graphics (1 without one).
float GraphicsPixelScale();

// Opens the program's main window (depth 0) or screen, makes it current, sets up frame pacing
// at `hertz` and starts input tracking. The previous main graphics is closed first. Null when
// the driver makes no context; input tracking is then off.
Ref<TGraphics> OpenGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags);
// Closes the main graphics, if any, and stops input tracking; also runs at process exit.
void CloseMainGraphics();
// The context OpenGraphics opened, Null when there is none.
Ref<TGraphics> MainGraphics();

// Runs the flip hook, then presents: sync -1 paces the main graphics as OpenGraphics set up,
// 0 presents at once, 1 waits for the display's retrace.
void FlipPage(int32_t sync);

// A counter that changes whenever the main graphics is opened or closed; never 0. Resources
// tagged with an older value belong to a context that has gone.
int32_t GraphicsGeneration();
// The hook run before every flip.
int32_t FlipHookId();

// The clock that frame pacing reads and sleeps on; tests inject a simulated one.
struct GraphicsClock {
  // A millisecond reading that may wrap, and a sleep of about that many milliseconds.
  int32_t (*millisNow)();
  void (*sleepMillis)(int32_t milliseconds);
};
// Replaces the pacing clock and answers the previous one; a member left null means MillisNow
// or SleepMillis.
GraphicsClock SetGraphicsClock(GraphicsClock clock);

// The graphics module's initialiser: takes the flip hook id.
void InitGraphicsModule();

}  // namespace corvex
