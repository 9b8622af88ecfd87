// The OpenGL driver frame: one power-of-two texture holding an image's picture, made and
// deleted in the hidden shared context so that every window can draw it.
#pragma once

#include <cstdint>

#include "pixmap/Pixmap.h"
#include "vex2d/ImageFrame.h"

namespace corvex {

class TGLImageFrame : public TImageFrame {
 public:
  // A frame without a texture, tagged with the current GraphicsGeneration.
  TGLImageFrame();
  // Deletes the texture in the shared context (and in the current one while the generation
  // it was made in lasts).
  ~TGLImageFrame() override;
  TGLImageFrame(const TGLImageFrame&) = delete;
  TGLImageFrame& operator=(const TGLImageFrame&) = delete;

  // Draws the texture's (uLeft, vTop)-(uRight, vBottom) part as a quad over the local
  // rectangle.
  void Render(float x0, float y0, float x1, float y1, float tx, float ty) override;

  // A frame with a new texture holding the pixmap, filtered and mipmapped as the image flags
  // ask. Must run with the shared context current (CreateFrame of the driver arranges that);
  // raises "Unable to calculate tex size" when OpenGL refuses even a 1 × 1 texture.
  static Ref<TGLImageFrame> FromPixmap(const Ref<TPixmap>& pixmap, int32_t flags);

  // Texture coordinates of the picture; public so that callers can draw a part of the texture.
  float uLeft = 0.0f;
  float vTop = 0.0f;
  float uRight = 0.0f;
  float vBottom = 0.0f;
  int32_t textureName = 0;
  // The GraphicsGeneration the frame was made in; 0 once its texture is gone.
  int32_t generation;
};

}  // namespace corvex
