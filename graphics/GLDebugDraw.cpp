#include "graphics/GLDebugDraw.h"

#include <GL/gl.h>

#include "graphics/GLCheck.h"
#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"
#include "pixmap/PixelFormats.h"
#include "pixmap/PixmapTransforms.h"
#include "runtime/Exceptions.h"
#include "stream/EmbeddedFiles.h"

namespace corvex {
namespace {

inline constexpr int32_t kGlyphWidth = 8;
inline constexpr int32_t kGlyphHeight = 16;
inline constexpr int32_t kFirstGlyph = 32;
inline constexpr int32_t kGlyphCount = 96;
inline constexpr int32_t kFontTextureWidth = 1024;  // room for 128 glyphs; the last 32 stay empty
inline constexpr float kGlyphU = 0.0078125f;        // 8 of the font texture's 1024 texels

// The font texture, made in the shared context on first use; it lives as long as that context.
constinit GLuint g_fontTexture = 0;
using DrawingFlush = void (*)();
constinit DrawingFlush g_pendingDrawingFlush = nullptr;

// Whether debug drawing can happen; if so, what is waiting elsewhere has been issued first.
bool ReadyToDraw() {
  if (!glplatform::HasCurrentGLContext()) return false;
  if (g_pendingDrawingFlush != nullptr) g_pendingDrawingFlush();
  return true;
}

// Saves what the debug functions change and sets up pixel coordinates over the viewport:
// (0, 0) at the top left, the viewport's size at the bottom right.
class DebugDrawScope {
 public:
  DebugDrawScope() {
    glCheck(glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_TRANSFORM_BIT));
    GLint viewport[4] = {0, 0, 0, 0};
    glCheck(glGetIntegerv(GL_VIEWPORT, viewport));
    glCheck(glGetDoublev(GL_MODELVIEW_MATRIX, modelView_));
    glCheck(glGetDoublev(GL_PROJECTION_MATRIX, projection_));
    glCheck(glMatrixMode(GL_PROJECTION));
    glCheck(glLoadIdentity());
    glCheck(glOrtho(0.0, viewport[2], viewport[3], 0.0, -1.0, 1.0));
    glCheck(glMatrixMode(GL_MODELVIEW));
    glCheck(glLoadIdentity());
    glCheck(glDisable(GL_CULL_FACE));
    glCheck(glDisable(GL_ALPHA_TEST));
    glCheck(glDisable(GL_DEPTH_TEST));
  }
  ~DebugDrawScope() {
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(projection_);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(modelView_);
    glPopAttrib();
  }
  DebugDrawScope(const DebugDrawScope&) = delete;
  DebugDrawScope& operator=(const DebugDrawScope&) = delete;

 private:
  GLdouble modelView_[16] = {};
  GLdouble projection_[16] = {};
};

// The font as a 1024 by 16 pixmap: glyph j in columns 8j to 8j + 7, set bits opaque white.
// (A power-of-two width, so that the texture is never resampled.)
Ref<TPixmap> FontPixmap() {
  InitGLGraphicsModule();  // registers the font
  const Ref<TPixmap> pixmap = NewPixmap(kFontTextureWidth, kGlyphHeight, PIXEL_RGBA8888, 4);
  pixmap->Fill(0);
  const uint8_t* font = EmbeddedFileData(String("gldrawtextfont.bin"));
  if (font == nullptr || EmbeddedFileSize(String("gldrawtextfont.bin")) < kGlyphCount * kGlyphHeight)
    return pixmap;
  for (int32_t row = 0; row < kGlyphHeight; ++row) {
    for (int32_t glyph = 0; glyph < kGlyphCount; ++glyph) {
      const uint8_t bits = font[row * kGlyphCount + glyph];
      for (int32_t column = 0; column < kGlyphWidth; ++column) {
        if ((bits >> column) & 1) pixmap->SetPixel(glyph * kGlyphWidth + column, row, 0xFFFFFFFFu);
      }
    }
  }
  return pixmap;
}

GLuint FontTexture() {
  if (g_fontTexture == 0) {
    const Ref<TPixmap> pixmap = FontPixmap();
    const SharedContextGuard shared;
    g_fontTexture = GLTextureFromPixmap(pixmap, true);
  }
  return g_fontTexture;
}

// Uploads one level, `pixmap` already RGBA8888 of a size the GL accepts.
void UploadLevel(const Ref<TPixmap>& pixmap, GLint level) {
  glCheck(glPixelStorei(GL_UNPACK_ROW_LENGTH, pixmap->Pitch() / FormatBytes[PIXEL_RGBA8888]));
  glCheck(glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, pixmap->Width(), pixmap->Height(), 0, GL_RGBA,
                       GL_UNSIGNED_BYTE, pixmap->Pixels()));
}

Ref<TPixmap> AsRGBA(const Ref<TPixmap>& pixmap) {
  return pixmap->Format() == PIXEL_RGBA8888 ? pixmap : pixmap->ToFormat(PIXEL_RGBA8888);
}

}  // namespace

void SetGLPendingDrawingFlush(void (*flush)()) {
  g_pendingDrawingFlush = flush;
}

void GLDebugText(const String& text, float x, float y) {
  if (!ReadyToDraw()) return;
  const GLuint texture = FontTexture();
  const DebugDrawScope scope;
  glCheck(glEnable(GL_TEXTURE_2D));
  glCheck(glBindTexture(GL_TEXTURE_2D, texture));
  glBegin(GL_QUADS);
  for (int32_t index = 0; index < text.Length(); ++index, x += kGlyphWidth) {
    const int32_t code = text.Data()[index];
    if (code < kFirstGlyph || code >= kFirstGlyph + kGlyphCount) continue;
    const float u = static_cast<float>(code - kFirstGlyph) * kGlyphU;
    glTexCoord2f(u, 0.0f);
    glVertex2f(x, y);
    glTexCoord2f(u + kGlyphU, 0.0f);
    glVertex2f(x + kGlyphWidth, y);
    glTexCoord2f(u + kGlyphU, 1.0f);
    glVertex2f(x + kGlyphWidth, y + kGlyphHeight);
    glTexCoord2f(u, 1.0f);
    glVertex2f(x, y + kGlyphHeight);
  }
  glCheck(glEnd());
}

void GLDebugRect(float x, float y, float width, float height) {
  if (!ReadyToDraw()) return;
  const DebugDrawScope scope;
  glCheck(glDisable(GL_TEXTURE_2D));  // a plain quad, whatever the caller left enabled
  glBegin(GL_QUADS);
  glVertex2f(x, y);
  glVertex2f(x + width, y);
  glVertex2f(x + width, y + height);
  glVertex2f(x, y + height);
  glCheck(glEnd());
}

void GLDebugPixmap(const Ref<TPixmap>& pixmap, float x, float y) {
  if (!ReadyToDraw()) return;
  // The GL draws pixel rows from the bottom up.
  const Ref<TPixmap> rows = AsRGBA(MirrorPixmapY(pixmap));
  if (!rows || rows->Pixels() == nullptr) return;
  const DebugDrawScope scope;
  glCheck(glDisable(GL_TEXTURE_2D));  // drawn pixels would otherwise be textured
  GLint rowLength = 0;
  glCheck(glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength));
  glCheck(glRasterPos2i(0, 0));
  glCheck(glBitmap(0, 0, 0.0f, 0.0f, x, -y - static_cast<float>(rows->Height()), nullptr));
  glCheck(glPixelStorei(GL_UNPACK_ROW_LENGTH, rows->Pitch() / FormatBytes[PIXEL_RGBA8888]));
  glCheck(glDrawPixels(rows->Width(), rows->Height(), GL_RGBA, GL_UNSIGNED_BYTE, rows->Pixels()));
  glCheck(glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength));
}

uint32_t GLTextureFromPixmap(const Ref<TPixmap>& pixmap, bool mipmapped) {
  Ref<TPixmap> level = AsRGBA(pixmap);
  if (!level) throw TRuntimeException("Unable to convert pixmap for texture");
  int32_t width = level->Width();
  int32_t height = level->Height();
  GLFitTextureSize(width, height);
  if (width != level->Width() || height != level->Height()) level = ScalePixmap(level, width, height);

  GLint binding = 0;
  GLint rowLength = 0;
  glCheck(glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding));
  glCheck(glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength));
  GLuint texture = 0;
  glCheck(glGenTextures(1, &texture));
  glCheck(glBindTexture(GL_TEXTURE_2D, texture));
  UploadLevel(level, 0);
  for (GLint index = 1; mipmapped && (width > 1 || height > 1); ++index) {
    if (width > 1) width /= 2;
    if (height > 1) height /= 2;
    level = ScalePixmap(level, width, height);
    UploadLevel(level, index);
  }
  glCheck(glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(binding)));
  glCheck(glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength));
  return texture;
}

void GLFitTextureSize(int32_t& width, int32_t& height) {
  width = NextPow2(width);
  height = NextPow2(height);
  for (;;) {
    glCheck(
        glTexImage2D(GL_PROXY_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr));
    GLint accepted = 0;
    glCheck(glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &accepted));
    if (accepted != 0) return;
    if (width == 1 && height == 1) throw TRuntimeException("Unable to calculate tex size");
    if (width > 1) width /= 2;
    if (height > 1) height /= 2;
  }
}

int32_t NextPow2(int32_t n) {
  int32_t power = 1;
  while (power < n && power < (1 << 30)) power *= 2;
  return power;
}

}  // namespace corvex
