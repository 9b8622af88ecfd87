// The OpenGL 2D driver's side of shaders: what a context that has just been made current
// needs.
#pragma once

namespace corvex::glvex2d {

// Returns the context that has just been made current to the fixed function and forgets the
// shader in use.
void ResetShader();

}  // namespace corvex::glvex2d
