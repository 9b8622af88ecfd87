// The process-wide strings that describe the running application. Start-up records them once,
// before any module initialises; afterwards only the title changes (SetAppTitle). Until then
// each is empty.
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
// "Corvex Application" unless SetAppTitle changed it: the title of windows and the caption of
// message boxes.
const String& AppTitle();
// Changes AppTitle for windows opened later, message boxes and, through the title observer,
// the windows open now. Call it on the thread that runs the program.
void SetAppTitle(const String& text);

// Told when SetAppTitle has changed the title; the OpenGL graphics module installs one that
// retitles its open windows. Null removes it.
using AppTitleObserver = void (*)();
void SetAppTitleObserver(AppTitleObserver observer);

// What start-up records.
struct AppStringValues {
  String directory;         // AppDirectory
  String executablePath;    // AppExecutablePath
  Array<String> arguments;  // AppArguments
  String launchDirectory;   // LaunchDirectory
  String title;             // AppTitle
};

// Records the strings; start-up calls it once, before any module initialises.
void RecordAppStrings(AppStringValues values);

}  // namespace corvex
