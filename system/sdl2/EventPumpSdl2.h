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

// The size in pixels of what a window's GL context draws into, which exceeds the window's own
// size on high-density displays. Mouse positions and window sizes are reported in these pixels.
void SdlDrawableSize(SDL_Window* window, int& width, int& height);
// Replaces the drawable-size query and answers the previous one (null restores SDL's own):
// tests stand in a high-density display with it.
using SdlDrawableSizeFunction = void (*)(SDL_Window* window, int* width, int* height);
SdlDrawableSizeFunction SetSdlDrawableSizeFunction(SdlDrawableSizeFunction function);

// Turns one SDL event into the system's events (key, mouse, activation, close) with the given
// source; events that mean nothing to the system are ignored.
void TranslateSdlEvent(const SDL_Event& event, const Ref<Object>& source);

}  // namespace corvex
