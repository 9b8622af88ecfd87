#include "vex2d/GLImageFrame.h"

#include <GL/gl.h>

#include <algorithm>

#include "graphics/GLDebugDraw.h"
#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"
#include "pixmap/PixelFormats.h"
#include "pixmap/PixmapTransforms.h"
#include "vex2d/GLQuadBatch.h"
#include "vex2d/GLVertexPlacement.h"
#include "vex2d/GLVex2DDriver.h"

namespace corvex {

namespace {

// The picture on a texW × texH canvas at (0, 0). Its last column and row are repeated once
// beyond it so that linear filtering at the picture's edge blends with the picture, not with
// the empty rest of the canvas, which stays transparent black.
Ref<TPixmap> PadToTexture(const Ref<TPixmap>& picture, int32_t texW, int32_t texH) {
  const Ref<TPixmap> canvas = NewPixmap(texW, texH, PIXEL_RGBA8888, 4);
  if (!canvas) return Null;
  canvas->Fill(0);
  canvas->PasteFrom(picture, 0, 0);
  const int32_t w = picture->Width();
  const int32_t h = picture->Height();
  if (w < texW) canvas->PasteFrom(picture->SubWindow(w - 1, 0, 1, h), w, 0);
  if (h < texH) canvas->PasteFrom(picture->SubWindow(0, h - 1, w, 1), 0, h);
  if (w < texW && h < texH) canvas->PasteFrom(picture->SubWindow(w - 1, h - 1, 1, 1), w, h);
  return canvas;
}

}  // namespace

TGLImageFrame::TGLImageFrame() : generation(GraphicsGeneration()) {}

TGLImageFrame::~TGLImageFrame() {
  if (page) {
    glvex2d::FlushQuads();  // quads waiting to be drawn may show this cell
    ReleaseTexturePageCell(page, cellX - 1, cellY - 1);
    return;
  }
  if (generation == 0 || textureName == 0) return;
  const auto name = static_cast<GLuint>(textureName);
  glvex2d::FlushQuads();  // quads waiting to be drawn may show this texture
  {
    const SharedContextGuard shared;
    glDeleteTextures(1, &name);
  }
  // The window context may still hold the texture bound; deleting the name there too lets it
  // go. Contexts of an older generation are gone, and without any context there is nothing to do.
  if (generation == GraphicsGeneration() && glplatform::HasCurrentGLContext()) glDeleteTextures(1, &name);
  ForgetBoundTexture(textureName);
  generation = 0;
}

void TGLImageFrame::Render(float x0, float y0, float x1, float y1, float tx, float ty) {
  EnableTexture(textureName);
  if (glvex2d::g_batching) {
    using glvex2d::PlacedX;
    using glvex2d::PlacedY;
    const float x[4] = {PlacedX(x0, y0, tx), PlacedX(x1, y0, tx), PlacedX(x1, y1, tx), PlacedX(x0, y1, tx)};
    const float y[4] = {PlacedY(x0, y0, ty), PlacedY(x1, y0, ty), PlacedY(x1, y1, ty), PlacedY(x0, y1, ty)};
    glvex2d::AddTexturedQuad(x, y, uLeft, vTop, uRight, vBottom);
    return;
  }
  glBegin(GL_QUADS);
  glTexCoord2f(uLeft, vTop);
  glvex2d::PlacedVertex(x0, y0, tx, ty);
  glTexCoord2f(uRight, vTop);
  glvex2d::PlacedVertex(x1, y0, tx, ty);
  glTexCoord2f(uRight, vBottom);
  glvex2d::PlacedVertex(x1, y1, tx, ty);
  glTexCoord2f(uLeft, vBottom);
  glvex2d::PlacedVertex(x0, y1, tx, ty);
  glEnd();
}

void TGLImageFrame::SetTextureWindow(float u0, float v0, float u1, float v1) {
  if (!page) {
    uLeft = u0;
    vTop = v0;
    uRight = u1;
    vBottom = v1;
    return;
  }
  const auto width = static_cast<float>(page->Width());
  const auto height = static_cast<float>(page->Height());
  const float spanU = static_cast<float>(NextPow2(cellWidth)) / width;
  const float spanV = static_cast<float>(NextPow2(cellHeight)) / height;
  const float originU = static_cast<float>(cellX) / width;
  const float originV = static_cast<float>(cellY) / height;
  uLeft = originU + u0 * spanU;
  vTop = originV + v0 * spanV;
  uRight = originU + u1 * spanU;
  vBottom = originV + v1 * spanV;
}

Ref<TGLImageFrame> TGLImageFrame::FromPixmap(const Ref<TPixmap>& pixmap, int32_t flags) {
  int32_t texW = pixmap->Width();
  int32_t texH = pixmap->Height();
  GLFitTextureSize(texW, texH);
  const int32_t w = std::min(pixmap->Width(), texW);
  const int32_t h = std::min(pixmap->Height(), texH);

  Ref<TPixmap> picture = pixmap;
  if (w != pixmap->Width() || h != pixmap->Height()) picture = ScalePixmap(pixmap, w, h);
  if (!picture) return Null;

  Ref<TPixmap> source;
  if (w < texW || h < texH) {
    source = PadToTexture(picture, texW, texH);
  } else if (picture->Format() == PIXEL_RGBA8888 && picture->Pitch() % 4 == 0) {
    source = picture;
  } else {
    // Rows of whole pixels are what the upload's row length can describe.
    source = picture->ToFormat(PIXEL_RGBA8888);
  }
  if (!source) return Null;

  const Ref<TGLImageFrame> frame = New<TGLImageFrame>();
  // Owned by the frame from here, so an upload that fails still deletes it.
  frame->textureName = CreateTexture(texW, texH, flags);
  UploadPixmap(source, flags);
  frame->uRight = static_cast<float>(w) / static_cast<float>(texW);
  frame->vBottom = static_cast<float>(h) / static_cast<float>(texH);
  return frame;
}

}  // namespace corvex
