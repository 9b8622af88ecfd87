#include "vex2d/ImageDataType.h"

#include <algorithm>
#include <vector>

#include "data/DataStream.h"
#include "pixmap/Pixmap.h"
#include "stream/Stream.h"
#include "vex2d/Image.h"

namespace corvex {

String TImageDataType::TypeName() const {
  return "nox.vex2d.TImage";
}

Ref<Object> TImageDataType::ReadData(TStream& stream) const {
  auto image = New<TImage>();
  image->width = stream.ReadInt();
  image->height = stream.ReadInt();
  if (image->width < 0 || image->height < 0) ThrowUnreadableObject();
  image->flags = stream.ReadInt();
  image->maskRed = stream.ReadInt();
  image->maskGreen = stream.ReadInt();
  image->maskBlue = stream.ReadInt();
  image->handleX = stream.ReadFloat();
  image->handleY = stream.ReadFloat();
  const int32_t count = stream.ReadInt();
  CheckDataBodyCount(stream, count, 1);  // every slot takes at least its tag byte
  // Slots are read one at a time, so memory follows the bytes actually there.
  std::vector<Ref<TPixmap>> pixmaps;
  for (int32_t i = 0; i < count; ++i) {
    if (stream.Eof()) ThrowUnreadableObject();
    pixmaps.push_back(Cast<TPixmap>(stream.ReadObject()));
  }
  // A frame without a pixmap gets one of the declared size at its first Lock: that size comes
  // from the stream and must keep within the pixmap byte cap. Frames whose pixels came along
  // are bounded by the bytes that carried them.
  const bool sized = image->width == 0 || image->height == 0 ||
                     IsAcceptablePixmapSize(image->width, image->height, FormatBytes[PIXEL_RGBA8888]);
  if (!sized && std::any_of(pixmaps.begin(), pixmaps.end(), [](const Ref<TPixmap>& p) { return !p; })) {
    ThrowUnreadableObject();
  }
  image->pixmaps = Array<Ref<TPixmap>>::FromVector(std::move(pixmaps));
  image->frames = Array<Ref<TImageFrame>>(count);
  image->frameGenerations = Array<int32_t>(count);
  return image;
}

void TImageDataType::WriteData(const Ref<Object>& object, TStream& stream) const {
  const Ref<TImage> image = Cast<TImage>(object);
  stream.WriteInt(image->width);
  stream.WriteInt(image->height);
  stream.WriteInt(image->flags);
  stream.WriteInt(image->maskRed);
  stream.WriteInt(image->maskGreen);
  stream.WriteInt(image->maskBlue);
  stream.WriteFloat(image->handleX);
  stream.WriteFloat(image->handleY);
  stream.WriteInt(image->pixmaps.Length());
  for (const Ref<TPixmap>& pixmap : image->pixmaps) stream.WriteObject(pixmap);
}

}  // namespace corvex
