// GL error checks for debug builds: glCheck(glBindTexture(GL_TEXTURE_2D, name)) reports every
// error the call left behind; in release builds it is the bare call and costs nothing.
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

}  // namespace corvex
