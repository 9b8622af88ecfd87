// Writes the seed corpora of the fuzz targets whose inputs the framework's own writers make
// (data streams, text streams, fonts): run it with the corpus folder when a format changes.
//   bash tools/build-fuzz.sh && build/fuzz/fuzz/corvex-fuzz-seeds fuzz/corpus
// The pixmap seeds are small images from tests/pixmap/data and assets/examples, the packed-font
// seeds the demo's index; see fuzz/corpus/README.md.
#include <cstdio>
#include <filesystem>
#include <string>

#include "data/DataStream.h"
#include "data/List.h"
#include "pixmap/PixelFormats.h"
#include "pixmap/Pixmap.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "stream/Bank.h"
#include "stream/CStream.h"
#include "stream/TextStream.h"
#include "stream/Url.h"
#include "vex2d/Image.h"

using namespace corvex;

namespace {

String g_folder;

Ref<TStream> Create(const char* relative) {
  const Ref<TStream> stream = TCStream::OpenFile(g_folder + "/" + relative, false, true);
  if (!stream) throw TRuntimeException(String("Unable to write ") + relative);
  return stream;
}

// One data-stream seed: the objects written one after another.
void WriteObjects(const char* relative, std::initializer_list<Ref<Object>> objects) {
  const Ref<TStream> file = Create(relative);
  const Ref<TDataStream> stream = TDataStream::Create(file);
  for (const Ref<Object>& object : objects) stream->WriteObject(object);
  file->Close();
}

Ref<TBank> Bank(int32_t size) {
  const Ref<TBank> bank = TBank::Create(size);
  for (int32_t i = 0; i < size; ++i) bank->PokeByte(i, i * 37);
  return bank;
}

void DataStreamSeeds() {
  WriteObjects("datastream/bank", {Bank(5)});
  const Ref<TBank> shared = Bank(3);
  const Ref<TList> inner = New<TList>();
  inner->AddLast(shared);
  const Ref<TList> list = New<TList>();
  list->AddLast(shared);
  list->AddLast(shared);
  list->AddLast(Null);
  list->AddLast(inner);
  WriteObjects("datastream/shared-list", {list, shared});
  const Ref<TPixmap> pixmap = TPixmap::Allocate(3, 2, PIXEL_RGBA8888, 4);
  pixmap->Fill(0x80FF4020);
  WriteObjects("datastream/pixmap", {pixmap, pixmap->ToFormat(PIXEL_GRAY8)});
  const Ref<TImage> image = TImage::Create(4, 4, 2, ImgMasked, 255, 0, 255);
  image->Lock(0, 1, 1)->Fill(0xFF00FF00);
  WriteObjects("datastream/image", {image});
}

// One text-stream seed: the encoding selector and the operations byte, then what `write` puts
// through a text stream of that encoding.
template <class Write>
void TextSeed(const char* relative, int32_t encoding, uint8_t operations, Write write) {
  const Ref<TStream> file = Create(relative);
  file->WriteByte(encoding - 1);
  file->WriteByte(operations);
  if (encoding <= ENCODING_UTF16LE) write(*TTextStream::Create(file, encoding));
  file->Close();
}

void TextStreamSeeds() {
  const char* names[] = {"latin1", "utf8", "utf16be", "utf16le"};
  for (int32_t encoding = ENCODING_LATIN1; encoding <= ENCODING_UTF16LE; ++encoding) {
    TextSeed((std::string("textstream/") + names[encoding - 1]).c_str(), encoding, 0x1B,
             [](TTextStream& text) {
               text.WriteLine(String(u"caf\u00e9 \u20ac line"));
               text.WriteInt(-42);
               text.WriteDouble(2.5);
               const uint8_t bytes[5] = {0, 1, 0xAB, 0xCD, 0xFF};
               text.Write(bytes, 5);
               text.WriteLine("last");
             });
  }
}

void FontSeed() {
  const Ref<TStream> file = Create("freetype/bitmap-a.bdf");
  file->WriteByte(11);  // 12 pixels
  const char* bdf =
      "STARTFONT 2.1\nFONT -corvex-seed-medium-r-normal--12-120-75-75-c-80-iso10646-1\nSIZE 12 75 75\n"
      "FONTBOUNDINGBOX 8 12 0 -2\nSTARTPROPERTIES 2\nFONT_ASCENT 10\nFONT_DESCENT 2\nENDPROPERTIES\nCHARS 1\n"
      "STARTCHAR A\nENCODING 65\nSWIDTH 666 0\nDWIDTH 8 0\nBBX 5 7 1 0\nBITMAP\n20\n50\n88\n88\nF8\n88\n88\n"
      "ENDCHAR\nENDFONT\n";
  file->WriteBytes(bdf, static_cast<int32_t>(std::char_traits<char>::length(bdf)));
  file->Close();
}

void MakeSeeds() {
  InitFrameworkModules();
  DataStreamSeeds();
  TextStreamSeeds();
  FontSeed();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvex-fuzz-seeds CORPUS_FOLDER\n");
    return 2;
  }
  // The start-up makes the program's own folder current: the corpus folder is taken first.
  g_folder = String(std::filesystem::absolute(argv[1]).string().c_str());
  return RunProgram(argc, argv, MakeSeeds);
}
