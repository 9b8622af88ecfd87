// The pixmap data type "NOX.Pixmap.TPixmap": a pixmap's body in a data stream is its width,
// height and format, then its rows without their padding.
#pragma once

#include "runtime/Data.h"

namespace corvex {

class TPixmapDataType : public TDataType {
 public:
  String TypeName() const override;
  // Rejects ("Unable to read object") an unknown format, a negative width or height, or rows
  // the stream cannot still hold (CheckDataBodyCount); rows cut short by the end read as zero.
  Ref<Object> ReadData(TStream& stream) const override;
  void WriteData(const Ref<Object>& object, TStream& stream) const override;
};

}  // namespace corvex
