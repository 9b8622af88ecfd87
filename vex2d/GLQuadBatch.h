// Textured quads of the OpenGL 2D driver collected into one client-side vertex array and
// issued with one glDrawElements, instead of one glBegin/glEnd each. Everything else the driver
// issues (state changes, other primitives, read-backs, context changes, texture work) first
// flushes what has been collected, so OpenGL sees every call in the order it was made.
#pragma once

#include <GL/gl.h>

namespace corvex::glvex2d {

// The drawing colour as OpenGL receives it (ApplyColor and ApplyAlpha set it), and the same
// as the floats OpenGL makes of those bytes, which every collected vertex carries.
inline constinit GLubyte g_colorBytes[4] = {255, 255, 255, 255};
inline constinit GLfloat g_colorFloats[4] = {1.0f, 1.0f, 1.0f, 1.0f};

// Whether textured quads are collected (the default) or issued one by one in immediate mode.
inline constinit bool g_batching = true;

// Issues the collected quads with the texture state that is current (every change of it
// flushes first), then forgets them. Nothing happens when none are waiting.
void FlushQuads();

// Collects the quad over the already placed corners (x[i], y[i]), in the order top-left,
// top-right, bottom-right, bottom-left, with the texture window (u0, v0)-(u1, v1) and the
// drawing colour; flushes first when the array is full.
void AddTexturedQuad(const float (&x)[4], const float (&y)[4], float u0, float v0, float u1, float v1);

}  // namespace corvex::glvex2d
