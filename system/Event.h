// Events: the record of one occurrence (a key, the mouse, a timer, a window) and its emission
// through the event hook.
#pragma once

#include <cstdint>

#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

// Event groups: the group bit of every event id.
inline constexpr int32_t EVENT_APPEVENT = 0x100;
inline constexpr int32_t EVENT_KEYEVENT = 0x200;
inline constexpr int32_t EVENT_MOUSEEVENT = 0x400;
inline constexpr int32_t EVENT_TIMEREVENT = 0x800;
inline constexpr int32_t EVENT_HOTKEYEVENT = 0x1000;
inline constexpr int32_t EVENT_GADGETEVENT = 0x2000;
inline constexpr int32_t EVENT_WINDOWEVENT = 0x4000;
inline constexpr int32_t EVENT_MENUEVENT = 0x8000;

// Event ids.
inline constexpr int32_t EVENT_APPSUSPEND = 0x101;
inline constexpr int32_t EVENT_APPRESUME = 0x102;
inline constexpr int32_t EVENT_APPTERMINATE = 0x103;
inline constexpr int32_t EVENT_APPOPENFILE = 0x104;
inline constexpr int32_t EVENT_KEYDOWN = 0x201;
inline constexpr int32_t EVENT_KEYUP = 0x202;
inline constexpr int32_t EVENT_KEYCHAR = 0x203;
inline constexpr int32_t EVENT_KEYREPEAT = 0x204;
inline constexpr int32_t EVENT_MOUSEDOWN = 0x401;
inline constexpr int32_t EVENT_MOUSEUP = 0x402;
inline constexpr int32_t EVENT_MOUSEMOVE = 0x403;
inline constexpr int32_t EVENT_MOUSEWHEEL = 0x404;
inline constexpr int32_t EVENT_MOUSEENTER = 0x405;
inline constexpr int32_t EVENT_MOUSELEAVE = 0x406;
inline constexpr int32_t EVENT_TIMERTICK = 0x801;
inline constexpr int32_t EVENT_HOTKEYHIT = 0x1001;
inline constexpr int32_t EVENT_GADGETACTION = 0x2001;
inline constexpr int32_t EVENT_GADGETPAINT = 0x2002;
inline constexpr int32_t EVENT_GADGETSELECT = 0x2003;
inline constexpr int32_t EVENT_GADGETMENU = 0x2004;
inline constexpr int32_t EVENT_GADGETOPEN = 0x2005;
inline constexpr int32_t EVENT_GADGETCLOSE = 0x2006;
inline constexpr int32_t EVENT_GADGETDONE = 0x2007;
inline constexpr int32_t EVENT_GADGETLOSTFOCUS = 0x2008;
inline constexpr int32_t EVENT_WINDOWMOVE = 0x4001;
inline constexpr int32_t EVENT_WINDOWSIZE = 0x4002;
inline constexpr int32_t EVENT_WINDOWCLOSE = 0x4003;
inline constexpr int32_t EVENT_WINDOWACTIVATE = 0x4004;
inline constexpr int32_t EVENT_WINDOWACCEPT = 0x4005;
inline constexpr int32_t EVENT_MENUACTION = 0x8001;

// One occurrence. `source` is the object that raised it (Null for the graphics windows);
// `extra`, when a string object, is the event's text.
class TEvent : public Object {
 public:
  // The EVENT_ kind, the raiser, and the kind's own values: a key or button code, the
  // modifier keys held, a position, and an object such as the text.
  int32_t id = 0;
  Ref<Object> source;
  int32_t data = 0;
  int32_t mods = 0;
  int32_t x = 0;
  int32_t y = 0;
  Ref<Object> extra;

  // Runs the event hook chain with this event as data; the result is discarded.
  virtual void Emit();
  // A new event with the given fields.
  static Ref<TEvent> Create(int32_t id, const Ref<Object>& source, int32_t data, int32_t mods, int32_t x,
                            int32_t y, const Ref<Object>& extra);
  // "KeyDown: data=65, mods=1, x=0, y=0, extra=\"\"" and the like.
  String ToString() const override;
};

// The hook id on which every event is emitted (the first id handed out at start-up).
int32_t EventHookId();
// Same as TEvent::Create.
Ref<TEvent> NewEvent(int32_t id, const Ref<Object>& source, int32_t data, int32_t mods, int32_t x, int32_t y,
                     const Ref<Object>& extra);
// Emits the event.
void SendEvent(const Ref<TEvent>& event);

// The event module's initialiser: takes EventHookId from NewHookId.
void InitEventModule();

}  // namespace corvex
