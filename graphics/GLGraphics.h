// The OpenGL graphics driver: windows and full-screen displays with GL contexts that share
// their textures with one hidden context, so that a texture made once draws in every window.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/Graphics.h"

namespace corvex {

// The platform layer's records (graphics/GLPlatform.h, private to the framework).
namespace glplatform {
struct ContextRecord;
struct DisplayMode;
}  // namespace glplatform

class TGLGraphicsDriver;

// A context of the OpenGL driver: one platform context record until it is closed.
class TGLGraphics : public TGraphics {
 public:
  // The context of a record the platform layer made; the driver's Create and Attach make them.
  explicit TGLGraphics(glplatform::ContextRecord* record) noexcept : record_(record) {}

  // GLGraphicsDriverInstance.
  Ref<TGraphicsDriver> Driver() const override;
  // The record's settings; an attached context reads its window's size again first.
  void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                   int32_t& flags) const override;
  // Closes the record (its window too, unless attached); a second Close does nothing.
  void Close() override;
  // A window of its own changes size or goes to desktop full screen and back; full-screen
  // displays, attached and closed contexts answer 0.
  int32_t Resize(int32_t width, int32_t height) override;
  int32_t SetFullScreen(int32_t enable) override;
  int32_t IsFullScreen() const override;
  // The drawable's width over the window's (1 for a closed context).
  float PixelScale() const override;

  // The platform record, null after Close.
  glplatform::ContextRecord* Record() const noexcept { return record_; }

 private:
  glplatform::ContextRecord* record_;
};

// The OpenGL graphics driver; its one instance is GLGraphicsDriverInstance.
class TGLGraphicsDriver : public TGraphicsDriver {
 public:
  // The primary display's modes of 16 bits per pixel and more, at most 1024 of them.
  Array<Ref<TGraphicsMode>> EnumModes() override;
  // A context over a window of another toolkit, or Null.
  Ref<TGraphics> Attach(uintptr_t window, int32_t flags) override;
  // A window (depth 0) or full-screen display, or Null; a full-screen mode that cannot be set
  // raises "GLGraphicsDriver failed to set display mode".
  Ref<TGraphics> Create(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) override;
  // Makes a TGLGraphics current (anything else, or Null, makes none current).
  void MakeCurrent(const Ref<TGraphics>& graphics) override;
  // Presents the current context's back buffer; nothing without one.
  void Flip(int32_t sync) override;
  // Makes the hidden shared context current when it is not, else the current context again.
  // Used in pairs around work that must happen in the shared context (texture creation and
  // deletion); SharedContextGuard does the pairing.
  virtual void ToggleSharedContext();
};

// Keeps the hidden shared context current for its lifetime, then puts the current context
// back. Nests: inside another guard (or a toggle) it changes nothing.
class SharedContextGuard {
 public:
  SharedContextGuard();
  ~SharedContextGuard();
  SharedContextGuard(const SharedContextGuard&) = delete;
  SharedContextGuard& operator=(const SharedContextGuard&) = delete;

 private:
  bool toggled_;
};

// The modes worth offering: at least 16 bits per pixel, the first 1024, in the given order.
Array<Ref<TGraphicsMode>> UsableGraphicsModes(const std::vector<glplatform::DisplayMode>& modes);

// The one OpenGL graphics driver, made on first use.
Ref<TGLGraphicsDriver> GLGraphicsDriverInstance();
// Selects the OpenGL driver (default flags GfxBackBuffer) and opens the main graphics with it.
Ref<TGraphics> OpenGLGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags);

// The OpenGL graphics module's initialiser: registers the debug font "gldrawtextfont.bin" and
// selects the OpenGL driver with the default flags GfxBackBuffer.
void InitGLGraphicsModule();

}  // namespace corvex
