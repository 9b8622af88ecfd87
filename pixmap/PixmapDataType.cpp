#include "pixmap/PixmapDataType.h"

#include <cstdint>

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
  if (!IsPixelFormat(format) || width < 0 || height < 0) ThrowUnreadableObject();
  // The pixels follow in the body, so the bytes the stream still holds bound the allocation
  // (on a stream without a size, the data streams' body cap does).
  const int64_t wideRowBytes = int64_t{width} * FormatBytes[format];
  if (wideRowBytes > INT32_MAX) ThrowUnreadableObject();
  const auto rowBytes = static_cast<int32_t>(wideRowBytes);
  CheckDataBodyCount(stream, height, rowBytes);
  Ref<TPixmap> pixmap = TPixmap::Allocate(width, height, format, 4);
  if (!pixmap) ThrowUnreadableObject();
  pixmap->Fill(0);
  if (rowBytes == 0) return pixmap;  // rows of nothing, however many
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
