#include "graphics/GLCheck.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "graphics/GLPlatform.h"

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

bool GLVersionAtLeast(int32_t major, int32_t minor) {
  const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  int found[2] = {0, 0};
  // "major.minor" leads the string, whatever vendor text follows.
  if (version == nullptr || std::sscanf(version, "%d.%d", &found[0], &found[1]) != 2) return false;
  return found[0] > major || (found[0] == major && found[1] >= minor);
}

bool GLHasExtension(const char* name) {
  const auto* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  const std::size_t length = std::strlen(name);
  if (list == nullptr || length == 0) return false;
  for (const char* at = std::strstr(list, name); at != nullptr; at = std::strstr(at + 1, name)) {
    const bool starts = at == list || at[-1] == ' ';
    const bool ends = at[length] == ' ' || at[length] == '\0';
    if (starts && ends) return true;
  }
  return false;
}

void* GLProcAddress(const char* name) {
  return glplatform::ProcAddress(name);
}

}  // namespace corvex
