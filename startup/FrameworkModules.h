// The framework's module initialisers in their fixed order.
#pragma once

namespace corvex {

// Initialises every framework module once, in the fixed order that decides which driver is
// current and how each registry's chain is ordered (the newest registration is asked first).
// A program's own initialiser calls it after registering its embedded files.
void InitFrameworkModules();

}  // namespace corvex
