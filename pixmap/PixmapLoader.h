// The pixmap loader chain: loaders that recognise an image by its content, ReadPixmap which
// tries them in turn, and the initialisers of the loader modules that fill the chain.
#pragma once

#include "pixmap/Pixmap.h"
#include "runtime/Object.h"
#include "stream/Stream.h"
#include "stream/Url.h"

namespace corvex {

// One image decoder in the chain. Constructing one links it in front of the chain for the
// rest of the process, so the most recently created loader is asked first.
class TPixmapLoader : public Object {
 public:
  TPixmapLoader();
  TPixmapLoader(const TPixmapLoader&) = delete;
  TPixmapLoader& operator=(const TPixmapLoader&) = delete;

  // Decodes the image at the stream's position, or answers Null when it does not recognise
  // or cannot decode it. Stream failures may surface as TStreamException. Abstract here.
  virtual Ref<TPixmap> LoadFrom(const Ref<TStream>& stream);
  // The loader created before this one; Null at the end of the chain.
  const Ref<TPixmapLoader>& Next() const noexcept { return next_; }

 private:
  Ref<TPixmapLoader> next_;
};

// The most recently created loader, Null before any.
Ref<TPixmapLoader> PixmapLoaders();

// Opens the URL (a name or an open stream) and asks each loader in turn, each from the same
// position, until one decodes it. Null when the URL does not open, the stream cannot tell its
// position, or no loader recognises the data. A stream passed in stays open.
Ref<TPixmap> ReadPixmap(const Url& url);

// Loader modules, each creating its one loader. Started in the order BMP, JPEG, PNG, TGA,
// the chain asks TGA first and BMP last.
void InitBmpLoaderModule();
void InitJpegLoaderModule();
void InitPngLoaderModule();
void InitTgaLoaderModule();

}  // namespace corvex
