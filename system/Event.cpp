#include "system/Event.h"

#include "runtime/Module.h"
#include "system/Hook.h"

namespace corvex {
namespace {

constinit int32_t g_eventHookId = -1;

// The name of an id, or nullptr for an id without one (the hotkey id among them).
const char* EventName(int32_t id) {
  switch (id) {
    case EVENT_APPSUSPEND:
      return "AppSuspend";
    case EVENT_APPRESUME:
      return "AppResume";
    case EVENT_APPTERMINATE:
      return "AppTerminate";
    case EVENT_APPOPENFILE:
      return "AppOpenFile";
    case EVENT_KEYDOWN:
      return "KeyDown";
    case EVENT_KEYUP:
      return "KeyUp";
    case EVENT_KEYCHAR:
      return "KeyChar";
    case EVENT_KEYREPEAT:
      return "KeyRepeat";
    case EVENT_MOUSEDOWN:
      return "MouseDown";
    case EVENT_MOUSEUP:
      return "MouseUp";
    case EVENT_MOUSEMOVE:
      return "MouseMove";
    case EVENT_MOUSEWHEEL:
      return "MouseWheel";
    case EVENT_MOUSEENTER:
      return "MouseEnter";
    case EVENT_MOUSELEAVE:
      return "MouseLeave";
    case EVENT_TIMERTICK:
      return "TimerTick";
    case EVENT_GADGETACTION:
      return "GadgetAction";
    case EVENT_GADGETPAINT:
      return "GadgetPaint";
    case EVENT_GADGETSELECT:
      return "GadgetSelect";
    case EVENT_GADGETMENU:
      return "GadgetMenu";
    case EVENT_GADGETOPEN:
      return "GadgetOpen";
    case EVENT_GADGETCLOSE:
      return "GadgetClose";
    case EVENT_GADGETDONE:
      return "GadgetDone";
    case EVENT_GADGETLOSTFOCUS:
      return "GadgetLostFocus";
    case EVENT_WINDOWMOVE:
      return "WindowMove";
    case EVENT_WINDOWSIZE:
      return "WindowSize";
    case EVENT_WINDOWCLOSE:
      return "WindowClose";
    case EVENT_WINDOWACTIVATE:
      return "WindowActivate";
    case EVENT_WINDOWACCEPT:
      return "WindowAccept";
    case EVENT_MENUACTION:
      return "MenuAction";
    default:
      return nullptr;
  }
}

}  // namespace

void TEvent::Emit() {
  CallHooks(EventHookId(), Ref<Object>(this));
}

Ref<TEvent> TEvent::Create(int32_t id, const Ref<Object>& source, int32_t data, int32_t mods, int32_t x,
                           int32_t y, const Ref<Object>& extra) {
  Ref<TEvent> event = New<TEvent>();
  event->id = id;
  event->source = source;
  event->data = data;
  event->mods = mods;
  event->x = x;
  event->y = y;
  event->extra = extra;
  return event;
}

String TEvent::ToString() const {
  const char* name = EventName(id);
  String text = name != nullptr ? String(name) : String("Unknown Event, id=") + String::FromInt(id);
  text += String(": data=") + String::FromInt(data);
  text += String(", mods=") + String::FromInt(mods);
  text += String(", x=") + String::FromInt(x);
  text += String(", y=") + String::FromInt(y);
  text += String(", extra=\"");
  if (const auto* string = dynamic_cast<const TStringObject*>(extra.Get())) text += string->Text();
  text += u'"';
  return text;
}

int32_t EventHookId() {
  InitEventModule();
  return g_eventHookId;
}

Ref<TEvent> NewEvent(int32_t id, const Ref<Object>& source, int32_t data, int32_t mods, int32_t x, int32_t y,
                     const Ref<Object>& extra) {
  return TEvent::Create(id, source, data, mods, x, y, extra);
}

void SendEvent(const Ref<TEvent>& event) {
  event->Emit();
}

void InitEventModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitHookModule();
  g_eventHookId = NewHookId();
}

}  // namespace corvex
