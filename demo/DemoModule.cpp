#include "demo/DemoModule.h"

#include <cstdint>

#include "demo/Demo.h"
#include "pac/Pac.h"
#include "runtime/Module.h"
#include "startup/FrameworkModules.h"
#include "stream/EmbeddedFiles.h"

namespace corvex {

namespace embedded {
extern const uint8_t kPacTwoIndex[];
extern const int32_t kPacTwoIndexSize;
extern const uint8_t kPacTwoAtlas[];
extern const int32_t kPacTwoAtlasSize;
}  // namespace embedded

void RegisterDemoFiles() {
  AddEmbeddedFile("pactwo.pac", embedded::kPacTwoIndex, embedded::kPacTwoIndexSize);
  AddEmbeddedFile("pactwo.png", embedded::kPacTwoAtlas, embedded::kPacTwoAtlasSize);
}

void InitDemoModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  RegisterDemoFiles();
  InitRuntimeModule();
  InitPacModule();
  InitDemoEntryModule();  // entered already, through main: returns at once
  InitFrameworkModules();
  RunDemo();
}

void InitDemoEntryModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitDemoModule();
}

}  // namespace corvex
