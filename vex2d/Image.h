// Images: drawable pictures of one or more equal-sized frames, each kept as a pixmap and turned
// into a driver frame when first drawn; the process-wide defaults for new images, and the
// renderer's image functions.
#pragma once

#include <cstdint>

#include "pixmap/Pixmap.h"
#include "runtime/Array.h"
#include "runtime/Data.h"
#include "stream/Url.h"
#include "vex2d/ImageFrame.h"

namespace corvex {

// Image flags, OR-ed together.
inline constexpr int32_t ImgMasked = 1;     // a pixmap without alpha has its mask colour made transparent
inline constexpr int32_t ImgFiltered = 2;   // smoothed when scaled
inline constexpr int32_t ImgMipmapped = 4;  // reduced copies are built for minification
inline constexpr int32_t ImgDynamic = 8;    // the pixels are expected to change

// A picture of `FrameCount()` frames of width × height pixels. Each frame's pixmap is the
// master copy; its driver frame is built from it at the first draw and again after the main
// graphics has been reopened or the pixels have been written. A frame index outside 0 to
// FrameCount() − 1 raises TArrayBoundsException in every operation that takes one.
class TImage : public TData {
 public:
  // The image data type "nox.vex2d.TImage" (Null until InitImageModule has run).
  Ref<TDataType> DataType() const override;
  // The frame's driver frame for the active 2D driver, built when it is missing or older than
  // the current GraphicsGeneration; Null when no 2D context is active or the driver cannot
  // build it (it is tried again at the next call).
  virtual Ref<TImageFrame> Frame(int32_t index);
  // The frame's pixmap for direct access, made (transparent, RGBA8888) when the frame has none.
  // A non-zero `write` drops the driver frame so that the next draw shows the new pixels. Null
  // only when the image's size allows no pixmap.
  virtual Ref<TPixmap> Lock(int32_t index, int32_t read, int32_t write);
  // Gives the frame a new pixmap (with the mask colour made transparent when the image is
  // masked and the pixmap has no alpha) and drops its driver frame.
  virtual void SetPixmap(int32_t index, const Ref<TPixmap>& pixmap);

  // A new image with those fields, a zero handle and `frameCount` empty frames (a negative
  // count or size counts as 0).
  static Ref<TImage> Create(int32_t width, int32_t height, int32_t frameCount, int32_t flags, int32_t maskRed,
                            int32_t maskGreen, int32_t maskBlue);
  // A one-frame image of the source: a TPixmap as it is, anything else read through the pixmap
  // loader chain. Null when no pixmap comes of it; a pixmap without pixels gives a 0 × 0 image.
  static Ref<TImage> Load(const Url& source, int32_t flags, int32_t maskRed, int32_t maskGreen,
                          int32_t maskBlue);
  // An image of `count` cells of the source's grid of cellWidth × cellHeight cells, numbered row
  // by row, starting at cell `first`. Null when the source gives no pixmap, a cell size is below
  // 1, `first` is negative, `count` is negative or the grid has too few cells; a count of 0
  // gives an image without frames.
  static Ref<TImage> LoadAnim(const Url& source, int32_t cellWidth, int32_t cellHeight, int32_t first,
                              int32_t count, int32_t flags, int32_t maskRed, int32_t maskGreen,
                              int32_t maskBlue);

  // Draws frame `index` as `Frame(index)->Render(x0, y0, x1, y1, tx, ty)` does; nothing when
  // Frame gives Null.
  void RenderFrame(int32_t index, float x0, float y0, float x1, float y1, float tx, float ty);

  // The number of frames.
  int32_t FrameCount() const noexcept { return pixmaps.Length(); }

  // The frame size, the ImgFlags, the mask colour's channels, and the handle, the point
  // drawn at the given position.
  int32_t width = 0;
  int32_t height = 0;
  int32_t flags = 0;
  int32_t maskRed = 0, maskGreen = 0, maskBlue = 0;
  float handleX = 0.0f, handleY = 0.0f;  // pixels from the frame's top-left corner
  // One element per frame each: the pixels (Null until first needed), the driver frame (Null
  // when there is none) and the GraphicsGeneration it was built in (0 when there is none).
  Array<Ref<TPixmap>> pixmaps;
  Array<Ref<TImageFrame>> frames;
  Array<int32_t> frameGenerations;
};

// The mask colour new images get.
void SetDefaultMaskColour(int32_t red, int32_t green, int32_t blue);
void GetDefaultMaskColour(int32_t& red, int32_t& green, int32_t& blue);
// Non-zero: images from LoadImage, LoadImageStrip and CreateImage get their handle centred.
void SetAutoCentreHandle(int32_t enable);
// The flags LoadImage, LoadImageStrip and CreateImage use for flags −1; −1 here changes nothing.
void SetDefaultImageFlags(int32_t flags);
int32_t DefaultImageFlags();

// TImage::Load with the module's mask colour; flags −1 means the default image flags.
Ref<TImage> LoadImage(const Url& source, int32_t flags = -1);
// TImage::LoadAnim with the module's mask colour; flags −1 means the default image flags.
Ref<TImage> LoadImageStrip(const Url& source, int32_t cellWidth, int32_t cellHeight, int32_t first,
                           int32_t count, int32_t flags = -1);
// TImage::Create with ImgDynamic added and the module's mask colour; flags −1 means the
// default image flags.
Ref<TImage> CreateImage(int32_t width, int32_t height, int32_t frameCount = 1, int32_t flags = -1);

// The frame size.
int32_t ImageWidth(const Ref<TImage>& image);
int32_t ImageHeight(const Ref<TImage>& image);
// The point of the frame placed at the drawing position.
void SetImageHandle(const Ref<TImage>& image, float x, float y);
// Puts the handle in the middle of the frame.
void CentreImageHandle(const Ref<TImage>& image);

// Draws the frame with its handle at (x, y), through the renderer's matrix and origin (the
// renderer's own handle does not apply).
void DrawImage(const Ref<TImage>& image, float x, float y, int32_t frame = 0);
// Draws the frame stretched over width × height pixels (before the matrix).
void DrawImageStretched(const Ref<TImage>& image, float x, float y, float width, float height,
                        int32_t frame = 0);
// Fills the viewport with unscaled, unrotated copies of the frame, one of them with its handle
// at (x, y).
void DrawImageTiled(const Ref<TImage>& image, float x, float y, int32_t frame = 0);

// Lock of the image's frame.
Ref<TPixmap> LockImageFrame(const Ref<TImage>& image, int32_t frame, int32_t read = 1, int32_t write = 1);
// Ends a Lock; nothing needs undoing.
void UnlockImageFrame(const Ref<TImage>& image, int32_t frame);
// Copies the screen rectangle of the image's size at (x, y) into the frame (masked with the
// module's mask colour when the image is masked).
void CaptureToImage(const Ref<TImage>& image, int32_t x, int32_t y, int32_t frame = 0);

// The images module's initialiser: registers the image data type.
void InitImageModule();

}  // namespace corvex
