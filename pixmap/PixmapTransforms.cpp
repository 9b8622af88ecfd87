#include "pixmap/PixmapTransforms.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace corvex {
namespace {

// The pixmap itself when it already is RGBA8888, else a converted copy (Null when that fails).
Ref<TPixmap> AsRgba(const Ref<TPixmap>& pixmap) {
  return pixmap->Format() == PIXEL_RGBA8888 ? pixmap : pixmap->ToFormat(PIXEL_RGBA8888);
}

// Where one destination coordinate samples the source along one axis.
struct Sample {
  int32_t index;  // the nearer-to-zero source pixel
  int32_t step;   // bytes to the second pixel, 0 when clamped at an edge
  float weight;   // how far toward the second pixel
};

Sample SampleAt(int32_t destination, float scale, int32_t sourceLength, int32_t stepBytes) {
  const float position = (static_cast<float>(destination) + 0.5f) * scale - 0.5f;
  const float lower = std::floor(position);
  Sample sample{static_cast<int32_t>(lower), stepBytes, position - lower};
  if (sample.index < 0) {
    sample = {0, 0, 0.0f};
  } else if (sample.index >= sourceLength - 1) {
    sample = {sourceLength - 1, 0, 0.0f};
  }
  return sample;
}

}  // namespace

Ref<TPixmap> MaskColourToAlpha(const Ref<TPixmap>& pixmap, int32_t red, int32_t green, int32_t blue) {
  const Ref<TPixmap> source = AsRgba(pixmap);
  if (!source) return Null;
  const int32_t width = source->Width();
  const int32_t height = source->Height();
  Ref<TPixmap> result = NewPixmap(width, height, PIXEL_RGBA8888, 4);
  if (!result) return Null;
  const auto isMask = [&](const uint8_t* p) { return p[0] == red && p[1] == green && p[2] == blue; };
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* in = source->PixelAddress(0, y);
    uint8_t* out = result->PixelAddress(0, y);
    for (int32_t x = 0; x < width; ++x, in += 4, out += 4) {
      if (!isMask(in)) {
        out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 255;
        continue;
      }
      // A transparent pixel takes its opaque neighbours' colour, so filtering does not bleed
      // the mask colour into the edges.
      int32_t sum[3] = {0, 0, 0};
      int32_t count = 0;
      for (int32_t ny = y - 1; ny <= y + 1; ++ny) {
        for (int32_t nx = x - 1; nx <= x + 1; ++nx) {
          if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
          const uint8_t* n = source->PixelAddress(nx, ny);
          if (isMask(n)) continue;
          sum[0] += n[0], sum[1] += n[1], sum[2] += n[2];
          ++count;
        }
      }
      for (int k = 0; k < 3; ++k) out[k] = static_cast<uint8_t>(count > 0 ? sum[k] / count : 0);
      out[3] = 0;
    }
  }
  return result;
}

Ref<TPixmap> MirrorPixmapX(const Ref<TPixmap>& pixmap) {
  const TPixmap& source = *pixmap;
  Ref<TPixmap> result = NewPixmap(source.Width(), source.Height(), source.Format(), 4);
  if (!result) return Null;
  const auto bytes = static_cast<std::size_t>(FormatBytes[source.Format()]);
  if (bytes == 0) return result;
  const int32_t width = source.Width();
  for (int32_t y = 0; y < source.Height(); ++y) {
    const uint8_t* in = source.PixelAddress(0, y);
    uint8_t* out = result->PixelAddress(0, y);
    for (int32_t i = 0; i < width; ++i) {
      std::memcpy(out + static_cast<std::size_t>(i) * bytes,
                  in + static_cast<std::size_t>(width - 1 - i) * bytes, bytes);
    }
  }
  return result;
}

Ref<TPixmap> MirrorPixmapY(const Ref<TPixmap>& pixmap) {
  const TPixmap& source = *pixmap;
  Ref<TPixmap> result = NewPixmap(source.Width(), source.Height(), source.Format(), 4);
  if (!result) return Null;
  const auto rowBytes = static_cast<std::size_t>(source.Width()) * FormatBytes[source.Format()];
  if (rowBytes == 0) return result;  // nothing to copy, perhaps not even memory
  const int32_t height = source.Height();
  for (int32_t i = 0; i < height; ++i) {
    std::memcpy(result->PixelAddress(0, i), source.PixelAddress(0, height - 1 - i), rowBytes);
  }
  return result;
}

Ref<TPixmap> ScalePixmap(const Ref<TPixmap>& pixmap, int32_t width, int32_t height) {
  const Ref<TPixmap> source = AsRgba(pixmap);
  if (!source) return Null;
  Ref<TPixmap> result = NewPixmap(width, height, pixmap->Format(), 4);
  if (!result || width == 0 || height == 0) return result;
  const int32_t sourceWidth = source->Width();
  const int32_t sourceHeight = source->Height();
  if (sourceWidth == 0 || sourceHeight == 0) {
    result->Fill(0);  // nothing to sample
    return result;
  }
  const float scaleX = static_cast<float>(sourceWidth) / static_cast<float>(width);
  const float scaleY = static_cast<float>(sourceHeight) / static_cast<float>(height);
  // Every row samples the same columns.
  std::vector<Sample> columns(static_cast<std::size_t>(width));
  for (int32_t i = 0; i < width; ++i) {
    columns[static_cast<std::size_t>(i)] = SampleAt(i, scaleX, sourceWidth, 4);
  }
  std::vector<uint8_t> row(static_cast<std::size_t>(width) * 4);
  for (int32_t j = 0; j < height; ++j) {
    const Sample rowSample = SampleAt(j, scaleY, sourceHeight, source->Pitch());
    const uint8_t* sourceRow = source->PixelAddress(0, rowSample.index);
    const float fy = rowSample.weight;
    uint8_t* out = row.data();
    for (const Sample& column : columns) {
      const uint8_t* a = sourceRow + static_cast<std::ptrdiff_t>(column.index) * 4;
      const uint8_t* b = a + column.step;
      const uint8_t* c = a + rowSample.step;
      const uint8_t* d = c + column.step;
      const float fx = column.weight;
      for (int k = 0; k < 4; ++k) {
        const float top = static_cast<float>(a[k]) + static_cast<float>(b[k] - a[k]) * fx;
        const float bottom = static_cast<float>(c[k]) + static_cast<float>(d[k] - c[k]) * fx;
        const float value = top + (bottom - top) * fy;
        *out++ = static_cast<uint8_t>(static_cast<int32_t>(value) & 0xFF);
      }
    }
    ConvertPixelRun(row.data(), PIXEL_RGBA8888, result->PixelAddress(0, j), result->Format(), width);
  }
  return result;
}

}  // namespace corvex
