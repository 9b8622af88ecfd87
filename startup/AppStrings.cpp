#include "startup/AppStrings.h"

#include <utility>

#include "util/FileSystemPlatform.h"

namespace corvex {

String ExecutableDirectory(const String& path) {
  const int32_t slash = path.FindLast(u'/');
  if (slash < 0) return path;
  // A root keeps its separator: "C:/" after a drive letter, and "/" on a single-root system.
  if (slash == 0 || (slash > 0 && path.At(slash - 1) == u':')) return path.Slice(0, slash + 1);
  return path.Slice(0, slash);
}

void StartRuntime(int argc, char** argv, const String& directory, const String& path) {
  AppStringValues app;
  app.launchDirectory = String(platform::CurrentDirectory().c_str()).Replace(u'\\', u'/');
  app.directory = directory;
  app.executablePath = path;
  app.title = "Corvex Application";
  app.arguments = Array<String>(argc);
  for (int i = 0; i < argc; ++i) app.arguments[i] = String(argv[i]);
  RecordAppStrings(std::move(app));
  platform::ChangeDirectory(directory.ToBytes());
}

}  // namespace corvex
