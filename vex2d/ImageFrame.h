// A driver frame: one picture of an image in the form a 2D driver draws (a texture for the
// OpenGL driver), built from the image's pixmap.
#pragma once

#include "runtime/Object.h"

namespace corvex {

class TImageFrame : public Object {
 public:
  // Draws the picture stretched over the local rectangle (x0, y0)-(x1, y1), placed through the
  // driver's current matrix and moved by (tx, ty).
  virtual void Render(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
};

}  // namespace corvex
