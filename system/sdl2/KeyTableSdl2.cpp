// The table from SDL scancodes to key codes, and SDL modifier state to modifier bits.
#include "system/sdl2/KeyTableSdl2.h"

#include <array>

#include "system/KeyCodes.h"

namespace corvex {
namespace {

struct ScancodeKey {
  SDL_Scancode scancode;
  int32_t key;
};

// Each SDL scancode with its key code. Left and right modifier keys have codes of their own
// (shift 160/161, control 162/163, alt 164/165), never the shared 16, 17 and 18. The keypad's
// Enter is Enter; AltGr (MODE) is the right alt key.
constexpr std::array kScancodeKeys = std::to_array<ScancodeKey>({
    {SDL_SCANCODE_A, 'A'},
    {SDL_SCANCODE_B, 'B'},
    {SDL_SCANCODE_C, 'C'},
    {SDL_SCANCODE_D, 'D'},
    {SDL_SCANCODE_E, 'E'},
    {SDL_SCANCODE_F, 'F'},
    {SDL_SCANCODE_G, 'G'},
    {SDL_SCANCODE_H, 'H'},
    {SDL_SCANCODE_I, 'I'},
    {SDL_SCANCODE_J, 'J'},
    {SDL_SCANCODE_K, 'K'},
    {SDL_SCANCODE_L, 'L'},
    {SDL_SCANCODE_M, 'M'},
    {SDL_SCANCODE_N, 'N'},
    {SDL_SCANCODE_O, 'O'},
    {SDL_SCANCODE_P, 'P'},
    {SDL_SCANCODE_Q, 'Q'},
    {SDL_SCANCODE_R, 'R'},
    {SDL_SCANCODE_S, 'S'},
    {SDL_SCANCODE_T, 'T'},
    {SDL_SCANCODE_U, 'U'},
    {SDL_SCANCODE_V, 'V'},
    {SDL_SCANCODE_W, 'W'},
    {SDL_SCANCODE_X, 'X'},
    {SDL_SCANCODE_Y, 'Y'},
    {SDL_SCANCODE_Z, 'Z'},
    {SDL_SCANCODE_1, '1'},
    {SDL_SCANCODE_2, '2'},
    {SDL_SCANCODE_3, '3'},
    {SDL_SCANCODE_4, '4'},
    {SDL_SCANCODE_5, '5'},
    {SDL_SCANCODE_6, '6'},
    {SDL_SCANCODE_7, '7'},
    {SDL_SCANCODE_8, '8'},
    {SDL_SCANCODE_9, '9'},
    {SDL_SCANCODE_0, '0'},
    {SDL_SCANCODE_RETURN, KEY_ENTER},
    {SDL_SCANCODE_ESCAPE, KEY_ESCAPE},
    {SDL_SCANCODE_BACKSPACE, KEY_BACKSPACE},
    {SDL_SCANCODE_TAB, KEY_TAB},
    {SDL_SCANCODE_SPACE, KEY_SPACE},
    {SDL_SCANCODE_MINUS, KEY_MINUS},
    {SDL_SCANCODE_EQUALS, KEY_EQUALS},
    {SDL_SCANCODE_LEFTBRACKET, KEY_OPENBRACKET},
    {SDL_SCANCODE_RIGHTBRACKET, KEY_CLOSEBRACKET},
    {SDL_SCANCODE_BACKSLASH, KEY_BACKSLASH},
    {SDL_SCANCODE_NONUSHASH, KEY_BACKSLASH},
    {SDL_SCANCODE_SEMICOLON, KEY_SEMICOLON},
    {SDL_SCANCODE_APOSTROPHE, KEY_QUOTES},
    {SDL_SCANCODE_GRAVE, KEY_TILDE},
    {SDL_SCANCODE_COMMA, KEY_COMMA},
    {SDL_SCANCODE_PERIOD, KEY_PERIOD},
    {SDL_SCANCODE_SLASH, KEY_SLASH},
    {SDL_SCANCODE_CAPSLOCK, KEY_CAPSLOCK},
    {SDL_SCANCODE_F1, KEY_F1},
    {SDL_SCANCODE_F2, KEY_F1 + 1},
    {SDL_SCANCODE_F3, KEY_F1 + 2},
    {SDL_SCANCODE_F4, KEY_F1 + 3},
    {SDL_SCANCODE_F5, KEY_F1 + 4},
    {SDL_SCANCODE_F6, KEY_F1 + 5},
    {SDL_SCANCODE_F7, KEY_F1 + 6},
    {SDL_SCANCODE_F8, KEY_F1 + 7},
    {SDL_SCANCODE_F9, KEY_F1 + 8},
    {SDL_SCANCODE_F10, KEY_F1 + 9},
    {SDL_SCANCODE_F11, KEY_F1 + 10},
    {SDL_SCANCODE_F12, KEY_F1 + 11},
    {SDL_SCANCODE_PRINTSCREEN, KEY_SCREEN},
    {SDL_SCANCODE_SCROLLLOCK, KEY_SCROLLLOCK},
    {SDL_SCANCODE_PAUSE, KEY_PAUSE},
    {SDL_SCANCODE_INSERT, KEY_INSERT},
    {SDL_SCANCODE_HOME, KEY_HOME},
    {SDL_SCANCODE_PAGEUP, KEY_PAGEUP},
    {SDL_SCANCODE_DELETE, KEY_DELETE},
    {SDL_SCANCODE_END, KEY_END},
    {SDL_SCANCODE_PAGEDOWN, KEY_PAGEDOWN},
    {SDL_SCANCODE_RIGHT, KEY_RIGHT},
    {SDL_SCANCODE_LEFT, KEY_LEFT},
    {SDL_SCANCODE_DOWN, KEY_DOWN},
    {SDL_SCANCODE_UP, KEY_UP},
    {SDL_SCANCODE_NUMLOCKCLEAR, KEY_NUMLOCK},
    {SDL_SCANCODE_KP_DIVIDE, KEY_NUMDIVIDE},
    {SDL_SCANCODE_KP_MULTIPLY, KEY_NUMMULTIPLY},
    {SDL_SCANCODE_KP_MINUS, KEY_NUMSUBTRACT},
    {SDL_SCANCODE_KP_PLUS, KEY_NUMADD},
    {SDL_SCANCODE_KP_ENTER, KEY_ENTER},
    {SDL_SCANCODE_KP_1, KEY_NUM0 + 1},
    {SDL_SCANCODE_KP_2, KEY_NUM0 + 2},
    {SDL_SCANCODE_KP_3, KEY_NUM0 + 3},
    {SDL_SCANCODE_KP_4, KEY_NUM0 + 4},
    {SDL_SCANCODE_KP_5, KEY_NUM0 + 5},
    {SDL_SCANCODE_KP_6, KEY_NUM0 + 6},
    {SDL_SCANCODE_KP_7, KEY_NUM0 + 7},
    {SDL_SCANCODE_KP_8, KEY_NUM0 + 8},
    {SDL_SCANCODE_KP_9, KEY_NUM0 + 9},
    {SDL_SCANCODE_KP_0, KEY_NUM0},
    {SDL_SCANCODE_KP_PERIOD, KEY_NUMDECIMAL},
    {SDL_SCANCODE_NONUSBACKSLASH, KEY_EXTRABACKSLASH},
    {SDL_SCANCODE_APPLICATION, KEY_APPS},
    {SDL_SCANCODE_F13, KEY_F1 + 12},
    {SDL_SCANCODE_F14, KEY_F1 + 13},
    {SDL_SCANCODE_F15, KEY_F1 + 14},
    {SDL_SCANCODE_F16, KEY_F1 + 15},
    {SDL_SCANCODE_F17, KEY_F1 + 16},
    {SDL_SCANCODE_F18, KEY_F1 + 17},
    {SDL_SCANCODE_F19, KEY_F1 + 18},
    {SDL_SCANCODE_F20, KEY_F1 + 19},
    {SDL_SCANCODE_F21, KEY_F1 + 20},
    {SDL_SCANCODE_F22, KEY_F1 + 21},
    {SDL_SCANCODE_F23, KEY_F1 + 22},
    {SDL_SCANCODE_F24, KEY_F1 + 23},
    {SDL_SCANCODE_EXECUTE, KEY_EXECUTE},
    {SDL_SCANCODE_HELP, KEY_HELP},
    {SDL_SCANCODE_MENU, KEY_APPS},
    {SDL_SCANCODE_SELECT, KEY_SELECT},
    {SDL_SCANCODE_STOP, KEY_BROWSER_STOP},
    {SDL_SCANCODE_MUTE, KEY_VOLUME_MUTE},
    {SDL_SCANCODE_VOLUMEUP, KEY_VOLUME_UP},
    {SDL_SCANCODE_VOLUMEDOWN, KEY_VOLUME_DOWN},
    {SDL_SCANCODE_KP_COMMA, KEY_NUMSEPARATOR},
    {SDL_SCANCODE_SYSREQ, KEY_SCREEN},
    {SDL_SCANCODE_CLEAR, KEY_CLEAR},
    {SDL_SCANCODE_LCTRL, KEY_LCONTROL},
    {SDL_SCANCODE_LSHIFT, KEY_LSHIFT},
    {SDL_SCANCODE_LALT, KEY_LALT},
    {SDL_SCANCODE_LGUI, KEY_LSYS},
    {SDL_SCANCODE_RCTRL, KEY_RCONTROL},
    {SDL_SCANCODE_RSHIFT, KEY_RSHIFT},
    {SDL_SCANCODE_RALT, KEY_RALT},
    {SDL_SCANCODE_RGUI, KEY_RSYS},
    {SDL_SCANCODE_MODE, KEY_RALT},
    {SDL_SCANCODE_AUDIONEXT, KEY_MEDIA_NEXT},
    {SDL_SCANCODE_AUDIOPREV, KEY_MEDIA_PREV},
    {SDL_SCANCODE_AUDIOSTOP, KEY_MEDIA_STOP},
    {SDL_SCANCODE_AUDIOPLAY, KEY_MEDIA_PLAY},
    {SDL_SCANCODE_AUDIOMUTE, KEY_VOLUME_MUTE},
    {SDL_SCANCODE_MEDIASELECT, KEY_LAUNCH_MEDIA},
    {SDL_SCANCODE_MAIL, KEY_LAUNCH_MAIL},
    {SDL_SCANCODE_CALCULATOR, KEY_LAUNCH_APP2},
    {SDL_SCANCODE_COMPUTER, KEY_LAUNCH_APP1},
    {SDL_SCANCODE_AC_SEARCH, KEY_BROWSER_SEARCH},
    {SDL_SCANCODE_AC_HOME, KEY_BROWSER_HOME},
    {SDL_SCANCODE_AC_BACK, KEY_BROWSER_BACK},
    {SDL_SCANCODE_AC_FORWARD, KEY_BROWSER_FORWARD},
    {SDL_SCANCODE_AC_STOP, KEY_BROWSER_STOP},
    {SDL_SCANCODE_AC_REFRESH, KEY_BROWSER_REFRESH},
    {SDL_SCANCODE_AC_BOOKMARKS, KEY_BROWSER_FAVORITES},
    {SDL_SCANCODE_SLEEP, KEY_SLEEP},
});

constexpr std::array<uint8_t, SDL_NUM_SCANCODES> MakeKeyTable() {
  std::array<uint8_t, SDL_NUM_SCANCODES> table{};
  for (const ScancodeKey& entry : kScancodeKeys)
    table[static_cast<std::size_t>(entry.scancode)] = static_cast<uint8_t>(entry.key);
  return table;
}

constexpr std::array<uint8_t, SDL_NUM_SCANCODES> kKeyTable = MakeKeyTable();

static_assert(kKeyTable[SDL_SCANCODE_ESCAPE] == KEY_ESCAPE && kKeyTable[SDL_SCANCODE_LSHIFT] == KEY_LSHIFT);

// What the keypad's digit and decimal keys report with NumLock off: the navigation keys printed
// beside the digits, and Clear for the 5.
int32_t KeypadNavigationCode(SDL_Scancode scancode) {
  switch (scancode) {
    case SDL_SCANCODE_KP_0:
      return KEY_INSERT;
    case SDL_SCANCODE_KP_1:
      return KEY_END;
    case SDL_SCANCODE_KP_2:
      return KEY_DOWN;
    case SDL_SCANCODE_KP_3:
      return KEY_PAGEDOWN;
    case SDL_SCANCODE_KP_4:
      return KEY_LEFT;
    case SDL_SCANCODE_KP_5:
      return KEY_CLEAR;
    case SDL_SCANCODE_KP_6:
      return KEY_RIGHT;
    case SDL_SCANCODE_KP_7:
      return KEY_HOME;
    case SDL_SCANCODE_KP_8:
      return KEY_UP;
    case SDL_SCANCODE_KP_9:
      return KEY_PAGEUP;
    case SDL_SCANCODE_KP_PERIOD:
      return KEY_DELETE;
    default:
      return 0;
  }
}

}  // namespace

int32_t KeyCodeForScancode(SDL_Scancode scancode) {
  const auto index = static_cast<std::size_t>(scancode);
  return index < kKeyTable.size() ? kKeyTable[index] : 0;
}

int32_t KeyCodeForKeysym(const SDL_Keysym& keysym) {
  if (keysym.sym >= SDLK_a && keysym.sym <= SDLK_z) return KEY_A + (keysym.sym - SDLK_a);
  if ((keysym.mod & KMOD_NUM) == 0) {
    if (const int32_t navigation = KeypadNavigationCode(keysym.scancode)) return navigation;
  }
  return KeyCodeForScancode(keysym.scancode);
}

int32_t ModifierBitsForSdl(uint16_t mod) {
  int32_t bits = 0;
  if ((mod & KMOD_SHIFT) != 0) bits |= MODIFIER_SHIFT;
  if ((mod & KMOD_CTRL) != 0) bits |= MODIFIER_CONTROL;
  if ((mod & KMOD_ALT) != 0) bits |= MODIFIER_ALT;
  if ((mod & KMOD_GUI) != 0) bits |= MODIFIER_SYSTEM;
  return bits;
}

}  // namespace corvex
