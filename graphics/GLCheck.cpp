#include "graphics/GLCheck.h"

#include <GL/gl.h>

#include <cstdio>

namespace corvex {
namespace {

constinit int32_t g_errorCount = 0;

const char* ErrorName(GLenum error) {
  switch (error) {
    case GL_INVALID_ENUM:
      return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE:
      return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION:
      return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW:
      return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW:
      return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY:
      return "GL_OUT_OF_MEMORY";
    default:
      return "unknown GL error";
  }
}

}  // namespace

void CheckGLError(const char* call, const char* file, int line) {
  // A GL keeps one flag per kind of error, so a few reads empty it; the bound guards against
  // a broken driver that never answers GL_NO_ERROR.
  for (int read = 0; read < 8; ++read) {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) return;
    ++g_errorCount;
    std::fprintf(stderr, "%s (0x%04X) after %s at %s:%d\n", ErrorName(error), error, call, file, line);
  }
}

int32_t GLErrorCount() {
  return g_errorCount;
}

}  // namespace corvex
