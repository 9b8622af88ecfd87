#include "vex2d/Collision.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "pixmap/PixelFormats.h"
#include "runtime/Module.h"
#include "vex2d/Image.h"
#include "vex2d/Renderer.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

constexpr int32_t kLayerCount = 32;
constexpr uint32_t kScratchLayer = 1u << 31;  // ImagesOverlap's own layer
constexpr int32_t kStride = 4;                // values per vertex: x, y, u, v
constexpr int32_t kQuadValues = 16;
// Positions marked per pass of the scan-line test; longer spans are done in passes, so the
// buffer stays small however far apart a huge quad's edges lie.
constexpr int64_t kScanPass = 4096;
// Coordinates are held inside ±2^24 pixels before becoming integers: no conversion overflows,
// and an absurdly scaled quad costs at most that many scan lines.
constexpr float kCoordinateLimit = 16777216.0f;

struct CollisionState {
  std::array<Ref<TQuad>, kLayerCount> layers;
  Ref<TQuad> freeQuads;
  float matrixXX = 1.0f, matrixXY = 0.0f, matrixYX = 0.0f, matrixYY = 1.0f;
  std::vector<uint8_t> scanBuffer;
};

// Created by the initialiser and kept for the whole run, quads included.
CollisionState* g_collision = nullptr;

CollisionState& Collision() {
  if (g_collision == nullptr) InitCollisionModule();
  return *g_collision;
}

// Float to integer, truncating toward zero; NaN counts as 0.
int32_t Truncate(float value) {
  if (!(value == value)) return 0;
  return static_cast<int32_t>(std::clamp(value, -kCoordinateLimit, kCoordinateLimit));
}

// The scan state of one polygon: its vertices (x, y, u, v each) and where its left and right
// edges stand on the current scan line.
struct rpoly {
  const TPixmap* picture = nullptr;
  std::array<float, kQuadValues> vertices{};
  int32_t stride = kStride;
  int32_t vertexCount = 0;
  int32_t valueCount = 0;
  std::array<float, kStride> leftValues{}, leftSteps{}, rightValues{}, rightSteps{};
  int32_t leftIndex = 0, rightIndex = 0;
  int32_t topY = 0;
  int32_t state = 0;  // 0 not yet reached, 1 active, 2 finished

  int32_t IntY(int32_t offset) const { return Truncate(vertices[static_cast<std::size_t>(offset + 1)]); }
};

constexpr int32_t kStateWaiting = 0;
constexpr int32_t kStateActive = 1;
constexpr int32_t kStateFinished = 2;

void MakePolygon(rpoly& poly, const TQuad& quad) {
  poly.picture = quad.picture.Get();
  poly.vertices = quad.corners;
  poly.vertexCount = kQuadValues / kStride;
  poly.valueCount = poly.vertexCount * kStride;
  // The scanner walks left edges backwards and right edges forwards, which needs the winding
  // of an unrotated quad on a y-down screen; any fan triangle of that winding keeps the order.
  bool reverse = true;
  for (int32_t k = 1; k + 1 < poly.vertexCount; ++k) {
    const float* v0 = &poly.vertices[0];
    const float* v1 = &poly.vertices[static_cast<std::size_t>(k * kStride)];
    const float* v2 = &poly.vertices[static_cast<std::size_t>((k + 1) * kStride)];
    const float d = (v2[0] - v1[0]) * (v1[1] - v0[1]) - (v1[0] - v0[0]) * (v2[1] - v1[1]);
    if (Truncate(d) < 0) reverse = false;
  }
  if (reverse) {
    for (int32_t i = 0, j = poly.vertexCount - 1; i < j; ++i, --j) {
      std::swap_ranges(poly.vertices.begin() + i * kStride, poly.vertices.begin() + (i + 1) * kStride,
                       poly.vertices.begin() + j * kStride);
    }
  }
  int32_t top = 0;
  for (int32_t offset = kStride; offset < poly.valueCount; offset += kStride) {
    if (poly.IntY(offset) < poly.IntY(top)) top = offset;
  }
  poly.leftIndex = poly.rightIndex = top;
  poly.topY = poly.IntY(top);
  poly.state = kStateWaiting;
}

// Moves one edge on to the vertices that span scan line y, walking backwards (left edge) or
// forwards (right edge), and samples it in the middle of that line. Answers false when the
// polygon has no edge left there.
bool SetUpEdge(rpoly& poly, int32_t y, bool left) {
  int32_t& index = left ? poly.leftIndex : poly.rightIndex;
  const int32_t step = left ? poly.valueCount - poly.stride : poly.stride;
  const int32_t start = index;
  int32_t s = start;
  int32_t e = (s + step) % poly.valueCount;
  while (e != start && poly.IntY(e) <= y) {
    s = e;
    e = (s + step) % poly.valueCount;
  }
  const int32_t dy = poly.IntY(e) - poly.IntY(s);
  if (e == start || dy < 1) return false;
  const auto lines = static_cast<float>(int64_t{y} - poly.IntY(s));
  auto& values = left ? poly.leftValues : poly.rightValues;
  auto& steps = left ? poly.leftSteps : poly.rightSteps;
  for (int32_t i = 0; i < kStride; ++i) {
    const float from = poly.vertices[static_cast<std::size_t>(s + i)];
    const float to = poly.vertices[static_cast<std::size_t>(e + i)];
    steps[static_cast<std::size_t>(i)] = (to - from) / static_cast<float>(dy);
    // Lines between S and y (only when the scan starts below this polygon's top) are skipped.
    values[static_cast<std::size_t>(i)] = from + steps[static_cast<std::size_t>(i)] * (lines + 0.5f);
  }
  index = e;
  return true;
}

// How one active polygon samples the common span: its own span runs from e to f.
struct SpanSampler {
  bool covers = false;   // false: the polygon's span is empty, it marks nothing
  bool picture = false;  // false: every position is covered
  float u = 0.0f, v = 0.0f, du = 0.0f, dv = 0.0f;
};

// Whether the pixel of the picture at texture position (u, v) has alpha of 128 or more.
bool OpaqueAt(const TPixmap& picture, float u, float v) {
  const int32_t width = picture.Width();
  const int32_t height = picture.Height();
  const int32_t column = std::min(static_cast<int32_t>(u * static_cast<float>(width)), width - 1);
  const int32_t row = std::min(static_cast<int32_t>(v * static_cast<float>(height)), height - 1);
  const int32_t format = picture.Format();
  const uint8_t* pixel = picture.Pixels() + static_cast<std::ptrdiff_t>(row) * picture.Pitch() +
                         static_cast<std::ptrdiff_t>(column) * FormatBytes[static_cast<std::size_t>(format)];
  // Four-byte formats keep alpha in their last byte, the one-byte alpha formats in their only one.
  return (pixel[FormatBytes[static_cast<std::size_t>(format)] - 1] & 0x80) != 0;
}

float ClampUnit(float value) {
  if (!(value == value)) return 0.0f;
  return std::clamp(value, 0.0f, 1.0f);
}

// The polygons being scanned that have reached their top and not yet finished, in the order
// they were reached.
struct ActiveList {
  std::array<rpoly*, 2> items{};
  std::size_t count = 0;

  void Add(rpoly* poly) { items[count++] = poly; }
  void Remove(const rpoly* poly) {
    const auto end = items.begin() + static_cast<std::ptrdiff_t>(count);
    if (std::remove(items.begin(), end, poly) != end) --count;
  }
};

// The scan-line test: answers true when some pixel of the first two active polygons' common
// span is covered by two of the active polygons.
bool ScanLineHasSharedPixel(const ActiveList& active, std::vector<uint8_t>& buffer) {
  if (active.count < 2) return false;
  const rpoly& a = *active.items[0];
  const rpoly& b = *active.items[1];
  const int64_t start = std::max(Truncate(a.leftValues[0]), Truncate(b.leftValues[0]));
  const int64_t end = std::min(Truncate(a.rightValues[0]), Truncate(b.rightValues[0]));
  if (end <= start) return false;

  std::array<SpanSampler, 2> samplers{};
  for (std::size_t i = 0; i < active.count; ++i) {
    const rpoly& poly = *active.items[i];
    SpanSampler& sampler = samplers[i];
    if (poly.picture == nullptr) {
      sampler.covers = true;
      continue;
    }
    const int64_t e = Truncate(poly.leftValues[0]);
    const int64_t f = Truncate(poly.rightValues[0]);
    if (f - e < 1 || poly.picture->Width() < 1 || poly.picture->Height() < 1) continue;
    const auto width = static_cast<float>(f - e);
    sampler.covers = sampler.picture = true;
    sampler.du = (poly.rightValues[2] - poly.leftValues[2]) / width;
    sampler.dv = (poly.rightValues[3] - poly.leftValues[3]) / width;
    const auto first = static_cast<float>(static_cast<double>(start - e) + 0.5);
    sampler.u = poly.leftValues[2] + sampler.du * first;
    sampler.v = poly.leftValues[3] + sampler.dv * first;
  }

  for (int64_t passStart = start; passStart < end; passStart += kScanPass) {
    const auto n = static_cast<std::size_t>(std::min(kScanPass, end - passStart));
    if (buffer.size() < n) buffer.resize(n);
    std::fill_n(buffer.begin(), n, uint8_t{0});
    for (std::size_t i = 0; i < active.count; ++i) {
      SpanSampler& sampler = samplers[i];
      if (!sampler.covers) continue;
      for (std::size_t j = 0; j < n; ++j) {
        if (sampler.picture) {
          sampler.u = ClampUnit(sampler.u);
          sampler.v = ClampUnit(sampler.v);
          const bool opaque = OpaqueAt(*active.items[i]->picture, sampler.u, sampler.v);
          sampler.u += sampler.du;
          sampler.v += sampler.dv;
          if (!opaque) continue;
        }
        if (buffer[j] != 0) return true;
        buffer[j] = 1;
      }
    }
  }
  return false;
}

// Scans the polygons line by line until the scan-line test finds a shared pixel. Only lines
// that every polygon reaches can hold one, so the scan runs from the last polygon's top to the
// first polygon's bottom.
bool ScanPolygons(std::array<rpoly, 2>& polys, std::vector<uint8_t>& buffer) {
  int32_t startY = std::numeric_limits<int32_t>::min();
  int32_t endY = std::numeric_limits<int32_t>::max();
  for (const rpoly& poly : polys) {
    int32_t bottom = poly.topY;
    for (int32_t offset = 0; offset < poly.valueCount; offset += kStride) {
      bottom = std::max(bottom, poly.IntY(offset));
    }
    startY = std::max(startY, poly.topY);
    endY = std::min(endY, bottom);
  }
  ActiveList active;
  const auto finish = [&active](rpoly& poly) {
    // A polygon that finishes before it was reached was never in the list.
    if (poly.state == kStateActive) active.Remove(&poly);
    poly.state = kStateFinished;
  };
  for (int32_t y = startY; y < endY; ++y) {
    for (rpoly& poly : polys) {
      if (poly.state == kStateFinished) continue;
      if (poly.IntY(poly.leftIndex) <= y && !SetUpEdge(poly, y, true)) {
        finish(poly);
        continue;
      }
      if (poly.IntY(poly.rightIndex) <= y && !SetUpEdge(poly, y, false)) {
        finish(poly);
        continue;
      }
      if (poly.state == kStateWaiting) {
        poly.state = kStateActive;
        active.Add(&poly);
      }
    }
    if (active.count != 0 && ScanLineHasSharedPixel(active, buffer)) return true;
    for (std::size_t n = 0; n < active.count; ++n) {
      rpoly& poly = *active.items[n];
      for (std::size_t i = 0; i < kStride; ++i) {
        poly.leftValues[i] += poly.leftSteps[i];
        poly.rightValues[i] += poly.rightSteps[i];
      }
    }
  }
  return false;
}

Ref<TQuad> TakeQuad() {
  CollisionState& state = Collision();
  Ref<TQuad> quad = state.freeQuads;
  if (!quad) return New<TQuad>();
  state.freeQuads = quad->next;
  quad->next = Null;
  return quad;
}

void ReturnQuad(const Ref<TQuad>& quad) {
  CollisionState& state = Collision();
  quad->owner = Null;
  quad->picture = Null;
  quad->next = state.freeQuads;
  state.freeQuads = quad;
}

// The quad of a w × h frame drawn at (x, y): the image's handle is placed there, through the
// collision matrix and the active state's origin.
Ref<TQuad> CreateQuad(const Ref<TImage>& image, int32_t frame, float x, float y, float w, float h,
                      const Ref<Object>& owner) {
  const float hx = image ? image->handleX : 0.0f;
  const float hy = image ? image->handleY : 0.0f;
  float ox = 0.0f, oy = 0.0f;
  if (const Ref<TVex2DGraphics> active = ActiveState()) {
    ox = active->originX;
    oy = active->originY;
  }
  float xx, xy, yx, yy;
  GetCollisionMatrix(xx, xy, yx, yy);
  const float tx = x + ox;
  const float ty = y + oy;
  const auto placeX = [&](float a, float b) { return tx + a * xx + b * xy; };
  const auto placeY = [&](float a, float b) { return ty + a * yx + b * yy; };

  Ref<TQuad> quad = TakeQuad();
  quad->owner = owner;
  if (image) {
    const Ref<TPixmap> pixels = image->Lock(frame, 1, 0);
    const int32_t format = pixels ? pixels->Format() : PIXEL_NONE;
    if (IsPixelFormat(format) && FormatAlphaBits[static_cast<std::size_t>(format)] != 0)
      quad->picture = pixels;
  }
  quad->SetCorners(placeX(-hx, -hy), placeY(-hx, -hy), placeX(w - hx, -hy), placeY(w - hx, -hy),
                   placeX(w - hx, h - hy), placeY(w - hx, h - hy), placeX(-hx, h - hy), placeY(-hx, h - hy));
  return quad;
}

Array<Ref<Object>> CollideQuad(const TQuad& quad, uint32_t collideMask, uint32_t writeMask) {
  CollisionState& state = Collision();
  std::vector<Ref<Object>> owners;
  for (int32_t n = 0; n < kLayerCount; ++n) {
    if ((collideMask & (1u << n)) == 0) continue;
    for (TQuad* other = state.layers[static_cast<std::size_t>(n)].Get(); other != nullptr;
         other = other->next.Get()) {
      if (QuadsCollide(quad, *other)) owners.push_back(other->owner);
    }
  }
  for (int32_t n = 0; n < kLayerCount; ++n) {
    if ((writeMask & (1u << n)) == 0) continue;
    Ref<TQuad> copy = TakeQuad();
    copy->owner = quad.owner;
    copy->picture = quad.picture;
    copy->corners = quad.corners;
    copy->boxLeft = quad.boxLeft;
    copy->boxTop = quad.boxTop;
    copy->boxRight = quad.boxRight;
    copy->boxBottom = quad.boxBottom;
    Ref<TQuad>& head = state.layers[static_cast<std::size_t>(n)];
    copy->next = head;
    head = copy;
  }
  return Array<Ref<Object>>::FromVector(std::move(owners));
}

Array<Ref<Object>> TestAndWrite(const Ref<TQuad>& quad, uint32_t collideMask, uint32_t writeMask) {
  Array<Ref<Object>> owners = CollideQuad(*quad, collideMask, writeMask);
  ReturnQuad(quad);
  return owners;
}

// Sets the rotation and scale quads are placed with: the active state's when there is one,
// else the collision matrix alone. Restores what it found when it goes.
class TransformScope {
 public:
  TransformScope() : state_(ActiveState()) {
    if (state_) {
      rotation_ = state_->rotation;
      scaleX_ = state_->scaleX;
      scaleY_ = state_->scaleY;
    }
    GetCollisionMatrix(xx_, xy_, yx_, yy_);
  }
  ~TransformScope() {
    if (state_ && state_ == ActiveState()) {
      SetRotation(rotation_);
      SetScale(scaleX_, scaleY_);
    } else {
      SetCollisionMatrix(xx_, xy_, yx_, yy_);
    }
  }
  TransformScope(const TransformScope&) = delete;
  TransformScope& operator=(const TransformScope&) = delete;

  void Set(float degrees, float scaleX, float scaleY) {
    if (state_) {
      SetRotation(degrees);
      SetScale(scaleX, scaleY);
      return;
    }
    float xx, xy, yx, yy;
    RendererMatrix(degrees, scaleX, scaleY, xx, xy, yx, yy);
    SetCollisionMatrix(xx, xy, yx, yy);
  }

 private:
  Ref<TVex2DGraphics> state_;
  float rotation_ = 0.0f, scaleX_ = 1.0f, scaleY_ = 1.0f;
  float xx_, xy_, yx_, yy_;
};

}  // namespace

void TQuad::SetCorners(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3) {
  corners = {x0, y0, 0.0f, 0.0f, x1, y1, 1.0f, 0.0f, x2, y2, 1.0f, 1.0f, x3, y3, 0.0f, 1.0f};
  boxLeft = std::min({x0, x1, x2, x3});
  boxRight = std::max({x0, x1, x2, x3});
  boxTop = std::min({y0, y1, y2, y3});
  boxBottom = std::max({y0, y1, y2, y3});
}

bool QuadsCollide(const TQuad& a, const TQuad& b) {
  if (a.boxRight < b.boxLeft || b.boxRight < a.boxLeft || a.boxBottom < b.boxTop || b.boxBottom < a.boxTop) {
    return false;
  }
  std::array<rpoly, 2> polys;
  MakePolygon(polys[0], a);
  MakePolygon(polys[1], b);
  return ScanPolygons(polys, Collision().scanBuffer);
}

void ClearCollisionLayers(uint32_t mask) {
  CollisionState& state = Collision();
  if (mask == 0) mask = ~0u;
  for (int32_t n = 0; n < kLayerCount; ++n) {
    if ((mask & (1u << n)) == 0) continue;
    Ref<TQuad> chain = std::move(state.layers[static_cast<std::size_t>(n)]);
    state.layers[static_cast<std::size_t>(n)] = Null;
    if (!chain) continue;
    TQuad* last = chain.Get();
    for (;;) {
      last->owner = Null;
      last->picture = Null;
      if (!last->next) break;
      last = last->next.Get();
    }
    last->next = state.freeQuads;
    state.freeQuads = chain;
  }
}

Array<Ref<Object>> CollideImageInLayers(const Ref<TImage>& image, float x, float y, int32_t frame,
                                        uint32_t collideMask, uint32_t writeMask, const Ref<Object>& owner) {
  const TImage& source = *image;
  return TestAndWrite(CreateQuad(image, frame, x, y, static_cast<float>(source.width),
                                 static_cast<float>(source.height), owner),
                      collideMask, writeMask);
}

Array<Ref<Object>> CollideRectInLayers(float x, float y, float width, float height, uint32_t collideMask,
                                       uint32_t writeMask, const Ref<Object>& owner) {
  return TestAndWrite(CreateQuad(Null, 0, x, y, width, height, owner), collideMask, writeMask);
}

int32_t ImagesOverlap(const Ref<TImage>& image1, float x1, float y1, int32_t frame1,
                      const Ref<TImage>& image2, float x2, float y2, int32_t frame2) {
  ClearCollisionLayers(kScratchLayer);
  CollideImageInLayers(image1, x1, y1, frame1, 0, kScratchLayer, Null);
  return CollideImageInLayers(image2, x2, y2, frame2, kScratchLayer, 0, Null).IsEmpty() ? 0 : 1;
}

int32_t ImagesCollideTransformed(const Ref<TImage>& image1, float x1, float y1, int32_t frame1,
                                 float rotation1, float scaleX1, float scaleY1, const Ref<TImage>& image2,
                                 float x2, float y2, int32_t frame2, float rotation2, float scaleX2,
                                 float scaleY2) {
  TransformScope transform;
  ClearCollisionLayers(kScratchLayer);
  transform.Set(rotation1, scaleX1, scaleY1);
  CollideImageInLayers(image1, x1, y1, frame1, 0, kScratchLayer, Null);
  transform.Set(rotation2, scaleX2, scaleY2);
  return CollideImageInLayers(image2, x2, y2, frame2, kScratchLayer, 0, Null).IsEmpty() ? 0 : 1;
}

void GetCollisionMatrix(float& xx, float& xy, float& yx, float& yy) {
  CollisionState& state = Collision();
  if (const Ref<TVex2DGraphics> active = ActiveState()) {
    // Every matrix update of the active state is the collision matrix too.
    state.matrixXX = active->matrixXX;
    state.matrixXY = active->matrixXY;
    state.matrixYX = active->matrixYX;
    state.matrixYY = active->matrixYY;
  }
  xx = state.matrixXX;
  xy = state.matrixXY;
  yx = state.matrixYX;
  yy = state.matrixYY;
}

void SetCollisionMatrix(float xx, float xy, float yx, float yy) {
  CollisionState& state = Collision();
  state.matrixXX = xx;
  state.matrixXY = xy;
  state.matrixYX = yx;
  state.matrixYY = yy;
}

void InitCollisionModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitImageModule();
  InitVex2DModule();
  g_collision = new CollisionState();
}

}  // namespace corvex
