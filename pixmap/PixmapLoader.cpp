#include "pixmap/PixmapLoader.h"

#include "runtime/Exceptions.h"
#include "runtime/LastError.h"
#include "stream/StreamClosing.h"

namespace corvex {
namespace {

// Head of the chain: a plain pointer holding one reference that is never released, so the
// loaders live until the process ends and nothing runs at static destruction.
TPixmapLoader* g_pixmapLoaders = nullptr;

}  // namespace

TPixmapLoader::TPixmapLoader() : next_(g_pixmapLoaders) {
  AddRef();  // the chain's reference, never released
  g_pixmapLoaders = this;
}

Ref<TPixmap> TPixmapLoader::LoadFrom(const Ref<TStream>&) {
  throw TNullMethodException();
}

Ref<TPixmapLoader> PixmapLoaders() {
  return Ref<TPixmapLoader>(g_pixmapLoaders);
}

Ref<TPixmap> ReadPixmap(const Url& url) {
  const String name = url.Text();
  const ErrorSubject subject(&name);
  // A stream that opened with a complaint (an HTTP error page) or a loader that recognised its
  // format and failed says why; otherwise no loader knew the data.
  const uint64_t failures = LastErrorCount();
  const Ref<TStream> stream = OpenReadStream(url);
  if (!stream) return Null;
  const StreamCloser closer(stream);
  const int32_t start = stream->Pos();
  if (start == -1) {
    if (LastErrorCount() == failures) SetLastError("stream cannot go back to its start");
    return Null;
  }
  for (TPixmapLoader* loader = g_pixmapLoaders; loader != nullptr; loader = loader->Next().Get()) {
    // Past the first loader, a stream that cannot go back would show the next one the middle
    // of the file.
    if (stream->Seek(start) != start && loader != g_pixmapLoaders) break;
    try {
      Ref<TPixmap> pixmap = loader->LoadFrom(stream);
      if (pixmap) return pixmap;
    } catch (const TStreamException&) {
      // A stream failure inside one decoder only means that decoder could not read it.
    }
  }
  if (LastErrorCount() != failures) return Null;
  return FailNull(stream->Size() == start ? "empty file" : "not an image in a known format");
}

}  // namespace corvex
