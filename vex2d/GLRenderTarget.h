// Render images of the OpenGL 2D driver: a texture of its own per image, drawn into through a
// framebuffer object made for as long as the image is the target, in the context that is
// current then. The texture holds the picture bottom row first, as the window's pixels are, so
// drawing into it goes through the same projection and rasterisation as drawing on screen.
#pragma once

#include <cstdint>

#include "vex2d/GLImageFrame.h"
#include "vex2d/Image.h"

namespace corvex {

// The frame of a render image: its texture, width × height texels used of texWidth ×
// texHeight, and texture coordinates that show it upright.
class TGLRenderFrame : public TGLImageFrame {
 public:
  int32_t width = 0, height = 0;
  int32_t texWidth = 0, texHeight = 0;
};

// An image whose frame is a TGLRenderFrame. Its pixmap is the copy Lock reads back from the
// texture; pixels written through Lock or SetPixmap go to the texture when it is next drawn or
// made the target.
class TRenderImage : public TImage {
 public:
  // Returns drawing to the window when this is the target.
  ~TRenderImage() override;
  // The render frame, made again (with the pixmap's last pixels) for a new graphics generation.
  Ref<TImageFrame> Frame(int32_t index) override;
  // The pixmap, first read back from the texture when `read` is non-zero.
  Ref<TPixmap> Lock(int32_t index, int32_t read, int32_t write) override;
  // Takes the pixels (a pixmap of another size is scaled) for the texture; keeps the frame.
  void SetPixmap(int32_t index, const Ref<TPixmap>& pixmap) override;

  // Pixels written into the pixmap that the texture does not have yet.
  bool pixmapNewer = false;
};

namespace glvex2d {

// The size of what drawing goes to: the render target, or the current graphics.
int32_t DrawingWidth();
int32_t DrawingHeight();
// Loads a pixel projection (origin top-left, y down) and the viewport for a drawing area.
void SetPixelProjection(int32_t width, int32_t height);
// Returns drawing to the current context's window (its framebuffer, projection and the
// renderer viewport it had); nothing when it is there.
void LeaveRenderTarget();
// Forgets the target without any OpenGL call, for a context that has just been made current.
void ForgetRenderTarget();

}  // namespace glvex2d
}  // namespace corvex
