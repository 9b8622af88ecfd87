#include "startup/AppStrings.h"

#include "runtime/FileSystemPlatform.h"

namespace corvex {
namespace {

struct AppStrings {
  String directory;
  String executablePath;
  Array<String> arguments;
  String launchDirectory;
  String title;
};

// Written once by StartRuntime and kept for the life of the process (never destroyed, so
// at-exit code may still read it).
AppStrings* g_app = nullptr;

const AppStrings& Strings() {
  static constinit const AppStrings* empty = nullptr;
  if (g_app != nullptr) return *g_app;
  if (empty == nullptr) empty = new AppStrings();
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

String ExecutableDirectory(const String& path) {
  const int32_t slash = path.FindLast(u'/');
  if (slash < 0) return path;
  // A root keeps its separator: "C:/" after a drive letter, and "/" on a single-root system.
  if (slash == 0 || (slash > 0 && path.At(slash - 1) == u':')) return path.Slice(0, slash + 1);
  return path.Slice(0, slash);
}

void StartRuntime(int argc, char** argv, const String& directory, const String& path) {
  auto* app = new AppStrings();
  app->launchDirectory = String(platform::CurrentDirectory().c_str()).Replace(u'\\', u'/');
  app->directory = directory;
  app->executablePath = path;
  app->title = "Corvex Application";
  app->arguments = Array<String>(argc);
  for (int i = 0; i < argc; ++i) app->arguments[i] = String(argv[i]);
  g_app = app;
  platform::ChangeDirectory(directory.ToBytes());
}

}  // namespace corvex
