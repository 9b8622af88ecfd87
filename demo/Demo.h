// The demo: an 800 × 600 window with two diagonals, a style caption and a three-line paragraph
// in the embedded packed font that turns and pulses, until Escape. C switches between the
// paragraph as one rigid block and every glyph turning on its own in a monospaced line.
#pragma once

#include <cstdint>

#include "pac/PacImage.h"
#include "runtime/String.h"

namespace corvex {

// The window and the frame rate the demo opens graphics with.
inline constexpr int32_t kDemoWidth = 800;
inline constexpr int32_t kDemoHeight = 600;
inline constexpr int32_t kDemoHertz = 60;

// The URL of the demo's packed font and the group it draws.
inline constexpr const char* kDemoFontUrl = "incbin::pactwo.pac";
inline constexpr const char* kDemoFontGroup = "font";
// The caption before the style digit, and the paragraph (three lines, 128 characters).
inline constexpr const char* kDemoCaption = "[C]hange style: ";
inline constexpr const char* kDemoParagraph =
    "Centered Text dolor sit amet, consectetuer\n"
    "adipiscing elit, sed diam nonummy euismod\n"
    "dolore magna aliquam erat volutpat laoreet.";

// What changes from frame to frame: the style (0 block, 1 per glyph) and the phase in degrees.
struct DemoState {
  int32_t style = 0;
  int32_t angle = 0;
};

// The phase after `angle`: one less, and 360 after 0 (361 steps per cycle).
int32_t NextDemoAngle(int32_t angle);
// The paragraph's rotation in degrees and its scale (the same on both axes) at phase `angle`.
void DemoTransform(int32_t angle, float& rotation, float& scale);

// One frame's step: C toggles the style once, however often it was hit since the last frame, and
// the phase moves on.
void StepDemo(DemoState& state);

// Opens the window, sets the blend mode and clear colour and loads the font; answers the font's
// view with `centred` 0. Raises TRuntimeException when the window or the font cannot be had.
Ref<TPacImage> SetUpDemo();
// Draws one frame for the state: clear, diagonals, caption, paragraph; leaves the handle at
// (0, 0) and the transform at the identity. Does not flip.
void DrawDemoFrame(const Ref<TPacImage>& image, const DemoState& state);
// Sets up and runs frames paced at 60 per second until Escape is hit; C toggles the style.
void RunDemo();

}  // namespace corvex
