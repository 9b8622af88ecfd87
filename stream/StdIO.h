// The process-wide standard-I/O text stream and the console line functions built on it.
#pragma once

#include "runtime/Object.h"
#include "runtime/String.h"
#include "stream/TextStream.h"

namespace corvex {

// The UTF-8 text stream over standard input and output; Null until InitStdIOModule has run.
// It lives, never closed, until the process ends.
Ref<TTextStream> StdIOTextStream();

// Writes the text and CR LF to standard output in UTF-8 and flushes at once.
void PrintLine(const String& text);
// Writes the prompt (no line end), flushes, and answers one UTF-8 line from standard input.
// At the end of standard input it raises TStreamReadException.
String InputLine(const String& prompt);

// The standard-I/O module's initialiser: creates the standard-I/O text stream.
void InitStdIOModule();

}  // namespace corvex
