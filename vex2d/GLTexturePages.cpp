#include "vex2d/GLTexturePages.h"

#include <GL/gl.h>

#include <algorithm>

#include "graphics/GLCheck.h"
#include "graphics/GLDebugDraw.h"
#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"
#include "graphics/Graphics.h"
#include "pixmap/PixelFormats.h"
#include "vex2d/GLImageFrame.h"
#include "vex2d/GLQuadBatch.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Image.h"

namespace corvex {
namespace {

// The size of a page before OpenGL's limit: 4 MiB of texels, room for hundreds of sprites.
// Pages are four times as tall as wide so that a row is 2 KiB: the rows of a small picture then
// share memory pages, which a software rasteriser samples measurably faster than rows 4 KiB
// apart, each on a memory page of its own.
constexpr int32_t kPageWidth = 512;
constexpr int32_t kPageHeight = 2048;

// The pages of one graphics generation, made at the first page and kept until the process ends
// (frames may go while static objects are being destroyed).
struct PageList {
  int32_t generation = 0;
  std::vector<Ref<TGLTexturePage>> pages;
};
PageList* g_pageList = nullptr;
bool g_pagesOn = true;

PageList& Pages() {
  if (g_pageList == nullptr) g_pageList = new PageList();
  // Pages of an older generation stay with the frames still on them but take no new cells.
  if (g_pageList->generation != GraphicsGeneration()) {
    g_pageList->pages.clear();
    g_pageList->generation = GraphicsGeneration();
  }
  return *g_pageList;
}

// The picture with a one-texel border that repeats its edge texels, corners included.
Ref<TPixmap> WithBorder(const Ref<TPixmap>& picture) {
  const int32_t w = picture->Width();
  const int32_t h = picture->Height();
  const Ref<TPixmap> cell = NewPixmap(w + 2, h + 2, PIXEL_RGBA8888, 4);
  if (!cell) return Null;
  cell->PasteFrom(picture, 1, 1);
  cell->PasteFrom(picture->SubWindow(0, 0, w, 1), 1, 0);
  cell->PasteFrom(picture->SubWindow(0, h - 1, w, 1), 1, h + 1);
  cell->PasteFrom(cell->SubWindow(1, 0, 1, h + 2)->Duplicate(), 0, 0);
  cell->PasteFrom(cell->SubWindow(w, 0, 1, h + 2)->Duplicate(), w + 1, 0);
  return cell;
}

}  // namespace

TGLTexturePage::TGLTexturePage(int32_t textureName, int32_t width, int32_t height, bool filtered)
    : textureName_(textureName),
      width_(width),
      height_(height),
      filtered_(filtered),
      generation_(GraphicsGeneration()) {}

TGLTexturePage::~TGLTexturePage() {
  const auto name = static_cast<GLuint>(textureName_);
  glvex2d::FlushQuads();  // quads waiting to be drawn may show this page
  {
    const SharedContextGuard shared;
    glDeleteTextures(1, &name);
  }
  if (generation_ == GraphicsGeneration() && glplatform::HasCurrentGLContext()) glDeleteTextures(1, &name);
  ForgetBoundTexture(textureName_);
}

bool TGLTexturePage::TakeSlot(Shelf& shelf, int32_t width, int32_t& x) {
  for (std::size_t i = 0; i < shelf.slots.size(); ++i) {
    Slot& slot = shelf.slots[i];
    if (slot.used || slot.width < width) continue;
    if (slot.width > width)
      shelf.slots.insert(shelf.slots.begin() + i + 1, Slot{slot.x + width, slot.width - width, false});
    shelf.slots[i].width = width;
    shelf.slots[i].used = true;
    x = shelf.slots[i].x;
    return true;
  }
  const int32_t end = shelf.slots.empty() ? 0 : shelf.slots.back().x + shelf.slots.back().width;
  if (width_ - end < width) return false;
  shelf.slots.push_back(Slot{end, width, true});
  x = end;
  return true;
}

bool TGLTexturePage::AllocateCell(int32_t width, int32_t height, int32_t& x, int32_t& y) {
  // The lowest shelf that is tall enough wastes the least height.
  Shelf* best = nullptr;
  for (Shelf& shelf : shelves_) {
    if (shelf.height < height || (best != nullptr && best->height <= shelf.height)) continue;
    const bool fits =
        std::any_of(shelf.slots.begin(), shelf.slots.end(),
                    [&](const Slot& s) { return !s.used && s.width >= width; }) ||
        width_ - (shelf.slots.empty() ? 0 : shelf.slots.back().x + shelf.slots.back().width) >= width;
    if (fits) best = &shelf;
  }
  if (best == nullptr) {
    if (height_ - nextShelfY_ < height || width > width_) return false;
    shelves_.push_back(Shelf{nextShelfY_, height, {}});
    nextShelfY_ += height;
    best = &shelves_.back();
  }
  if (!TakeSlot(*best, width, x)) return false;
  y = best->y;
  ++cells_;
  return true;
}

void TGLTexturePage::FreeCell(int32_t x, int32_t y) {
  for (Shelf& shelf : shelves_) {
    if (shelf.y != y) continue;
    auto& slots = shelf.slots;
    for (std::size_t i = 0; i < slots.size(); ++i) {
      if (slots[i].x != x || !slots[i].used) continue;
      slots[i].used = false;
      --cells_;
      // Neighbouring free slots become one; free room at the end of the shelf is no slot.
      if (i + 1 < slots.size() && !slots[i + 1].used) {
        slots[i].width += slots[i + 1].width;
        slots.erase(slots.begin() + i + 1);
      }
      if (i > 0 && !slots[i - 1].used) {
        slots[i - 1].width += slots[i].width;
        slots.erase(slots.begin() + i);
        --i;
      }
      if (i + 1 == slots.size()) slots.pop_back();
      ReclaimShelves();
      return;
    }
  }
}

void TGLTexturePage::ReclaimShelves() {
  // Empty shelves at the top of the used height give it back, so that taller pictures fit
  // again; an empty page starts over.
  while (!shelves_.empty() && shelves_.back().slots.empty()) {
    nextShelfY_ = shelves_.back().y;
    shelves_.pop_back();
  }
}

Ref<TGLImageFrame> PlaceOnTexturePage(const Ref<TPixmap>& pixmap, int32_t flags) {
  if (!g_pagesOn || (flags & ImgMipmapped) != 0) return Null;
  int32_t pageWidth = kPageWidth;
  int32_t pageHeight = kPageHeight;
  GLFitTextureSize(pageWidth, pageHeight);
  const int32_t w = pixmap->Width();
  const int32_t h = pixmap->Height();
  // Cells of up to 256 × 256 at full size, so that large pictures do not fill pages.
  if (w + 2 > pageWidth / 2 || h + 2 > pageHeight / 8) return Null;
  const Ref<TPixmap> cell = WithBorder(pixmap);
  if (!cell) return Null;

  const bool filtered = (flags & ImgFiltered) != 0;
  PageList& list = Pages();
  Ref<TGLTexturePage> page;
  int32_t x = 0, y = 0;
  for (const Ref<TGLTexturePage>& candidate : list.pages) {
    if (candidate->Filtered() == filtered && candidate->AllocateCell(w + 2, h + 2, x, y)) {
      page = candidate;
      break;
    }
  }
  if (!page) {
    page = New<TGLTexturePage>(CreateTexture(pageWidth, pageHeight, filtered ? ImgFiltered : 0), pageWidth,
                               pageHeight, filtered);
    list.pages.push_back(page);
    if (!page->AllocateCell(w + 2, h + 2, x, y)) return Null;
  } else {
    glCheck(glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(page->TextureName())));
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, cell->Pitch() / 4);
  glCheck(glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, w + 2, h + 2, GL_RGBA, GL_UNSIGNED_BYTE, cell->Pixels()));
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);

  const Ref<TGLImageFrame> frame = New<TGLImageFrame>();
  frame->page = page;
  frame->textureName = page->TextureName();
  frame->cellX = x + 1;
  frame->cellY = y + 1;
  frame->cellWidth = w;
  frame->cellHeight = h;
  const auto width = static_cast<float>(pageWidth);
  const auto height = static_cast<float>(pageHeight);
  frame->uLeft = static_cast<float>(x + 1) / width;
  frame->vTop = static_cast<float>(y + 1) / height;
  frame->uRight = static_cast<float>(x + 1 + w) / width;
  frame->vBottom = static_cast<float>(y + 1 + h) / height;
  return frame;
}

void ReleaseTexturePageCell(const Ref<TGLTexturePage>& page, int32_t x, int32_t y) {
  page->FreeCell(x, y);
  if (page->CellCount() != 0 || g_pageList == nullptr) return;
  auto& pages = g_pageList->pages;
  const bool anotherEmpty = std::any_of(pages.begin(), pages.end(), [&](const Ref<TGLTexturePage>& p) {
    return p != page && p->CellCount() == 0 && p->Filtered() == page->Filtered();
  });
  if (anotherEmpty) pages.erase(std::remove(pages.begin(), pages.end(), page), pages.end());
}

void SetGLTexturePages(int32_t enable) {
  g_pagesOn = enable != 0;
}

int32_t GLTexturePages() {
  return g_pagesOn ? 1 : 0;
}

void GLTexturePageUsage(int32_t& pages, int32_t& cells) {
  const PageList& list = Pages();
  pages = static_cast<int32_t>(list.pages.size());
  cells = 0;
  for (const Ref<TGLTexturePage>& page : list.pages) cells += page->CellCount();
}

}  // namespace corvex
