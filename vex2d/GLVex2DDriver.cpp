#include "vex2d/GLVex2DDriver.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "graphics/GLCheck.h"
#include "graphics/GLDebugDraw.h"
#include "graphics/GLGraphics.h"
#include "pixmap/PixelFormats.h"
#include "pixmap/PixmapTransforms.h"
#include "runtime/Module.h"
#include "system/Hook.h"
#include "vex2d/GLImageFrame.h"
#include "vex2d/GLQuadBatch.h"
#include "vex2d/GLRenderTarget.h"
#include "vex2d/GLShader.h"
#include "vex2d/GLTexturePages.h"
#include "vex2d/GLVertexPlacement.h"
#include "vex2d/RenderTarget.h"

namespace corvex {

using glvex2d::FlushQuads;
using glvex2d::g_colorBytes;
using glvex2d::PlacedVertex;

namespace {

// The driver lives until the process ends; the data-type registry holds it too.
TGLVex2DDriver* g_driver = nullptr;

// What the current context was last told; 0 means "unknown", so the next request goes through.
int32_t g_cachedBlend = 0;
int32_t g_boundTexture = 0;
int32_t g_texturingOn = 0;

// An oval never needs more corners than this to look round on any screen, and the cap keeps
// an absurd size from issuing billions of vertices.
inline constexpr int32_t kMaxOvalSegments = 65536;

int32_t ClampByte(int32_t value) {
  return std::clamp(value, 0, 255);
}

// The number of corners of an oval with these radii: at least 12, a multiple of 4.
int32_t OvalSegments(float rx, float ry) {
  const float size = std::fabs(rx) + std::fabs(ry);
  int32_t segments = 12;
  if (std::isfinite(size))
    segments = std::max(segments, static_cast<int32_t>(std::min(size, float{kMaxOvalSegments})));
  return segments - segments % 4;
}

// The first flip hook: the frame's quads reach OpenGL before any other hook runs, so that a
// hook drawing with OpenGL of its own (an overlay) draws over them.
Ref<Object> FlushBeforeFlipHooks(int32_t /*id*/, const Ref<Object>& data, const Ref<Object>& /*context*/) {
  FlushQuads();
  return data;
}

// Gives OpenGL the drawing colour; batched vertices take it from g_colorBytes.
void SendColor() {
  glColor4ubv(g_colorBytes);
}

}  // namespace

String TGLVex2DDriver::ToString() const {
  return String("OpenGL");
}

Array<Ref<TGraphicsMode>> TGLVex2DDriver::EnumModes() {
  return GLGraphicsDriverInstance()->EnumModes();
}

Ref<TGraphics> TGLVex2DDriver::Attach(uintptr_t window, int32_t flags) {
  const Ref<TGraphics> graphics = GLGraphicsDriverInstance()->Attach(window, flags);
  if (!graphics) return Null;
  return TVex2DGraphics::Create(graphics, Ref<TVex2DDriver>(this));
}

Ref<TGraphics> TGLVex2DDriver::Create(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                      int32_t flags) {
  const Ref<TGraphics> graphics = GLGraphicsDriverInstance()->Create(width, height, depth, hertz, flags);
  if (!graphics) return Null;
  return TVex2DGraphics::Create(graphics, Ref<TVex2DDriver>(this));
}

void TGLVex2DDriver::MakeCurrent(const Ref<TGraphics>& graphics) {
  const Ref<TVex2DGraphics> state = Cast<TVex2DGraphics>(graphics);
  // A closed state has no context left to draw into; it is made current like Null.
  FlushQuads();  // into the context they were drawn for
  glvex2d::LeaveRenderTarget();
  if (!state || !state->graphics) {
    TVex2DGraphics::Deactivate();
    GLGraphicsDriverInstance()->MakeCurrent(Null);
    return;
  }
  GLGraphicsDriverInstance()->MakeCurrent(state->graphics);
  ResetContextState(state);
  state->Activate();
}

void TGLVex2DDriver::FollowSize(const Ref<TGraphics>& graphics) {
  const Ref<TVex2DGraphics> state = Cast<TVex2DGraphics>(graphics);
  if (!state || !state->graphics || state.Get() != ActiveState().Get()) {
    MakeCurrent(graphics);
    return;
  }
  FlushQuads();
  if (RenderTarget()) return;  // leaving the target loads the window's projection
  int32_t width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
  state->GetSettings(width, height, depth, hertz, flags);
  glvex2d::SetPixelProjection(width, height);
  state->Activate();
}

void TGLVex2DDriver::Flip(int32_t sync) {
  FlushQuads();
  GLGraphicsDriverInstance()->Flip(sync);
}

Ref<TImageFrame> TGLVex2DDriver::CreateFrame(const Ref<TPixmap>& pixmap, int32_t flags) {
  if (!pixmap || pixmap->Width() <= 0 || pixmap->Height() <= 0) return Null;
  FlushQuads();  // before OpenGL leaves the context they were drawn for
  const SharedContextGuard shared;
  return TGLImageFrame::FromPixmap(pixmap, flags);
}

Ref<TImageFrame> TGLVex2DDriver::CreateImageFrame(const Ref<TPixmap>& pixmap, int32_t flags) {
  if (!pixmap || pixmap->Width() <= 0 || pixmap->Height() <= 0) return Null;
  if (GLTexturePages() != 0) {
    FlushQuads();  // before OpenGL leaves the context they were drawn for
    const SharedContextGuard shared;
    if (Ref<TGLImageFrame> frame = PlaceOnTexturePage(pixmap, flags)) return frame;
  }
  return CreateFrame(pixmap, flags);
}

void TGLVex2DDriver::ApplyBlend(int32_t mode) {
  if (mode == g_cachedBlend) return;
  FlushQuads();
  g_cachedBlend = mode;
  switch (mode) {
    case BlendMasked:
      glDisable(GL_BLEND);
      glEnable(GL_ALPHA_TEST);
      glAlphaFunc(GL_GEQUAL, 0.5f);
      break;
    case BlendAlpha:
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      glDisable(GL_ALPHA_TEST);
      break;
    case BlendLight:
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE);
      glDisable(GL_ALPHA_TEST);
      break;
    case BlendShade:
      glEnable(GL_BLEND);
      glBlendFunc(GL_DST_COLOR, GL_ZERO);
      glDisable(GL_ALPHA_TEST);
      break;
    default:  // BlendSolid and unknown codes
      glDisable(GL_BLEND);
      glDisable(GL_ALPHA_TEST);
      break;
  }
}

void TGLVex2DDriver::ApplyAlpha(float alpha) {
  // NaN fails both comparisons and ends up 0.
  const float clamped = alpha >= 1.0f ? 1.0f : (alpha > 0.0f ? alpha : 0.0f);
  g_colorBytes[3] = static_cast<GLubyte>(static_cast<double>(clamped) * 255.0);
  SendColor();
}

void TGLVex2DDriver::ApplyColor(int32_t red, int32_t green, int32_t blue) {
  g_colorBytes[0] = static_cast<GLubyte>(ClampByte(red));
  g_colorBytes[1] = static_cast<GLubyte>(ClampByte(green));
  g_colorBytes[2] = static_cast<GLubyte>(ClampByte(blue));
  SendColor();
}

void TGLVex2DDriver::ApplyClearColor(int32_t red, int32_t green, int32_t blue) {
  glClearColor(static_cast<float>(ClampByte(red) / 255.0), static_cast<float>(ClampByte(green) / 255.0),
               static_cast<float>(ClampByte(blue) / 255.0), 1.0f);
}

void TGLVex2DDriver::ApplyViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
  FlushQuads();
  if (x == 0 && y == 0 && width == glvex2d::DrawingWidth() && height == glvex2d::DrawingHeight()) {
    glDisable(GL_SCISSOR_TEST);
    return;
  }
  glEnable(GL_SCISSOR_TEST);
  // A negative size is an error to OpenGL; an empty rectangle clips everything away instead.
  const int32_t w = std::max(width, 0);
  const int32_t h = std::max(height, 0);
  glCheck(glScissor(x, glvex2d::DrawingHeight() - y - h, w, h));
}

void TGLVex2DDriver::ApplyTransform(float xx, float xy, float yx, float yy) {
  glvex2d::g_matrix = {xx, xy, yx, yy};
}

void TGLVex2DDriver::ApplyLineWidth(float width) {
  FlushQuads();
  // OpenGL refuses widths that are not positive; the last good width stays.
  if (width > 0.0f) glCheck(glLineWidth(width));
}

void TGLVex2DDriver::ClearBuffer() {
  FlushQuads();
  glClear(GL_COLOR_BUFFER_BIT);
}

void TGLVex2DDriver::RenderPoint(float x, float y) {
  FlushQuads();
  DisableTexture();
  glBegin(GL_POINTS);
  glVertex2f(x + 0.5f, y + 0.5f);
  glEnd();
}

void TGLVex2DDriver::RenderLine(float x0, float y0, float x1, float y1, float tx, float ty) {
  FlushQuads();
  DisableTexture();
  glBegin(GL_LINES);
  PlacedVertex(x0, y0, tx + 0.5f, ty + 0.5f);
  PlacedVertex(x1, y1, tx + 0.5f, ty + 0.5f);
  glEnd();
}

void TGLVex2DDriver::RenderRect(float x0, float y0, float x1, float y1, float tx, float ty) {
  FlushQuads();
  DisableTexture();
  glBegin(GL_QUADS);
  PlacedVertex(x0, y0, tx, ty);
  PlacedVertex(x1, y0, tx, ty);
  PlacedVertex(x1, y1, tx, ty);
  PlacedVertex(x0, y1, tx, ty);
  glEnd();
}

void TGLVex2DDriver::RenderOval(float x0, float y0, float x1, float y1, float tx, float ty) {
  FlushQuads();
  DisableTexture();
  const float rx = (x1 - x0) * 0.5f;
  const float ry = (y1 - y0) * 0.5f;
  const float cx = x0 + rx;
  const float cy = y0 + ry;
  const int32_t segments = OvalSegments(rx, ry);
  glBegin(GL_POLYGON);
  for (int32_t i = 0; i < segments; ++i) {
    const double radians = i * (360.0 / segments) * (std::numbers::pi / 180.0);
    PlacedVertex(cx + static_cast<float>(std::cos(radians)) * rx,
                 cy - static_cast<float>(std::sin(radians)) * ry, tx, ty);
  }
  glEnd();
}

void TGLVex2DDriver::RenderPoly(const Array<float>& xy, float offsetX, float offsetY, float tx, float ty) {
  const int32_t count = xy.Length();
  if (count < 6 || count % 2 != 0) return;
  FlushQuads();
  DisableTexture();
  const float* values = xy.Data();
  glBegin(GL_POLYGON);
  for (int32_t i = 0; i < count; i += 2) PlacedVertex(values[i] + offsetX, values[i + 1] + offsetY, tx, ty);
  glEnd();
}

void TGLVex2DDriver::RenderPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  if (!pixmap || pixmap->Width() <= 0 || pixmap->Height() <= 0) return;
  const Ref<TPixmap> rgba = pixmap->Format() == PIXEL_RGBA8888 ? pixmap : pixmap->ToFormat(PIXEL_RGBA8888);
  if (!rgba) return;
  // A fresh copy: RGBA rows packed to 4 bytes, which OpenGL's default unpacking expects.
  const Ref<TPixmap> bottomUp = MirrorPixmapY(rgba);
  if (!bottomUp) return;
  FlushQuads();
  const int32_t remembered = g_cachedBlend;
  DisableTexture();
  ApplyBlend(BlendSolid);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  // The raster position must start inside the window to be valid; glBitmap then moves it
  // anywhere, even off screen, and glDrawPixels clips.
  glRasterPos2i(0, 0);
  glBitmap(0, 0, 0.0f, 0.0f, static_cast<float>(x), static_cast<float>(-y - bottomUp->Height()), nullptr);
  glCheck(glDrawPixels(bottomUp->Width(), bottomUp->Height(), GL_RGBA, GL_UNSIGNED_BYTE, bottomUp->Pixels()));
  ApplyBlend(remembered);
}

Ref<TPixmap> TGLVex2DDriver::GrabPixels(int32_t x, int32_t y, int32_t width, int32_t height) {
  FlushQuads();  // what has been drawn is on the screen before it is read
  const int32_t w = std::max(width, 0);
  const int32_t h = std::max(height, 0);
  const Ref<TPixmap> bottomUp = NewPixmap(w, h, PIXEL_RGBA8888, 4);
  if (!bottomUp) return Null;
  if (w == 0 || h == 0) return bottomUp;
  const int32_t screenWidth = glvex2d::DrawingWidth();
  const int32_t screenHeight = glvex2d::DrawingHeight();
  // OpenGL leaves pixels outside the window unwritten; they read as transparent black.
  if (x < 0 || y < 0 || w > screenWidth - x || h > screenHeight - y) bottomUp->Fill(0);
  const int32_t remembered = g_cachedBlend;
  ApplyBlend(BlendSolid);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glCheck(glReadPixels(x, screenHeight - h - y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp->Pixels()));
  ApplyBlend(remembered);
  return MirrorPixmapY(bottomUp);
}

void TGLVex2DDriver::ResetContextState(const Ref<TVex2DGraphics>& graphics) {
  int32_t width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
  graphics->GetSettings(width, height, depth, hertz, flags);
  FlushQuads();
  g_cachedBlend = 0;
  g_boundTexture = 0;
  g_texturingOn = 0;
  glvex2d::ForgetRenderTarget();
  glvex2d::ResetShader();
  glDisable(GL_TEXTURE_2D);
  glvex2d::SetPixelProjection(width, height);
}

Ref<TGLVex2DDriver> GLVex2DDriverInstance() {
  if (g_driver == nullptr) {
    g_driver = new TGLVex2DDriver();
    g_driver->AddRef();  // the module's reference, never released
  }
  return Ref<TGLVex2DDriver>(g_driver);
}

void BindTexture(int32_t name) {
  if (name == g_boundTexture) return;
  FlushQuads();
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
  g_boundTexture = name;
}

void EnableTexture(int32_t name) {
  BindTexture(name);
  if (g_texturingOn == 0) {
    glEnable(GL_TEXTURE_2D);
    g_texturingOn = 1;
  }
}

void DisableTexture() {
  if (g_texturingOn == 1) {
    FlushQuads();
    glDisable(GL_TEXTURE_2D);
    g_texturingOn = 0;
  }
}

void ForgetBoundTexture(int32_t name) {
  if (g_boundTexture == name) g_boundTexture = 0;
}

int32_t CreateTexture(int32_t width, int32_t height, int32_t flags) {
  GLuint name = 0;
  glCheck(glGenTextures(1, &name));
  glCheck(glBindTexture(GL_TEXTURE_2D, name));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  const bool filtered = (flags & 2) != 0;
  const bool mipmapped = (flags & 4) != 0;
  if (filtered) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
  } else {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
  }
  glCheck(glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr));
  if (mipmapped) {
    for (int32_t level = 1; width > 1 || height > 1; ++level) {
      if (width > 1) width /= 2;
      if (height > 1) height /= 2;
      glCheck(
          glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr));
    }
  }
  return static_cast<int32_t>(name);
}

void UploadPixmap(const Ref<TPixmap>& pixmap, int32_t flags) {
  const bool mipmapped = (flags & 4) != 0;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  Ref<TPixmap> level = pixmap;
  for (int32_t index = 0;; ++index) {
    glPixelStorei(GL_UNPACK_ROW_LENGTH, level->Pitch() / FormatBytes[level->Format()]);
    glCheck(glTexSubImage2D(GL_TEXTURE_2D, index, 0, 0, level->Width(), level->Height(), GL_RGBA,
                            GL_UNSIGNED_BYTE, level->Pixels()));
    const int32_t width = level->Width();
    const int32_t height = level->Height();
    if (!mipmapped || (width == 1 && height == 1)) break;
    level = ScalePixmap(level, width > 1 ? width / 2 : 1, height > 1 ? height / 2 : 1);
    if (!level) break;
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

void FlushGLDrawing() {
  FlushQuads();
}

void SetGLBatching(int32_t enable) {
  FlushQuads();
  glvex2d::g_batching = enable != 0;
}

int32_t GLBatching() {
  return glvex2d::g_batching ? 1 : 0;
}

void InitGLVex2DModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitVex2DModule();
  InitGLGraphicsModule();
  SelectGraphicsDriver(GLVex2DDriverInstance(), GfxBackBuffer);
  AttachHook(FlipHookId(), &FlushBeforeFlipHooks, Null, std::numeric_limits<int32_t>::max());
  SetGLPendingDrawingFlush(&FlushGLDrawing);
}

}  // namespace corvex
