// Start-up's side of the application strings (runtime/AppStrings.h): working them out from the
// process's entry arguments and making the executable's directory current.
#pragma once

#include "runtime/AppStrings.h"

namespace corvex {

// Records the strings and makes the executable's directory current (a failed change is
// ignored: the program keeps running in the launch directory).
void StartRuntime(int argc, char** argv, const String& directory, const String& path);

// The directory part of an executable path: cut at the last '/', keeping the '/' of a root
// ("C:/" for "C:/demo.exe", "/" for "/demo").
String ExecutableDirectory(const String& path);

}  // namespace corvex
