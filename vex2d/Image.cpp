#include "vex2d/Image.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "data/DataStream.h"
#include "graphics/Graphics.h"
#include "pixmap/PixmapLoader.h"
#include "pixmap/PixmapTransforms.h"
#include "runtime/Exceptions.h"
#include "runtime/LastError.h"
#include "runtime/Module.h"
#include "vex2d/ImageDataType.h"
#include "vex2d/Renderer.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

// The module's one image data type; the data-type registry holds the reference that keeps it.
TImageDataType* g_imageDataType = nullptr;

// Module defaults read whenever an image is created or loaded.
constinit int32_t g_maskRed = 0, g_maskGreen = 0, g_maskBlue = 0;
constinit int32_t g_autoCentreHandle = 0;
constinit int32_t g_defaultImageFlags = ImgMasked | ImgFiltered;

void CheckFrameIndex(const TImage& image, int32_t index) {
  if (index < 0 || index >= image.FrameCount()) throw TArrayBoundsException();
}

// The pixmap an image source stands for: a TPixmap itself, or what the loader chain reads;
// Null when there is none.
Ref<TPixmap> SourcePixmap(const Url& source) {
  Ref<TPixmap> pixmap = Cast<TPixmap>(source.Target());
  if (!pixmap) pixmap = ReadPixmap(source);
  return pixmap;
}

// A pixmap without memory stands for no pixels at all, whatever size it claims.
bool HasPixels(const TPixmap& pixmap) {
  return pixmap.Width() > 0 && pixmap.Height() > 0 && pixmap.Pixels() != nullptr;
}

int32_t ResolveFlags(int32_t flags) {
  return flags == -1 ? g_defaultImageFlags : flags;
}

Ref<TImage> ApplyAutoHandle(Ref<TImage> image) {
  if (image && g_autoCentreHandle != 0) CentreImageHandle(image);
  return image;
}

// The first tile position at or before the viewport's start from which tiles `size` apart
// pass through `position` and cover the viewport's first pixel: tiles are drawn `fraction`
// to the right of these integer positions.
int64_t FirstTile(double position, double fraction, int32_t viewportStart, int32_t size) {
  const int64_t base = int64_t{viewportStart} - size + 1;
  double remainder = std::fmod(std::floor(position) - static_cast<double>(base), static_cast<double>(size));
  if (remainder < 0) remainder += size;
  int64_t start = base + static_cast<int64_t>(remainder);
  // A tile starting on the viewport's first pixel but moved right by the fraction leaves that
  // pixel's centre uncovered: begin one tile earlier.
  if (start == viewportStart && fraction > 0.0) start -= size;
  return start;
}

}  // namespace

Ref<TDataType> TImage::DataType() const {
  return Ref<TDataType>(g_imageDataType);
}

Ref<TImageFrame> TImage::Frame(int32_t index) {
  CheckFrameIndex(*this, index);
  const int32_t generation = GraphicsGeneration();
  if (frameGenerations[index] == generation) return frames[index];
  const Ref<TVex2DDriver> driver = ActiveDriver();
  if (!driver) return Null;
  const Ref<TPixmap> pixmap = Lock(index, 1, 0);
  Ref<TImageFrame> frame = pixmap ? driver->CreateImageFrame(pixmap, flags) : Ref<TImageFrame>();
  frames[index] = frame;
  frameGenerations[index] = frame ? generation : 0;
  return frame;
}

void TImage::RenderFrame(int32_t index, float x0, float y0, float x1, float y1, float tx, float ty) {
  // A plain image's frame built for this generation is what Frame would give; drawing it
  // straight spares the counted copy, two atomic operations a sprite or glyph. Subclasses may do
  // more in Frame.
  if (typeid(*this) == typeid(TImage) && index >= 0 && index < FrameCount() &&
      frameGenerations[index] == GraphicsGeneration()) {
    if (TImageFrame* const picture = frames[index].Get()) picture->Render(x0, y0, x1, y1, tx, ty);
    return;
  }
  if (const Ref<TImageFrame> picture = Frame(index)) picture->Render(x0, y0, x1, y1, tx, ty);
}

Ref<TPixmap> TImage::Lock(int32_t index, int32_t /*read*/, int32_t write) {
  CheckFrameIndex(*this, index);
  if (write != 0) {
    frames[index] = Null;
    frameGenerations[index] = 0;
  }
  if (!pixmaps[index]) {
    Ref<TPixmap> pixmap = NewPixmap(width, height, PIXEL_RGBA8888, 4);
    // New memory is unwritten; a fresh frame starts transparent.
    if (pixmap) pixmap->Fill(0);
    pixmaps[index] = pixmap;
  }
  return pixmaps[index];
}

void TImage::SetPixmap(int32_t index, const Ref<TPixmap>& pixmap) {
  CheckFrameIndex(*this, index);
  Ref<TPixmap> stored = pixmap;
  if ((flags & ImgMasked) != 0 && pixmap && IsPixelFormat(pixmap->Format()) &&
      FormatAlphaBits[static_cast<std::size_t>(pixmap->Format())] == 0) {
    // A pixmap that cannot be masked is kept as it is rather than lost.
    if (Ref<TPixmap> masked = MaskColourToAlpha(pixmap, maskRed, maskGreen, maskBlue)) stored = masked;
  }
  pixmaps[index] = stored;
  frames[index] = Null;
  frameGenerations[index] = 0;
}

Ref<TImage> TImage::Create(int32_t width, int32_t height, int32_t frameCount, int32_t flags, int32_t maskRed,
                           int32_t maskGreen, int32_t maskBlue) {
  auto image = New<TImage>();
  image->width = std::max(width, 0);
  image->height = std::max(height, 0);
  image->flags = flags;
  image->maskRed = maskRed;
  image->maskGreen = maskGreen;
  image->maskBlue = maskBlue;
  image->pixmaps = Array<Ref<TPixmap>>(frameCount);
  image->frames = Array<Ref<TImageFrame>>(frameCount);
  image->frameGenerations = Array<int32_t>(frameCount);
  return image;
}

Ref<TImage> TImage::Load(const Url& source, int32_t flags, int32_t maskRed, int32_t maskGreen,
                         int32_t maskBlue) {
  const Ref<TPixmap> pixmap = SourcePixmap(source);
  if (!pixmap) return Null;
  // A pixmap without pixels gives a 0 × 0 image whose frame gets its own empty pixmap when
  // locked, so that nothing ever reads the memory such a pixmap does not have.
  if (!HasPixels(*pixmap)) return Create(0, 0, 1, flags, maskRed, maskGreen, maskBlue);
  Ref<TImage> image = Create(pixmap->Width(), pixmap->Height(), 1, flags, maskRed, maskGreen, maskBlue);
  image->SetPixmap(0, pixmap);
  return image;
}

Ref<TImage> TImage::LoadAnim(const Url& source, int32_t cellWidth, int32_t cellHeight, int32_t first,
                             int32_t count, int32_t flags, int32_t maskRed, int32_t maskGreen,
                             int32_t maskBlue) {
  if (cellWidth < 1 || cellHeight < 1 || first < 0 || count < 0)
    return FailNull("no such cell size or range");
  const Ref<TPixmap> pixmap = SourcePixmap(source);
  if (!pixmap) return Null;
  const int32_t across = HasPixels(*pixmap) ? pixmap->Width() / cellWidth : 0;
  const int32_t down = HasPixels(*pixmap) ? pixmap->Height() / cellHeight : 0;
  if (int64_t{first} + count > int64_t{across} * down) {
    const String name = source.Text();
    const ErrorSubject subject(&name);
    return FailNull("fewer cells than asked for");
  }
  Ref<TImage> image = Create(cellWidth, cellHeight, count, flags, maskRed, maskGreen, maskBlue);
  for (int32_t i = first; i < first + count; ++i) {
    const Ref<TPixmap> cell =
        pixmap->SubWindow((i % across) * cellWidth, (i / across) * cellHeight, cellWidth, cellHeight);
    image->SetPixmap(i - first, cell->Duplicate());
  }
  return image;
}

void SetDefaultMaskColour(int32_t red, int32_t green, int32_t blue) {
  g_maskRed = red;
  g_maskGreen = green;
  g_maskBlue = blue;
}

void GetDefaultMaskColour(int32_t& red, int32_t& green, int32_t& blue) {
  red = g_maskRed;
  green = g_maskGreen;
  blue = g_maskBlue;
}

void SetAutoCentreHandle(int32_t enable) {
  g_autoCentreHandle = enable;
}

void SetDefaultImageFlags(int32_t flags) {
  if (flags != -1) g_defaultImageFlags = flags;
}

int32_t DefaultImageFlags() {
  return g_defaultImageFlags;
}

Ref<TImage> LoadImage(const Url& source, int32_t flags) {
  return ApplyAutoHandle(TImage::Load(source, ResolveFlags(flags), g_maskRed, g_maskGreen, g_maskBlue));
}

Ref<TImage> LoadImageStrip(const Url& source, int32_t cellWidth, int32_t cellHeight, int32_t first,
                           int32_t count, int32_t flags) {
  return ApplyAutoHandle(TImage::LoadAnim(source, cellWidth, cellHeight, first, count, ResolveFlags(flags),
                                          g_maskRed, g_maskGreen, g_maskBlue));
}

Ref<TImage> CreateImage(int32_t width, int32_t height, int32_t frameCount, int32_t flags) {
  return ApplyAutoHandle(TImage::Create(width, height, frameCount, ResolveFlags(flags) | ImgDynamic,
                                        g_maskRed, g_maskGreen, g_maskBlue));
}

int32_t ImageWidth(const Ref<TImage>& image) {
  return image->width;
}

int32_t ImageHeight(const Ref<TImage>& image) {
  return image->height;
}

void SetImageHandle(const Ref<TImage>& image, float x, float y) {
  image->handleX = x;
  image->handleY = y;
}

void CentreImageHandle(const Ref<TImage>& image) {
  TImage& target = *image;
  target.handleX = static_cast<float>(target.width) * 0.5f;
  target.handleY = static_cast<float>(target.height) * 0.5f;
}

void DrawImage(const Ref<TImage>& image, float x, float y, int32_t frame) {
  DrawImageStretched(image, x, y, static_cast<float>(image->width), static_cast<float>(image->height), frame);
}

void DrawImageStretched(const Ref<TImage>& image, float x, float y, float width, float height,
                        int32_t frame) {
  const TVex2DGraphics& state = RequireActiveState();
  TImage& source = *image;
  source.RenderFrame(frame, -source.handleX, -source.handleY, -source.handleX + width,
                     -source.handleY + height, x + state.originX, y + state.originY);
}

void DrawImageTiled(const Ref<TImage>& image, float x, float y, int32_t frame) {
  TVex2DGraphics& state = RequireActiveState();
  TImage& source = *image;
  const Ref<TImageFrame> picture = source.Frame(frame);
  const int32_t w = source.width;
  const int32_t h = source.height;
  const float px = x + state.originX - source.handleX;
  const float py = y + state.originY - source.handleY;
  if (!picture || w < 1 || h < 1 || !std::isfinite(px) || !std::isfinite(py)) return;
  RequireActiveDriver().ApplyTransform(1.0f, 0.0f, 0.0f, 1.0f);
  const float fx = px - std::floor(px);
  const float fy = py - std::floor(py);
  const int64_t startX = FirstTile(px, fx, state.viewportX, w);
  const int64_t startY = FirstTile(py, fy, state.viewportY, h);
  const int64_t endX = int64_t{state.viewportX} + state.viewportWidth;
  const int64_t endY = int64_t{state.viewportY} + state.viewportHeight;
  for (int64_t y0 = startY; y0 < endY; y0 += h) {
    for (int64_t x0 = startX; x0 < endX; x0 += w) {
      picture->Render(0.0f, 0.0f, static_cast<float>(w), static_cast<float>(h), static_cast<float>(x0) + fx,
                      static_cast<float>(y0) + fy);
    }
  }
  state.UpdateMatrix();
}

Ref<TPixmap> LockImageFrame(const Ref<TImage>& image, int32_t frame, int32_t read, int32_t write) {
  return image->Lock(frame, read, write);
}

void UnlockImageFrame(const Ref<TImage>& /*image*/, int32_t /*frame*/) {}

void CaptureToImage(const Ref<TImage>& image, int32_t x, int32_t y, int32_t frame) {
  TImage& target = *image;
  CheckFrameIndex(target, frame);
  Ref<TPixmap> pixmap = CaptureScreenPixmap(x, y, target.width, target.height);
  if ((target.flags & ImgMasked) != 0 && pixmap) {
    if (Ref<TPixmap> masked = MaskColourToAlpha(pixmap, g_maskRed, g_maskGreen, g_maskBlue)) pixmap = masked;
  }
  target.SetPixmap(frame, pixmap);
}

void InitImageModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitDataStreamModule();
  InitPixmapModule();
  InitGraphicsModule();
  g_imageDataType = new TImageDataType();  // registering keeps it alive
}

}  // namespace corvex
