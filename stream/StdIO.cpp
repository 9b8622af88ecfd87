#include "stream/StdIO.h"

#include "runtime/Module.h"
#include "stream/CStream.h"

namespace corvex {
namespace {

// Created by the initialiser and kept for the life of the process: a plain pointer holding one
// reference that is never released, so nothing here runs at static destruction.
TTextStream* g_stdioTextStream = nullptr;

}  // namespace

Ref<TTextStream> StdIOTextStream() {
  return Ref<TTextStream>(g_stdioTextStream);
}

void PrintLine(const String& text) {
  const Ref<TTextStream> stream = StdIOTextStream();
  stream->WriteLine(text);
  stream->Flush();
}

String InputLine(const String& prompt) {
  const Ref<TTextStream> stream = StdIOTextStream();
  stream->WriteString(prompt);
  stream->Flush();
  return stream->ReadLine();
}

void InitStdIOModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  InitTextStreamModule();
  g_stdioTextStream = TTextStream::Create(New<TCStandardIO>(), ENCODING_UTF8).Detach();
}

}  // namespace corvex
