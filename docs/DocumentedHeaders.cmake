# The public headers the reference covers with every warning fatal: each public function and
# class in them is documented. The others (cmake/CorvexPublicHeaders.cmake lists them all) still
# have undocumented members; CORVEX_DOCS_ALL=ON shows which. Add a header here once the docs
# target passes with it.
set(CORVEX_DOCUMENTED_HEADERS
  audio/AudioSampleLoader.h
  audio/OggLoader.h
  audio/WavCodec.h
  graphics/GLDebugDraw.h
  net/HttpStream.h
  net/Socket.h
  net/SocketStream.h
  pixmap/BmpLoader.h
  pixmap/JpegCodec.h
  pixmap/PixmapLoader.h
  pixmap/PixmapTransforms.h
  pixmap/PngCodec.h
  pixmap/TgaLoader.h
  process/PipeStream.h
  process/Process.h
  runtime/CrashActions.h
  runtime/Data.h
  runtime/Module.h
  runtime/Uncaught.h
  startup/AppStrings.h
  startup/FrameworkModules.h
  startup/Startup.h
  stream/CStream.h
  stream/EndianStream.h
  stream/RamStream.h
  stream/StdIO.h
  stream/StreamCollection.h
  system/EventQueue.h
  system/InputTracker.h
  system/Joystick.h
  system/KeyCodes.h
  system/SystemDriver.h
  system/Timer.h
  system/Translator.h
  util/Random.h
  vex2d/Font.h
  vex2d/Renderer.h
  vex2d/RendererText.h
  vex2d/Vex2DDriver.h
)
