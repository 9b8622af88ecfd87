// GL error checks for debug builds: glCheck(glBindTexture(GL_TEXTURE_2D, name)) reports every
// error the call left behind; in release builds it is the bare call and costs nothing. Also
// what the current context offers beyond OpenGL 1.1: its version and extensions.
#pragma once

#include <cstdint>

#ifndef NDEBUG
#define glCheck(call)                                  \
  do {                                                 \
    call;                                              \
    ::corvex::CheckGLError(#call, __FILE__, __LINE__); \
  } while (false)
#else
#define glCheck(call) \
  do {                \
    call;             \
  } while (false)
#endif

namespace corvex {

// Writes every pending GL error after `call` to standard error and counts it.
void CheckGLError(const char* call, const char* file, int line);
// How many GL errors glCheck has reported in this process; always 0 in release builds.
int32_t GLErrorCount();

// Whether the current context's version is at least major.minor; false without a context.
bool GLVersionAtLeast(int32_t major, int32_t minor);
// Whether the current context's extension string lists the name as a whole word.
bool GLHasExtension(const char* name);
// The address of the named entry point, null when there is none.
void* GLProcAddress(const char* name);
// GLProcAddress cast to the function pointer type F.
template <class F>
F GLFunction(const char* name) {
  return reinterpret_cast<F>(GLProcAddress(name));
}

}  // namespace corvex
