// corvex-imagetool: reads any image the pixmap loaders accept, prints its size and pixel
// format, and optionally writes it as PNG or JPEG. Made for checking and converting art from
// scripts: one line of output, errors on standard error, and a distinct exit status per failure.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "pixmap/JpegCodec.h"
#include "pixmap/PixmapLoader.h"
#include "pixmap/PngCodec.h"
#include "startup/FrameworkModules.h"
#include "tools/common/CommandLine.h"

namespace {

using corvex::Ref;
using corvex::TPixmap;

using corvex::tools::kExitOk;
using corvex::tools::kExitUnreadable;
using corvex::tools::kExitUnwritable;
using corvex::tools::ParseNumber;

constexpr const char* kUsage =
    "Usage: corvex-imagetool [options] INPUT [OUTPUT]\n"
    "\n"
    "Reads INPUT, a TGA, PNG, JPEG or BMP image named by a file path or a stream URL\n"
    "(for example \"bigendian::art/ship.tga\"), and prints one line:\n"
    "  WIDTH HEIGHT FORMAT        for example \"640 480 PIXEL_RGB888\"\n"
    "When OUTPUT is given, the image is also written there as PNG or JPEG.\n"
    "\n"
    "Options:\n"
    "  -f, --format png|jpeg  format of OUTPUT (default: JPEG for a .jpg or .jpeg name,\n"
    "                         PNG otherwise)\n"
    "  -q, --quality N        JPEG quality, 1 to 100 (default 90)\n"
    "  -l, --level N          PNG compression level, 0 to 9 (default 6)\n"
    "  -h, --help             print this text and exit\n"
    "\n"
    "Exit status: 0 done; 1 INPUT could not be read or decoded; 2 wrong usage;\n"
    "3 OUTPUT could not be written.\n";

enum class OutputFormat { kFromName, kPng, kJpeg };

struct Options {
  std::string input;
  std::string output;
  OutputFormat format = OutputFormat::kFromName;
  int quality = 90;
  int level = 6;
};

int UsageError(const std::string& message) {
  return corvex::tools::UsageError("corvex-imagetool", message);
}

bool EndsWithIgnoringCase(const std::string& text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const char c = text[text.size() - suffix.size() + i];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != suffix[i]) return false;
  }
  return true;
}

// Fills `options` from the arguments; answers an exit status, or -1 to go on.
int ParseArguments(int argc, char** argv, Options& options) {
  std::string positional[2];
  int positionals = 0;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      if (argument == "--") {
        optionsEnded = true;
        continue;
      }
      if (argument == "-h" || argument == "--help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
      }
      const bool format = argument == "-f" || argument == "--format";
      const bool quality = argument == "-q" || argument == "--quality";
      const bool level = argument == "-l" || argument == "--level";
      if (!format && !quality && !level) return UsageError("unknown option '" + argument + "'");
      if (i + 1 == argc) return UsageError("option '" + argument + "' needs a value");
      const std::string value = argv[++i];
      if (format) {
        if (value == "png") {
          options.format = OutputFormat::kPng;
        } else if (value == "jpeg" || value == "jpg") {
          options.format = OutputFormat::kJpeg;
        } else {
          return UsageError("unknown output format '" + value + "' (use png or jpeg)");
        }
      } else if (quality && !ParseNumber(value, 1, 100, options.quality)) {
        return UsageError("JPEG quality must be a number from 1 to 100");
      } else if (level && !ParseNumber(value, 0, 9, options.level)) {
        return UsageError("PNG level must be a number from 0 to 9");
      }
      continue;
    }
    if (positionals == 2) return UsageError("too many arguments");
    positional[positionals++] = argument;
  }
  if (positionals == 0) return UsageError("no INPUT given");
  options.input = positional[0];
  options.output = positional[1];
  if (options.output.empty() && options.format != OutputFormat::kFromName) {
    return UsageError("--format needs an OUTPUT");
  }
  return -1;
}

int Run(const Options& options) {
  const Ref<TPixmap> pixmap = corvex::ReadPixmap(options.input.c_str());
  if (!pixmap) {
    std::fprintf(stderr, "corvex-imagetool: cannot read an image from '%s'\n", options.input.c_str());
    return kExitUnreadable;
  }
  std::printf("%d %d %s\n", pixmap->Width(), pixmap->Height(), corvex::PixelFormatName(pixmap->Format()));
  std::fflush(stdout);
  if (options.output.empty()) return kExitOk;

  const bool jpeg =
      options.format == OutputFormat::kJpeg ||
      (options.format == OutputFormat::kFromName &&
       (EndsWithIgnoringCase(options.output, ".jpg") || EndsWithIgnoringCase(options.output, ".jpeg")));
  const char* url = options.output.c_str();
  int32_t written = 0;
  try {
    written = jpeg ? corvex::EncodeJPEG(pixmap, url, options.quality)
                   : corvex::EncodePNG(pixmap, url, options.level);
  } catch (const corvex::TStreamException&) {
    written = 0;
  }
  if (written == 0) {
    std::fprintf(stderr, "corvex-imagetool: cannot write '%s'\n", options.output.c_str());
    return kExitUnwritable;
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = ParseArguments(argc, argv, options); status >= 0) return status;
  corvex::InitFrameworkModules();
  try {
    return Run(options);
  } catch (const corvex::Object& error) {
    // Whatever else the stream layer raises (a bad URL object, a protocol's own error).
    std::fprintf(stderr, "corvex-imagetool: %s\n", error.ToString().ToBytes().c_str());
    return kExitUnreadable;
  }
}
