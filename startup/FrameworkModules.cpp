#include "startup/FrameworkModules.h"

#include "data/DataStream.h"
#include "data/List.h"
#include "pixmap/PixmapLoader.h"
#include "process/Process.h"
#include "runtime/Module.h"
#include "stream/Bank.h"
#include "stream/StreamCollection.h"
#include "util/FileSystem.h"

namespace corvex {

void InitFrameworkModules() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();

  // What the drawing modules import, in their depth-first order: streams, data streams,
  // banks, bank streams, paths, lists and pixmaps.
  InitStreamModule();
  InitDataStreamModule();
  InitBankModule();
  InitBankStreamModule();
  InitFileSystemModule();
  InitListModule();
  InitPixmapModule();

  // The stream collection: RAM, byte-order and text factories, and standard I/O.
  InitStreamCollectionModule();

  // Image loaders register in the order BMP, JPEG, PNG, TGA, so TGA is asked first.
  InitBmpLoaderModule();
  InitJpegLoaderModule();
  InitPngLoaderModule();
  InitTgaLoaderModule();

  InitProcessModule();
}

}  // namespace corvex
