// Shaders: GLSL programs that replace the fixed-function drawing of everything drawn while
// one is set. Sources are GLSL 1.20, so the fixed-function state stays available to them:
// gl_Color (the drawing colour and alpha), gl_MultiTexCoord0 and texture unit 0 (the image
// being drawn), gl_ModelViewProjectionMatrix (the pixel projection).
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/Object.h"
#include "runtime/String.h"
#include "vex2d/Image.h"

namespace corvex {

// A linked program. Images given to it stay with it; it belongs to the graphics generation it
// was made in and does nothing after the main graphics is closed.
class TShader : public Object {
 public:
  // Deletes the program (OpenGL keeps it while a context still uses it).
  ~TShader() override;

  // An image uniform: the sampler's name, its texture unit and the frame bound there.
  struct ImageUniform {
    // The uniform's name in the source, the texture unit it samples, and the frame bound there.
    String name;
    int32_t unit;
    Ref<TImageFrame> frame;
  };

  // The OpenGL program, the GraphicsGeneration it was linked in, and the images given to it.
  int32_t program = 0;
  int32_t generation = 0;
  std::vector<ImageUniform> images;
};

// A program of the two sources (an empty source leaves that stage to the fixed function);
// Null when no 2D context is active, OpenGL has no GLSL, or a stage fails to compile or the
// program to link: ShaderError then answers the compiler's or linker's log.
Ref<TShader> CreateShader(const String& vertexSource, const String& fragmentSource);
// The log of the last CreateShader that answered Null; empty after one succeeded.
String ShaderError();

// Draws everything from now on with the shader (the collected drawing is flushed first);
// Null returns to the fixed function exactly. Making a graphics current also returns to it.
void SetShader(const Ref<TShader>& shader);
// The shader in use, Null for the fixed function.
Ref<TShader> CurrentShader();

// Sets the shader's uniform of that name; a name the program does not use is ignored.
void SetShaderFloat(const Ref<TShader>& shader, const String& name, float x);
void SetShaderVec2(const Ref<TShader>& shader, const String& name, float x, float y);
void SetShaderVec3(const Ref<TShader>& shader, const String& name, float x, float y, float z);
void SetShaderVec4(const Ref<TShader>& shader, const String& name, float x, float y, float z, float w);
void SetShaderInt(const Ref<TShader>& shader, const String& name, int32_t value);
// Binds the image's frame to a texture unit of its own (1 upwards, one per name) and sets the
// sampler uniform of that name to it. The sampler sees the picture in texture coordinates 0 to
// 1 across the whole texture (a picture whose sides are not powers of two fills only part of
// it); a render image is seen bottom row first.
void SetShaderImage(const Ref<TShader>& shader, const String& name, const Ref<TImage>& image,
                    int32_t frame = 0);

}  // namespace corvex
