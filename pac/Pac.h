// The packed font: a text index of named frames (glyph cells) in one atlas picture, loaded into
// per-frame tables of texture coordinates and sizes and a map from group names to frames.
#pragma once

#include <cstdint>
#include <map>

#include "runtime/Array.h"
#include "runtime/Object.h"
#include "runtime/String.h"
#include "vex2d/Image.h"

namespace corvex {

// The most frames an index may announce; a larger count is taken for a corrupt index, since
// the tables would need an absurd allocation.
inline constexpr int32_t kMaxPacFrames = 262144;
// Frame numbers within a group run from 0 to kMaxPacGroupFrame; a line with another number
// keeps its place in the tables but joins no group.
inline constexpr int32_t kMaxPacGroupFrame = 65535;

// An index and its atlas. Every table has one element per frame announced by the index header,
// indexed by the frame line's ordinal from 0.
class TPac : public Object {
 public:
  // Reads the index at `url` and the atlas named like it with ".png" in place of its extension,
  // loaded with the image `flags` (-1: the default image flags). Null when the index does not
  // open or announces more than kMaxPacFrames frames. Frame lines beyond the announced count and
  // lines of a missing header (no tables) are ignored; an atlas that does not load leaves
  // `image` Null.
  static Ref<TPac> Load(const String& url, int32_t flags);
  // The smallest power of two at or above n; 1 for n of 1 or less.
  static float NextPow2(int32_t n);
  // Cuts `text` at the first `separator`: answers the part before it and leaves the part after
  // it in `text`; without a separator answers all of `text` and leaves it empty.
  static String SplitField(String& text, const String& separator);

  // Drops the atlas; drawing afterwards draws nothing.
  virtual void ReleaseImage();
  // The global index of the group's frame 0; 0 when the group does not exist.
  virtual int32_t FirstFrame(const String& name);
  // The group's frame-index array itself (shared); the empty array when the group does not exist.
  virtual Array<int32_t> FrameIndices(const String& name);
  // Draws frame `index` at its own size with the atlas handle at (handleX, handleY), through the
  // renderer's origin and transform. An index outside the tables, a missing atlas or a driver
  // whose frames cannot show part of a texture draw nothing.
  virtual void DrawFrame(float x, float y, int32_t index, float handleX, float handleY);

  // The number of frames in the tables.
  int32_t FrameCount() const noexcept { return widths.Length(); }

  // Each group's frames, by group frame number; the atlas; each frame's texture window on
  // the atlas, its size in pixels, and the advance the index gives its character.
  std::map<String, Array<int32_t>> groups;
  Ref<TImage> image;
  Array<float> uLeft;
  Array<float> vTop;
  Array<float> uRight;
  Array<float> vBottom;
  Array<int32_t> widths;
  Array<int32_t> heights;
  Array<int32_t> charW;
};

// Truncation toward zero that is defined for every value: NaN gives 0 and values beyond the
// 32-bit range give its nearest end (index files may hold any number).
int32_t TruncateToInt32(double value) noexcept;

// The packed-font module's initialiser: starts the stream, path, image and OpenGL 2D driver
// modules it draws through.
void InitPacModule();

}  // namespace corvex
