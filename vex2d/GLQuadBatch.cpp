#include "vex2d/GLQuadBatch.h"

#include <cstddef>

namespace corvex::glvex2d {
namespace {

// One vertex as the arrays describe it. The colour goes as floats equal to those OpenGL makes
// of glColor4ubv's bytes, so that batched and immediate quads are shaded alike.
struct Vertex {
  GLfloat x, y;
  GLfloat u, v;
  GLfloat rgba[4];
};

// Large enough that a frame of text or sprites goes out in a call or two; 1 MiB.
constexpr int kCapacity = 32768;

// The array, made at the first quad and kept until the process ends (drawing may still
// happen while static objects are being destroyed).
Vertex* g_vertices = nullptr;
int g_count = 0;

void SetVertex(Vertex& vertex, float x, float y, float u, float v) {
  vertex.x = x;
  vertex.y = y;
  vertex.u = u;
  vertex.v = v;
  for (int i = 0; i < 4; ++i) vertex.rgba[i] = g_colorFloats[i];
}

}  // namespace

void FlushQuads() {
  if (g_count == 0) return;
  const int count = g_count;
  g_count = 0;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(2, GL_FLOAT, sizeof(Vertex), &g_vertices[0].x);
  glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &g_vertices[0].u);
  glColorPointer(4, GL_FLOAT, sizeof(Vertex), g_vertices[0].rgba);
  glDrawArrays(GL_QUADS, 0, count);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  // Drawing from a colour array leaves the current colour undefined.
  glColor4ubv(g_colorBytes);
}

void AddTexturedQuad(const float (&x)[4], const float (&y)[4], float u0, float v0, float u1, float v1) {
  if (g_vertices == nullptr) g_vertices = new Vertex[kCapacity];
  if (g_count + 4 > kCapacity) FlushQuads();
  Vertex* vertex = g_vertices + g_count;
  SetVertex(vertex[0], x[0], y[0], u0, v0);
  SetVertex(vertex[1], x[1], y[1], u1, v0);
  SetVertex(vertex[2], x[2], y[2], u1, v1);
  SetVertex(vertex[3], x[3], y[3], u0, v1);
  g_count += 4;
}

}  // namespace corvex::glvex2d
