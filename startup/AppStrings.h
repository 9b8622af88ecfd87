// The process-wide strings that describe the running application. Start-up writes them once,
// before any module initialises; afterwards they are read-only.
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

// Records the strings and makes the executable's directory current (a failed change is
// ignored: the program keeps running in the launch directory).
void StartRuntime(int argc, char** argv, const String& directory, const String& path);

// The directory part of an executable path: cut at the last '/', keeping the '/' of a root
// ("C:/" for "C:/demo.exe", "/" for "/demo").
String ExecutableDirectory(const String& path);

}  // namespace corvex
