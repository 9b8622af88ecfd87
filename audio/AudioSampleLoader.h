// The sample-loader chain: loaders that recognise sound data by its content, ReadAudioSample
// which tries them in turn, and the initialisers of the loader modules that fill the chain.
#pragma once

#include "audio/AudioSample.h"
#include "runtime/Object.h"
#include "stream/Stream.h"
#include "stream/Url.h"

namespace corvex {

// One sound decoder in the chain. Constructing one links it in front of the chain for the rest
// of the process, so the most recently created loader is asked first.
class TAudioSampleLoader : public Object {
 public:
  TAudioSampleLoader();
  TAudioSampleLoader(const TAudioSampleLoader&) = delete;
  TAudioSampleLoader& operator=(const TAudioSampleLoader&) = delete;

  // Decodes the sound at the stream's position, or answers Null when it does not recognise or
  // cannot decode it. Stream failures may surface as TStreamException. Abstract here.
  virtual Ref<TAudioSample> LoadFrom(const Ref<TStream>& stream);
  // The loader created before this one; Null at the end of the chain.
  const Ref<TAudioSampleLoader>& Next() const noexcept { return next_; }

 private:
  Ref<TAudioSampleLoader> next_;
};

// The most recently created loader, Null before any.
Ref<TAudioSampleLoader> AudioSampleLoaders();

// Opens the URL (a name or an open stream) and asks each loader in turn, each from the same
// position, until one decodes it; a stream failure inside a loader counts as Null. Null when
// the URL does not open or no loader recognises the data. A stream without a position raises
// TRuntimeException "Stream is not seekable". A stream passed in stays open.
Ref<TAudioSample> ReadAudioSample(const Url& url);

// Loader modules, each creating its one loader. They start in the order MP3, FLAC, Ogg Vorbis,
// WAV, so WAV is asked first and MP3, the format most easily found in other data, last.
void InitMp3LoaderModule();
void InitFlacLoaderModule();
void InitOggLoaderModule();
void InitWavLoaderModule();

}  // namespace corvex
