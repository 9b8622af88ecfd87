#include "vex2d/GLRenderTarget.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <vector>

#include "graphics/GLCheck.h"
#include "graphics/GLDebugDraw.h"
#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"
#include "graphics/Graphics.h"
#include "pixmap/PixelFormats.h"
#include "pixmap/PixmapTransforms.h"
#include "runtime/LastError.h"
#include "vex2d/GLFunctions.h"
#include "vex2d/GLQuadBatch.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/RenderTarget.h"
#include "vex2d/Renderer.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

// Where drawing goes while it is not the window: the image (not held, so that dropping it
// ends its use as the target), the framebuffer made for it, its size, and the renderer
// viewport of the window to give back.
struct Target {
  TRenderImage* image = nullptr;
  GLuint framebuffer = 0;
  int32_t width = 0, height = 0;
  int32_t windowViewport[4] = {0, 0, 0, 0};
};
constinit Target g_target;
String* g_error = nullptr;

void SetError(const char* why) {
  if (g_error == nullptr) g_error = new String();
  *g_error = String(why);
  if (*why != '\0') SetLastError(why);
}

// The picture bottom row first, as the texture holds it, on a texWidth × texHeight canvas.
Ref<TPixmap> TextureRows(const Ref<TPixmap>& picture, int32_t texWidth, int32_t texHeight) {
  const Ref<TPixmap> canvas = NewPixmap(texWidth, texHeight, PIXEL_RGBA8888, 4);
  if (!canvas) return Null;
  canvas->Fill(0);
  if (picture) {
    const Ref<TPixmap> rgba =
        picture->Format() == PIXEL_RGBA8888 ? picture : picture->ToFormat(PIXEL_RGBA8888);
    if (const Ref<TPixmap> flipped = rgba ? MirrorPixmapY(rgba) : Ref<TPixmap>())
      canvas->PasteFrom(flipped, 0, 0);
  }
  return canvas;
}

// Puts the picture (or transparent black) into the frame's texture, in the current context.
void UploadToFrame(TGLRenderFrame& frame, const Ref<TPixmap>& picture) {
  const Ref<TPixmap> rows = TextureRows(picture, frame.texWidth, frame.texHeight);
  if (!rows) return;
  glvex2d::FlushQuads();
  BindTexture(frame.textureName);
  UploadPixmap(rows, 0);
}

// A frame with a new texture of the size, transparent black; must run in the shared context.
Ref<TGLRenderFrame> NewRenderFrame(int32_t width, int32_t height, int32_t flags) {
  int32_t texWidth = width, texHeight = height;
  if (!GLVersionAtLeast(2, 0) && !GLHasExtension("GL_ARB_texture_non_power_of_two"))
    GLFitTextureSize(texWidth, texHeight);
  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  if (texWidth > largest || texHeight > largest) {
    SetError("CreateRenderImage: larger than the largest texture");
    return Null;
  }
  const Ref<TGLRenderFrame> frame = New<TGLRenderFrame>();
  frame->width = width;
  frame->height = height;
  frame->texWidth = texWidth;
  frame->texHeight = texHeight;
  frame->textureName = CreateTexture(texWidth, texHeight, flags & ImgFiltered);
  // Bottom row first: the top of the picture is at the top of the used texels.
  frame->uLeft = 0.0f;
  frame->uRight = static_cast<float>(width) / static_cast<float>(texWidth);
  frame->vTop = static_cast<float>(height) / static_cast<float>(texHeight);
  frame->vBottom = 0.0f;
  return frame;
}

void RestoreWindowViewport() {
  const int32_t* v = g_target.windowViewport;
  SetViewport(v[0], v[1], v[2], v[3]);
}

}  // namespace

TRenderImage::~TRenderImage() {
  if (g_target.image == this) glvex2d::LeaveRenderTarget();
}

Ref<TImageFrame> TRenderImage::Frame(int32_t index) {
  if (index != 0) return TImage::Frame(index);  // raises for the bad index
  const int32_t generation = GraphicsGeneration();
  if (frameGenerations[0] == generation && frames[0]) {
    if (pixmapNewer) {
      pixmapNewer = false;
      UploadToFrame(static_cast<TGLRenderFrame&>(*frames[0]), pixmaps[0]);
    }
    return frames[0];
  }
  if (!ActiveDriver()) return Null;
  FlushGLDrawing();  // before OpenGL leaves the context they were drawn for
  Ref<TGLRenderFrame> frame;
  {
    const SharedContextGuard shared;
    frame = NewRenderFrame(width, height, flags);
  }
  // The last pixels read back or written survive a new graphics generation.
  if (frame) UploadToFrame(*frame, pixmaps[0]);
  pixmapNewer = false;
  frames[0] = frame;
  frameGenerations[0] = frame ? generation : 0;
  return frame;
}

Ref<TPixmap> TRenderImage::Lock(int32_t index, int32_t read, int32_t write) {
  if (index != 0) return TImage::Lock(index, read, write);  // raises for the bad index
  if (!pixmaps[0]) {
    pixmaps[0] = NewPixmap(width, height, PIXEL_RGBA8888, 4);
    if (pixmaps[0]) pixmaps[0]->Fill(0);
  }
  const Ref<TGLRenderFrame> frame = Cast<TGLRenderFrame>(frames[0]);
  if (read != 0 && pixmaps[0] && !pixmapNewer && frame && frameGenerations[0] == GraphicsGeneration() &&
      glplatform::HasCurrentGLContext()) {
    FlushGLDrawing();  // what has been drawn into it is in the texture
    std::vector<uint8_t> texels(static_cast<size_t>(frame->texWidth) * frame->texHeight * 4);
    BindTexture(frame->textureName);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glCheck(glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data()));
    const Ref<TPixmap>& pixmap = pixmaps[0];
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* row = &texels[static_cast<size_t>(height - 1 - y) * frame->texWidth * 4];
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t* p = row + static_cast<size_t>(x) * 4;
        pixmap->SetPixel(x, y, uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
      }
    }
  }
  if (write != 0) pixmapNewer = true;
  return pixmaps[0];
}

void TRenderImage::SetPixmap(int32_t index, const Ref<TPixmap>& pixmap) {
  if (index != 0) return TImage::SetPixmap(index, pixmap);  // raises for the bad index
  Ref<TPixmap> stored = pixmap;
  if (stored && (stored->Width() != width || stored->Height() != height))
    stored = ScalePixmap(stored, width, height);
  if (stored && stored->Format() != PIXEL_RGBA8888) stored = stored->ToFormat(PIXEL_RGBA8888);
  if (!stored) return;
  pixmaps[0] = stored;
  pixmapNewer = true;
}

namespace glvex2d {

int32_t DrawingWidth() {
  return g_target.image != nullptr ? g_target.width : CurrentGraphicsWidth();
}

int32_t DrawingHeight() {
  return g_target.image != nullptr ? g_target.height : CurrentGraphicsHeight();
}

void SetPixelProjection(int32_t width, int32_t height) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, width, height, 0.0, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glViewport(0, 0, width, height);
}

void LeaveRenderTarget() {
  if (g_target.image == nullptr) return;
  FlushQuads();  // into the target they were drawn for
  g_target.image = nullptr;
  if (glplatform::HasCurrentGLContext()) {
    const GLFunctions& gl = Functions();
    gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.deleteFramebuffers(1, &g_target.framebuffer);
    SetPixelProjection(CurrentGraphicsWidth(), CurrentGraphicsHeight());
  }
  g_target.framebuffer = 0;
  if (const Ref<TVex2DGraphics> state = ActiveState()) {
    RestoreWindowViewport();
    state->Activate();  // a default viewport follows a window resized meanwhile
  }
}

void ForgetRenderTarget() {
  g_target.image = nullptr;
  g_target.framebuffer = 0;
}

}  // namespace glvex2d

Ref<TImage> CreateRenderImage(int32_t width, int32_t height, int32_t flags) {
  if (!ActiveState()) {
    SetError("CreateRenderImage: no 2D graphics context is active");
    return Null;
  }
  if (width < 1 || height < 1) {
    SetError("CreateRenderImage: a side is below 1");
    return Null;
  }
  if (!glvex2d::Functions().framebuffers) {
    SetError(
        "CreateRenderImage: OpenGL offers no framebuffer objects (neither GL_ARB_framebuffer_object "
        "nor GL_EXT_framebuffer_object)");
    return Null;
  }
  const auto image = New<TRenderImage>();
  image->width = width;
  image->height = height;
  image->flags = (flags == -1 ? DefaultImageFlags() : flags) & ~ImgMipmapped;
  GetDefaultMaskColour(image->maskRed, image->maskGreen, image->maskBlue);
  image->pixmaps = Array<Ref<TPixmap>>(1);
  image->frames = Array<Ref<TImageFrame>>(1);
  image->frameGenerations = Array<int32_t>(1);
  if (!image->Frame(0)) return Null;  // the error is set
  SetError("");
  return image;
}

int32_t SetRenderTarget(const Ref<TImage>& image) {
  RequireActiveState();
  FlushGLDrawing();
  TRenderImage* renderImage = dynamic_cast<TRenderImage*>(image.Get());
  if (image && renderImage == nullptr) {
    SetError("SetRenderTarget: not a render image");
    return 0;
  }
  if (renderImage == g_target.image) {
    if (renderImage != nullptr) renderImage->Frame(0);  // pixels written meanwhile go in
    SetError("");
    return 1;
  }
  if (renderImage == nullptr) {
    glvex2d::LeaveRenderTarget();
    SetError("");
    return 1;
  }
  const Ref<TGLRenderFrame> frame = Cast<TGLRenderFrame>(renderImage->Frame(0));
  if (!frame) {
    SetError("SetRenderTarget: the render image has no texture in this graphics");
    return 0;
  }
  const glvex2d::GLFunctions& gl = glvex2d::Functions();
  GLuint framebuffer = 0;
  gl.genFramebuffers(1, &framebuffer);
  gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  gl.framebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                          static_cast<GLuint>(frame->textureName), 0);
  if (gl.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    gl.bindFramebuffer(GL_FRAMEBUFFER, g_target.framebuffer);
    gl.deleteFramebuffers(1, &framebuffer);
    SetError("SetRenderTarget: OpenGL cannot draw into the render image's texture");
    return 0;
  }
  if (g_target.image != nullptr) {
    gl.deleteFramebuffers(1, &g_target.framebuffer);
  } else {
    int32_t* v = g_target.windowViewport;
    GetViewport(v[0], v[1], v[2], v[3]);
  }
  g_target.image = renderImage;
  g_target.framebuffer = framebuffer;
  g_target.width = frame->width;
  g_target.height = frame->height;
  glvex2d::SetPixelProjection(frame->width, frame->height);
  SetViewport(0, 0, frame->width, frame->height);
  SetError("");
  return 1;
}

Ref<TImage> RenderTarget() {
  return Ref<TImage>(g_target.image);
}

String RenderImageError() {
  return g_error != nullptr ? *g_error : String();
}

}  // namespace corvex
