// The 2D driver interface: a graphics driver that wraps a plain one, gives every context it
// makes a renderer state, and carries out the renderer's state changes and primitives.
#pragma once

#include <cstdint>

#include "graphics/Graphics.h"
#include "pixmap/Pixmap.h"
#include "runtime/Array.h"
#include "vex2d/ImageFrame.h"

namespace corvex {

// Blend modes, the public codes of SetBlendMode. Any other code draws like BlendSolid.
inline constexpr int32_t BlendMasked = 1;  // alpha below one half is not drawn, the rest replaces
inline constexpr int32_t BlendSolid = 2;   // source replaces the target
inline constexpr int32_t BlendAlpha = 3;   // source mixed with the target by source alpha
inline constexpr int32_t BlendLight = 4;   // source times its alpha added to the target
inline constexpr int32_t BlendShade = 5;   // target multiplied by the source colour

// "Local" coordinates below go through the driver's matrix, then (tx, ty) is added.
class TVex2DDriver : public TGraphicsDriver {
 public:
  // A driver frame holding the pixmap's picture, built as the image flags ask, or Null.
  virtual Ref<TImageFrame> CreateFrame(const Ref<TPixmap>& pixmap, int32_t flags) = 0;
  // A driver frame for a frame of an image (TImage::Frame asks here): like CreateFrame, but the
  // driver may put small pictures together on shared textures. By default CreateFrame.
  virtual Ref<TImageFrame> CreateImageFrame(const Ref<TPixmap>& pixmap, int32_t flags) {
    return CreateFrame(pixmap, flags);
  }
  // Sets the blend mode (BlendMasked..BlendShade).
  virtual void ApplyBlend(int32_t mode) = 0;
  // Sets the drawing alpha, 0 to 1; the driver clamps.
  virtual void ApplyAlpha(float alpha) = 0;
  // Sets the drawing colour, 0 to 255 each; the driver clamps.
  virtual void ApplyColor(int32_t red, int32_t green, int32_t blue) = 0;
  // Sets the colour ClearBuffer fills with, 0 to 255 each; the driver clamps.
  virtual void ApplyClearColor(int32_t red, int32_t green, int32_t blue) = 0;
  // Sets the clip rectangle in pixels from the top-left corner.
  virtual void ApplyViewport(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
  // Sets the 2 × 2 matrix applied to local points.
  virtual void ApplyTransform(float xx, float xy, float yx, float yy) = 0;
  // Sets the line width in pixels.
  virtual void ApplyLineWidth(float width) = 0;
  // Fills the drawable area with the clear colour.
  virtual void ClearBuffer() = 0;
  // Draws one pixel at an already placed position.
  virtual void RenderPoint(float x, float y) = 0;
  // Draws a line between two local points.
  virtual void RenderLine(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  // Fills the axis-aligned local rectangle (x0, y0)-(x1, y1).
  virtual void RenderRect(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  // Fills the ellipse inscribed in the local rectangle (x0, y0)-(x1, y1).
  virtual void RenderOval(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
  // Fills the polygon of the x, y pairs in `xy`, each moved by (offsetX, offsetY) before the
  // matrix; fewer than three points or an odd count draws nothing.
  virtual void RenderPoly(const Array<float>& xy, float offsetX, float offsetY, float tx, float ty) = 0;
  // Copies the pixmap unscaled and untransformed with its top-left corner at (x, y).
  virtual void RenderPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) = 0;
  // A new pixmap with the pixels of the screen rectangle (x, y, width, height).
  virtual Ref<TPixmap> GrabPixels(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
};

}  // namespace corvex
