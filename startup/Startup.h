// Process entry: crash handlers, application strings and the current directory, then the
// program's own initialiser.
#pragma once

namespace corvex {

// Runs the entry sequence and then `programInit`, the program's initialiser (which
// initialises the framework modules it uses and runs the program). Answers 0 when it returns;
// an exception it does not catch is printed on standard error and ends the process with 255.
int RunProgram(int argc, char** argv, void (*programInit)());

}  // namespace corvex
