// The renderer's drawing commands: module functions that read and change the active renderer
// state and hand every change and primitive to the active 2D driver. Each raises
// TRuntimeException ("No 2D graphics context is active") when no 2D context is current.
#pragma once

#include <cstdint>

#include "pixmap/Pixmap.h"
#include "runtime/Array.h"

namespace corvex {

// Drawing colour, 0 to 255 each (the driver clamps).
void SetDrawColor(int32_t red, int32_t green, int32_t blue);
void GetDrawColor(int32_t& red, int32_t& green, int32_t& blue);
// Drawing alpha, 0 to 1 (the driver clamps).
void SetDrawAlpha(float alpha);
float GetDrawAlpha();
// Blend mode, BlendMasked to BlendShade (vex2d/Vex2DDriver.h).
void SetBlendMode(int32_t mode);
int32_t GetBlendMode();
// Colour ClearScreen fills with.
void SetClearColor(int32_t red, int32_t green, int32_t blue);
void GetClearColor(int32_t& red, int32_t& green, int32_t& blue);
// Width of lines in pixels.
void SetLineWidth(float width);
float GetLineWidth();
// Clip rectangle in pixels from the top-left corner.
void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height);
void GetViewport(int32_t& x, int32_t& y, int32_t& width, int32_t& height);
// Translation added to every drawing position, Plot included.
void SetOrigin(float x, float y);
void GetOrigin(float& x, float& y);
// The point of a shape placed at the drawing position (before the matrix).
void SetHandle(float x, float y);
void GetHandle(float& x, float& y);
// Rotation in degrees, clockwise on screen.
void SetRotation(float degrees);
float GetRotation();
// Scale factors, applied before the rotation.
void SetScale(float x, float y);
void GetScale(float& x, float& y);
// Rotation and scale at once, with one matrix update.
void SetTransform(float degrees, float scaleX, float scaleY);

// Fills the drawable area with the clear colour.
void ClearScreen();
// One pixel at (x, y) plus the origin; neither matrix nor handle apply.
void Plot(float x, float y);
// A line from (x, y) to (x2, y2) turned about (x, y); with lastPixel non-zero the end pixel is
// drawn too.
void DrawLine(float x, float y, float x2, float y2, int32_t lastPixel = 1);
// A filled rectangle whose handle lies at (x, y).
void DrawRect(float x, float y, float width, float height);
// A filled ellipse inscribed in the rectangle DrawRect would fill.
void DrawOval(float x, float y, float width, float height);
// A filled polygon of x, y pairs relative to the origin, moved by the handle.
void DrawPoly(const Array<float>& xy);
// Copies the pixmap unscaled with its top-left at (x, y); no origin, handle or matrix.
void BlitPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);
// A new RGBA pixmap with the screen rectangle's pixels.
Ref<TPixmap> CaptureScreenPixmap(int32_t x, int32_t y, int32_t width, int32_t height);

}  // namespace corvex
