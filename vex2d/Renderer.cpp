#include "vex2d/Renderer.h"

#include "vex2d/Vex2DGraphics.h"

namespace corvex {

void SetDrawColor(int32_t red, int32_t green, int32_t blue) {
  TVex2DGraphics& state = RequireActiveState();
  state.colorRed = red;
  state.colorGreen = green;
  state.colorBlue = blue;
  RequireActiveDriver().ApplyColor(red, green, blue);
}

void GetDrawColor(int32_t& red, int32_t& green, int32_t& blue) {
  const TVex2DGraphics& state = RequireActiveState();
  red = state.colorRed;
  green = state.colorGreen;
  blue = state.colorBlue;
}

void SetDrawAlpha(float alpha) {
  RequireActiveState().alpha = alpha;
  RequireActiveDriver().ApplyAlpha(alpha);
}

float GetDrawAlpha() {
  return RequireActiveState().alpha;
}

void SetBlendMode(int32_t mode) {
  RequireActiveState().blendMode = mode;
  RequireActiveDriver().ApplyBlend(mode);
}

int32_t GetBlendMode() {
  return RequireActiveState().blendMode;
}

void SetClearColor(int32_t red, int32_t green, int32_t blue) {
  TVex2DGraphics& state = RequireActiveState();
  state.clearRed = red;
  state.clearGreen = green;
  state.clearBlue = blue;
  RequireActiveDriver().ApplyClearColor(red, green, blue);
}

void GetClearColor(int32_t& red, int32_t& green, int32_t& blue) {
  const TVex2DGraphics& state = RequireActiveState();
  red = state.clearRed;
  green = state.clearGreen;
  blue = state.clearBlue;
}

void SetLineWidth(float width) {
  RequireActiveState().lineWidth = width;
  RequireActiveDriver().ApplyLineWidth(width);
}

float GetLineWidth() {
  return RequireActiveState().lineWidth;
}

void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
  TVex2DGraphics& state = RequireActiveState();
  state.viewportX = x;
  state.viewportY = y;
  state.viewportWidth = width;
  state.viewportHeight = height;
  RequireActiveDriver().ApplyViewport(x, y, width, height);
}

void GetViewport(int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
  const TVex2DGraphics& state = RequireActiveState();
  x = state.viewportX;
  y = state.viewportY;
  width = state.viewportWidth;
  height = state.viewportHeight;
}

void SetOrigin(float x, float y) {
  TVex2DGraphics& state = RequireActiveState();
  state.originX = x;
  state.originY = y;
}

void GetOrigin(float& x, float& y) {
  const TVex2DGraphics& state = RequireActiveState();
  x = state.originX;
  y = state.originY;
}

void SetHandle(float x, float y) {
  TVex2DGraphics& state = RequireActiveState();
  state.handleOffsetX = -x;
  state.handleOffsetY = -y;
}

void GetHandle(float& x, float& y) {
  const TVex2DGraphics& state = RequireActiveState();
  x = -state.handleOffsetX;
  y = -state.handleOffsetY;
}

void SetRotation(float degrees) {
  TVex2DGraphics& state = RequireActiveState();
  state.rotation = degrees;
  state.UpdateMatrix();
}

float GetRotation() {
  return RequireActiveState().rotation;
}

void SetScale(float x, float y) {
  TVex2DGraphics& state = RequireActiveState();
  state.scaleX = x;
  state.scaleY = y;
  state.UpdateMatrix();
}

void GetScale(float& x, float& y) {
  const TVex2DGraphics& state = RequireActiveState();
  x = state.scaleX;
  y = state.scaleY;
}

void SetTransform(float degrees, float scaleX, float scaleY) {
  TVex2DGraphics& state = RequireActiveState();
  state.rotation = degrees;
  state.scaleX = scaleX;
  state.scaleY = scaleY;
  state.UpdateMatrix();
}

void ClearScreen() {
  RequireActiveState();
  RequireActiveDriver().ClearBuffer();
}

void Plot(float x, float y) {
  const TVex2DGraphics& state = RequireActiveState();
  RequireActiveDriver().RenderPoint(x + state.originX, y + state.originY);
}

void DrawLine(float x, float y, float x2, float y2, int32_t lastPixel) {
  const TVex2DGraphics& state = RequireActiveState();
  TVex2DDriver& driver = RequireActiveDriver();
  const float hx = state.handleOffsetX;
  const float hy = state.handleOffsetY;
  const float dx = hx + x2 - x;
  const float dy = hy + y2 - y;
  driver.RenderLine(hx, hy, dx, dy, x + state.originX, y + state.originY);
  if (lastPixel != 0) {
    driver.RenderPoint(x + dx * state.matrixXX + dy * state.matrixXY + state.originX,
                       y + dx * state.matrixYX + dy * state.matrixYY + state.originY);
  }
}

void DrawRect(float x, float y, float width, float height) {
  const TVex2DGraphics& state = RequireActiveState();
  const float hx = state.handleOffsetX;
  const float hy = state.handleOffsetY;
  RequireActiveDriver().RenderRect(hx, hy, hx + width, hy + height, x + state.originX, y + state.originY);
}

void DrawOval(float x, float y, float width, float height) {
  const TVex2DGraphics& state = RequireActiveState();
  const float hx = state.handleOffsetX;
  const float hy = state.handleOffsetY;
  RequireActiveDriver().RenderOval(hx, hy, hx + width, hy + height, x + state.originX, y + state.originY);
}

void DrawPoly(const Array<float>& xy) {
  const TVex2DGraphics& state = RequireActiveState();
  RequireActiveDriver().RenderPoly(xy, state.handleOffsetX, state.handleOffsetY, state.originX,
                                   state.originY);
}

void BlitPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  RequireActiveState();
  RequireActiveDriver().RenderPixmap(pixmap, x, y);
}

Ref<TPixmap> CaptureScreenPixmap(int32_t x, int32_t y, int32_t width, int32_t height) {
  RequireActiveState();
  return RequireActiveDriver().GrabPixels(x, y, width, height);
}

}  // namespace corvex
