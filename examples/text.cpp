// Text in three kinds of font: the built-in 8 x 16 default font, a FreeType font loaded from
// a file (DejaVu Sans, from Debian's fonts-dejavu-core) at two sizes, and the packed atlas font
// of the demo (an index of glyph cells plus a PNG atlas); then UTF-8 text in Greek and
// Cyrillic, and one line with kerning off and on. Type to edit the line at the bottom (any
// script the font has); Backspace deletes; Escape or closing the window quits.
//
// Run: build/release/examples/corvex-example-text (the packed font lies in assets/pactwo beside
// it). Another TrueType or OpenType file can be named as the first argument.
// With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N frames.
#include <cmath>
#include <cstdlib>
#include <string>

#include "graphics/Graphics.h"
#include "pac/Pac.h"
#include "pac/PacImage.h"
#include "runtime/Exceptions.h"
#include "startup/AppStrings.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"
#include "vex2d/Vex2DDriver.h"

using namespace corvex;

namespace {

constexpr int32_t kWidth = 800;
constexpr int32_t kHeight = 600;
// Code 10 starts a new line in packed-font text.
constexpr const char* kPackedCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ  abcdefghijklmnopqrstuvwxyz\n"
    "0123456789  !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Whether the main loop goes on: no Escape, no close request, and under the frame limit.
bool KeepRunning(int32_t frame) {
  static const char* const limit = std::getenv("CORVEX_EXAMPLE_FRAMES");
  if (limit != nullptr && frame >= std::atoi(limit)) return false;
  return KeyHitCount(KEY_ESCAPE) == 0 && TakeTerminateRequest() == 0;
}

// A font file at a pixel size, smoothed; a font that does not load is an error here.
Ref<TImageFont> LoadSmoothFont(const String& path, int32_t size) {
  const Ref<TImageFont> font = LoadRendererFont(path, size, FontSmooth);
  if (!font) throw TRuntimeException("Unable to load the font " + path);
  return font;
}

// [docs:launch-path]
// A path from the command line, as the user meant it: start-up made the program's own folder
// current, so a relative path is taken from the folder the program was started in.
String FromLaunchDirectory(const String& path) {
  if (path.StartsWith("/")) return path;
  return LaunchDirectory() + "/" + path;
}
// [/docs:launch-path]

void RunExample() {
  // Set-up: the window and three fonts. The packed font's module is not among the framework's
  // own, so it is started here.
  InitFrameworkModules();
  InitPacModule();
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open an 800 x 600 window");
  SetBlendMode(BlendAlpha);
  SetClearColor(245, 240, 228);
  const String fontPath =
      AppArguments().Length() > 1 ? FromLaunchDirectory(AppArguments()[1]) : String(kDejaVu);
  // [docs:fonts]
  const Ref<TImageFont> large = LoadSmoothFont(fontPath, 36);
  const Ref<TImageFont> small = LoadSmoothFont(fontPath, 18);
  // The atlas "pactwo.png" is found beside the index by its name.
  const Ref<TPac> pac = TPac::Load("assets/pactwo/pactwo.pac", -1);
  if (!pac || !pac->image) throw TRuntimeException("Unable to load assets/pactwo/pactwo.pac");
  const Ref<TPacImage> packed = TPacImage::Create(pac, "font");
  packed->centred = 0;
  // [/docs:fonts]
  // [docs:kerning-fonts]
  // FontKerning applies the face's pair kerning in DrawText and TextWidth.
  const Ref<TImageFont> unkerned = LoadRendererFont(fontPath, 28, FontSmooth);
  const Ref<TImageFont> kerned = LoadRendererFont(fontPath, 28, FontSmooth | FontKerning);
  // [/docs:kerning-fonts]
  String typed = "Type here";

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    // Update: typed characters arrive one by one, already translated by the keyboard layout.
    for (int32_t c = NextChar(); c != 0; c = NextChar()) {
      if (c == KEY_BACKSPACE) {
        typed = typed.Slice(0, typed.Length() - 1);
      } else if (c >= 32 && typed.Length() < 40) {
        typed += static_cast<char16_t>(c);
      }
    }

    // Draw: each font, then the typed line measured to put a cursor after it.
    ClearScreen();
    // [docs:draw-text]
    SetDrawColor(40, 40, 40);
    SetRendererFont(Null);  // the default font
    DrawText("The default font: 8 x 16 pixels, always there.", 20, 20);
    SetRendererFont(large);
    SetDrawColor(150, 40, 40);
    DrawText("FreeType at 36 pixels", 20, 60);
    SetRendererFont(small);
    SetDrawColor(40, 40, 150);
    // String(const char*) takes bytes as Latin-1; other characters come in as UTF-16.
    DrawText(String(u"and at 18 pixels, with accents: caf\u00e9, na\u00efve, \u00c6r\u00f8"), 20,
             60.0f + static_cast<float>(large->Height()));
    SetDrawColor(30, 110, 60);
    packed->DrawText("The packed font", 20, 200, 0, 0, 0);
    // [/docs:draw-text]
    // Every character the packed font holds (32 to 126), three lines in one call, at 70 %.
    SetScale(0.7f, 0.7f);
    SetDrawColor(60, 60, 60);
    packed->DrawText(kPackedCharacters, 20, 250, 0, 0, 0);
    // Monospaced (each glyph its cell's width), every glyph rocking on its own.
    SetDrawColor(30, 110, 60);
    SetRotation(12 * std::sin(static_cast<float>(frame) / 20));
    packed->DrawText("monospaced, turning", 20, 360, 0, 1, 1);
    SetRotation(0);
    SetScale(1, 1);

    // [docs:unicode-text]
    // UTF-8 bytes, such as a literal in this UTF-8 source file, become a String with FromUtf8.
    SetRendererFont(small);
    SetDrawColor(40, 40, 40);
    DrawText(String::FromUtf8("UTF-8: Ελληνικά – Кириллица ✓"), 20, 270);
    if (unkerned && kerned) {
      SetRendererFont(unkerned);
      DrawText("AVATAR To  (kerning off)", 20, 310);
      SetRendererFont(kerned);
      DrawText("AVATAR To  (kerning on)", 20, 350);
    }
    // [/docs:unicode-text]

    SetRendererFont(large);
    SetDrawColor(20, 20, 20);
    DrawText(typed, 20, 480);
    const float cursorX = 20.0f + static_cast<float>(TextWidth(typed)) + 2;
    if (frame / 30 % 2 == 0) DrawRect(cursorX, 482, 3, static_cast<float>(TextHeight(typed)) - 4);
    SetRendererFont(Null);
    DrawText("Type to edit, Backspace deletes, Escape quits", 20, 560);
    FlipPage(-1);
  }

  // Clean-up.
  CloseMainGraphics();
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
