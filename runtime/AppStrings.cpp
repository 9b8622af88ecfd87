#include "runtime/AppStrings.h"

#include <utility>

namespace corvex {
namespace {

// Written once by RecordAppStrings (or made by SetAppTitle before start-up) and kept for the
// life of the process (never destroyed, so at-exit code may still read it).
AppStringValues* g_app = nullptr;
constinit AppTitleObserver g_titleObserver = nullptr;

const AppStringValues& Strings() {
  static constinit const AppStringValues* empty = nullptr;
  if (g_app != nullptr) return *g_app;
  if (empty == nullptr) empty = new AppStringValues();
  return *empty;
}

}  // namespace

const String& AppDirectory() {
  return Strings().directory;
}
const String& AppExecutablePath() {
  return Strings().executablePath;
}
const Array<String>& AppArguments() {
  return Strings().arguments;
}
const String& LaunchDirectory() {
  return Strings().launchDirectory;
}
const String& AppTitle() {
  return Strings().title;
}

void SetAppTitle(const String& text) {
  if (g_app == nullptr) g_app = new AppStringValues();
  g_app->title = text;
  if (g_titleObserver != nullptr) g_titleObserver();
}

void SetAppTitleObserver(AppTitleObserver observer) {
  g_titleObserver = observer;
}

void RecordAppStrings(AppStringValues values) {
  g_app = new AppStringValues(std::move(values));
}

}  // namespace corvex
