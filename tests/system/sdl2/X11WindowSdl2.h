// X11 access for the display tests, kept out of test files because Xlib's macros clash with
// GoogleTest's.
#pragma once

#include <SDL.h>

namespace corvex::testing_support {

// The X window of an SDL window; 0 when it is not an X11 window.
unsigned long X11WindowOf(SDL_Window* window);
// Sends the window what a window manager sends when the user closes it (WM_DELETE_WINDOW),
// over a connection of its own; false when the display cannot be opened.
bool SendCloseRequest(unsigned long window);

// Gives each keysym a keycode of its own among the keycodes the keyboard map leaves empty and
// keeps it there, so that xdotool presses them without remapping a key for each press (a
// remapping undone before the program reads the press loses the character). False when the
// display cannot be opened or too few keycodes are free.
bool BindSpareKeys(const unsigned long* keysyms, int count);

}  // namespace corvex::testing_support
