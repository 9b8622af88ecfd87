#include "startup/FrameworkModules.h"

#include "audio/AudioDriver.h"
#include "audio/AudioSampleLoader.h"
#include "audio/OpenALDriver.h"
#include "audio/SonavoxDriver.h"
#include "data/BankDataType.h"
#include "data/DataStream.h"
#include "data/List.h"
#include "fonts/FreeTypeFont.h"
#include "graphics/GLGraphics.h"
#include "graphics/Graphics.h"
#include "net/HttpStream.h"
#include "net/OrbuHost.h"
#include "net/SocketStream.h"
#include "pixmap/Pixmap.h"
#include "pixmap/PixmapLoader.h"
#include "process/Process.h"
#include "runtime/Module.h"
#include "stream/Bank.h"
#include "stream/EndianStream.h"
#include "stream/RamStream.h"
#include "stream/StreamCollection.h"
#include "system/Event.h"
#include "system/EventQueue.h"
#include "system/Gamepad.h"
#include "system/Hook.h"
#include "system/InputTracker.h"
#include "system/Joystick.h"
#include "system/SystemDriver.h"
#include "system/Timer.h"
#include "util/FileSystem.h"
#include "vex2d/Collision.h"
#include "vex2d/Font.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Image.h"
#include "vex2d/ImageFont.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {

void InitFrameworkModules() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();

  // The drawing stack, in the depth-first order of its imports: hooks and events, streams,
  // data streams, banks, paths, the system driver and input, lists, pixmaps, graphics,
  // images, fonts, the renderer, then the OpenGL drivers. The OpenGL 2D driver is selected last
  // and so is the one in force.
  InitHookModule();
  InitEventModule();
  InitStreamModule();
  InitDataStreamModule();
  InitBankModule();
  InitBankDataTypeModule();
  InitBankStreamModule();
  InitFileSystemModule();
  InitSystemModule();
  InitInputModule();
  InitListModule();
  InitPixmapModule();
  InitGraphicsModule();
  InitImageModule();
  InitFontModule();
  InitImageFontModule();
  InitVex2DModule();
  InitGLGraphicsModule();
  InitGLVex2DModule();

  // The audio core: the null audio driver.
  InitAudioModule();

  // The stream collection: RAM and byte-order factories, the socket and HTTP factories, then
  // text factories and standard I/O. Streams sit below the network layer, so the collection's
  // network step is taken here, between its byte-order and text steps.
  InitRamStreamModule();
  InitEndianStreamModule();
  InitSocketStreamModule();
  InitHttpStreamModule();
  InitStreamCollectionModule();

  // Image loaders register in the order BMP, JPEG, PNG, TGA, so TGA is asked first.
  InitBmpLoaderModule();
  InitCollisionModule();
  InitEventQueueModule();
  InitSonavoxAudioModule();  // "Sonavox Multimedia", then "Sonavox"
  InitFreeTypeModule();
  InitOrbuModule();
  InitJpegLoaderModule();
  InitMp3LoaderModule();  // sound loaders: MP3, FLAC, Ogg, WAV, so WAV is asked first
  InitFlacLoaderModule();
  InitOggLoaderModule();
  InitOpenALAudioModule();
  InitPngLoaderModule();
  InitTgaLoaderModule();
  InitTimerModule();
  InitWavLoaderModule();
  InitJoystickModule();
  InitGamepadModule();
  InitProcessModule();
}

}  // namespace corvex
