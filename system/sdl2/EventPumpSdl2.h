// The one SDL event pump's extension points: other modules see SDL events through filters that
// run before the system's translator, and anyone who dispatches an SDL event itself hands it to
// the translator here.
#pragma once

#include <SDL.h>

#include "runtime/Object.h"

namespace corvex {

// Answers true when it has consumed the event (the translator then never sees it).
using SdlEventFilter = bool (*)(const SDL_Event&);

// Adds a filter to the end of the list; filters run in registration order on the pumping
// thread. Adding a filter that is already listed does nothing.
void AddSdlEventFilter(SdlEventFilter filter);

// Turns one SDL event into the system's events (key, mouse, activation, close) with the given
// source; events that mean nothing to the system are ignored.
void TranslateSdlEvent(const SDL_Event& event, const Ref<Object>& source);

}  // namespace corvex
