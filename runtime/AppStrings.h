// The process-wide strings that describe the running application. Start-up records them once,
// before any module initialises; afterwards they are read-only. Until then each is empty.
#pragma once

#include "runtime/Array.h"
#include "runtime/String.h"

namespace corvex {

// The executable's directory, '/'-separated, without a trailing '/' except for a root.
const String& AppDirectory();
// The executable's full path, '/'-separated.
const String& AppExecutablePath();
// The argument vector, the program path first; never empty once start-up has run.
const Array<String>& AppArguments();
// The current directory at start, '/'-separated.
const String& LaunchDirectory();
// "Corvex Application": the title of windows and the caption of message boxes.
const String& AppTitle();

// What start-up records.
struct AppStringValues {
  String directory;
  String executablePath;
  Array<String> arguments;
  String launchDirectory;
  String title;
};

// Records the strings; start-up calls it once, before any module initialises.
void RecordAppStrings(AppStringValues values);

}  // namespace corvex
