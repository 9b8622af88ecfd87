#include "vex2d/GLShader.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <string>
#include <vector>

#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"
#include "graphics/Graphics.h"
#include "runtime/LastError.h"
#include "vex2d/GLFunctions.h"
#include "vex2d/GLImageFrame.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Shader.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

using glvex2d::Functions;
using glvex2d::GLFunctions;

// The shader in use in the current context (Null: the fixed function) and the last failure's
// log; made at first use and kept for the process.
struct ShaderState {
  Ref<TShader> current;
  String error;
};
ShaderState* g_state = nullptr;

ShaderState& State() {
  if (g_state == nullptr) g_state = new ShaderState();
  return *g_state;
}

bool Usable(const Ref<TShader>& shader) {
  return shader && shader->program != 0 && shader->generation == GraphicsGeneration() &&
         glplatform::HasCurrentGLContext();
}

// The shader's info log, or the program's when `program` is set.
std::string Log(const GLFunctions& gl, GLuint object, bool program) {
  GLint length = 0;
  (program ? gl.getProgramiv : gl.getShaderiv)(object, GL_INFO_LOG_LENGTH, &length);
  std::string log(static_cast<size_t>(length > 0 ? length : 1), '\0');
  GLsizei written = 0;
  if (program)
    gl.getProgramInfoLog(object, static_cast<GLsizei>(log.size()), &written, log.data());
  else
    gl.getShaderInfoLog(object, static_cast<GLsizei>(log.size()), &written, log.data());
  log.resize(static_cast<size_t>(written > 0 ? written : 0));
  return log;
}

// Keeps why a shader was not made, for ShaderError and the thread's last error.
void Refuse(const String& why) {
  State().error = why;
  SetLastError(why);
}

// Compiles one stage and attaches it; false (with the log in the error) when it fails.
bool AddStage(const GLFunctions& gl, GLuint program, GLenum kind, const String& source, const char* label) {
  if (source.Length() == 0) return true;
  const std::string bytes = source.ToBytes();
  const GLchar* text = bytes.c_str();
  const GLuint stage = gl.createShader(kind);
  gl.shaderSource(stage, 1, &text, nullptr);
  gl.compileShader(stage);
  GLint compiled = GL_FALSE;
  gl.getShaderiv(stage, GL_COMPILE_STATUS, &compiled);
  if (compiled != GL_TRUE) {
    Refuse(String((std::string(label) + " shader: " + Log(gl, stage, false)).c_str()));
    gl.deleteShader(stage);
    return false;
  }
  gl.attachShader(program, stage);
  gl.deleteShader(stage);  // goes with the program
  return true;
}

// Runs `set` with the shader's program in use, then puts back the one that was.
template <class Set>
void WithProgram(const Ref<TShader>& shader, const String& name, Set set) {
  if (!Usable(shader)) return;
  const GLFunctions& gl = Functions();
  FlushGLDrawing();  // quads collected so far are drawn with the values they had
  const Ref<TShader>& current = State().current;
  if (current != shader) gl.useProgram(static_cast<GLuint>(shader->program));
  const GLint location = gl.getUniformLocation(static_cast<GLuint>(shader->program), name.ToBytes().c_str());
  if (location >= 0) set(gl, location);
  if (current != shader) gl.useProgram(Usable(current) ? static_cast<GLuint>(current->program) : 0);
}

// Binds the shader's images to their units; the driver's own unit 0 stays active.
void BindImages(const TShader& shader) {
  const GLFunctions& gl = Functions();
  for (const TShader::ImageUniform& image : shader.images) {
    const auto* frame = dynamic_cast<const TGLImageFrame*>(image.frame.Get());
    if (frame == nullptr) continue;
    gl.activeTexture(GL_TEXTURE0 + static_cast<GLenum>(image.unit));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(frame->textureName));
  }
  gl.activeTexture(GL_TEXTURE0);
}

}  // namespace

TShader::~TShader() {
  if (program == 0 || generation != GraphicsGeneration()) return;
  const GLFunctions& gl = Functions();
  if (!gl.shaders) return;
  const SharedContextGuard shared;
  gl.deleteProgram(static_cast<GLuint>(program));
}

Ref<TShader> CreateShader(const String& vertexSource, const String& fragmentSource) {
  ShaderState& state = State();
  if (!ActiveState()) {
    Refuse(String("CreateShader: no 2D graphics context is active"));
    return Null;
  }
  const GLFunctions& gl = Functions();
  if (!gl.shaders) {
    Refuse(String("CreateShader: OpenGL offers no GLSL (OpenGL 2.0 is needed)"));
    return Null;
  }
  FlushGLDrawing();  // before OpenGL leaves the context they were drawn for
  const SharedContextGuard shared;
  const Ref<TShader> shader = New<TShader>();
  shader->generation = GraphicsGeneration();
  shader->program = static_cast<int32_t>(gl.createProgram());  // owned from here
  const auto program = static_cast<GLuint>(shader->program);
  if (!AddStage(gl, program, GL_VERTEX_SHADER, vertexSource, "vertex") ||
      !AddStage(gl, program, GL_FRAGMENT_SHADER, fragmentSource, "fragment"))
    return Null;
  gl.linkProgram(program);
  GLint linked = GL_FALSE;
  gl.getProgramiv(program, GL_LINK_STATUS, &linked);
  if (linked != GL_TRUE) {
    Refuse(String(("link: " + Log(gl, program, true)).c_str()));
    return Null;
  }
  state.error = String();
  return shader;
}

String ShaderError() {
  return State().error;
}

void SetShader(const Ref<TShader>& shader) {
  RequireActiveState();
  ShaderState& state = State();
  const GLFunctions& gl = Functions();
  if (!gl.shaders) return;
  FlushGLDrawing();
  if (Usable(shader)) {
    gl.useProgram(static_cast<GLuint>(shader->program));
    BindImages(*shader);
    state.current = shader;
  } else {
    gl.useProgram(0);
    state.current = Null;
  }
}

Ref<TShader> CurrentShader() {
  return State().current;
}

void SetShaderFloat(const Ref<TShader>& shader, const String& name, float x) {
  WithProgram(shader, name, [&](const GLFunctions& gl, GLint at) { gl.uniform1f(at, x); });
}

void SetShaderVec2(const Ref<TShader>& shader, const String& name, float x, float y) {
  WithProgram(shader, name, [&](const GLFunctions& gl, GLint at) { gl.uniform2f(at, x, y); });
}

void SetShaderVec3(const Ref<TShader>& shader, const String& name, float x, float y, float z) {
  WithProgram(shader, name, [&](const GLFunctions& gl, GLint at) { gl.uniform3f(at, x, y, z); });
}

void SetShaderVec4(const Ref<TShader>& shader, const String& name, float x, float y, float z, float w) {
  WithProgram(shader, name, [&](const GLFunctions& gl, GLint at) { gl.uniform4f(at, x, y, z, w); });
}

void SetShaderInt(const Ref<TShader>& shader, const String& name, int32_t value) {
  WithProgram(shader, name, [&](const GLFunctions& gl, GLint at) { gl.uniform1i(at, value); });
}

void SetShaderImage(const Ref<TShader>& shader, const String& name, const Ref<TImage>& image, int32_t frame) {
  if (!Usable(shader) || !image) return;
  Ref<TImageFrame> texture = image->Frame(frame);
  // A cell of a shared page is not the whole texture: the sampler gets a texture of its own.
  if (const auto onPage = Cast<TGLImageFrame>(texture); onPage && onPage->page) {
    const Ref<TVex2DDriver> driver = ActiveDriver();
    texture = driver ? driver->CreateFrame(image->Lock(frame, 1, 0), image->flags & ~ImgMipmapped) : Null;
  }
  if (!texture) return;
  auto found = std::find_if(shader->images.begin(), shader->images.end(),
                            [&](const TShader::ImageUniform& u) { return u.name == name; });
  if (found == shader->images.end()) {
    shader->images.push_back(
        TShader::ImageUniform{name, static_cast<int32_t>(shader->images.size()) + 1, Null});
    found = shader->images.end() - 1;
  }
  found->frame = texture;
  const int32_t unit = found->unit;
  WithProgram(shader, name, [&](const GLFunctions& gl, GLint at) { gl.uniform1i(at, unit); });
  if (State().current == shader) BindImages(*shader);
}

namespace glvex2d {

void ResetShader() {
  if (g_state != nullptr) g_state->current = Null;
  if (const GLFunctions& gl = Functions(); gl.shaders) gl.useProgram(0);
}

}  // namespace glvex2d
}  // namespace corvex
