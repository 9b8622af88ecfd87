// ImagesCollideTransformed of two 64 × 64 images, against a plain per-pixel test of the same
// two transformed pictures in the same run. Runs without a display: with no renderer state
// active, the collision matrix alone places the quads.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "pixmap/Pixmap.h"
#include "vex2d/Collision.h"
#include "vex2d/Image.h"

namespace corvex {
namespace {

constexpr int32_t kSide = 64;

// An RGBA picture whose opaque pixels form a disc filling the square, as sprites usually are.
Ref<TImage> DiscImage() {
  const Ref<TImage> image = TImage::Create(kSide, kSide, 1, 0, 0, 0, 0);
  const Ref<TPixmap> pixels = NewPixmap(kSide, kSide, PIXEL_RGBA8888, 4);
  for (int32_t y = 0; y < kSide; ++y) {
    for (int32_t x = 0; x < kSide; ++x) {
      const float dx = static_cast<float>(x) + 0.5f - kSide / 2.0f;
      const float dy = static_cast<float>(y) + 0.5f - kSide / 2.0f;
      pixels->SetPixel(x, y, dx * dx + dy * dy <= kSide * kSide / 4.0f ? 0xFFFFFFFF : 0);
    }
  }
  image->SetPixmap(0, pixels);
  CentreImageHandle(image);
  return image;
}

// Where the second disc stands: overlapping (found after a few lines), or boxes overlapping
// with no shared pixel (the whole common area is scanned).
struct Placement {
  float x2, y2;
};
constexpr Placement kOverlapping{40, 20};
constexpr Placement kNearMiss{58, 46};  // the corners' gap between two discs 64 apart diagonally

void RunCollide(benchmark::State& state, Placement placement) {
  InitCollisionModule();
  const Ref<TImage> a = DiscImage();
  const Ref<TImage> b = DiscImage();
  int32_t hits = 0;
  for (auto _ : state) {
    hits += ImagesCollideTransformed(a, 0, 0, 0, 30, 1, 1, b, placement.x2, placement.y2, 0, 45, 1.1f, 0.9f);
  }
  benchmark::DoNotOptimize(hits);
  state.counters["hit"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
}

// The naive test: every pixel centre of the two bounding boxes' intersection mapped back into
// both pictures through the inverse matrices.
struct Placed {
  const TPixmap* pixels;
  float x, y, hx, hy;
  float ixx, ixy, iyx, iyy;  // inverse of the picture's matrix
  float left, top, right, bottom;
};

Placed Place(const Ref<TImage>& image, float x, float y, float degrees, float sx, float sy) {
  const double r = degrees * std::numbers::pi / 180.0;
  const auto c = static_cast<float>(std::cos(r));
  const auto s = static_cast<float>(std::sin(r));
  const float xx = c * sx, xy = -s * sy, yx = s * sx, yy = c * sy;
  const float det = xx * yy - xy * yx;
  Placed p{image->Lock(0, 1, 0).Get(),
           x,
           y,
           image->handleX,
           image->handleY,
           yy / det,
           -xy / det,
           -yx / det,
           xx / det,
           1e30f,
           1e30f,
           -1e30f,
           -1e30f};
  const float w = static_cast<float>(image->width), h = static_cast<float>(image->height);
  for (const auto& [a, b] : {std::pair{0.0f, 0.0f}, {w, 0.0f}, {w, h}, {0.0f, h}}) {
    const float px = x + (a - p.hx) * xx + (b - p.hy) * xy;
    const float py = y + (a - p.hx) * yx + (b - p.hy) * yy;
    p.left = std::min(p.left, px);
    p.right = std::max(p.right, px);
    p.top = std::min(p.top, py);
    p.bottom = std::max(p.bottom, py);
  }
  return p;
}

bool OpaqueAt(const Placed& p, float sx, float sy) {
  const float dx = sx - p.x, dy = sy - p.y;
  const float u = dx * p.ixx + dy * p.ixy + p.hx;
  const float v = dx * p.iyx + dy * p.iyy + p.hy;
  if (u < 0 || v < 0 || u >= static_cast<float>(p.pixels->Width()) ||
      v >= static_cast<float>(p.pixels->Height())) {
    return false;
  }
  return (p.pixels->PixelAddress(static_cast<int32_t>(u), static_cast<int32_t>(v))[3] & 0x80) != 0;
}

void RunBruteForce(benchmark::State& state, Placement placement) {
  InitCollisionModule();
  const Ref<TImage> a = DiscImage();
  const Ref<TImage> b = DiscImage();
  int32_t hits = 0;
  for (auto _ : state) {
    const Placed p = Place(a, 0, 0, 30, 1, 1);
    const Placed q = Place(b, placement.x2, placement.y2, 45, 1.1f, 0.9f);
    const auto x0 = static_cast<int32_t>(std::floor(std::max(p.left, q.left)));
    const auto x1 = static_cast<int32_t>(std::ceil(std::min(p.right, q.right)));
    const auto y0 = static_cast<int32_t>(std::floor(std::max(p.top, q.top)));
    const auto y1 = static_cast<int32_t>(std::ceil(std::min(p.bottom, q.bottom)));
    bool hit = false;
    for (int32_t y = y0; y < y1 && !hit; ++y) {
      for (int32_t x = x0; x < x1 && !hit; ++x) {
        const float cx = static_cast<float>(x) + 0.5f, cy = static_cast<float>(y) + 0.5f;
        hit = OpaqueAt(p, cx, cy) && OpaqueAt(q, cx, cy);
      }
    }
    hits += hit ? 1 : 0;
  }
  benchmark::DoNotOptimize(hits);
  state.counters["hit"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
}

void BM_BruteForceBaseline_Overlapping(benchmark::State& state) {
  RunBruteForce(state, kOverlapping);
}
void BM_BruteForceBaseline_NearMiss(benchmark::State& state) {
  RunBruteForce(state, kNearMiss);
}
void BM_ImagesCollideTransformed_Overlapping(benchmark::State& state) {
  RunCollide(state, kOverlapping);
}
void BM_ImagesCollideTransformed_NearMiss(benchmark::State& state) {
  RunCollide(state, kNearMiss);
}
BENCHMARK(BM_BruteForceBaseline_Overlapping);
BENCHMARK(BM_ImagesCollideTransformed_Overlapping);
BENCHMARK(BM_BruteForceBaseline_NearMiss);
BENCHMARK(BM_ImagesCollideTransformed_NearMiss);

}  // namespace
}  // namespace corvex
