#include "vex2d/GLFunctions.h"

#include <algorithm>
#include <string>

#include "graphics/GLCheck.h"
#include "graphics/GLPlatform.h"

namespace corvex::glvex2d {
namespace {

GLFunctions* g_functions = nullptr;

// Looks the function up under its name with the suffix; false when it is missing.
template <class F>
bool Find(F& function, const char* name, const char* suffix = "") {
  function = GLFunction<F>((std::string(name) + suffix).c_str());
  return function != nullptr;
}

void FindBuffers(GLFunctions& gl) {
  if (GLVersionAtLeast(1, 5))
    gl.buffers = Find(gl.bindBuffer, "glBindBuffer");
  else if (GLHasExtension("GL_ARB_vertex_buffer_object"))
    gl.buffers = Find(gl.bindBuffer, "glBindBuffer", "ARB");
}

void FindFramebuffers(GLFunctions& gl) {
  const char* suffix = nullptr;
  if (GLVersionAtLeast(3, 0) || GLHasExtension("GL_ARB_framebuffer_object"))
    suffix = "";
  else if (GLHasExtension("GL_EXT_framebuffer_object"))
    suffix = "EXT";
  if (suffix == nullptr) return;
  gl.framebuffers = Find(gl.genFramebuffers, "glGenFramebuffers", suffix) &&
                    Find(gl.deleteFramebuffers, "glDeleteFramebuffers", suffix) &&
                    Find(gl.bindFramebuffer, "glBindFramebuffer", suffix) &&
                    Find(gl.framebufferTexture2D, "glFramebufferTexture2D", suffix) &&
                    Find(gl.checkFramebufferStatus, "glCheckFramebufferStatus", suffix);
}

void FindShaders(GLFunctions& gl) {
  if (!GLVersionAtLeast(2, 0)) return;
  gl.shaders = Find(gl.createShader, "glCreateShader") && Find(gl.shaderSource, "glShaderSource") &&
               Find(gl.compileShader, "glCompileShader") && Find(gl.getShaderiv, "glGetShaderiv") &&
               Find(gl.getShaderInfoLog, "glGetShaderInfoLog") && Find(gl.deleteShader, "glDeleteShader") &&
               Find(gl.createProgram, "glCreateProgram") && Find(gl.attachShader, "glAttachShader") &&
               Find(gl.linkProgram, "glLinkProgram") && Find(gl.getProgramiv, "glGetProgramiv") &&
               Find(gl.getProgramInfoLog, "glGetProgramInfoLog") &&
               Find(gl.deleteProgram, "glDeleteProgram") && Find(gl.useProgram, "glUseProgram") &&
               Find(gl.getUniformLocation, "glGetUniformLocation") && Find(gl.uniform1f, "glUniform1f") &&
               Find(gl.uniform2f, "glUniform2f") && Find(gl.uniform3f, "glUniform3f") &&
               Find(gl.uniform4f, "glUniform4f") && Find(gl.uniform1i, "glUniform1i") &&
               Find(gl.activeTexture, "glActiveTexture");
}

}  // namespace

const GLFunctions& Functions() {
  static constexpr GLFunctions kNone{};
  if (g_functions != nullptr) return *g_functions;
  // Without a context there is nothing to ask; the next call asks again.
  if (!glplatform::HasCurrentGLContext()) return kNone;
  auto* gl = new GLFunctions();
  gl->moreArrays = GLVersionAtLeast(1, 4);
  if (GLVersionAtLeast(1, 3)) glGetIntegerv(GL_MAX_TEXTURE_UNITS, &gl->textureUnits);
  gl->textureUnits = std::max(gl->textureUnits, GLint{1});
  FindBuffers(*gl);
  FindFramebuffers(*gl);
  FindShaders(*gl);
  g_functions = gl;
  return *g_functions;
}

}  // namespace corvex::glvex2d
