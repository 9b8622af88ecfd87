// Key codes, mouse button numbers and modifier bits as every event and query reports them: the
// Windows virtual-key numbering, the same on every platform.
#pragma once

#include <cstdint>

namespace corvex {

// Keys. Letters and digits are their upper-case characters ('A' is 65, '0' is 48).
inline constexpr int32_t KEY_BACKSPACE = 8;
inline constexpr int32_t KEY_TAB = 9;
inline constexpr int32_t KEY_CLEAR = 12;
inline constexpr int32_t KEY_ENTER = 13;
inline constexpr int32_t KEY_PAUSE = 19;
inline constexpr int32_t KEY_CAPSLOCK = 20;
inline constexpr int32_t KEY_ESCAPE = 27;
inline constexpr int32_t KEY_SPACE = 32;
inline constexpr int32_t KEY_PAGEUP = 33;
inline constexpr int32_t KEY_PAGEDOWN = 34;
inline constexpr int32_t KEY_END = 35;
inline constexpr int32_t KEY_HOME = 36;
inline constexpr int32_t KEY_LEFT = 37;
inline constexpr int32_t KEY_UP = 38;
inline constexpr int32_t KEY_RIGHT = 39;
inline constexpr int32_t KEY_DOWN = 40;
inline constexpr int32_t KEY_SELECT = 41;
inline constexpr int32_t KEY_PRINT = 42;
inline constexpr int32_t KEY_EXECUTE = 43;
inline constexpr int32_t KEY_SCREEN = 44;
inline constexpr int32_t KEY_INSERT = 45;
inline constexpr int32_t KEY_DELETE = 46;
inline constexpr int32_t KEY_HELP = 47;
inline constexpr int32_t KEY_0 = 48;
inline constexpr int32_t KEY_9 = 57;
inline constexpr int32_t KEY_A = 65;
inline constexpr int32_t KEY_C = 67;
inline constexpr int32_t KEY_Z = 90;
inline constexpr int32_t KEY_LSYS = 91;
inline constexpr int32_t KEY_RSYS = 92;
inline constexpr int32_t KEY_APPS = 93;
inline constexpr int32_t KEY_SLEEP = 95;
inline constexpr int32_t KEY_NUM0 = 96;
inline constexpr int32_t KEY_NUM9 = 105;
inline constexpr int32_t KEY_NUMMULTIPLY = 106;
inline constexpr int32_t KEY_NUMADD = 107;
inline constexpr int32_t KEY_NUMSEPARATOR = 108;
inline constexpr int32_t KEY_NUMSUBTRACT = 109;
inline constexpr int32_t KEY_NUMDECIMAL = 110;
inline constexpr int32_t KEY_NUMDIVIDE = 111;
inline constexpr int32_t KEY_F1 = 112;
inline constexpr int32_t KEY_F11 = 122;  // the usual full-screen switch
inline constexpr int32_t KEY_F12 = 123;
inline constexpr int32_t KEY_F24 = 135;
inline constexpr int32_t KEY_NUMLOCK = 144;
inline constexpr int32_t KEY_SCROLLLOCK = 145;
inline constexpr int32_t KEY_LSHIFT = 160;
inline constexpr int32_t KEY_RSHIFT = 161;
inline constexpr int32_t KEY_LCONTROL = 162;
inline constexpr int32_t KEY_RCONTROL = 163;
inline constexpr int32_t KEY_LALT = 164;
inline constexpr int32_t KEY_RALT = 165;
inline constexpr int32_t KEY_BROWSER_BACK = 166;
inline constexpr int32_t KEY_BROWSER_FORWARD = 167;
inline constexpr int32_t KEY_BROWSER_REFRESH = 168;
inline constexpr int32_t KEY_BROWSER_STOP = 169;
inline constexpr int32_t KEY_BROWSER_SEARCH = 170;
inline constexpr int32_t KEY_BROWSER_FAVORITES = 171;
inline constexpr int32_t KEY_BROWSER_HOME = 172;
inline constexpr int32_t KEY_VOLUME_MUTE = 173;
inline constexpr int32_t KEY_VOLUME_DOWN = 174;
inline constexpr int32_t KEY_VOLUME_UP = 175;
inline constexpr int32_t KEY_MEDIA_NEXT = 176;
inline constexpr int32_t KEY_MEDIA_PREV = 177;
inline constexpr int32_t KEY_MEDIA_STOP = 178;
inline constexpr int32_t KEY_MEDIA_PLAY = 179;
inline constexpr int32_t KEY_LAUNCH_MAIL = 180;
inline constexpr int32_t KEY_LAUNCH_MEDIA = 181;
inline constexpr int32_t KEY_LAUNCH_APP1 = 182;
inline constexpr int32_t KEY_LAUNCH_APP2 = 183;
inline constexpr int32_t KEY_SEMICOLON = 186;
inline constexpr int32_t KEY_EQUALS = 187;
inline constexpr int32_t KEY_COMMA = 188;
inline constexpr int32_t KEY_MINUS = 189;
inline constexpr int32_t KEY_PERIOD = 190;
inline constexpr int32_t KEY_SLASH = 191;
inline constexpr int32_t KEY_TILDE = 192;
inline constexpr int32_t KEY_OPENBRACKET = 219;
inline constexpr int32_t KEY_BACKSLASH = 220;
inline constexpr int32_t KEY_CLOSEBRACKET = 221;
inline constexpr int32_t KEY_QUOTES = 222;
inline constexpr int32_t KEY_EXTRABACKSLASH = 226;

// The number of key codes; codes run from 1 to kKeyCodeCount - 1.
inline constexpr int32_t kKeyCodeCount = 256;

// Mouse buttons as MouseDown, MouseUp and the mouse queries number them.
inline constexpr int32_t MOUSE_LEFT = 1;
inline constexpr int32_t MOUSE_RIGHT = 2;
inline constexpr int32_t MOUSE_MIDDLE = 3;
// The number of mouse button slots (slot 0 is never set by the system's own translator).
inline constexpr int32_t kMouseButtonCount = 4;

// MouseMove's data names the held button differently: the middle button is 4 there.
inline constexpr int32_t MOVE_HELD_LEFT = 1;
inline constexpr int32_t MOVE_HELD_RIGHT = 2;
inline constexpr int32_t MOVE_HELD_MIDDLE = 4;

// Modifier bits of an event's `mods`.
inline constexpr int32_t MODIFIER_SHIFT = 1;
inline constexpr int32_t MODIFIER_CONTROL = 2;
inline constexpr int32_t MODIFIER_ALT = 4;
inline constexpr int32_t MODIFIER_SYSTEM = 8;

}  // namespace corvex
