// Pixel-exact collision tests between images and rectangles as they would be drawn: quads
// written into 32 collision layers, tested against the quads of chosen layers by scanning both
// polygons line by line.
#pragma once

#include <array>
#include <cstdint>

#include "pixmap/Pixmap.h"
#include "runtime/Array.h"
#include "runtime/Object.h"

namespace corvex {

class TImage;

// The four screen corners of a frame as drawn, with texture coordinates, and the frame's
// picture when it has alpha. A quad without a picture covers its whole area; with one, only
// the pixels of alpha 128 or more.
class TQuad : public Object {
 public:
  // Stores the vertices (x0, y0, 0, 0), (x1, y1, 1, 0), (x2, y2, 1, 1), (x3, y3, 0, 1) and their
  // bounding box.
  virtual void SetCorners(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3);

  Ref<TQuad> next;  // the following quad of its layer or of the free chain
  // What the collision calls answer for this quad, and the picture that limits its cover.
  Ref<Object> owner;
  Ref<TPixmap> picture;
  // The corners' bounding box, which SetCorners keeps.
  float boxLeft = 0.0f, boxTop = 0.0f, boxRight = 0.0f, boxBottom = 0.0f;
  std::array<float, 16> corners{};  // four vertices of x, y, u, v
};

// Whether the two quads share a covered pixel: their bounding boxes overlap (touching counts)
// and the polygon scanner finds a pixel both cover.
bool QuadsCollide(const TQuad& a, const TQuad& b);

// Empties the layers whose bits are set in `mask` (0 empties all 32); their quads are kept for
// reuse.
void ClearCollisionLayers(uint32_t mask);
// The owners of the quads in the layers of `collideMask` that the image's frame, drawn at
// (x, y) with the current transform, touches; then writes its quad into the layers of
// `writeMask`. An owner appears once per colliding quad. A frame outside the image raises
// TArrayBoundsException.
Array<Ref<Object>> CollideImageInLayers(const Ref<TImage>& image, float x, float y, int32_t frame,
                                        uint32_t collideMask, uint32_t writeMask, const Ref<Object>& owner);
// The same for a width × height rectangle that covers its whole area.
Array<Ref<Object>> CollideRectInLayers(float x, float y, float width, float height, uint32_t collideMask,
                                       uint32_t writeMask, const Ref<Object>& owner);
// 1 when the two frames drawn there with the current transform share a pixel, else 0. Uses
// layer 31 as scratch space: it is left holding the first image's quad.
int32_t ImagesOverlap(const Ref<TImage>& image1, float x1, float y1, int32_t frame1,
                      const Ref<TImage>& image2, float x2, float y2, int32_t frame2);
// ImagesOverlap with a rotation and scale for each image; the renderer's rotation and scale
// are put back afterwards.
int32_t ImagesCollideTransformed(const Ref<TImage>& image1, float x1, float y1, int32_t frame1,
                                 float rotation1, float scaleX1, float scaleY1, const Ref<TImage>& image2,
                                 float x2, float y2, int32_t frame2, float rotation2, float scaleX2,
                                 float scaleY2);

// The matrix quads are placed with: the active renderer state's matrix while a 2D context is
// active, otherwise the last one seen or set.
void GetCollisionMatrix(float& xx, float& xy, float& yx, float& yy);
// Sets the matrix used while no 2D context is active (an active state's own matrix wins).
void SetCollisionMatrix(float xx, float xy, float yx, float yy);

// The collision module's initialiser: makes the empty layers and the identity matrix.
void InitCollisionModule();

}  // namespace corvex
