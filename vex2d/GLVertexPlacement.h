// Where the OpenGL 2D driver puts local points: its copy of the renderer matrix, shared by the
// driver's primitives and the texture frames' quads.
#pragma once

#include <GL/gl.h>

namespace corvex::glvex2d {

// The matrix ApplyTransform last set; every local point goes through it.
struct Matrix {
  float xx = 1.0f, xy = 0.0f, yx = 0.0f, yy = 1.0f;
};
inline constinit Matrix g_matrix;

// The screen position of local point (x, y) turned through the matrix and moved by (tx, ty).
// Immediate and batched drawing both place through here, so both give OpenGL the same floats.
inline float PlacedX(float x, float y, float tx) {
  return tx + x * g_matrix.xx + y * g_matrix.xy;
}
inline float PlacedY(float x, float y, float ty) {
  return ty + x * g_matrix.yx + y * g_matrix.yy;
}

// Issues the vertex for local point (x, y) turned through the matrix and moved by (tx, ty).
inline void PlacedVertex(float x, float y, float tx, float ty) {
  glVertex2f(PlacedX(x, y, tx), PlacedY(x, y, ty));
}

}  // namespace corvex::glvex2d
