// The drawable view of one frame group of a packed font: single frames, text whose characters
// select the group's frames (character c is frame c - 32, code 10 starts a new line), and text
// metrics.
#pragma once

#include <cstdint>

#include "pac/Pac.h"
#include "runtime/Array.h"
#include "runtime/String.h"

namespace corvex {

// The line-feed code of DrawText and the metrics.
inline constexpr char16_t kPacLineFeed = 10;
// The character code drawn by group frame 0.
inline constexpr int32_t kPacFirstCharacter = 32;

// Characters that have no frame in the group (below 32, or beyond its last frame) are skipped
// by every operation: they draw nothing and take no room.
class TPacImage : public Object {
 public:
  // A view of the pac's group `name` (an empty one when the pac has no such group).
  static Ref<TPacImage> Create(const Ref<TPac>& pac, const String& name);

  // Draws group frame `index` centred on (x, y) when `centred` is non-zero, else with its
  // top-left corner there. An index outside the group draws nothing.
  virtual void Draw(float x, float y, int32_t index);
  // Draws the text from the drawing point with a cursor that starts at the renderer's handle.
  // perGlyph zero turns and scales the text as one block about (x, y); non-zero turns and
  // scales every glyph about its own handle point. Advances are the frame widths when
  // monospace is non-zero and the index's charW otherwise, plus `spacing` after each character.
  virtual void DrawText(const String& text, float x, float y, float spacing, int32_t monospace,
                        int32_t perGlyph);
  // The width in pixels of the widest line, advancing as DrawText does.
  virtual int32_t TextWidth(const String& text, float spacing, int32_t monospace);
  // The number of lines times the height of the pac's first frame.
  virtual int32_t TextHeight(const String& text);

  // The pac drawn from, the group's global frames by group frame number, and whether Draw
  // centres a frame (non-zero) or places its top-left corner.
  Ref<TPac> pac;
  Array<int32_t> frames;
  int32_t centred = 1;

 private:
  // The global frame of character c, or -1 when the group has none for it.
  int32_t GlyphFrame(char16_t c) const;
  // How far the cursor moves after the glyph of global frame g.
  int32_t Advance(int32_t g, int32_t monospace) const;
};

}  // namespace corvex
