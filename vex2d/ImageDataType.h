// The image data type "nox.vex2d.TImage": an image's body in a data stream is its size, flags,
// mask colour and handle, then one pixmap reference per frame. Driver frames are not written.
#pragma once

#include "runtime/Data.h"

namespace corvex {

class TImageDataType : public TDataType {
 public:
  String TypeName() const override;
  // Rejects ("Unable to read object") a negative frame size, a frame size beyond the pixmap
  // byte cap when a frame holds no pixmap (its first Lock would allocate that size), a frame
  // count the stream cannot still hold, or a body cut short; slots that hold no pixmap read
  // as Null.
  Ref<Object> ReadData(TStream& stream) const override;
  void WriteData(const Ref<Object>& object, TStream& stream) const override;
};

}  // namespace corvex
