#include "vex2d/Vex2DGraphics.h"

#include <cmath>
#include <numbers>

#include "runtime/Exceptions.h"
#include "runtime/Module.h"
#include "vex2d/ImageFont.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"

namespace corvex {

namespace {

// Each holds one counted reference while set: the active state must outlive any drawing call
// even when its last other owner lets go in between.
TVex2DGraphics* g_activeState = nullptr;
TVex2DDriver* g_activeDriver = nullptr;
// Built with the first state and kept until the process ends (one reference, never released).
TImageFont* g_defaultFont = nullptr;

template <class T>
void Hold(T*& slot, const Ref<T>& object) {
  T* const previous = slot;
  slot = object.Get();
  if (slot != nullptr) slot->AddRef();
  if (previous != nullptr) previous->Release();
}

// Sine and cosine of an angle in degrees; exact at the multiples of 90, where turned shapes
// must keep their edges on whole pixels.
void SinCosDegrees(float degrees, double& sine, double& cosine) {
  const double turn = std::fmod(static_cast<double>(degrees), 360.0);
  if (turn == std::floor(turn / 90.0) * 90.0) {
    constexpr double kSines[] = {0, 1, 0, -1};
    const int quarter = (static_cast<int>(turn / 90.0) + 4) % 4;
    sine = kSines[quarter];
    cosine = kSines[(quarter + 1) % 4];
    return;
  }
  const double radians = turn * (std::numbers::pi / 180.0);
  sine = std::sin(radians);
  cosine = std::cos(radians);
}

[[noreturn]] void ThrowNoActiveContext() {
  throw TRuntimeException(String("No 2D graphics context is active"));
}

}  // namespace

TVex2DGraphics::TVex2DGraphics(const Ref<TGraphics>& wrapped, const Ref<TVex2DDriver>& owner)
    : graphics(wrapped), driver(owner) {}

TVex2DGraphics::~TVex2DGraphics() = default;

Ref<TGraphicsDriver> TVex2DGraphics::Driver() const {
  return driver;
}

void TVex2DGraphics::GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                                 int32_t& flags) const {
  if (!graphics) {
    // A closed state draws nowhere and has nothing to report.
    width = height = depth = hertz = flags = 0;
    return;
  }
  graphics->GetSettings(width, height, depth, hertz, flags);
}

void TVex2DGraphics::Close() {
  if (!graphics) return;
  graphics->Close();
  graphics = Null;
  driver = Null;
}

int32_t TVex2DGraphics::Resize(int32_t width, int32_t height) {
  return graphics ? graphics->Resize(width, height) : 0;
}

int32_t TVex2DGraphics::SetFullScreen(int32_t enable) {
  return graphics ? graphics->SetFullScreen(enable) : 0;
}

int32_t TVex2DGraphics::IsFullScreen() const {
  return graphics ? graphics->IsFullScreen() : 0;
}

float TVex2DGraphics::PixelScale() const {
  return graphics ? graphics->PixelScale() : 1.0f;
}

void TVex2DGraphics::ApplyState() {
  SetBlendMode(blendMode);
  SetDrawColor(colorRed, colorGreen, colorBlue);
  SetDrawAlpha(alpha);
  SetClearColor(clearRed, clearGreen, clearBlue);
  SetLineWidth(lineWidth);
  SetRotation(rotation);
  SetScale(scaleX, scaleY);
  SetViewport(viewportX, viewportY, viewportWidth, viewportHeight);
  SetOrigin(originX, originY);
  SetHandle(-handleOffsetX, -handleOffsetY);
  SetRendererFont(font_);
}

void TVex2DGraphics::Activate() {
  Hold(g_activeState, Ref<TVex2DGraphics>(this));
  Hold(g_activeDriver, driver);
  FollowContextSize();
  ApplyState();
  if (cleared == 0) {
    // Set first: the flip hook may draw, and must not start this again.
    cleared = 1;
    ClearScreen();
    FlipPage(0);
    ClearScreen();
    FlipPage(0);
  }
}

void TVex2DGraphics::FollowContextSize() {
  int32_t width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
  GetSettings(width, height, depth, hertz, flags);
  if (width == followedWidth && height == followedHeight) return;
  // A viewport the program set for part of the context stays as it is.
  if (viewportX == 0 && viewportY == 0 && viewportWidth == followedWidth &&
      viewportHeight == followedHeight) {
    viewportWidth = width;
    viewportHeight = height;
  }
  followedWidth = width;
  followedHeight = height;
}

void TVex2DGraphics::Deactivate() {
  Hold(g_activeState, Ref<TVex2DGraphics>());
  Hold(g_activeDriver, Ref<TVex2DDriver>());
}

Ref<TVex2DGraphics> TVex2DGraphics::Current() {
  return Ref<TVex2DGraphics>(g_activeState);
}

Ref<TVex2DGraphics> TVex2DGraphics::Create(const Ref<TGraphics>& wrapped, const Ref<TVex2DDriver>& owner) {
  if (g_defaultFont == nullptr) g_defaultFont = TImageFont::CreateDefault().Detach();
  const Ref<TVex2DGraphics> state = New<TVex2DGraphics>(wrapped, owner);
  int32_t depth = 0, hertz = 0, flags = 0;
  wrapped->GetSettings(state->viewportWidth, state->viewportHeight, depth, hertz, flags);
  state->followedWidth = state->viewportWidth;
  state->followedHeight = state->viewportHeight;
  state->font_ = Ref<TImageFont>(g_defaultFont);
  return state;
}

void TVex2DGraphics::UpdateMatrix() {
  RendererMatrix(rotation, scaleX, scaleY, matrixXX, matrixXY, matrixYX, matrixYY);
  RequireActiveDriver().ApplyTransform(matrixXX, matrixXY, matrixYX, matrixYY);
}

Ref<TImageFont> TVex2DGraphics::Font() const {
  return font_;
}

void TVex2DGraphics::SetFont(const Ref<TImageFont>& newFont) {
  font_ = newFont;
}

void RendererMatrix(float degrees, float scaleX, float scaleY, float& xx, float& xy, float& yx, float& yy) {
  double sine = 0, cosine = 1;
  SinCosDegrees(degrees, sine, cosine);
  xx = static_cast<float>(cosine * scaleX);
  xy = static_cast<float>(-sine * scaleY);
  yx = static_cast<float>(sine * scaleX);
  yy = static_cast<float>(cosine * scaleY);
}

Ref<TVex2DGraphics> ActiveState() {
  return Ref<TVex2DGraphics>(g_activeState);
}

Ref<TVex2DDriver> ActiveDriver() {
  return Ref<TVex2DDriver>(g_activeDriver);
}

TVex2DGraphics& RequireActiveState() {
  if (g_activeState == nullptr) ThrowNoActiveContext();
  return *g_activeState;
}

TVex2DDriver& RequireActiveDriver() {
  if (g_activeDriver == nullptr) ThrowNoActiveContext();
  return *g_activeDriver;
}

Ref<TImageFont> DefaultRendererFont() {
  return Ref<TImageFont>(g_defaultFont);
}

void InitVex2DModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitGraphicsModule();
  InitPixmapModule();
  InitImageFontModule();  // new states start with the built-in font
}

}  // namespace corvex
