#include "audio/AudioSampleLoader.h"

#include "runtime/Exceptions.h"
#include "runtime/LastError.h"
#include "stream/StreamClosing.h"

namespace corvex {
namespace {

// Head of the chain: a plain pointer holding one reference that is never released, so the
// loaders live until the process ends and nothing runs at static destruction.
TAudioSampleLoader* g_audioSampleLoaders = nullptr;

}  // namespace

TAudioSampleLoader::TAudioSampleLoader() : next_(g_audioSampleLoaders) {
  AddRef();  // the chain's reference, never released
  g_audioSampleLoaders = this;
}

Ref<TAudioSample> TAudioSampleLoader::LoadFrom(const Ref<TStream>&) {
  throw TNullMethodException();
}

Ref<TAudioSampleLoader> AudioSampleLoaders() {
  return Ref<TAudioSampleLoader>(g_audioSampleLoaders);
}

Ref<TAudioSample> ReadAudioSample(const Url& url) {
  const String name = url.Text();
  const ErrorSubject subject(&name);
  // A loader that recognised its format and failed says why; otherwise no loader knew the data.
  const uint64_t failures = LastErrorCount();
  const Ref<TStream> stream = OpenReadStream(url);
  if (!stream) return Null;
  const StreamCloser closer(stream);
  const int32_t start = stream->Pos();
  if (start == -1) throw TRuntimeException("Stream is not seekable");
  for (TAudioSampleLoader* loader = g_audioSampleLoaders; loader != nullptr; loader = loader->Next().Get()) {
    stream->Seek(start);
    try {
      Ref<TAudioSample> sample = loader->LoadFrom(stream);
      if (sample) return sample;
    } catch (const TStreamException&) {
      // A stream failure inside one decoder only means that decoder could not read it.
    }
  }
  if (LastErrorCount() != failures) return Null;
  return FailNull(stream->Size() == start ? "empty file" : "not a sound in a known format");
}

}  // namespace corvex
