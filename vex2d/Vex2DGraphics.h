// The renderer state: what a 2D driver attaches to each graphics context (colour, alpha, blend
// mode, clear colour, line width, transform, handle, origin, viewport and font), and the
// process-wide active state and driver that the renderer's module functions act on.
#pragma once

#include <cstdint>

#include "graphics/Graphics.h"
#include "vex2d/Vex2DDriver.h"

namespace corvex {

class TImageFont;

// The renderer state of one context. Every context keeps its own values across activations;
// Activate pushes them all to the driver again.
class TVex2DGraphics : public TGraphics {
 public:
  // Use Create.
  TVex2DGraphics(const Ref<TGraphics>& wrapped, const Ref<TVex2DDriver>& owner);
  ~TVex2DGraphics() override;

  // The 2D driver that made this state.
  Ref<TGraphicsDriver> Driver() const override;
  // The wrapped context's settings.
  void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                   int32_t& flags) const override;
  // Closes the wrapped context and forgets it and the driver; a second Close does nothing.
  void Close() override;
  // The wrapped context's answers (0, or 1 for the scale, once closed).
  int32_t Resize(int32_t width, int32_t height) override;
  int32_t SetFullScreen(int32_t enable) override;
  int32_t IsFullScreen() const override;
  float PixelScale() const override;

  // Pushes the whole state to the active driver through the module setters. Only call it on
  // the active state.
  virtual void ApplyState();
  // Makes this the active state, pushes the state, and on the first activation clears and
  // flips both pages. A viewport still covering the whole context follows its new size.
  virtual void Activate();
  // No state is active afterwards.
  static void Deactivate();
  // The active state, Null when none.
  static Ref<TVex2DGraphics> Current();
  // A new state around `wrapped` with the creation values, the viewport covering the context,
  // and the shared default font.
  static Ref<TVex2DGraphics> Create(const Ref<TGraphics>& wrapped, const Ref<TVex2DDriver>& owner);

  // Recomputes the matrix from rotation and scale (positive angles turn clockwise on screen,
  // scale applies before rotation) and hands it to the active driver. Only call it on the
  // active state.
  void UpdateMatrix();

  // The font of the text functions.
  Ref<TImageFont> Font() const;
  // Stores the font of the text functions (no driver call).
  void SetFont(const Ref<TImageFont>& newFont);

  // What the renderer's setters store: the drawing colour and alpha, the clear colour, the line
  // width, the rotation and scale and the matrix made of them, the viewport, and the origin.
  int32_t colorRed = 255, colorGreen = 255, colorBlue = 255;
  float alpha = 1.0f;
  int32_t clearRed = 0, clearGreen = 0, clearBlue = 0;
  float lineWidth = 1.0f;
  float rotation = 0.0f;  // degrees
  float scaleX = 1.0f, scaleY = 1.0f;
  float matrixXX = 1.0f, matrixXY = 0.0f, matrixYX = 0.0f, matrixYY = 1.0f;
  int32_t viewportX = 0, viewportY = 0, viewportWidth = 0, viewportHeight = 0;
  float originX = 0.0f, originY = 0.0f;
  // The negated handle: SetHandle (x, y) stores -x, -y.
  float handleOffsetX = 0.0f, handleOffsetY = 0.0f;
  int32_t blendMode = BlendMasked;
  Ref<TGraphics> graphics;
  Ref<TVex2DDriver> driver;
  // 0 until the first activation has cleared both pages.
  int32_t cleared = 0;
  // The context size the default viewport was last set for.
  int32_t followedWidth = 0, followedHeight = 0;

 private:
  // Moves a viewport that covers the whole context to the context's current size.
  void FollowContextSize();

  Ref<TImageFont> font_;
};

// The renderer's matrix for a rotation in degrees (clockwise on screen) and a scale applied
// before it: xx = cos·sx, xy = −sin·sy, yx = sin·sx, yy = cos·sy; exact at right angles.
void RendererMatrix(float degrees, float scaleX, float scaleY, float& xx, float& xy, float& yx, float& yy);

// The active renderer state and its driver, Null when no 2D context is current.
Ref<TVex2DGraphics> ActiveState();
Ref<TVex2DDriver> ActiveDriver();
// The active state and driver for code that draws; raise TRuntimeException ("No 2D graphics
// context is active") when there is none.
TVex2DGraphics& RequireActiveState();
TVex2DDriver& RequireActiveDriver();

// The default font every renderer state starts with, built when the first state is created
// and kept for the whole process; Null before that.
Ref<TImageFont> DefaultRendererFont();

// The renderer state module's initialiser.
void InitVex2DModule();

}  // namespace corvex
