// The OpenGL driver's platform layer over SDL2: SDL windows and GL contexts, the hidden shared
// context, display modes and full-screen switching on focus.
#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "graphics/GLPlatform.h"
#include "graphics/Graphics.h"
#include "runtime/AppStrings.h"
#include "runtime/Exceptions.h"
#include "runtime/LastError.h"
#include "system/sdl2/EventPumpSdl2.h"

namespace corvex::glplatform {
namespace {

struct WindowDeleter {
  void operator()(SDL_Window* window) const noexcept { SDL_DestroyWindow(window); }
};
using WindowPtr = std::unique_ptr<SDL_Window, WindowDeleter>;

struct GLContextDeleter {
  void operator()(void* context) const noexcept { SDL_GL_DeleteContext(context); }
};
using GLContextPtr = std::unique_ptr<void, GLContextDeleter>;

}  // namespace

struct ContextRecord {
  ContextSettings settings{};  // width and height are the drawable's, in pixels
  bool desktopFullScreen = false;
  SDL_Rect windowed{};  // place and size to go back to from desktop full screen
  // Declared before the context so that the context goes first. SDL leaves the window of
  // another toolkit in place when it destroys its wrapper of it.
  WindowPtr window;
  GLContextPtr glContext;
};

namespace {

static_assert(!std::is_copy_constructible_v<WindowPtr> && std::is_nothrow_move_constructible_v<WindowPtr>);
static_assert(!std::is_copy_constructible_v<GLContextPtr> &&
              std::is_nothrow_move_constructible_v<GLContextPtr>);

// The layer's globals. Created on first use and never freed: the shared context lives until
// the process ends.
struct PlatformState {
  bool videoStarted = false;
  std::unique_ptr<ContextRecord> shared;
  std::vector<std::unique_ptr<ContextRecord>> live;  // the newest last
  ContextRecord* current = nullptr;
  ContextRecord* fullScreen = nullptr;  // the record for which the display mode is changed
  int32_t lastSwapInterval = -1;        // -1 so that the first Flip always sets it
  SwapIntervalFunction swapInterval = &PlatformSwapInterval;
};

PlatformState& Platform() {
  static PlatformState* state = new PlatformState();
  return *state;
}

ContextRecord* FindLive(PlatformState& platform, SDL_Window* window) {
  for (const std::unique_ptr<ContextRecord>& record : platform.live) {
    if (record->window.get() == window) return record.get();
  }
  return nullptr;
}

bool IsLive(PlatformState& platform, const ContextRecord* record) {
  return std::any_of(platform.live.begin(), platform.live.end(),
                     [record](const std::unique_ptr<ContextRecord>& live) { return live.get() == record; });
}

// The GL context current on this thread and its window, put back after creating another.
class CurrentContextKeeper {
 public:
  CurrentContextKeeper() noexcept
      : window_(SDL_GL_GetCurrentWindow()), context_(SDL_GL_GetCurrentContext()) {}
  ~CurrentContextKeeper() { SDL_GL_MakeCurrent(context_ != nullptr ? window_ : nullptr, context_); }
  CurrentContextKeeper(const CurrentContextKeeper&) = delete;
  CurrentContextKeeper& operator=(const CurrentContextKeeper&) = delete;

 private:
  SDL_Window* window_;
  SDL_GLContext context_;
};

// The pixel-format request of the graphics flags; every bit count is a minimum.
void RequestPixelFormat(int32_t flags) {
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 1);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 1);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 1);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (flags & 2) != 0 ? 1 : 0);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, (flags & 4) != 0 ? 1 : 0);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, (flags & 8) != 0 ? 1 : 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, (flags & 16) != 0 ? 1 : 0);
  const int accum = (flags & 32) != 0 ? 1 : 0;
  SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum);
}

bool FilterWindowEvent(const SDL_Event& event);

// Without a display SDL falls back on drivers whose windows nobody sees; a program asking for
// graphics then gets none, unless SDL_VIDEODRIVER named such a driver on purpose.
bool IsInvisibleFallback(const char* driver) {
  const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  if (driver == nullptr || (asked != nullptr && *asked != 0)) return false;
  return std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

// Records SDL's reason for the failure just seen.
std::nullptr_t FailWithSdlError() {
  return FailNull(String("SDL: ") + SDL_GetError());
}

bool StartVideo(PlatformState& platform) {
  if (platform.videoStarted) return true;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    FailWithSdlError();
    return false;
  }
  if (IsInvisibleFallback(SDL_GetCurrentVideoDriver())) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SetLastError("no display");
    return false;
  }
  platform.videoStarted = true;
  AddSdlEventFilter(&FilterWindowEvent);
  return true;
}

// The hidden 1 by 1 context every other context shares with; made once.
ContextRecord* SharedRecord(PlatformState& platform) {
  if (platform.shared) return platform.shared.get();
  if (!StartVideo(platform)) return nullptr;
  const CurrentContextKeeper keeper;
  RequestPixelFormat(0);
  auto record = std::make_unique<ContextRecord>();
  record->window.reset(
      SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS));
  if (!record->window) return FailWithSdlError();
  record->glContext.reset(SDL_GL_CreateContext(record->window.get()));
  if (!record->glContext) return FailWithSdlError();
  record->settings = ContextSettings{kSharedMode, 1, 1, 0, 0, 0};
  platform.shared = std::move(record);
  return platform.shared.get();
}

// A GL context for the window, sharing with the hidden one; the current context stays.
GLContextPtr NewSharingContext(ContextRecord& shared, SDL_Window* window, int32_t flags) {
  const CurrentContextKeeper keeper;
  if (SDL_GL_MakeCurrent(shared.window.get(), shared.glContext.get()) != 0) return nullptr;
  RequestPixelFormat(flags);
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
  return GLContextPtr(SDL_GL_CreateContext(window));
}

int32_t ModeDepth(const SDL_DisplayMode& mode) {
  return 8 * static_cast<int32_t>(SDL_BYTESPERPIXEL(mode.format));
}

// An offered mode of exactly the record's size and depth (and rate, when `withRate`).
bool FindDisplayMode(int display, const ContextSettings& wanted, bool withRate, SDL_DisplayMode& found) {
  const int count = SDL_GetNumDisplayModes(display);
  for (int index = 0; index < count; ++index) {
    SDL_DisplayMode mode{};
    if (SDL_GetDisplayMode(display, index, &mode) != 0) continue;
    if (mode.w == wanted.width && mode.h == wanted.height && ModeDepth(mode) == wanted.depth &&
        (!withRate || mode.refresh_rate == wanted.hertz)) {
      found = mode;
      return true;
    }
  }
  return false;
}

bool EnterFullScreen(SDL_Window* window, const SDL_DisplayMode& mode) {
  return SDL_SetWindowDisplayMode(window, &mode) == 0 &&
         SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) == 0;
}

// Changes the display mode for a full-screen record: with the requested rate when there is
// one, else without. The swap interval then follows the rate (not remembered by Flip).
bool SwitchDisplayMode(PlatformState& platform, ContextRecord& record) {
  const ContextSettings& wanted = record.settings;
  const int display = std::max(SDL_GetWindowDisplayIndex(record.window.get()), 0);
  SDL_DisplayMode mode{};
  bool withRate = false;
  if (wanted.hertz != 0 && FindDisplayMode(display, wanted, true, mode) &&
      EnterFullScreen(record.window.get(), mode)) {
    withRate = true;
  } else if (!FindDisplayMode(display, wanted, false, mode) || !EnterFullScreen(record.window.get(), mode)) {
    return false;
  }
  platform.fullScreen = &record;
  platform.swapInterval(withRate ? 1 : 0);
  return true;
}

// Gives the desktop its display mode back.
void LeaveFullScreen(PlatformState& platform, ContextRecord& record, bool minimise) {
  SDL_SetWindowFullscreen(record.window.get(), 0);
  if (minimise) SDL_MinimizeWindow(record.window.get());
  platform.swapInterval(0);
  platform.fullScreen = nullptr;
}

// Reads the drawable size into the record; false when it has not changed.
bool FollowDrawableSize(ContextRecord& record) {
  int width = 0, height = 0;
  SdlDrawableSize(record.window.get(), width, height);
  if (width == record.settings.width && height == record.settings.height) return false;
  record.settings.width = width;
  record.settings.height = height;
  // Mesa's software drawables take a new size only after a buffer swap; without one, a frame
  // begun after a context switch (loading a texture makes one) is still drawn at the old size.
  if (SDL_GL_GetCurrentContext() == record.glContext.get()) SDL_GL_SwapWindow(record.window.get());
  return true;
}

// Full-screen records switch the display mode while they have the focus; a record's size
// follows its window, and a report that changes nothing is dropped. Events of the hidden
// window mean nothing to anyone; all others go on to the translator.
bool FilterWindowEvent(const SDL_Event& event) {
  if (event.type != SDL_WINDOWEVENT) return false;
  PlatformState& platform = Platform();
  SDL_Window* window = SDL_GetWindowFromID(event.window.windowID);
  if (window == nullptr) return false;
  if (platform.shared && window == platform.shared->window.get()) return true;
  ContextRecord* record = FindLive(platform, window);
  if (record == nullptr) return false;
  switch (event.window.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      if (record->settings.mode == kFullScreenMode && platform.fullScreen != record &&
          !SwitchDisplayMode(platform, *record)) {
        throw TRuntimeException(kDisplayModeError);
      }
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      if (platform.fullScreen == record) LeaveFullScreen(platform, *record, true);
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      return !FollowDrawableSize(*record);
    default:
      break;
  }
  return false;
}

}  // namespace

std::vector<DisplayMode> DisplayModes() {
  std::vector<DisplayMode> modes;
  if (!StartVideo(Platform())) return modes;
  const int count = SDL_GetNumDisplayModes(0);
  for (int index = 0; index < count; ++index) {
    SDL_DisplayMode mode{};
    if (SDL_GetDisplayMode(0, index, &mode) == 0)
      modes.push_back({mode.w, mode.h, ModeDepth(mode), mode.refresh_rate});
  }
  return modes;
}

ContextRecord* CreateContext(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
  if (width < 1 || height < 1 || width > kMaxWindowSide || height > kMaxWindowSide) {
    return FailNull("no such window size");
  }
  PlatformState& platform = Platform();
  ContextRecord* shared = SharedRecord(platform);
  if (shared == nullptr) return nullptr;

  const bool fullScreen = depth != 0;
  auto record = std::make_unique<ContextRecord>();
  RequestPixelFormat(flags);  // the window's visual is chosen from these attributes
  Uint32 windowFlags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | (fullScreen ? SDL_WINDOW_BORDERLESS : 0);
  if (!fullScreen && (flags & GfxResizable) != 0) windowFlags |= SDL_WINDOW_RESIZABLE;
  if ((flags & GfxHighDpi) != 0) windowFlags |= SDL_WINDOW_ALLOW_HIGHDPI;
  const int position = fullScreen ? 0 : 32;
  record->window.reset(
      SDL_CreateWindow(AppTitle().ToBytes().c_str(), position, position, width, height, windowFlags));
  if (!record->window) return FailWithSdlError();
  record->glContext = NewSharingContext(*shared, record->window.get(), flags);
  if (!record->glContext) return FailWithSdlError();

  int clientWidth = 0, clientHeight = 0;
  SdlDrawableSize(record->window.get(), clientWidth, clientHeight);
  record->settings = ContextSettings{
      fullScreen ? kFullScreenMode : kWindowMode, clientWidth, clientHeight, depth, hertz, flags};
  ContextRecord* made = record.get();
  platform.live.push_back(std::move(record));
  SDL_ShowWindow(made->window.get());
  if (fullScreen && !SwitchDisplayMode(platform, *made)) {
    CloseContext(made);
    throw TRuntimeException(kDisplayModeError);
  }
  return made;
}

ContextRecord* AttachContext(uintptr_t window, int32_t flags) {
  PlatformState& platform = Platform();
  ContextRecord* shared = SharedRecord(platform);
  if (shared == nullptr) return nullptr;
  SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  RequestPixelFormat(flags);
  auto record = std::make_unique<ContextRecord>();
  record->window.reset(SDL_CreateWindowFrom(reinterpret_cast<const void*>(window)));
  if (!record->window) return FailWithSdlError();
  record->glContext = NewSharingContext(*shared, record->window.get(), flags);
  if (!record->glContext) return FailWithSdlError();
  record->settings = ContextSettings{kAttachedMode, 0, 0, 0, 0, flags};
  SDL_GetWindowSize(record->window.get(), &record->settings.width, &record->settings.height);
  platform.live.push_back(std::move(record));
  return platform.live.back().get();
}

void CloseContext(ContextRecord* record) {
  PlatformState& platform = Platform();
  if (!IsLive(platform, record)) return;
  if (platform.current == record) {
    SDL_GL_MakeCurrent(nullptr, nullptr);
    platform.current = nullptr;
  }
  if (platform.fullScreen == record) LeaveFullScreen(platform, *record, false);
  std::erase_if(platform.live,
                [record](const std::unique_ptr<ContextRecord>& live) { return live.get() == record; });
}

ContextSettings Settings(ContextRecord* record) {
  if (record->settings.mode == kAttachedMode) {
    SDL_GetWindowSize(record->window.get(), &record->settings.width, &record->settings.height);
  }
  return record->settings;
}

bool ResizeWindow(ContextRecord* record, int32_t width, int32_t height) {
  if (!IsLive(Platform(), record) || record->settings.mode != kWindowMode) return false;
  if (width < 1 || height < 1 || width > kMaxWindowSide || height > kMaxWindowSide) return false;
  if (record->desktopFullScreen) {
    // Kept for the way back; the screen stays covered.
    record->windowed.w = width;
    record->windowed.h = height;
    return true;
  }
  SDL_SetWindowSize(record->window.get(), width, height);
  return true;
}

bool SetDesktopFullScreen(ContextRecord* record, bool enable) {
  if (!IsLive(Platform(), record) || record->settings.mode != kWindowMode) return false;
  SDL_Window* const window = record->window.get();
  if (enable == record->desktopFullScreen) return true;
  if (enable) {
    SDL_Rect bounds{};
    const int display = std::max(SDL_GetWindowDisplayIndex(window), 0);
    if (SDL_GetDisplayBounds(display, &bounds) != 0) return false;
    SDL_GetWindowPosition(window, &record->windowed.x, &record->windowed.y);
    SDL_GetWindowSize(window, &record->windowed.w, &record->windowed.h);
    // A frameless window over the whole display works with and without a window manager.
    SDL_SetWindowBordered(window, SDL_FALSE);
    SDL_SetWindowPosition(window, bounds.x, bounds.y);
    SDL_SetWindowSize(window, bounds.w, bounds.h);
    SDL_RaiseWindow(window);
  } else {
    SDL_SetWindowBordered(window, SDL_TRUE);
    SDL_SetWindowSize(window, record->windowed.w, record->windowed.h);
    SDL_SetWindowPosition(window, record->windowed.x, record->windowed.y);
  }
  record->desktopFullScreen = enable;
  return true;
}

bool IsDesktopFullScreen(ContextRecord* record) {
  return IsLive(Platform(), record) && record->desktopFullScreen;
}

float PixelScale(ContextRecord* record) {
  if (!IsLive(Platform(), record)) return 1.0f;
  int windowWidth = 0, windowHeight = 0, width = 0, height = 0;
  SDL_GetWindowSize(record->window.get(), &windowWidth, &windowHeight);
  SdlDrawableSize(record->window.get(), width, height);
  return windowWidth > 0 && width > 0 ? static_cast<float>(width) / static_cast<float>(windowWidth) : 1.0f;
}

void ApplyAppTitle() {
  const std::string title = AppTitle().ToBytes();
  for (const std::unique_ptr<ContextRecord>& record : Platform().live) {
    const int32_t mode = record->settings.mode;
    if (mode == kWindowMode || mode == kFullScreenMode)
      SDL_SetWindowTitle(record->window.get(), title.c_str());
  }
}

uintptr_t NativeWindow(ContextRecord* record) {
  if (record == nullptr || !IsLive(Platform(), record)) return 0;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(record->window.get(), &info)) return 0;
#if defined(SDL_VIDEO_DRIVER_X11)
  if (info.subsystem == SDL_SYSWM_X11) return static_cast<uintptr_t>(info.info.x11.window);
#endif
  return 0;
}

void MakeCurrent(ContextRecord* record) {
  PlatformState& platform = Platform();
  if (record == platform.current) return;
  platform.current = record;
  if (record != nullptr) {
    SDL_GL_MakeCurrent(record->window.get(), record->glContext.get());
  } else if (platform.videoStarted) {
    SDL_GL_MakeCurrent(nullptr, nullptr);
  }
}

ContextRecord* CurrentRecord() {
  return Platform().current;
}

ContextRecord* FullScreenRecord() {
  return Platform().fullScreen;
}

void Flip(int32_t sync) {
  PlatformState& platform = Platform();
  if (platform.current == nullptr) return;
  const int32_t interval = sync != 0 ? 1 : 0;
  if (interval != platform.lastSwapInterval) {
    platform.lastSwapInterval = interval;
    platform.swapInterval(interval);
  }
  SDL_GL_SwapWindow(platform.current->window.get());
}

void ToggleSharedContext() {
  PlatformState& platform = Platform();
  if (!platform.shared) return;
  if (!IsSharedContextCurrent()) {
    SDL_GL_MakeCurrent(platform.shared->window.get(), platform.shared->glContext.get());
  } else if (platform.current != nullptr) {
    SDL_GL_MakeCurrent(platform.current->window.get(), platform.current->glContext.get());
  } else {
    SDL_GL_MakeCurrent(nullptr, nullptr);
  }
}

bool IsSharedContextCurrent() {
  const PlatformState& platform = Platform();
  return platform.shared && SDL_GL_GetCurrentContext() == platform.shared->glContext.get();
}

bool HasCurrentGLContext() {
  return Platform().videoStarted && SDL_GL_GetCurrentContext() != nullptr;
}

void* ProcAddress(const char* name) {
  return Platform().videoStarted ? SDL_GL_GetProcAddress(name) : nullptr;
}

SwapIntervalFunction SetSwapIntervalFunction(SwapIntervalFunction function) {
  PlatformState& platform = Platform();
  const SwapIntervalFunction previous = platform.swapInterval;
  platform.swapInterval = function != nullptr ? function : &PlatformSwapInterval;
  return previous;
}

void PlatformSwapInterval(int32_t interval) {
  // Without the platform's support the interval simply stays as it is.
  SDL_GL_SetSwapInterval(interval);
}

}  // namespace corvex::glplatform
