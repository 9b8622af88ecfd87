#include "tests/system/sdl2/X11WindowSdl2.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace corvex::testing_support {

unsigned long X11WindowOf(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return 0;
  return info.info.x11.window;
}

bool SendCloseRequest(unsigned long window) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  XEvent message{};
  message.xclient.type = ClientMessage;
  message.xclient.window = window;
  message.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  message.xclient.format = 32;
  message.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  message.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &message);
  XFlush(display);
  XCloseDisplay(display);
  return true;
}

bool BindSpareKeys(const unsigned long* keysyms, int count) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  int first = 0, last = 0, perCode = 0;
  XDisplayKeycodes(display, &first, &last);
  KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(first), last - first + 1, &perCode);
  int bound = 0;
  for (int code = last; code >= first && bound < count && map != nullptr; --code) {
    bool empty = true;
    for (int j = 0; j < perCode; ++j) empty = empty && map[(code - first) * perCode + j] == NoSymbol;
    if (!empty) continue;
    KeySym symbol = keysyms[bound++];
    XChangeKeyboardMapping(display, code, 1, &symbol, 1);
  }
  if (map != nullptr) XFree(map);
  XSync(display, False);
  XCloseDisplay(display);
  return bound == count;
}

}  // namespace corvex::testing_support
