// The system driver: dispatching and waiting for platform events, the pointer, message boxes,
// file and folder requesters and opening documents with the desktop; the module functions that
// forward to the current driver; the process's millisecond clock and the date and time texts.
#pragma once

#include <cstdint>

#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

// What a platform must do for the system layer. All of it runs on the thread that pumps events.
class TSystemDriver : public Object {
 public:
  // Dispatches every pending platform event.
  virtual void Poll() = 0;
  // Sleeps until a platform event arrives, then dispatches as Poll.
  virtual void Wait() = 0;
  // Moves the pointer to client coordinates of the active window (screen ones without one).
  virtual void PlacePointer(int32_t x, int32_t y) = 0;
  // Shows (non-zero) or hides the pointer while it is inside one of the program's windows.
  virtual void SetPointerVisible(int32_t visible) = 0;
  // An OK box; `serious` gives it a warning icon instead of an information one.
  virtual void ShowNotice(const String& text, int32_t serious) = 0;
  // An OK/Cancel box: 1 for OK, 0 otherwise (also when no box could be shown).
  virtual int32_t AskOkCancel(const String& text, int32_t serious) = 0;
  // A Yes/No/Cancel box: 1 yes, 0 no, -1 cancel or failure.
  virtual int32_t AskYesNoCancel(const String& text, int32_t serious) = 0;
  // A file requester; `extensions` lists groups "name:ext,ext" separated by ';'. The chosen
  // path, or "" when cancelled or no requester is available.
  virtual String ChooseFile(const String& title, const String& extensions, int32_t save,
                            const String& initialPath) = 0;
  // A folder requester; the chosen folder, or "" when cancelled or none is available.
  virtual String ChooseFolder(const String& title, const String& initialPath) = 0;
  // Hands an already normalised url ("file:" or "http:" ...) to the desktop; 1 when accepted.
  virtual int32_t OpenInShell(const String& url) = 0;
};

// The current system driver; Null only before the system module starts.
Ref<TSystemDriver> SystemDriver();
// Makes another driver current (Null is refused: the current driver stays).
void SetSystemDriver(const Ref<TSystemDriver>& driver);

// Dispatches pending events through the driver; returns at once while a dispatch is running.
void PollSystemEvents();
// Waits for events and dispatches them; returns at once while a dispatch is running.
void WaitSystemEvents();

// Moves the pointer (client coordinates of the active window).
void SetPointerPosition(int32_t x, int32_t y);
// Shows the pointer again.
void ShowPointer();
// Hides the pointer while it is inside one of the program's windows.
void HidePointer();

// The driver's OK box.
void ShowNotice(const String& text, int32_t serious = 0);
// The driver's OK/Cancel box: 1 for OK.
int32_t AskOkCancel(const String& text, int32_t serious = 0);
// The driver's Yes/No/Cancel box: 1, 0 or -1.
int32_t AskYesNoCancel(const String& text, int32_t serious = 0);
// The driver's file requester.
String ChooseFile(const String& title, const String& extensions, int32_t save = 0,
                  const String& initialPath = String());
// The driver's folder requester.
String ChooseFolder(const String& title, const String& initialPath = String());
// Opens a url or a document: names that are neither "http:" nor "file:" urls become "file:"
// urls when something exists there and "http:" urls otherwise. 1 when the desktop accepted it.
int32_t OpenInShell(const String& url);
// The url OpenInShell hands to the driver.
String NormaliseShellUrl(const String& url);

// The local date, "%d %b %Y" (e.g. "06 Sep 2007").
String DateText();
// The local time, "%H:%M:%S".
String TimeText();
// Milliseconds of a monotonic clock; wraps around, so compare times by subtraction.
int32_t MillisNow();
// Sleeps that many milliseconds; returns at once for a negative count.
void SleepMillis(int32_t milliseconds);

// The system module's initialiser: starts SDL's event and timer services and creates the
// platform driver.
void InitSystemModule();

}  // namespace corvex
