// Shared texture pages of the OpenGL 2D driver: small pictures (the frames of a strip, glyph
// images, small sprites) live side by side on power-of-two textures, so that drawing many of
// them needs no texture switch and their quads go to OpenGL together.
#pragma once

#include <cstdint>
#include <vector>

#include "pixmap/Pixmap.h"
#include "runtime/Object.h"

namespace corvex {

class TGLImageFrame;

// One page: a texture, filtered or not, cut into cells on shelves. Each cell holds a
// picture with a one-texel border repeating its edge texels, so that filtering samples exactly
// what a texture of the picture's own (clamped to its edges) gives. Frames on the page keep it
// alive; it deletes its texture when the last one goes and the page list has let it go.
class TGLTexturePage : public Object {
 public:
  // A page over a texture already made, `width` × `height` pixels; `filtered` as it samples.
  TGLTexturePage(int32_t textureName, int32_t width, int32_t height, bool filtered);
  // Deletes the texture in the shared context (and in the current one while the generation it
  // was made in lasts).
  ~TGLTexturePage() override;
  TGLTexturePage(const TGLTexturePage&) = delete;
  TGLTexturePage& operator=(const TGLTexturePage&) = delete;

  // Finds room for a width × height cell; false when the page has none.
  bool AllocateCell(int32_t width, int32_t height, int32_t& x, int32_t& y);
  // Gives the cell at (x, y) back.
  void FreeCell(int32_t x, int32_t y);

  // The OpenGL texture, its size in pixels, its filtering, the context generation it was made
  // in, and how many cells are in use.
  int32_t TextureName() const noexcept { return textureName_; }
  int32_t Width() const noexcept { return width_; }
  int32_t Height() const noexcept { return height_; }
  bool Filtered() const noexcept { return filtered_; }
  int32_t Generation() const noexcept { return generation_; }
  int32_t CellCount() const noexcept { return cells_; }

 private:
  struct Slot {
    int32_t x, width;
    bool used;
  };
  struct Shelf {
    int32_t y, height;
    std::vector<Slot> slots;  // left to right, without gaps, from x = 0
  };
  bool TakeSlot(Shelf& shelf, int32_t width, int32_t& x);
  void ReclaimShelves();

  int32_t textureName_;
  int32_t width_;
  int32_t height_;
  bool filtered_;
  int32_t generation_;
  int32_t cells_ = 0;
  int32_t nextShelfY_ = 0;
  std::vector<Shelf> shelves_;
};

// A frame on a shared page holding the pixmap, or Null when pages are off or the picture does
// not belong on one (mipmapped, or wider or taller than 254 pixels). Makes pages as
// needed; must run with the shared context current.
Ref<TGLImageFrame> PlaceOnTexturePage(const Ref<TPixmap>& pixmap, int32_t flags);
// Gives a frame's cell back to its page; a page left empty is let go unless it is the only
// empty one of its kind.
void ReleaseTexturePageCell(const Ref<TGLTexturePage>& page, int32_t x, int32_t y);

// Non-zero (the default): image frames that fit share texture pages. Zero: every frame gets a
// texture of its own, as a comparison and a debugging aid. Frames already made keep theirs.
void SetGLTexturePages(int32_t enable);
int32_t GLTexturePages();
// The pages of the current graphics generation and the cells in use on them.
void GLTexturePageUsage(int32_t& pages, int32_t& cells);

}  // namespace corvex
