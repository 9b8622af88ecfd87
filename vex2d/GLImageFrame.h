// The OpenGL driver frame: an image's picture on a power-of-two texture of its own or in a cell
// of a shared texture page, made and deleted in the hidden shared context so that every window
// can draw it.
#pragma once

#include <cstdint>

#include "pixmap/Pixmap.h"
#include "vex2d/GLTexturePages.h"
#include "vex2d/ImageFrame.h"

namespace corvex {

class TGLImageFrame : public TImageFrame {
 public:
  // A frame without a texture, tagged with the current GraphicsGeneration.
  TGLImageFrame();
  // Deletes the texture in the shared context (and in the current one while the generation
  // it was made in lasts), or gives the page cell back.
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

  // Shows the part (u0, v0)-(u1, v1) of the picture, given in the texture coordinates of a
  // texture of its own (the picture at the top-left of the power-of-two size that holds it);
  // on a shared page they are moved into the picture's cell.
  void SetTextureWindow(float u0, float v0, float u1, float v1);

  // Texture coordinates of the picture; public so that callers can draw a part of the texture.
  float uLeft = 0.0f;
  float vTop = 0.0f;
  float uRight = 0.0f;
  float vBottom = 0.0f;
  int32_t textureName = 0;
  // The GraphicsGeneration the frame was made in; 0 once its texture is gone.
  int32_t generation;
  // The shared page holding the picture (Null for a texture of its own) and the picture's
  // texels on it, without the cell's border.
  Ref<TGLTexturePage> page;
  int32_t cellX = 0, cellY = 0, cellWidth = 0, cellHeight = 0;
};

}  // namespace corvex
