// Textured quads of the OpenGL 2D driver collected into one client-side vertex array and
// issued with one draw call, instead of one glBegin/glEnd each. Everything else the driver
// issues (state changes, other primitives, read-backs, context changes, texture work) first
// flushes what has been collected, so OpenGL sees every call in the order it was made.
#pragma once

#include <GL/gl.h>

namespace corvex::glvex2d {

// The drawing colour as OpenGL receives it (ApplyColor and ApplyAlpha set it), which every
// collected vertex carries.
inline constinit GLubyte g_colorBytes[4] = {255, 255, 255, 255};

// Whether textured quads are collected (the default) or issued one by one in immediate mode.
inline constinit bool g_batching = true;

// How collected quads go to OpenGL. Each gives the pixels glBegin(GL_QUADS) gives; they differ
// only in what the driver makes of them.
enum class QuadSubmission {
  kQuads = 0,             // glDrawArrays(GL_QUADS), four vertices a quad
  kIndexedTriangles = 1,  // glDrawElements(GL_TRIANGLES) over four vertices a quad
  kTriangles = 2,         // glDrawArrays(GL_TRIANGLES), six vertices a quad
  kDefault = kQuads,      // the fastest on the drivers measured
};
// Chooses the submission for the quads collected from now on (flushes first); for comparing
// them in benchmarks.
void SetQuadSubmission(QuadSubmission submission);

// Issues the collected quads with the texture state that is current (every change of it
// flushes first), then forgets them. Nothing happens when none are waiting.
void FlushQuads();

// Collects the quad over the already placed corners (x[i], y[i]), in the order top-left,
// top-right, bottom-right, bottom-left, with the texture window (u0, v0)-(u1, v1) and the
// drawing colour; flushes first when the array is full.
void AddTexturedQuad(const float (&x)[4], const float (&y)[4], float u0, float v0, float u1, float v1);

}  // namespace corvex::glvex2d
