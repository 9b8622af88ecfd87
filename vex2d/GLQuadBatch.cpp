#include "vex2d/GLQuadBatch.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "vex2d/GLFunctions.h"

namespace corvex::glvex2d {
namespace {

// One vertex's position and texture coordinates, and apart from them its colour (needed only
// when the colours differ): floats equal to those OpenGL makes of glColor4ubv's bytes, so that
// batched and immediate quads are shaded alike.
struct Vertex {
  GLfloat x, y;
  GLfloat u, v;
};
struct Color {
  GLfloat rgba[4];
};

// Large enough that a frame of text or sprites goes out in a call or two; 1 MiB. Every vertex
// of a full array has a 16-bit index.
constexpr int kCapacity = 32768;
static_assert(kCapacity <= 65536);

// The array, made at the first quad and kept until the process ends (drawing may still
// happen while static objects are being destroyed).
Vertex* g_vertices = nullptr;
Color* g_colors = nullptr;
// The two triangles of every quad slot, fixed for the array's life.
GLushort* g_indices = nullptr;
int g_count = 0;
// Whether every collected vertex has the colour of the first: then OpenGL gets that colour
// once instead of an array of it, which is less work for it per vertex.
bool g_oneColor = true;
GLubyte g_batchColor[4] = {0, 0, 0, 0};

void SetVertex(int index, float x, float y, float u, float v) {
  g_vertices[index] = Vertex{x, y, u, v};
  std::copy(std::begin(g_colorFloats), std::end(g_colorFloats), g_colors[index].rgba);
}

}  // namespace

void FlushQuads() {
  if (g_count == 0) return;
  const int count = g_count;
  g_count = 0;
  // Usually the driver's colour, but a program or debug drawing may have set one of its own
  // since the quads were collected; it is current again afterwards.
  GLfloat current[4];
  glGetFloatv(GL_CURRENT_COLOR, current);
  // The program's arrays, their pointers, buffer bindings and client texture unit come back as
  // they were. Inside, the batch's pointers are client memory, and its texture coordinates go
  // to unit 0 as glTexCoord2f's do.
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  const GLFunctions& gl = Functions();
  if (gl.buffers) {
    gl.bindBuffer(GL_ARRAY_BUFFER, 0);
    gl.bindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  }
  // Arrays the program left enabled would be read for every batched vertex, past their ends.
  for (GLint unit = gl.textureUnits - 1; unit > 0; --unit) {
    glClientActiveTexture(GL_TEXTURE0 + unit);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  if (gl.textureUnits > 1) glClientActiveTexture(GL_TEXTURE0);
  for (const GLenum array : {GL_NORMAL_ARRAY, GL_INDEX_ARRAY, GL_EDGE_FLAG_ARRAY})
    glDisableClientState(array);
  if (gl.moreArrays) {
    glDisableClientState(GL_SECONDARY_COLOR_ARRAY);
    glDisableClientState(GL_FOG_COORD_ARRAY);
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(2, GL_FLOAT, sizeof(Vertex), &g_vertices[0].x);
  glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &g_vertices[0].u);
  if (g_oneColor) {
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4ubv(g_batchColor);
  } else {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, sizeof(Color), g_colors[0].rgba);
  }
  glDrawElements(GL_TRIANGLES, count / 4 * 6, GL_UNSIGNED_SHORT, g_indices);
  glPopClientAttrib();
  // Drawing from a colour array leaves the current colour undefined.
  glColor4fv(current);
}

void AddTexturedQuad(const float (&x)[4], const float (&y)[4], float u0, float v0, float u1, float v1) {
  if (g_vertices == nullptr) {
    g_vertices = new Vertex[kCapacity];
    g_colors = new Color[kCapacity];
    // Quads split into triangles (0, 1, 3) and (1, 2, 3), as OpenGL splits its own quads on
    // Mesa, so the shared edge and every pixel come out as glBegin(GL_QUADS) draws them. The
    // rasteriser takes indexed triangles directly; quads it must first split itself.
    g_indices = new GLushort[kCapacity / 4 * 6];
    constexpr int kCorners[6] = {0, 1, 3, 1, 2, 3};
    for (int quad = 0; quad < kCapacity / 4; ++quad) {
      for (int i = 0; i < 6; ++i) g_indices[quad * 6 + i] = static_cast<GLushort>(quad * 4 + kCorners[i]);
    }
  }
  if (g_count + 4 > kCapacity) FlushQuads();
  if (g_count == 0) {
    g_oneColor = true;
    std::copy(std::begin(g_colorBytes), std::end(g_colorBytes), std::begin(g_batchColor));
  } else if (g_oneColor) {
    g_oneColor = std::equal(std::begin(g_colorBytes), std::end(g_colorBytes), std::begin(g_batchColor));
  }
  SetVertex(g_count, x[0], y[0], u0, v0);
  SetVertex(g_count + 1, x[1], y[1], u1, v0);
  SetVertex(g_count + 2, x[2], y[2], u1, v1);
  SetVertex(g_count + 3, x[3], y[3], u0, v1);
  g_count += 4;
}

}  // namespace corvex::glvex2d
