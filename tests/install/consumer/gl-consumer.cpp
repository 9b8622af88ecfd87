// A program that mixes its own OpenGL with the framework's drawing, built against the installed
// framework: debug text in a window of the OpenGL graphics driver, then an image drawn through
// the OpenGL 2D driver, its frame's texture name, and the framework's batch flushed before the
// program reads pixels with OpenGL itself.
#include <GL/gl.h>

#include "corvex/Version.h"
#include "graphics/GLDebugDraw.h"
#include "graphics/GLGraphics.h"
#include "graphics/Graphics.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "stream/StdIO.h"
#include "vex2d/GLImageFrame.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Image.h"
#include "vex2d/Renderer.h"

static void InitGLConsumer() {
  corvex::InitFrameworkModules();
  if (corvex::CorvexVersion() != CORVEX_VERSION_STRING) {
    corvex::PrintLine("gl-consumer: headers and library differ in version");
    return;
  }
  // The OpenGL graphics driver alone: a window without a renderer, where debug drawing works.
  if (corvex::OpenGLGraphics(64, 64, 0, 60, 0).IsNull()) {
    corvex::PrintLine("gl-consumer: no window");
    return;
  }
  corvex::GLDebugText("ok", 0, 16);
  corvex::FlipPage(0);
  corvex::CloseGraphics(corvex::CurrentGraphics());

  // The OpenGL 2D driver: images drawn through the renderer into texture frames.
  corvex::SelectGraphicsDriver(corvex::GLVex2DDriverInstance(), corvex::GfxBackBuffer);
  if (corvex::OpenGraphics(64, 64, 0, 60, 0).IsNull()) {
    corvex::PrintLine("gl-consumer: no 2D window");
    return;
  }
  const corvex::Ref<corvex::TImage> image = corvex::CreateImage(8, 8);
  image->Lock(0, 1, 1)->Fill(0xFFFF0000u);  // opaque red
  corvex::ClearScreen();
  corvex::DrawImage(image, 0, 0);
  const corvex::Ref<corvex::TGLImageFrame> frame = corvex::Cast<corvex::TGLImageFrame>(image->Frame(0));
  corvex::FlushGLDrawing();
  unsigned char pixel[4] = {};
  glReadPixels(2, 60, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  corvex::FlipPage(0);
  if (frame.IsNull() || frame->textureName == 0) {
    corvex::PrintLine("gl-consumer: the image has no OpenGL frame");
  } else if (pixel[0] != 255 || pixel[1] != 0) {
    corvex::PrintLine("gl-consumer: the image was not drawn before glReadPixels");
  } else {
    corvex::PrintLine("consumer ok");
  }
}

int main(int argc, char** argv) {
  return corvex::RunProgram(argc, argv, InitGLConsumer);
}
