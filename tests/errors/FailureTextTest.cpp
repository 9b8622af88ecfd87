// Bad inputs across the framework: each call keeps its specified result (Null, 0, a stream) and
// leaves a last-error line naming the thing and the cause. Texts from libraries (libpng, libjpeg,
// FreeType, SDL) are theirs, as Debian's builds word them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "audio/AudioDriver.h"
#include "audio/AudioSampleLoader.h"
#include "graphics/Graphics.h"
#include "net/HttpStream.h"
#include "net/OrbuHost.h"
#include "net/Socket.h"
#include "pac/Pac.h"
#include "pixmap/PixmapLoader.h"
#include "process/Process.h"
#include "runtime/LastError.h"
#include "runtime/Log.h"
#include "startup/FrameworkModules.h"
#include "stream/Url.h"
#include "tests/net/PythonHttpServer.h"
#include "tests/support/TestFiles.h"
#include "vex2d/Font.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;
constexpr const char* kDir = "failure-inputs";

void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream(std::string(kDir) + "/" + name, std::ios::binary) << bytes;
}

std::string SourceFile(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(test_files::ReadFileBytes(std::string(CORVEX_TEST_SOURCE_DIR) + "/" + path, bytes)) << path;
  return bytes;
}

// A little-endian BMP header (no pixels) announcing the given size at 24 bits.
std::string BmpHeader(int32_t width, int32_t height) {
  std::string header(54, '\0');
  auto put = [&header](std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<char>(value >> (8 * i));
  };
  header[0] = 'B';
  header[1] = 'M';
  put(10, 54);
  put(14, 40);
  put(18, static_cast<uint32_t>(width));
  put(22, static_cast<uint32_t>(height));
  header[26] = 1;
  header[28] = 24;
  return header;
}

// A port on 127.0.0.1 that nothing listens on: bound, then closed again.
int32_t ClosedPort() {
  const Ref<TSocket> socket = CreateTcpSocket();
  BindSocket(socket, 0);
  const int32_t port = SocketLocalPort(socket);
  CloseSocket(socket);
  return port;
}

struct BadInput {
  std::string what;
  std::function<bool()> call;  // true when the call gave its specified failure result
  String expected;             // LastErrorText afterwards
};

TEST(FailureTextTest, EachBadInputSaysWhy) {
  InitFrameworkModules();
  fs::create_directories(kDir);
  const std::string png = SourceFile("assets/examples/ship.png");
  const std::string wav = SourceFile("assets/examples/beep.wav");
  const std::string ogg = SourceFile("tests/audio/data/ogg_mono_22050.ogg");
  const std::string jpeg = SourceFile("tests/pixmap/data/jpeg_rgb.jpg");
  std::string crcDamaged = png;
  crcDamaged[20] ^= 0x01;  // inside IHDR's data, so its CRC no longer matches
  std::string notPcm = wav;
  notPcm[20] = 2;  // format tag 2: ADPCM
  WriteFile("empty.png", "");
  WriteFile("half.png", png.substr(0, png.size() / 2));
  WriteFile("crc.png", crcDamaged);
  WriteFile("garbage.png", std::string(300, 'g'));
  WriteFile("huge.bmp", BmpHeader(100000, 100000));
  WriteFile("sound.wav", wav);
  WriteFile("adpcm.wav", notPcm);
  WriteFile("ship.png", png);
  WriteFile("cut.ogg", ogg.substr(0, 200));
  WriteFile("cut.flac", SourceFile("tests/audio/data/flac_stereo_44100.flac").substr(0, 30));
  WriteFile("cut.jpg", jpeg.substr(0, 30));
  WriteFile("cmyk.jpg", SourceFile("tests/pixmap/data/jpeg_cmyk.jpg"));
  WriteFile("many.pac", "#frames: 999999999\n");

  testing_support::PythonHttpServer server(kDir);
  ASSERT_TRUE(server.Ready()) << server.Error();
  const String refused = String::FromInt(ClosedPort());
  const String at = String(kDir) + "/";
  auto path = [&at](const char* name) { return at + name; };
  auto opensNothing = [](const String& url) { return [url] { return !OpenReadStream(url); }; };
  auto noPixmap = [](const String& url) { return [url] { return !ReadPixmap(url); }; };
  auto noSample = [](const String& url) { return [url] { return !ReadAudioSample(url); }; };
  auto noFont = [](const String& url) { return [url] { return !LoadFont(url, 12, 0); }; };

  const std::vector<BadInput> table = {
      {"missing file", opensNothing(path("ship-missing.png")), path("ship-missing.png") + ": no such file"},
      {"directory", opensNothing(kDir), String(kDir) + ": is a directory"},
      {"unknown protocol", opensNothing("nosuch::x"), "nosuch::x: unknown protocol"},
      {"missing embedded file", opensNothing("incbin::nothere"), "incbin::nothere: no such embedded file"},
      {"nested missing file", opensNothing("utf8::" + path("none.txt")), path("none.txt") + ": no such file"},
      {"byte order over nothing", opensNothing("bigendian::incbin::x"), "incbin::x: no such embedded file"},
      {"pixmap missing", noPixmap(path("ship-missing.png")), path("ship-missing.png") + ": no such file"},
      {"pixmap empty", noPixmap(path("empty.png")), path("empty.png") + ": empty file"},
      {"pixmap truncated", noPixmap(path("half.png")), path("half.png") + ": PNG: data ends early"},
      {"pixmap CRC error", noPixmap(path("crc.png")), path("crc.png") + ": PNG: IHDR: CRC error"},
      {"JPEG truncated", noPixmap(path("cut.jpg")),
       path("cut.jpg") + ": JPEG: JPEG datastream contains no image"},
      {"JPEG wrong colour space", noPixmap(path("cmyk.jpg")),
       path("cmyk.jpg") + ": JPEG: unsupported colour space"},
      {"pixmap garbage", noPixmap(path("garbage.png")),
       path("garbage.png") + ": not an image in a known format"},
      {"pixmap wrong type", noPixmap(path("sound.wav")),
       path("sound.wav") + ": not an image in a known format"},
      {"pixmap absurd size", noPixmap(path("huge.bmp")),
       path("huge.bmp") + ": BMP: 100000 x 100000 image too large"},
      {"sound wrong type", noSample(path("ship.png")), path("ship.png") + ": not a sound in a known format"},
      {"sound not PCM", noSample(path("adpcm.wav")), path("adpcm.wav") + ": WAV: not PCM data"},
      {"sound truncated FLAC", noSample(path("cut.flac")),
       path("cut.flac") + ": FLAC: no complete stream header"},
      {"sound truncated Ogg", noSample(path("cut.ogg")),
       path("cut.ogg") + ": Ogg: no complete Vorbis headers"},
      {"font missing", noFont(path("font-missing.ttf")), path("font-missing.ttf") + ": no such file"},
      {"font wrong type", noFont(path("ship.png")), path("ship.png") + ": FreeType: unknown file format"},
      {"packed font absurd", [&] { return !TPac::Load(path("many.pac"), 0); },
       path("many.pac") + ": more than 262144 frames"},
      {"tcp refused", opensNothing("tcp::127.0.0.1:" + refused),
       "tcp::127.0.0.1:" + refused + ": connection refused"},
      {"http refused", opensNothing("http::127.0.0.1:" + refused + "/x"),
       "http::127.0.0.1:" + refused + "/x: connection refused"},
      {"http 404: the body still comes",
       [&] {
         const Ref<TStream> page = OpenReadStream(server.Url("/a.png"));
         const bool delivered =
             page && HttpStatus(page) == 404 && HttpReason(page) == String("File not found");
         if (page) page->Close();
         return delivered;
       },
       server.Url("/a.png") + ": HTTP 404 File not found"},
      {"pixmap over http 404", noPixmap(server.Url("/a.png")),
       server.Url("/a.png") + ": HTTP 404 File not found"},
      {"graphics absurd size", [] { return !OpenGraphics(100000, 100000, 0, 60, 0); },
       "OpenGraphics 100000 x 100000: no such window size"},
      {"audio driver unknown", [] { return SelectAudioDriver("Nonesuch") == 0; },
       "audio driver Nonesuch: no such driver"},
      {"process missing", [] { return !TProcess::Launch("corvex-no-such-program --flag"); },
       "corvex-no-such-program --flag: no such program"},
      {"shared objects refused",
       [&] { return OrbuDial(NewOrbuHost(), "127.0.0.1", refused.ToInt(), 300) == 0; },
       "Orbu dial 127.0.0.1:" + refused + ": no answer within 300 ms"},
  };
  for (const BadInput& row : table) {
    SCOPED_TRACE(row.what);
    SetLastError("stale");
    EXPECT_TRUE(row.call());
    EXPECT_EQ(LastErrorText(), row.expected);
  }
}

std::vector<String> g_logged;

void KeepLine(LogLevel level, const String& text) {
  if (level == LogLevel::Warning) g_logged.push_back(text);
}

TEST(FailureTextTest, DecoderWarningsGoToTheLogHandler) {
  InitFrameworkModules();
  // An ancillary chunk with a wrong CRC after IHDR: libpng warns, drops it and decodes the rest.
  std::string png = SourceFile("assets/examples/ship.png");
  png.insert(33, std::string("\0\0\0\1tEXtx\0\0\0\0", 13));
  SetLogHandler(&KeepLine, LogLevel::Warning);
  EXPECT_TRUE(ReadPixmap(test_files::MemoryStream(png)));
  SetLogHandler(nullptr);
  EXPECT_EQ(g_logged, std::vector<String>{String("PNG: tEXt: CRC error")});
}

TEST(FailureTextTest, FallingBackToTheNullAudioDriverIsLogged) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: no driver chosen yet
  EXPECT_EXIT(
      {
        setenv("SDL_AUDIODRIVER", "corvex-no-such-driver", 1);
        InitFrameworkModules();
        SetLogHandler([](LogLevel level, const String& text) {
          std::fprintf(stderr, "%s: %s\n", LogLevelName(level), text.ToBytes().c_str());
        });
        std::exit(CurrentAudioDriver()->Name() == String("Null") ? 0 : 1);
      },
      testing::ExitedWithCode(0), "warning: audio driver .*; using the \"Null\" audio driver");
}

TEST(FailureTextTest, HttpStatusOfAnAnsweredRequest) {
  InitFrameworkModules();
  fs::create_directories(kDir);
  WriteFile("hello.txt", "hello");
  testing_support::PythonHttpServer server(kDir);
  ASSERT_TRUE(server.Ready()) << server.Error();
  ClearLastError();
  const Ref<TStream> page = OpenReadStream(server.Url("/hello.txt"));
  ASSERT_TRUE(page);
  EXPECT_EQ(HttpStatus(page), 200);
  EXPECT_EQ(HttpReason(page), String("OK"));
  EXPECT_EQ(LastErrorText(), String());
  page->Close();
  EXPECT_EQ(HttpStatus(OpenReadStream("incbin::pactwo.pac")), 0);  // not an http stream
}

}  // namespace
}  // namespace corvex
