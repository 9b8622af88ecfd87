#include "graphics/GLGraphics.h"
#include "graphics/GLPlatform.h"

#include <utility>
#include <vector>

#include "pixmap/Pixmap.h"
#include "runtime/AppStrings.h"
#include "runtime/Module.h"
#include "stream/EmbeddedFiles.h"

namespace corvex {

namespace embedded {
// The debug font, compiled in from assets/gldrawtextfont/gldrawtextfont.bin. Its glyphs are
// Copyright 1989 by Sony Corp.; the notice and permission are in that folder's README.md.
extern const uint8_t kGLDrawTextFont[];
extern const int32_t kGLDrawTextFontSize;
}  // namespace embedded

namespace {

// The driver lives until the process ends; the data-type registry holds it too.
TGLGraphicsDriver* g_driver = nullptr;

inline constexpr int32_t kMaxListedModes = 1024;

}  // namespace

Ref<TGraphicsDriver> TGLGraphics::Driver() const {
  return GLGraphicsDriverInstance();
}

void TGLGraphics::GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                              int32_t& flags) const {
  if (record_ == nullptr) {
    // A closed context keeps nothing to report.
    width = height = depth = hertz = flags = 0;
    return;
  }
  const glplatform::ContextSettings settings = glplatform::Settings(record_);
  width = settings.width;
  height = settings.height;
  depth = settings.depth;
  hertz = settings.hertz;
  flags = settings.flags;
}

void TGLGraphics::Close() {
  if (record_ == nullptr) return;
  glplatform::CloseContext(record_);
  record_ = nullptr;
}

int32_t TGLGraphics::Resize(int32_t width, int32_t height) {
  return record_ != nullptr && glplatform::ResizeWindow(record_, width, height) ? 1 : 0;
}

int32_t TGLGraphics::SetFullScreen(int32_t enable) {
  return record_ != nullptr && glplatform::SetDesktopFullScreen(record_, enable != 0) ? 1 : 0;
}

int32_t TGLGraphics::IsFullScreen() const {
  return record_ != nullptr && glplatform::IsDesktopFullScreen(record_) ? 1 : 0;
}

float TGLGraphics::PixelScale() const {
  return record_ != nullptr ? glplatform::PixelScale(record_) : 1.0f;
}

Array<Ref<TGraphicsMode>> TGLGraphicsDriver::EnumModes() {
  return UsableGraphicsModes(glplatform::DisplayModes());
}

Ref<TGraphics> TGLGraphicsDriver::Attach(uintptr_t window, int32_t flags) {
  glplatform::ContextRecord* record = glplatform::AttachContext(window, flags);
  if (record == nullptr) return Null;
  return New<TGLGraphics>(record);
}

Ref<TGraphics> TGLGraphicsDriver::Create(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                         int32_t flags) {
  glplatform::ContextRecord* record = glplatform::CreateContext(width, height, depth, hertz, flags);
  if (record == nullptr) return Null;
  return New<TGLGraphics>(record);
}

void TGLGraphicsDriver::MakeCurrent(const Ref<TGraphics>& graphics) {
  const Ref<TGLGraphics> gl = Cast<TGLGraphics>(graphics);
  glplatform::MakeCurrent(gl ? gl->Record() : nullptr);
}

void TGLGraphicsDriver::Flip(int32_t sync) {
  glplatform::Flip(sync);
}

void TGLGraphicsDriver::ToggleSharedContext() {
  glplatform::ToggleSharedContext();
}

SharedContextGuard::SharedContextGuard() : toggled_(!glplatform::IsSharedContextCurrent()) {
  if (toggled_) GLGraphicsDriverInstance()->ToggleSharedContext();
}

SharedContextGuard::~SharedContextGuard() {
  if (toggled_) GLGraphicsDriverInstance()->ToggleSharedContext();
}

Array<Ref<TGraphicsMode>> UsableGraphicsModes(const std::vector<glplatform::DisplayMode>& modes) {
  std::vector<Ref<TGraphicsMode>> usable;
  for (const glplatform::DisplayMode& mode : modes) {
    if (mode.depth < 16) continue;
    usable.push_back(New<TGraphicsMode>(mode.width, mode.height, mode.depth, mode.hertz));
    if (static_cast<int32_t>(usable.size()) == kMaxListedModes) break;
  }
  return Array<Ref<TGraphicsMode>>::FromVector(std::move(usable));
}

Ref<TGLGraphicsDriver> GLGraphicsDriverInstance() {
  if (g_driver == nullptr) {
    g_driver = new TGLGraphicsDriver();
    g_driver->AddRef();  // the module's reference, never released
  }
  return Ref<TGLGraphicsDriver>(g_driver);
}

Ref<TGraphics> OpenGLGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
  SelectGraphicsDriver(GLGraphicsDriverInstance(), GfxBackBuffer);
  return OpenGraphics(width, height, depth, hertz, flags);
}

void InitGLGraphicsModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitGraphicsModule();
  InitPixmapModule();
  AddEmbeddedFile(String("gldrawtextfont.bin"), embedded::kGLDrawTextFont, embedded::kGLDrawTextFontSize);
  SelectGraphicsDriver(GLGraphicsDriverInstance(), GfxBackBuffer);
  SetAppTitleObserver(&glplatform::ApplyAppTitle);
}

}  // namespace corvex
