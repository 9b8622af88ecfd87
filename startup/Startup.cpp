#include "startup/Startup.h"

#include "runtime/Uncaught.h"
#include "startup/AppStrings.h"
#include "startup/StartupPlatform.h"

namespace corvex {

int RunProgram(int argc, char** argv, void (*programInit)()) {
  platform::InstallCrashHandlers();
  const String path = platform::ExecutablePath().Replace(u'\\', u'/');
  StartRuntime(argc, argv, ExecutableDirectory(path), path);
  return RunReportingUncaught([programInit] {
    programInit();
    return 0;
  });
}

}  // namespace corvex
