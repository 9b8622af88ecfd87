#include "demo/Demo.h"

#include <cmath>
#include <numbers>

#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "vex2d/Renderer.h"
#include "vex2d/Vex2DDriver.h"

namespace corvex {
namespace {

double SinDegrees(double degrees) {
  return std::sin(degrees * std::numbers::pi / 180.0);
}

}  // namespace

int32_t NextDemoAngle(int32_t angle) {
  --angle;
  return angle < 0 ? 360 : angle;
}

void DemoTransform(int32_t angle, float& rotation, float& scale) {
  rotation = static_cast<float>(SinDegrees(-angle) * 180.0);
  scale = static_cast<float>(SinDegrees(angle) + 0.25);
}

void StepDemo(DemoState& state) {
  if (KeyHitCount(KEY_C) != 0) state.style = 1 - state.style;
  state.angle = NextDemoAngle(state.angle);
}

Ref<TPacImage> SetUpDemo() {
  // Without a window or a font there is nothing to show: say so rather than draw nowhere.
  if (!OpenGraphics(kDemoWidth, kDemoHeight, 0, kDemoHertz, 0)) {
    throw TRuntimeException("Unable to open the demo's 800 x 600 window");
  }
  SetBlendMode(BlendAlpha);
  const Ref<TPac> pac = TPac::Load(kDemoFontUrl, -1);
  if (!pac || !pac->image) throw TRuntimeException("Unable to load the demo's font incbin::pactwo.pac");
  const Ref<TPacImage> image = TPacImage::Create(pac, kDemoFontGroup);
  image->centred = 0;
  SetClearColor(50, 80, 140);
  return image;
}

void DrawDemoFrame(const Ref<TPacImage>& image, const DemoState& state) {
  const String paragraph(kDemoParagraph);
  ClearScreen();

  SetDrawColor(40, 70, 130);
  DrawLine(0, 0, kDemoWidth, kDemoHeight, 1);
  DrawLine(0, kDemoHeight, kDemoWidth, 0, 1);

  SetDrawColor(255, 100, 100);
  image->DrawText(String(kDemoCaption) + String::FromInt(state.style), 25, 40, 0, 0, 0);

  SetDrawColor(255, 255, 255);
  const int32_t halfWidth = image->TextWidth(paragraph, 0, 0) / 2;
  const int32_t halfHeight = image->TextHeight(paragraph) / 2;
  float rotation = 0.0f;
  float scale = 1.0f;
  DemoTransform(state.angle, rotation, scale);
  SetTransform(rotation, scale, scale);
  if (state.style != 0) {
    // Every glyph turns about its cell's centre; glyphs follow each other 16 pixels apart.
    SetHandle(static_cast<float>(image->TextWidth("Q", 0, 1) / 2),
              static_cast<float>(image->TextHeight("") / 2));
    image->DrawText(paragraph, static_cast<float>(kDemoWidth / 2 - halfWidth), kDemoHeight / 2, -14.0f, 1,
                    state.style);
  } else {
    SetHandle(static_cast<float>(halfWidth), static_cast<float>(halfHeight));
    image->DrawText(paragraph, kDemoWidth / 2, kDemoHeight / 2, 0, 0, state.style);
  }

  SetHandle(0, 0);
  SetTransform(0, 1, 1);
}

void RunDemo() {
  const Ref<TPacImage> image = SetUpDemo();
  DemoState state;
  while (KeyHitCount(KEY_ESCAPE) == 0) {
    StepDemo(state);
    DrawDemoFrame(image, state);
    FlipPage(-1);
  }
}

}  // namespace corvex
