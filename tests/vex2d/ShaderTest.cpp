// Shaders: a program replaces the fixed function for what is drawn while it is set, with its
// uniforms and images; a failed compile answers Null with the log; leaving the shader gives
// exactly the pixels of never having had one.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "SceneCapture.h"
#include "vex2d/Image.h"
#include "vex2d/Shader.h"

namespace corvex {
namespace {

using namespace scene_testing;

constexpr const char* kVertex = R"(#version 120
void main() {
  gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
  gl_TexCoord[0] = gl_MultiTexCoord0;
  gl_FrontColor = gl_Color;
})";

constexpr const char* kInvert = R"(#version 120
uniform sampler2D picture;
void main() {
  vec4 c = texture2D(picture, gl_TexCoord[0].st) * gl_Color;
  gl_FragColor = vec4(1.0 - c.rgb, c.a);
})";

// Every kind of uniform reaches the output: red from a float, green from a vec2, blue from a
// vec3 (or from the image when `useImage` is 1), alpha from a vec4.
constexpr const char* kUniforms = R"(#version 120
uniform float red;
uniform vec2 green;
uniform vec3 blue;
uniform vec4 opaque;
uniform int useImage;
uniform sampler2D palette;
void main() {
  float b = useImage == 1 ? texture2D(palette, vec2(0.75, 0.25)).b : blue.z;
  gl_FragColor = vec4(red, green.y, b, opaque.w);
})";

Ref<TImage> Solid(int32_t width, int32_t height, uint32_t argb, int32_t flags) {
  const Ref<TPixmap> pixmap = NewPixmap(width, height, PIXEL_RGBA8888, 4);
  pixmap->Fill(argb);
  return LoadImage(pixmap, flags);
}

// Images of several colours, tinted and blended, filtered and not, and shapes.
void DrawScene() {
  const Ref<TImage> a = Solid(10, 10, 0xFF30A0F0, ImgFiltered);
  const Ref<TImage> b = Solid(7, 5, 0x80F02010, 0);
  ClearScreen();
  SetBlendMode(BlendAlpha);
  for (int32_t i = 0; i < 12; ++i) {
    SetDrawColor(255 - i * 20, 100 + i * 10, 200);
    SetDrawAlpha(0.3f + 0.05f * static_cast<float>(i));
    SetTransform(static_cast<float>(i * 17), 1.5f, 1.25f);
    DrawImage(i % 2 == 0 ? a : b, 20.0f + static_cast<float>(i * 23), 40.0f + static_cast<float>(i * 7));
  }
  SetTransform(0, 1, 1);
  DrawOval(30, 150, 60, 40);
  DrawLine(0, 0, 300, 230);
  SetDrawAlpha(1);
  SetDrawColor(255, 255, 255);
  SetBlendMode(BlendMasked);
}

class ShaderTest : public Vex2DDisplayTest {
 protected:
  void SetUp() override {
    Vex2DDisplayTest::SetUp();
    InitImageModule();
  }
  void TearDown() override {
    if (graphics_) SetShader(Null);
    Vex2DDisplayTest::TearDown();
  }
};

TEST_F(ShaderTest, AnInvertingShaderAndUniformsGiveTheirPixels) {
  const Ref<TShader> invert = CreateShader(kVertex, kInvert);
  ASSERT_TRUE(invert) << ShaderError().ToBytes();
  const Ref<TShader> uniforms = CreateShader("", kUniforms);  // fixed-function vertices
  ASSERT_TRUE(uniforms) << ShaderError().ToBytes();
  const Ref<TImage> orange = Solid(8, 8, 0xFFFF8020, 0);
  const Ref<TImage> palette = [] {
    const Ref<TPixmap> pixmap = NewPixmap(4, 4, PIXEL_RGBA8888, 4);
    pixmap->Fill(0xFF000000);
    pixmap->SetPixel(3, 1, 0xFF0000C8);  // where (0.75, 0.25) samples
    return LoadImage(pixmap, 0);
  }();

  ClearScreen();
  SetShader(invert);
  EXPECT_EQ(CurrentShader(), invert);
  DrawImage(orange, 10, 10);
  SetDrawColor(0, 255, 0);
  DrawImage(orange, 30, 10);  // tinted: (0, 128, 0) inverted
  SetDrawColor(255, 255, 255);

  SetShaderFloat(uniforms, "red", 0.2f);
  SetShaderVec2(uniforms, "green", 0.9f, 0.4f);
  SetShaderVec3(uniforms, "blue", 0.0f, 0.0f, 0.6f);
  SetShaderVec4(uniforms, "opaque", 0, 0, 0, 1);
  SetShaderFloat(uniforms, "unknown", 1.0f);  // ignored
  SetShader(uniforms);
  DrawRect(50, 10, 8, 8);
  SetShaderInt(uniforms, "useImage", 1);
  SetShaderImage(uniforms, "palette", palette);
  DrawRect(70, 10, 8, 8);
  SetShader(Null);
  DrawRect(90, 10, 8, 8);

  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_TRUE(AreaIs(scene, 10, 10, 18, 18, 0x007FDFu));
  EXPECT_TRUE(AreaIs(scene, 30, 10, 38, 18, 0xFF7FFFu));
  EXPECT_TRUE(AreaIs(scene, 50, 10, 58, 18, 0x336699u));
  EXPECT_TRUE(AreaIs(scene, 70, 10, 78, 18, 0x3366C8u)) << "blue from the image on its unit";
  EXPECT_TRUE(AreaIs(scene, 90, 10, 98, 18, 0xFFFFFFu)) << "the fixed function again";
}

TEST_F(ShaderTest, ACompileErrorGivesNullAndTheLog) {
  EXPECT_FALSE(CreateShader(kVertex, "#version 120\nvoid main() { gl_FragColor = undefinedThing; }"));
  const std::string log = ShaderError().ToBytes();
  EXPECT_NE(log.find("fragment shader"), std::string::npos) << log;
  EXPECT_NE(log.find("undefinedThing"), std::string::npos) << log;
  EXPECT_FALSE(CreateShader("#version 120\nvoid main() { gl_Position = 1; }", ""));
  EXPECT_NE(ShaderError().ToBytes().find("vertex shader"), std::string::npos);
  EXPECT_FALSE(CurrentShader());
  EXPECT_TRUE(CreateShader(kVertex, kInvert));
  EXPECT_EQ(ShaderError().Length(), 0);
}

TEST_F(ShaderTest, LeavingAShaderRestoresTheFixedFunctionExactly) {
  DrawScene();
  const Ref<TPixmap> never = CaptureScene("-never");
  const Ref<TShader> invert = CreateShader(kVertex, kInvert);
  ASSERT_TRUE(invert);
  SetShader(invert);
  DrawScene();
  EXPECT_NE(Rgb(CaptureScene("-inverted"), 0, 0), Rgb(never, 0, 0));
  SetShader(Null);
  DrawScene();
  const Ref<TPixmap> after = CaptureScene("-after");
  int32_t different = 0;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) different += Rgb(after, x, y) != Rgb(never, x, y);
  }
  EXPECT_EQ(different, 0);
}

}  // namespace
}  // namespace corvex
