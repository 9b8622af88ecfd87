#include "stream/StreamCollection.h"

#include "runtime/Module.h"
#include "stream/EndianStream.h"
#include "stream/RamStream.h"
#include "stream/StdIO.h"
#include "stream/TextStream.h"

namespace corvex {

void InitStreamCollectionModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitRamStreamModule();
  InitEndianStreamModule();
  // The network layer registers its socket and HTTP factories here, between byte-order and text
  // streams: the framework order runs its initialisers before this one (streams cannot see it).
  InitTextStreamModule();
  InitStdIOModule();
}

}  // namespace corvex
