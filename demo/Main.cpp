// The main program. It starts the framework the way every Corvex program does: process entry,
// then its own initialiser, which initialises the framework modules and runs the program.
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "stream/StdIO.h"
#include "stream/Url.h"

namespace {

void InitMainProgram() {
  corvex::InitFrameworkModules();
  int factories = 0;
  for (auto factory = corvex::StreamFactoryHead(); factory; factory = factory->Next()) ++factories;
  corvex::PrintLine("Corvex: framework started with " + corvex::String::FromInt(factories) +
                    " stream protocols registered.");
}

}  // namespace

int main(int argc, char** argv) { return corvex::RunProgram(argc, argv, InitMainProgram); }
