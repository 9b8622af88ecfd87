// Shaders: the scene is drawn into a render image, which goes on screen through a fragment
// shader that bends it in waves; a second shader maps the ship's brightness onto a palette
// image. Space switches the waves off and on; Escape or closing the window quits.
//
// Run: build/release/examples/corvex-example-shaders (the pictures lie in assets/examples
// beside it). With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N
// frames.
#include <cmath>
#include <cstdlib>

#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "vex2d/Image.h"
#include "vex2d/RenderTarget.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"
#include "vex2d/Shader.h"
#include "vex2d/Vex2DDriver.h"

using namespace corvex;

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

bool KeepRunning(int32_t frame) {
  static const char* const limit = std::getenv("CORVEX_EXAMPLE_FRAMES");
  if (limit != nullptr && frame >= std::atoi(limit)) return false;
  return KeyHitCount(KEY_ESCAPE) == 0 && TakeTerminateRequest() == 0;
}

Ref<TImage> Load(const char* path, int32_t flags) {
  const Ref<TImage> image = LoadImage(path, flags);
  if (!image) throw TRuntimeException(String("Unable to load ") + path);
  return image;
}

// [docs:wave-shader]
// GLSL 1.20: the drawing colour, texture unit 0 and the projection are the fixed function's.
constexpr const char* kVertexSource = R"(#version 120
void main() {
  gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
  gl_TexCoord[0] = gl_MultiTexCoord0;
  gl_FrontColor = gl_Color;
})";

// Moves every row sideways by a sine of its height and the time.
constexpr const char* kWaveSource = R"(#version 120
uniform sampler2D picture;
uniform float time;
uniform float strength;
void main() {
  vec2 at = gl_TexCoord[0].st;
  at.x += strength * sin(at.y * 40.0 + time * 3.0);
  gl_FragColor = texture2D(picture, at) * gl_Color;
})";
// [/docs:wave-shader]

// The brightness of each texel picks a colour from a palette strip; alpha stays.
constexpr const char* kPaletteSource = R"(#version 120
uniform sampler2D picture;
uniform sampler2D palette;
void main() {
  vec4 c = texture2D(picture, gl_TexCoord[0].st);
  float light = dot(c.rgb, vec3(0.3, 0.59, 0.11));
  gl_FragColor = vec4(texture2D(palette, vec2(light, 0.5)).rgb, c.a) * gl_Color;
})";

Ref<TShader> Compile(const char* fragmentSource) {
  const Ref<TShader> shader = CreateShader(kVertexSource, fragmentSource);
  if (!shader) throw TRuntimeException(String("Shader: ") + ShaderError());
  return shader;
}

// 64 colours from deep blue through red to yellow.
Ref<TImage> Palette() {
  const Ref<TPixmap> strip = NewPixmap(64, 1, PIXEL_RGBA8888, 4);
  for (int32_t x = 0; x < 64; ++x) {
    const auto red = static_cast<uint32_t>(std::min(255, x * 8));
    const auto green = static_cast<uint32_t>(std::max(0, x * 8 - 256));
    const auto blue = static_cast<uint32_t>(std::max(0, 160 - x * 5));
    strip->SetPixel(x, 0, 0xFF000000u | red << 16 | green << 8 | blue);
  }
  return LoadImage(strip, ImgFiltered);
}

void RunExample() {
  InitFrameworkModules();
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
  const Ref<TImage> tile = Load("assets/examples/tile.png", 0);
  const Ref<TImage> ship = Load("assets/examples/ship.png", ImgFiltered);
  CentreImageHandle(ship);
  const Ref<TImage> scene = CreateRenderImage(kWidth, kHeight, ImgFiltered);
  if (!scene) throw TRuntimeException(String("No render images: ") + RenderImageError());
  const Ref<TShader> wave = Compile(kWaveSource);
  const Ref<TShader> palette = Compile(kPaletteSource);
  SetShaderImage(palette, "palette", Palette());
  bool waves = true;

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    if (KeyHitCount(KEY_SPACE) != 0) waves = !waves;
    const float time = static_cast<float>(frame) / 60.0f;

    SetRenderTarget(scene);
    SetBlendMode(BlendSolid);
    DrawImageTiled(tile, 0, 0);
    SetBlendMode(BlendAlpha);
    DrawImage(ship, 200, 240);
    SetShader(palette);  // the same picture, coloured through the palette
    DrawImage(ship, 440, 240);
    SetShader(Null);
    SetRenderTarget(Null);

    // [docs:wave-frame]
    SetShaderFloat(wave, "time", time);
    SetShaderFloat(wave, "strength", waves ? 0.01f : 0.0f);
    SetShader(wave);
    SetBlendMode(BlendSolid);
    DrawImage(scene, 0, 0);
    SetShader(Null);  // the fixed function again, exactly as before
    // [/docs:wave-frame]

    SetBlendMode(BlendAlpha);
    DrawText("Space switches the waves, Escape quits", 8, 8);
    FlipPage(-1);
  }
  CloseMainGraphics();
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
