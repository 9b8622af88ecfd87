// corvex-packfont: renders a font's characters into the cells of an atlas and writes a packed
// font (an index and its PNG atlas) that TPac::Load reads. It reads the result back through
// TPac and TPacImage and reports the advances and any measured texts, so what it prints is what
// programs will see.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fonts/FreeTypeFont.h"
#include "pac/PacImage.h"
#include "pac/PackedFontWriter.h"
#include "startup/FrameworkModules.h"
#include "tools/common/CommandLine.h"
#include "util/FileSystem.h"
#include "vex2d/Font.h"

namespace {

using corvex::PackedFontLayout;
using corvex::String;

using corvex::tools::kExitOk;
using corvex::tools::kExitUnreadable;
using corvex::tools::kExitUnwritable;
using corvex::tools::ParseNumber;

// Bound on the layout's numbers; the atlas itself is checked against the pixmap byte cap.
constexpr int kMaxLayoutSide = 65535;

constexpr const char* kUsage =
    "Usage: corvex-packfont [options] FONT OUTPUT.pac\n"
    "\n"
    "Renders the characters of FONT (any font the font loaders open, for example a TrueType\n"
    "file) into the cells of an atlas and writes OUTPUT.pac, the index, and OUTPUT.png, the\n"
    "atlas. Frame k holds character FIRST + k (group frame FIRST + k - 32, as text drawing\n"
    "looks characters up); its charW is the glyph's advance, and the glyph sits in its cell\n"
    "with its advance box centred.\n"
    "\n"
    "Options (defaults in brackets):\n"
    "  -s, --size PX        pixel size of the font [30]\n"
    "      --cell WxH       cell size in pixels [30x47]\n"
    "      --columns N      cells per atlas row [17]\n"
    "      --first CODE     character code of frame 0, 32 or more [32]\n"
    "      --count N        number of characters [95]\n"
    "      --atlas WxH      atlas size in pixels [512x512]\n"
    "      --line-top PX    pixels from a cell's top to the top of the font's line\n"
    "                       [the line centred in the cell]\n"
    "      --group NAME     group name of every frame [font]\n"
    "  -m, --measure TEXT   also print TEXT's width in proportional and monospaced mode\n"
    "                       (repeatable; '\\n' in TEXT starts a new line)\n"
    "  -h, --help           print this text and exit\n"
    "\n"
    "Exit status: 0 done; 1 FONT could not be opened; 2 wrong usage; 3 OUTPUT could not be\n"
    "written.\n";

struct Options {
  std::string font;
  std::string output;
  int size = 30;
  PackedFontLayout layout;
  std::vector<std::string> measures;
};

int UsageError(const std::string& message) {
  return corvex::tools::UsageError("corvex-packfont", message);
}

// Parses "WxH" with both sides within [1, high].
bool ParseSize(std::string_view text, int high, int& width, int& height) {
  const std::size_t x = text.find('x');
  return x != std::string_view::npos && ParseNumber(text.substr(0, x), 1, high, width) &&
         ParseNumber(text.substr(x + 1), 1, high, height);
}

// "\n" (backslash, n) becomes a line feed.
String WithLineFeeds(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return String::FromBytes(out);
}

// Fills `options` from the arguments; answers an exit status, or -1 to go on.
int ParseArguments(int argc, char** argv, Options& options) {
  std::vector<std::string> positional;
  bool optionsEnded = false;
  PackedFontLayout& layout = options.layout;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      positional.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument == "-h" || argument == "--help") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (i + 1 == argc) return UsageError("option '" + argument + "' needs a value or is unknown");
    const std::string value = argv[++i];
    bool good = true;
    if (argument == "-s" || argument == "--size") {
      good = ParseNumber(value, 1, corvex::kMaxFreeTypePixelSize, options.size);
    } else if (argument == "--cell") {
      good = ParseSize(value, kMaxLayoutSide, layout.cellWidth, layout.cellHeight);
    } else if (argument == "--columns") {
      good = ParseNumber(value, 1, kMaxLayoutSide, layout.columns);
    } else if (argument == "--first") {
      good = ParseNumber(value, 32, 0xFFFF, layout.first);
    } else if (argument == "--count") {
      good = ParseNumber(value, 1, 0x10000, layout.count);
    } else if (argument == "--atlas") {
      good = ParseSize(value, kMaxLayoutSide, layout.atlasWidth, layout.atlasHeight);
    } else if (argument == "--line-top") {
      good = ParseNumber(value, -kMaxLayoutSide, kMaxLayoutSide, layout.lineTop);
    } else if (argument == "--group") {
      layout.group = String::FromBytes(value);
    } else if (argument == "-m" || argument == "--measure") {
      options.measures.push_back(value);
    } else {
      return UsageError("unknown option '" + argument + "'");
    }
    if (!good) return UsageError("bad value '" + value + "' for " + argument);
  }
  if (positional.size() != 2) return UsageError("give FONT and OUTPUT.pac");
  options.font = positional[0];
  options.output = positional[1];
  const String problem = corvex::CheckPackedFontLayout(layout);
  if (!problem.IsEmpty()) return UsageError(problem.ToBytes());
  return -1;
}

// Reads the written font back and prints what programs will measure with it.
void Report(const Options& options, const corvex::PackedFontSheet& sheet) {
  const String index = String::FromBytes(options.output);
  const auto pac = corvex::TPac::Load(index, 0);
  if (!pac) return;  // written to a URL that does not read back
  const auto image = corvex::TPacImage::Create(pac, options.layout.group);
  int lowest = 0;
  int highest = 0;
  for (int32_t k = 0; k < image->frames.Length(); ++k) {
    const int32_t width = pac->charW[image->frames[k]];
    if (k == 0 || width < lowest) lowest = width;
    if (k == 0 || width > highest) highest = width;
  }
  std::printf("wrote %s and %s: %d frames of %dx%d, charW %d to %d, line height %d\n", options.output.c_str(),
              (corvex::WithoutExtension(index) + ".png").ToBytes().c_str(), pac->FrameCount(),
              options.layout.cellWidth, options.layout.cellHeight, lowest, highest, image->TextHeight(""));
  if (sheet.missingGlyphs > 0) std::printf("%d characters have no glyph in the font\n", sheet.missingGlyphs);
  if (sheet.clippedGlyphs > 0) std::printf("%d glyphs are cut off by their cells\n", sheet.clippedGlyphs);
  for (const std::string& text : options.measures) {
    const String measured = WithLineFeeds(text);
    std::printf("\"%s\": width %d (monospaced %d), height %d\n", text.c_str(),
                image->TextWidth(measured, 0, 0), image->TextWidth(measured, 0, 1),
                image->TextHeight(measured));
  }
}

int Run(const Options& options) {
  const auto font = corvex::LoadFont(String::FromBytes(options.font), options.size, 0);
  if (!font) {
    std::fprintf(stderr, "corvex-packfont: cannot open the font '%s'\n", options.font.c_str());
    return kExitUnreadable;
  }
  const corvex::PackedFontSheet sheet = corvex::RenderPackedFont(font, options.layout);
  const String comment = "packed by corvex-packfont from " +
                         corvex::FileNamePart(String::FromBytes(options.font)) + " at " +
                         String::FromInt(options.size) + " pixels";
  if (!corvex::SavePackedFont(sheet, options.layout, String::FromBytes(options.output), comment)) {
    std::fprintf(stderr, "corvex-packfont: cannot write '%s'\n", options.output.c_str());
    return kExitUnwritable;
  }
  Report(options, sheet);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = ParseArguments(argc, argv, options); status >= 0) return status;
  corvex::InitFrameworkModules();
  corvex::InitPacModule();
  try {
    return Run(options);
  } catch (const corvex::Object& error) {
    std::fprintf(stderr, "corvex-packfont: %s\n", error.ToString().ToBytes().c_str());
    return kExitUnwritable;
  }
}
