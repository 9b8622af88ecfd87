#include "system/SystemDriver.h"

#include <ctime>

#include "runtime/Module.h"
#include "system/Event.h"
#include "system/Hook.h"
#include "system/SystemPlatform.h"
#include "util/FileSystem.h"

namespace corvex {
namespace {

// The current driver: a plain pointer holding one reference, so that it outlives every at-exit
// handler.
TSystemDriver* g_driver = nullptr;
// Set while PollSystemEvents or WaitSystemEvents runs, so that a listener that calls them while
// events are being dispatched returns at once instead of recursing.
constinit bool g_busy = false;

// Clears the busy flag however the dispatch ends: a listener that throws must not leave every
// later poll doing nothing.
class BusyScope {
 public:
  BusyScope() noexcept { g_busy = true; }
  ~BusyScope() { g_busy = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
};

String LocalTimeText(const char* format) {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (local == nullptr) return String();
  char buffer[256];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, local);
  return String::FromBytes(buffer, length);
}

}  // namespace

Ref<TSystemDriver> SystemDriver() {
  return Ref<TSystemDriver>(g_driver);
}

void SetSystemDriver(const Ref<TSystemDriver>& driver) {
  if (!driver) return;
  driver->AddRef();
  TSystemDriver* const old = g_driver;
  g_driver = driver.Get();
  if (old != nullptr) old->Release();
}

void PollSystemEvents() {
  if (g_busy || g_driver == nullptr) return;
  const Ref<TSystemDriver> driver(g_driver);
  const BusyScope busy;
  driver->Poll();
}

void WaitSystemEvents() {
  if (g_busy || g_driver == nullptr) return;
  const Ref<TSystemDriver> driver(g_driver);
  const BusyScope busy;
  driver->Wait();
}

void SetPointerPosition(int32_t x, int32_t y) {
  SystemDriver()->PlacePointer(x, y);
}

void ShowPointer() {
  SystemDriver()->SetPointerVisible(1);
}

void HidePointer() {
  SystemDriver()->SetPointerVisible(0);
}

void ShowNotice(const String& text, int32_t serious) {
  SystemDriver()->ShowNotice(text, serious);
}

int32_t AskOkCancel(const String& text, int32_t serious) {
  return SystemDriver()->AskOkCancel(text, serious);
}

int32_t AskYesNoCancel(const String& text, int32_t serious) {
  return SystemDriver()->AskYesNoCancel(text, serious);
}

String ChooseFile(const String& title, const String& extensions, int32_t save, const String& initialPath) {
  return SystemDriver()->ChooseFile(title, extensions, save, initialPath);
}

String ChooseFolder(const String& title, const String& initialPath) {
  return SystemDriver()->ChooseFolder(title, initialPath);
}

int32_t OpenInShell(const String& url) {
  return SystemDriver()->OpenInShell(NormaliseShellUrl(url));
}

String NormaliseShellUrl(const String& url) {
  const String scheme = url.Slice(0, 5).ToLower();
  if (scheme == String("http:") || scheme == String("file:")) return url;
  const int32_t hash = url.Find("#");
  const String anchor = hash >= 0 ? url.Slice(hash) : String();
  const String name = hash >= 0 ? url.Slice(0, hash) : url;
  const String path = ResolvePath(name);
  if (PathType(path) != kPathNone) return String("file:") + path + anchor;
  return String("http:") + name + anchor;
}

String DateText() {
  return LocalTimeText("%d %b %Y");
}

String TimeText() {
  return LocalTimeText("%H:%M:%S");
}

int32_t MillisNow() {
  return static_cast<int32_t>(platform::MonotonicMillis());
}

void SleepMillis(int32_t milliseconds) {
  if (milliseconds < 0) return;
  platform::SleepFor(milliseconds);
}

void InitSystemModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitHookModule();
  InitEventModule();
  InitFileSystemModule();
  SetSystemDriver(platform::NewSystemDriver());
}

}  // namespace corvex
