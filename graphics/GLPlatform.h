// What the OpenGL graphics driver needs from the platform: windows with GL contexts that all
// share their textures with one hidden context, display modes, the swap interval and buffer
// swapping. One implementation per platform layer (graphics/sdl2/GLGraphicsSdl2.cpp).
// Everything here runs on the thread that pumps events; the current GL context is per thread.
#pragma once

#include <cstdint>
#include <vector>

namespace corvex::glplatform {

// What a context record draws into.
inline constexpr int32_t kSharedMode = 0;      // the hidden shared context's 1 by 1 window
inline constexpr int32_t kAttachedMode = 1;    // a window of another toolkit
inline constexpr int32_t kWindowMode = 2;      // a window of its own
inline constexpr int32_t kFullScreenMode = 3;  // a window of its own that changes the display mode

// One GL context and the window it draws into; opaque outside the platform layer. A record
// lives from its create or attach until CloseContext, in the list of live records.
struct ContextRecord;

// A record's settings: its mode, client size, requested depth and rate, and graphics flags.
struct ContextSettings {
  int32_t mode;
  int32_t width;
  int32_t height;
  int32_t depth;
  int32_t hertz;
  int32_t flags;
};

// A display mode the platform offers.
struct DisplayMode {
  int32_t width;
  int32_t height;
  int32_t depth;  // bits per pixel
  int32_t hertz;
};

// The largest window side the driver asks the platform for.
inline constexpr int32_t kMaxWindowSide = 16384;

// The message raised when a full-screen display mode cannot be set.
inline constexpr const char* kDisplayModeError = "GLGraphicsDriver failed to set display mode";

// The display modes of the primary display in the platform's order (empty without video).
std::vector<DisplayMode> DisplayModes();
// A new window (depth 0, at (32, 32)) or full-screen window (depth non-zero) with a GL context
// sharing with the hidden one; the window is shown, the current context is left as it was.
// Null when there is no video, the size is outside 1 to kMaxWindowSide, or no window or
// context with the flags' buffers can be made. Raises kDisplayModeError (closing the new
// record first) when a full-screen mode cannot be set.
ContextRecord* CreateContext(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags);
// A GL context drawing into the window with this native handle (which must name a live
// window), sharing with the hidden one; null when none can be made. The window is not changed.
ContextRecord* AttachContext(uintptr_t window, int32_t flags);
// Deletes the record's context and, for its own windows, the window; nothing for a record that
// is not live.
void CloseContext(ContextRecord* record);
// The record's settings; an attached record's size is first read again from its window.
ContextSettings Settings(ContextRecord* record);

// Asks for a new size (in window units) of a window of its own (not a full-screen display
// or an attached window); false when it cannot change. The record's size follows when the
// platform reports the change through the event pump.
bool ResizeWindow(ContextRecord* record, int32_t width, int32_t height);
// Makes a window of its own cover its display without a frame (desktop full screen: the
// display mode stays) or gives it back its place and size; false when it cannot.
bool SetDesktopFullScreen(ContextRecord* record, bool enable);
// Whether the record's window is in desktop full screen.
bool IsDesktopFullScreen(ContextRecord* record);
// The record's drawable width over its window's width: above 1 for high-density drawables.
float PixelScale(ContextRecord* record);
// Gives every window of the layer's own (not windows of another toolkit) the current AppTitle.
void ApplyAppTitle();

// The native handle of the record's window (an X11 window id on X11), 0 when there is none.
uintptr_t NativeWindow(ContextRecord* record);

// Makes the record's context current on this thread, or none for null; nothing when the record
// is already the current one.
void MakeCurrent(ContextRecord* record);
// The current record, null when there is none.
ContextRecord* CurrentRecord();
// The full-screen record for which the display mode is changed now (while it has the focus),
// null when the desktop has its own mode.
ContextRecord* FullScreenRecord();
// Presents the current record's back buffer, setting the swap interval (1 for non-zero sync)
// when it differs from the last one Flip set; nothing without a current record.
void Flip(int32_t sync);

// Makes the hidden shared context current when it is not, otherwise the current record's
// context (or none). Changes only the thread's GL context, never the current record.
void ToggleSharedContext();
// Whether the hidden shared context is the thread's current GL context.
bool IsSharedContextCurrent();
// Whether any GL context is current on this thread.
bool HasCurrentGLContext();
// The address of the named GL entry point, null when the platform knows none. Whether the
// current context implements it is for its version and extension string to say.
void* ProcAddress(const char* name);

// The function through which every swap-interval change goes; tests count calls through it.
using SwapIntervalFunction = void (*)(int32_t interval);
// Replaces the swap-interval function and answers the previous one (null restores the
// platform's own).
SwapIntervalFunction SetSwapIntervalFunction(SwapIntervalFunction function);
// The platform's own: sets the current context's swap interval when the platform can.
void PlatformSwapInterval(int32_t interval);

}  // namespace corvex::glplatform
