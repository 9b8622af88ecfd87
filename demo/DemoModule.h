// The demo program's module initialisers: the entry module that main starts, and the demo
// module, which registers the embedded packed font, initialises the framework and runs the demo.
#pragma once

namespace corvex {

// Registers "pactwo.pac" and then "pactwo.png", the bytes compiled into the program; a second
// call changes nothing.
void RegisterDemoFiles();
// The demo module: registers the embedded files before any other module initialises, then
// initialises the packed font and every framework module, then runs the demo.
void InitDemoModule();
// The entry module between main and the demo module: the runtime core, then the demo module.
void InitDemoEntryModule();

}  // namespace corvex
