#include "system/sdl2/SystemDriverSdl2.h"

#include <SDL.h>

#include <array>
#include <span>
#include <string>

#include "runtime/AppStrings.h"
#include "runtime/Exceptions.h"
#include "system/KeyCodes.h"
#include "system/MessageBox.h"
#include "system/Requester.h"
#include "system/SystemPlatform.h"
#include "system/Translator.h"
#include "system/posix/DesktopToolsPosix.h"
#include "system/sdl2/EventPumpSdl2.h"
#include "system/sdl2/KeyTableSdl2.h"
#include "util/FileSystem.h"

namespace corvex {
namespace {

constexpr std::size_t kMaxFilters = 16;
constinit std::array<SdlEventFilter, kMaxFilters> g_filters{};
constinit std::size_t g_filterCount = 0;

// Whether one of the program's windows has the keyboard focus, as last reported: focus moving
// between two of them is no deactivation of the application.
constinit bool g_appActive = false;

void Dispatch(const SDL_Event& event) {
  for (std::size_t i = 0; i < g_filterCount; ++i) {
    if (g_filters[i](event)) return;
  }
  TranslateSdlEvent(event, Null);
}

bool VideoStarted() {
  return SDL_WasInit(SDL_INIT_VIDEO) != 0;
}

constinit SdlDrawableSizeFunction g_drawableSize = &SDL_GL_GetDrawableSize;

// Converts between window units and drawable pixels of a window; both sizes are 1 by 1 for a
// window that has gone, so nothing changes.
struct WindowScale {
  int windowWidth = 1, windowHeight = 1, pixelWidth = 1, pixelHeight = 1;

  explicit WindowScale(SDL_Window* window) {
    if (window == nullptr) return;
    int w = 0, h = 0, pw = 0, ph = 0;
    SDL_GetWindowSize(window, &w, &h);
    SdlDrawableSize(window, pw, ph);
    if (w < 1 || h < 1 || pw < 1 || ph < 1) return;
    windowWidth = w;
    windowHeight = h;
    pixelWidth = pw;
    pixelHeight = ph;
  }
  int32_t ToPixelsX(int32_t x) const { return static_cast<int32_t>(int64_t{x} * pixelWidth / windowWidth); }
  int32_t ToPixelsY(int32_t y) const { return static_cast<int32_t>(int64_t{y} * pixelHeight / windowHeight); }
  int32_t ToUnitsX(int32_t x) const { return static_cast<int32_t>(int64_t{x} * windowWidth / pixelWidth); }
  int32_t ToUnitsY(int32_t y) const { return static_cast<int32_t>(int64_t{y} * windowHeight / pixelHeight); }
};

int32_t WindowsButton(uint8_t sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT:
      return MOUSE_LEFT;
    case SDL_BUTTON_RIGHT:
      return MOUSE_RIGHT;
    case SDL_BUTTON_MIDDLE:
      return MOUSE_MIDDLE;
    default:
      return 0;
  }
}

int32_t HeldButtons(uint32_t state) {
  int32_t held = 0;
  if ((state & SDL_BUTTON_LMASK) != 0) held |= MOVE_HELD_LEFT;
  if ((state & SDL_BUTTON_RMASK) != 0) held |= MOVE_HELD_RIGHT;
  if ((state & SDL_BUTTON_MMASK) != 0) held |= MOVE_HELD_MIDDLE;
  return held;
}

// The character a key types that SDL's text input leaves out: Backspace, Tab, Enter and Escape
// type their own codes; with control (and not alt, so AltGr typing stays text) a letter types 1
// to 26, '[', '\\' and ']' type 27, 28 and 29, Enter a line feed (10) and Backspace 127, as
// programs reading typed characters expect. 0 for every other key.
int32_t ControlCharacter(int32_t key, SDL_Keycode sym, int32_t mods) {
  if ((mods & (MODIFIER_CONTROL | MODIFIER_ALT)) == MODIFIER_CONTROL) {
    if (key >= KEY_A && key <= KEY_Z) return key - KEY_A + 1;
    if (key == KEY_ENTER) return 10;
    if (key == KEY_BACKSPACE) return 127;
    if (sym == SDLK_LEFTBRACKET) return 27;
    if (sym == SDLK_BACKSLASH) return 28;
    if (sym == SDLK_RIGHTBRACKET) return 29;
  }
  if (key == KEY_BACKSPACE || key == KEY_TAB || key == KEY_ENTER || key == KEY_ESCAPE) return key;
  return 0;
}

// The code each held key reported when it went down: its repeats and its release report the
// same code, even when NumLock or the layout changed while it was held.
constinit std::array<uint8_t, SDL_NUM_SCANCODES> g_heldKeyCodes{};

void TranslateKeyEvent(const SDL_KeyboardEvent& key, const Ref<Object>& source) {
  SetModifierBits(ModifierBitsForSdl(key.keysym.mod));
  const auto scancode = static_cast<std::size_t>(key.keysym.scancode);
  uint8_t* const held = scancode < g_heldKeyCodes.size() ? &g_heldKeyCodes[scancode] : nullptr;
  int32_t code = held != nullptr && *held != 0 ? *held : KeyCodeForKeysym(key.keysym);
  if (key.type == SDL_KEYUP) {
    if (held != nullptr) *held = 0;
    TranslateKey(KeyAction::Up, code, source);
    return;
  }
  if (key.repeat == 0) code = KeyCodeForKeysym(key.keysym);  // a new press: as the key is now
  if (held != nullptr) *held = static_cast<uint8_t>(code);
  TranslateKey(key.repeat != 0 ? KeyAction::Repeat : KeyAction::Down, code, source);
  const int32_t character = ControlCharacter(code, key.keysym.sym, ModifierBits());
  if (character != 0) TranslateText(String(std::u16string(1, static_cast<char16_t>(character))), source);
}

void TranslateWindowEvent(const SDL_WindowEvent& window, const Ref<Object>& source) {
  switch (window.event) {
    case SDL_WINDOWEVENT_CLOSE:
      TranslateCloseRequest(source);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      if (SDL_IsTextInputActive() == SDL_FALSE) SDL_StartTextInput();
      SetModifierBits(ModifierBitsForSdl(static_cast<uint16_t>(SDL_GetModState())));
      if (!g_appActive) {
        g_appActive = true;
        TranslateActivation(true, source);
      }
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      if (g_appActive && SDL_GetKeyboardFocus() == nullptr) {
        g_appActive = false;
        TranslateActivation(false, source);
      }
      break;
    case SDL_WINDOWEVENT_LEAVE:
      TranslatePointerLeft(window.windowID);
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      if (SDL_Window* const sdlWindow = SDL_GetWindowFromID(window.windowID)) {
        int width = 0, height = 0;
        SdlDrawableSize(sdlWindow, width, height);
        TranslateWindowSize(width, height, source);
      }
      break;
    default:
      break;
  }
}

void TranslateMotion(const SDL_MouseMotionEvent& motion, const Ref<Object>& source) {
  int width = 0;
  int height = 0;
  SDL_Window* const window = SDL_GetWindowFromID(motion.windowID);
  if (window != nullptr) SdlDrawableSize(window, width, height);
  const WindowScale scale(window);
  TranslateMouseMove(motion.windowID, scale.ToPixelsX(motion.x), scale.ToPixelsY(motion.y), width, height,
                     HeldButtons(motion.state), source);
}

// Whether the window has changed the display mode (full screen in a mode of its own, not a
// full-screen window on the desktop's mode).
bool OwnsChangedDisplayMode(SDL_Window* window) {
  return window != nullptr &&
         (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN;
}

void TranslateButton(const SDL_MouseButtonEvent& button, const Ref<Object>& source) {
  const bool down = button.type == SDL_MOUSEBUTTONDOWN;
  // A press captures the pointer for the window, so a drag that leaves it still ends there; every
  // release lets it go. A window that changed the display mode covers the screen and needs none.
  if (!OwnsChangedDisplayMode(SDL_GetWindowFromID(button.windowID)))
    SDL_CaptureMouse(down ? SDL_TRUE : SDL_FALSE);
  const WindowScale scale(SDL_GetWindowFromID(button.windowID));
  TranslateMouseButton(down, WindowsButton(button.button), scale.ToPixelsX(button.x),
                       scale.ToPixelsY(button.y), source);
}

// The platform's strings take the low byte of each code unit as a Latin-1 character; SDL wants
// those characters in UTF-8.
std::string Utf8OfLowBytes(const String& text) {
  std::string bytes;
  for (const char16_t unit : text.Units()) {
    const auto c = static_cast<uint8_t>(unit & 0xFF);
    if (c < 0x80) {
      bytes.push_back(static_cast<char>(c));
    } else {
      bytes.push_back(static_cast<char>(0xC0 | (c >> 6)));
      bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return bytes;
}

int32_t ShowBox(std::span<const MessageBoxButton> buttons, const String& text, int32_t serious,
                int32_t failed) {
  std::array<SDL_MessageBoxButtonData, 3> data{};
  for (std::size_t i = 0; i < buttons.size() && i < data.size(); ++i) {
    uint32_t flags = 0;
    if (buttons[i].byEnter) flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    if (buttons[i].byEscape) flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    data[i] = SDL_MessageBoxButtonData{flags, static_cast<int>(i), buttons[i].label};
  }
  const std::string title = Utf8OfLowBytes(AppTitle());
  const std::string message = Utf8OfLowBytes(text);
  SDL_MessageBoxData box{};
  box.flags = (serious != 0 ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION) |
              SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
  box.window = VideoStarted() ? SDL_GetKeyboardFocus() : nullptr;
  box.title = title.c_str();
  box.message = message.c_str();
  box.numbuttons = static_cast<int>(buttons.size());
  box.buttons = data.data();
  int pressed = -1;
  if (SDL_ShowMessageBox(&box, &pressed) != 0) pressed = -1;
  return MessageBoxAnswer(buttons, pressed, failed);
}

}  // namespace

void AddSdlEventFilter(SdlEventFilter filter) {
  if (filter == nullptr) return;
  for (std::size_t i = 0; i < g_filterCount; ++i) {
    if (g_filters[i] == filter) return;
  }
  if (g_filterCount == kMaxFilters) throw TRuntimeException("Too many SDL event filters");
  g_filters[g_filterCount++] = filter;
}

void SdlDrawableSize(SDL_Window* window, int& width, int& height) {
  g_drawableSize(window, &width, &height);
}

SdlDrawableSizeFunction SetSdlDrawableSizeFunction(SdlDrawableSizeFunction function) {
  const SdlDrawableSizeFunction previous = g_drawableSize;
  g_drawableSize = function != nullptr ? function : &SDL_GL_GetDrawableSize;
  return previous;
}

void TranslateSdlEvent(const SDL_Event& event, const Ref<Object>& source) {
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      TranslateKeyEvent(event.key, source);
      break;
    case SDL_TEXTINPUT:
      TranslateText(String::FromUtf8(event.text.text), source);
      break;
    case SDL_MOUSEMOTION:
      TranslateMotion(event.motion, source);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      TranslateButton(event.button, source);
      break;
    case SDL_MOUSEWHEEL:
      TranslateMouseWheel(event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y,
                          source);
      break;
    case SDL_WINDOWEVENT:
      TranslateWindowEvent(event.window, source);
      break;
    default:
      // SDL_QUIT is left alone: the window's own close request has raised AppTerminate already.
      break;
  }
}

void TSdl2SystemDriver::Poll() {
  if (!started_) return;
  SDL_Event event;
  while (SDL_PollEvent(&event) != 0) Dispatch(event);
}

void TSdl2SystemDriver::Wait() {
  if (!started_) {
    // Nothing will ever arrive; do not let a waiting loop spin.
    SleepMillis(10);
    return;
  }
  SDL_Event event;
  if (SDL_WaitEvent(&event) != 0) Dispatch(event);
  Poll();
}

void TSdl2SystemDriver::PlacePointer(int32_t x, int32_t y) {
  if (!VideoStarted()) return;
  SDL_Window* const active = SDL_GetKeyboardFocus();
  if (active != nullptr) {
    const WindowScale scale(active);
    SDL_WarpMouseInWindow(active, scale.ToUnitsX(x), scale.ToUnitsY(y));
  } else {
    SDL_WarpMouseGlobal(x, y);
  }
}

void TSdl2SystemDriver::SetPointerVisible(int32_t visible) {
  SetPointerWanted(visible != 0);
}

void TSdl2SystemDriver::ShowNotice(const String& text, int32_t serious) {
  ShowBox(kNoticeButtons, text, serious, 0);
}

int32_t TSdl2SystemDriver::AskOkCancel(const String& text, int32_t serious) {
  return ShowBox(kOkCancelButtons, text, serious, kOkCancelFailed);
}

int32_t TSdl2SystemDriver::AskYesNoCancel(const String& text, int32_t serious) {
  return ShowBox(kYesNoCancelButtons, text, serious, kYesNoCancelFailed);
}

String TSdl2SystemDriver::ChooseFile(const String& title, const String& extensions, int32_t save,
                                     const String& initialPath) {
  const RequesterStart start = SplitRequesterPath(initialPath);
  // The requesters only honour absolute folders.
  String startPath = start.fileName;
  if (!start.directory.IsEmpty()) startPath = ResolvePath(start.directory) + "/" + start.fileName;
  const std::vector<FileFilterGroup> groups = ParseFileFilters(extensions);
  const int32_t preselect = PreselectedFilterIndex(extensions, initialPath);
  return RunFirstTool({ZenityFileCommand(title, groups, preselect, save != 0, startPath),
                       KdialogFileCommand(title, groups, preselect, save != 0, startPath)});
}

String TSdl2SystemDriver::ChooseFolder(const String& title, const String& initialPath) {
  const String folder = initialPath.IsEmpty() ? String() : ResolvePath(initialPath.Replace(u'\\', u'/'));
  return RunFirstTool({ZenityFolderCommand(title, folder), KdialogFolderCommand(title, folder)});
}

int32_t TSdl2SystemDriver::OpenInShell(const String& url) {
  return OpenWithDesktop(url);
}

namespace platform {

Ref<TSystemDriver> NewSystemDriver() {
  // SDL must neither take over the crash handlers nor end the process on a signal.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // The translator takes and releases the pointer capture itself, press by press.
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
  const bool started = SDL_Init(SDL_INIT_EVENTS | SDL_INIT_TIMER) == 0;
  return New<TSdl2SystemDriver>(started);
}

bool PointerPositionIn(PointerWindow window, int32_t& x, int32_t& y) {
  if (!VideoStarted()) return false;
  SDL_Window* const sdlWindow = SDL_GetWindowFromID(window);
  if (sdlWindow == nullptr) return false;
  int globalX = 0;
  int globalY = 0;
  int windowX = 0;
  int windowY = 0;
  SDL_GetGlobalMouseState(&globalX, &globalY);
  SDL_GetWindowPosition(sdlWindow, &windowX, &windowY);
  const WindowScale scale(sdlWindow);
  x = scale.ToPixelsX(globalX - windowX);
  y = scale.ToPixelsY(globalY - windowY);
  return true;
}

void ShowPointer(bool shown) {
  if (VideoStarted()) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace platform
}  // namespace corvex
