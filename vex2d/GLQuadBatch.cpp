#include "vex2d/GLQuadBatch.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "vex2d/GLFunctions.h"

namespace corvex::glvex2d {
namespace {

// One vertex: position, texture coordinates and the drawing colour's bytes, which an array of
// unsigned bytes turns into the very floats glColor4ubv makes of them, so that batched and
// immediate quads are shaded alike.
struct Vertex {
  GLfloat x, y;
  GLfloat u, v;
  GLubyte rgba[4];
};

// Large enough that a frame of text or sprites goes out in a call or two; 640 KiB. Every vertex
// of a full array has a 16-bit index.
constexpr int kCapacity = 32768;
static_assert(kCapacity <= 65536);

// The array, made at the first quad and kept until the process ends (drawing may still
// happen while static objects are being destroyed).
Vertex* g_vertices = nullptr;
// The two triangles of every quad slot, fixed for the array's life.
GLushort* g_indices = nullptr;
int g_count = 0;
QuadSubmission g_submission = QuadSubmission::kDefault;
// Whether every collected vertex has the colour of the first: then OpenGL gets that colour
// once instead of an array of it, which is less work for it per vertex.
bool g_oneColor = true;
GLubyte g_batchColor[4] = {0, 0, 0, 0};

// A few quads cost OpenGL less as immediate vertices than as arrays and the state around them:
// a texture switch after every quad then costs what it costs without batching.
constexpr int kImmediateLimit = 16;

// Quads split into triangles (0, 1, 3) and (1, 2, 3), as OpenGL splits its own quads on Mesa,
// so the shared edge and every pixel come out as glBegin(GL_QUADS) draws them.
constexpr int kTriangleCorners[6] = {0, 1, 3, 1, 2, 3};

void SetVertex(int index, float x, float y, float u, float v) {
  g_vertices[index] =
      Vertex{x, y, u, v, {g_colorBytes[0], g_colorBytes[1], g_colorBytes[2], g_colorBytes[3]}};
}

void Allocate() {
  g_vertices = new Vertex[kCapacity];
  g_indices = new GLushort[kCapacity / 4 * 6];
  for (int quad = 0; quad < kCapacity / 4; ++quad) {
    for (int i = 0; i < 6; ++i)
      g_indices[quad * 6 + i] = static_cast<GLushort>(quad * 4 + kTriangleCorners[i]);
  }
}

void DrawImmediate(int count) {
  glBegin(GL_QUADS);
  for (int i = 0; i < count; ++i) {
    const Vertex& vertex = g_vertices[i];
    if (!g_oneColor) glColor4ubv(vertex.rgba);
    glTexCoord2f(vertex.u, vertex.v);
    glVertex2f(vertex.x, vertex.y);
  }
  glEnd();
}

void Draw(int count) {
  switch (g_submission) {
    case QuadSubmission::kIndexedTriangles:
      glDrawElements(GL_TRIANGLES, count / 4 * 6, GL_UNSIGNED_SHORT, g_indices);
      break;
    case QuadSubmission::kTriangles:
      glDrawArrays(GL_TRIANGLES, 0, count);
      break;
    default:
      glDrawArrays(GL_QUADS, 0, count);
      break;
  }
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
  if (g_submission == QuadSubmission::kQuads && count <= kImmediateLimit) {
    glColor4ubv(g_batchColor);
    DrawImmediate(count);
    glColor4fv(current);
    return;
  }
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
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), g_vertices[0].rgba);
  }
  Draw(count);
  glPopClientAttrib();
  // Drawing from a colour array leaves the current colour undefined.
  glColor4fv(current);
}

void AddTexturedQuad(const float (&x)[4], const float (&y)[4], float u0, float v0, float u1, float v1) {
  if (g_vertices == nullptr) Allocate();
  const int corners = g_submission == QuadSubmission::kTriangles ? 6 : 4;
  if (g_count + corners > kCapacity) FlushQuads();
  if (g_count == 0) {
    g_oneColor = true;
    std::copy(std::begin(g_colorBytes), std::end(g_colorBytes), std::begin(g_batchColor));
  } else if (g_oneColor) {
    g_oneColor = std::equal(std::begin(g_colorBytes), std::end(g_colorBytes), std::begin(g_batchColor));
  }
  const float u[4] = {u0, u1, u1, u0};
  const float v[4] = {v0, v0, v1, v1};
  if (corners == 6) {
    for (int i = 0; i < 6; ++i) {
      const int c = kTriangleCorners[i];
      SetVertex(g_count + i, x[c], y[c], u[c], v[c]);
    }
  } else {
    for (int c = 0; c < 4; ++c) SetVertex(g_count + c, x[c], y[c], u[c], v[c]);
  }
  g_count += corners;
}

void SetQuadSubmission(QuadSubmission submission) {
  FlushQuads();
  g_submission = submission;
}

}  // namespace corvex::glvex2d
