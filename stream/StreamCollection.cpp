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
  // The socket and HTTP factories register here, between byte-order and text streams.
  InitTextStreamModule();
  InitStdIOModule();
}

}  // namespace corvex
