// The OpenGL entry points beyond 1.1 the 2D driver uses, looked up at run time: buffer
// bindings (to keep a program's buffers out of the batch), framebuffer objects (render images)
// and GLSL programs (shaders). Each group is there only when the context offers all of it.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

namespace corvex::glvex2d {

struct GLFunctions {
  // OpenGL 1.4's secondary-colour and fog-coordinate arrays exist.
  bool moreArrays = false;
  // The texture units with texture-coordinate arrays (at least 1).
  GLint textureUnits = 1;

  // OpenGL 1.5 or GL_ARB_vertex_buffer_object.
  bool buffers = false;
  PFNGLBINDBUFFERPROC bindBuffer = nullptr;

  // OpenGL 3.0, GL_ARB_framebuffer_object or GL_EXT_framebuffer_object (same calls and values).
  bool framebuffers = false;
  PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
  PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
  PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
  PFNGLFRAMEBUFFERTEXTURE2DPROC framebufferTexture2D = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;

  // OpenGL 2.0.
  bool shaders = false;
  PFNGLCREATESHADERPROC createShader = nullptr;
  PFNGLSHADERSOURCEPROC shaderSource = nullptr;
  PFNGLCOMPILESHADERPROC compileShader = nullptr;
  PFNGLGETSHADERIVPROC getShaderiv = nullptr;
  PFNGLGETSHADERINFOLOGPROC getShaderInfoLog = nullptr;
  PFNGLDELETESHADERPROC deleteShader = nullptr;
  PFNGLCREATEPROGRAMPROC createProgram = nullptr;
  PFNGLATTACHSHADERPROC attachShader = nullptr;
  PFNGLLINKPROGRAMPROC linkProgram = nullptr;
  PFNGLGETPROGRAMIVPROC getProgramiv = nullptr;
  PFNGLGETPROGRAMINFOLOGPROC getProgramInfoLog = nullptr;
  PFNGLDELETEPROGRAMPROC deleteProgram = nullptr;
  PFNGLUSEPROGRAMPROC useProgram = nullptr;
  PFNGLGETUNIFORMLOCATIONPROC getUniformLocation = nullptr;
  PFNGLUNIFORM1FPROC uniform1f = nullptr;
  PFNGLUNIFORM2FPROC uniform2f = nullptr;
  PFNGLUNIFORM3FPROC uniform3f = nullptr;
  PFNGLUNIFORM4FPROC uniform4f = nullptr;
  PFNGLUNIFORM1IPROC uniform1i = nullptr;
  PFNGLACTIVETEXTUREPROC activeTexture = nullptr;
};

// The entry points, looked up with the first context that is current when this is called and
// kept for the process (every context of the process comes from the same driver).
const GLFunctions& Functions();

}  // namespace corvex::glvex2d
