#include "pixmap/PixmapDataType.h"

#include "data/DataStream.h"
#include "pixmap/Pixmap.h"
#include "stream/Stream.h"

namespace corvex {

String TPixmapDataType::TypeName() const {
  return "NOX.Pixmap.TPixmap";
}

Ref<Object> TPixmapDataType::ReadData(TStream& stream) const {
  const int32_t width = stream.ReadInt();
  const int32_t height = stream.ReadInt();
  const int32_t format = stream.ReadInt();
  if (!IsPixelFormat(format) || width < 0 || height < 0 || width > kMaxPixmapSide ||
      height > kMaxPixmapSide) {
    ThrowUnreadableObject();
  }
  const int32_t rowBytes = width * FormatBytes[format];
  CheckDataBodyCount(stream, int64_t{rowBytes} * height, 1);
  Ref<TPixmap> pixmap = TPixmap::Allocate(width, height, format, 4);
  if (!pixmap) ThrowUnreadableObject();
  pixmap->Fill(0);
  for (int32_t y = 0; y < height; ++y) stream.ReadBytes(pixmap->PixelAddress(0, y), rowBytes);
  return pixmap;
}

void TPixmapDataType::WriteData(const Ref<Object>& object, TStream& stream) const {
  const Ref<TPixmap> pixmap = Cast<TPixmap>(object);
  const int32_t width = pixmap->Width();
  const int32_t height = pixmap->Height();
  const int32_t format = pixmap->Format();
  stream.WriteInt(width);
  stream.WriteInt(height);
  stream.WriteInt(format);
  const int32_t rowBytes = IsPixelFormat(format) ? width * FormatBytes[format] : 0;
  for (int32_t y = 0; y < height; ++y) stream.WriteBytes(pixmap->PixelAddress(0, y), rowBytes);
}

}  // namespace corvex
