#include "audio/AudioSampleLoader.h"

#include "runtime/Exceptions.h"
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
  return Null;
}

}  // namespace corvex
