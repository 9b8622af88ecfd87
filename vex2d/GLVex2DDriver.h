// The OpenGL 2D driver: the 2D driver interface in OpenGL 1.1 over the OpenGL graphics driver,
// with small caches for the blend mode and the texture binding, and the texture functions its
// frames use. Textured quads (images, frames, text) are collected and issued together as
// vertex arrays; see FlushGLDrawing for programs that issue OpenGL of their own.
#pragma once

#include <cstdint>

#include "vex2d/Vex2DDriver.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {

class TGLVex2DDriver : public TVex2DDriver {
 public:
  // "OpenGL".
  String ToString() const override;

  // The OpenGL graphics driver's modes.
  Array<Ref<TGraphicsMode>> EnumModes() override;
  // The OpenGL driver's context over the window, wrapped in a renderer state; Null stays Null.
  Ref<TGraphics> Attach(uintptr_t window, int32_t flags) override;
  // The OpenGL driver's new context, wrapped in a renderer state; Null stays Null.
  Ref<TGraphics> Create(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) override;
  // Makes the wrapped context current, resets the caches and projection for it and activates
  // its renderer state; Null deactivates.
  void MakeCurrent(const Ref<TGraphics>& graphics) override;
  // Keeps the shader and the render target: the window's projection and default viewport follow
  // now, or when drawing returns to the window.
  void FollowSize(const Ref<TGraphics>& graphics) override;
  // The OpenGL driver's Flip.
  void Flip(int32_t sync) override;

  // A texture frame made in the shared context, or Null for a Null or empty pixmap.
  Ref<TImageFrame> CreateFrame(const Ref<TPixmap>& pixmap, int32_t flags) override;
  // A frame in a cell of a shared texture page when pages are on and the picture fits one;
  // otherwise CreateFrame.
  Ref<TImageFrame> CreateImageFrame(const Ref<TPixmap>& pixmap, int32_t flags) override;
  void ApplyBlend(int32_t mode) override;
  void ApplyAlpha(float alpha) override;
  void ApplyColor(int32_t red, int32_t green, int32_t blue) override;
  void ApplyClearColor(int32_t red, int32_t green, int32_t blue) override;
  void ApplyViewport(int32_t x, int32_t y, int32_t width, int32_t height) override;
  void ApplyTransform(float xx, float xy, float yx, float yy) override;
  void ApplyLineWidth(float width) override;
  void ClearBuffer() override;
  void RenderPoint(float x, float y) override;
  void RenderLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void RenderRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void RenderOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void RenderPoly(const Array<float>& xy, float offsetX, float offsetY, float tx, float ty) override;
  void RenderPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) override;
  // A new RGBA pixmap, top row first; an empty rectangle gives a 0 × 0 pixmap.
  Ref<TPixmap> GrabPixels(int32_t x, int32_t y, int32_t width, int32_t height) override;

  // Forgets the blend and texture caches and sets a pixel projection (origin top-left, y down)
  // for the context that has just been made current.
  virtual void ResetContextState(const Ref<TVex2DGraphics>& graphics);
};

// The one OpenGL 2D driver, made on first use.
Ref<TGLVex2DDriver> GLVex2DDriverInstance();

// Binds the texture unless the cache says it is bound.
void BindTexture(int32_t name);
// Binds the texture and turns texturing on, each only when needed.
void EnableTexture(int32_t name);
// Turns texturing off unless it is off.
void DisableTexture();
// Tells the binding cache that the texture name is gone, so that a new texture given the same
// name is bound again.
void ForgetBoundTexture(int32_t name);
// A new texture name of that size, with edge clamping and the filtering and mipmap levels of
// the image flags, bound in the current context.
int32_t CreateTexture(int32_t width, int32_t height, int32_t flags);
// Uploads the pixmap (RGBA8888) to the bound texture's level 0 and, when mipmapped, halved
// copies to the further levels.
void UploadPixmap(const Ref<TPixmap>& pixmap, int32_t flags);

// Issues the textured quads the driver has collected and not yet given to OpenGL. The driver
// flushes by itself before every other OpenGL call it makes (state changes, other primitives,
// GrabPixels and the captures, FlipPage before its hooks, context changes, texture work), so
// only a program that calls OpenGL itself between drawing calls (glReadPixels, its own
// geometry, state it changes) needs it: call it before those. GLDebugText and its companions
// call it themselves.
void FlushGLDrawing();
// Non-zero (the default): textured quads are collected and drawn together. SetGLTexturePages
// (GLTexturePages.h) is the matching switch for shared texture pages. Zero: every quad
// is issued at once in immediate mode, as a comparison and a debugging aid. Flushes first.
void SetGLBatching(int32_t enable);
int32_t GLBatching();

// The OpenGL 2D driver module's initialiser: selects GLVex2DDriverInstance with the default
// graphics flags GfxBackBuffer and puts FlushGLDrawing first in the flip hooks and before
// debug drawing.
void InitGLVex2DModule();

}  // namespace corvex
