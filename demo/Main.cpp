// The demo program: process entry, then the entry module, which starts the demo module.
#include "demo/DemoModule.h"
#include "startup/Startup.h"

int main(int argc, char** argv) {
  return corvex::RunProgram(argc, argv, corvex::InitDemoEntryModule);
}
