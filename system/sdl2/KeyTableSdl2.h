// SDL keys as the system's key codes (the Windows virtual-key numbering).
#pragma once

#include <SDL.h>

#include <cstdint>

namespace corvex {

// The key code of a scancode (its key on a US layout, the keypad's digits as with NumLock on); 0
// for keys without one.
int32_t KeyCodeForScancode(SDL_Scancode scancode);
// The key code of a key event: letters follow the keyboard layout, as their codes are the
// letters' upper-case characters; with NumLock off the keypad's digit and decimal keys report
// the navigation keys (arrows, Home, End, Page Up/Down, Insert, Delete, and Clear for the 5);
// every other key follows its scancode.
int32_t KeyCodeForKeysym(const SDL_Keysym& keysym);
// The modifier bits (1 shift, 2 control, 4 alt, 8 system key) of SDL's modifier state.
int32_t ModifierBitsForSdl(uint16_t mod);

}  // namespace corvex
