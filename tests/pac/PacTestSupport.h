// Helpers for the packed-font tests: a fresh directory per test to write indices and atlases
// into, atlases whose cells have colours of their own, and the modules the tests need.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "pac/Pac.h"
#include "pixmap/Pixmap.h"
#include "pixmap/PixmapLoader.h"
#include "pixmap/PngCodec.h"
#include "startup/FrameworkModules.h"
#include "stream/Url.h"

namespace corvex::pac_testing {

// The framework as a program has it: loaders, factories and the drivers the pac draws through.
inline void InitPacTestModules() {
  InitPacModule();
  InitFrameworkModules();
}

// A directory of its own for each test, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    path_ =
        std::filesystem::path(testing::TempDir()) / ("corvex-pac-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The path of a file in the folder, as the framework takes it.
  String Path(const std::string& name) const { return String((path_ / name).string().c_str()); }
  // Writes the bytes exactly (line ends included) and answers the file's path.
  String Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out << bytes;
    return Path(name);
  }

 private:
  std::filesystem::path path_;
};

// A width × height RGBA pixmap filled with one colour.
inline Ref<TPixmap> SolidPixmap(int32_t width, int32_t height, uint32_t argb) {
  const Ref<TPixmap> pixmap = NewPixmap(width, height, PIXEL_RGBA8888, 4);
  pixmap->Fill(argb);
  return pixmap;
}

// Writes the pixmap as a PNG file.
inline void WritePng(const Ref<TPixmap>& pixmap, const String& path) {
  ASSERT_EQ(EncodePNG(pixmap, Url(path), 1), 1) << path.ToBytes();
}

}  // namespace corvex::pac_testing
