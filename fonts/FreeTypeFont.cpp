#include "fonts/FreeTypeFont.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "pixmap/PixelFormats.h"
#include "runtime/Exceptions.h"
#include "runtime/LastError.h"
#include "runtime/Module.h"
#include "stream/Stream.h"

namespace corvex {
namespace {

// The library handle every face is opened with; made on the first Load and kept for the run.
FT_Library g_library = nullptr;

FT_Library Library() {
  if (g_library == nullptr && FT_Init_FreeType(&g_library) != 0) g_library = nullptr;
  return g_library;
}

// Row r (0 at the top) of a FreeType bitmap; a negative pitch stores the rows bottom up.
// FreeType's own words for an error code, from its error table.
const char* FreeTypeErrorText(FT_Error code) {
#undef FTERRORS_H_
#define FT_ERROR_START_LIST switch (code) {
#define FT_ERRORDEF(e, v, s) \
  case v:                    \
    return s;
#define FT_ERROR_END_LIST }
#include FT_ERRORS_H
  return "unknown error";
}

// Records "FreeType: <cause>" and answers Null; a file that does not open says why as files do.
std::nullptr_t FailFreeType(FT_Error code) {
  if (code == FT_Err_Cannot_Open_Resource && errno != 0) return FailNull(ErrnoText(errno));
  return FailNull(String("FreeType: ") + FreeTypeErrorText(code));
}

const uint8_t* BitmapRow(const FT_Bitmap& bitmap, int32_t r) {
  const int32_t pitch = bitmap.pitch;
  const int32_t rows = static_cast<int32_t>(bitmap.rows);
  const int64_t offset = pitch >= 0 ? int64_t{r} * pitch : int64_t{rows - 1 - r} * -int64_t{pitch};
  return bitmap.buffer + offset;
}

// Copies an 8-bit grey bitmap of `levels` grey levels into the alpha pixmap, stretching the
// levels to 0..255.
void CopyGrey(const FT_Bitmap& bitmap, int32_t levels, const Ref<TPixmap>& picture) {
  const int32_t top = levels > 1 && levels <= 256 ? levels - 1 : 255;
  for (int32_t r = 0; r < picture->Height(); ++r) {
    const uint8_t* source = BitmapRow(bitmap, r);
    uint8_t* dest = picture->PixelAddress(0, r);
    for (int32_t c = 0; c < picture->Width(); ++c) {
      dest[c] = static_cast<uint8_t>(std::min<int32_t>(source[c], top) * 255 / top);
    }
  }
}

// Expands a one-bit bitmap, most significant bit first, a set bit opaque.
void CopyMono(const FT_Bitmap& bitmap, const Ref<TPixmap>& picture) {
  for (int32_t r = 0; r < picture->Height(); ++r) {
    const uint8_t* source = BitmapRow(bitmap, r);
    uint8_t* dest = picture->PixelAddress(0, r);
    for (int32_t c = 0; c < picture->Width(); ++c) {
      dest[c] = (source[c >> 3] >> (7 - (c & 7))) & 1 ? 255 : 0;
    }
  }
}

// The glyph slot's bitmap as a PIXEL_ALPHA8 pixmap of its own; Null when it is too large, has
// no buffer (some bitmap fonts declare a box without any bits) or is of a kind FreeType cannot
// turn into grey levels.
Ref<TPixmap> AlphaPicture(const FT_Bitmap& bitmap) {
  if (bitmap.buffer == nullptr || !IsAcceptablePixmapSize(bitmap.width, bitmap.rows, 1)) return Null;
  const Ref<TPixmap> picture =
      NewPixmap(static_cast<int32_t>(bitmap.width), static_cast<int32_t>(bitmap.rows), PIXEL_ALPHA8, 4);
  if (!picture) return Null;
  switch (bitmap.pixel_mode) {
    case FT_PIXEL_MODE_GRAY:
      CopyGrey(bitmap, bitmap.num_grays, picture);
      return picture;
    case FT_PIXEL_MODE_MONO:
      CopyMono(bitmap, picture);
      return picture;
    default: {
      // Two- and four-bit grey (some embedded bitmaps) and the rest: FreeType unpacks them
      // to one byte per pixel, with as many levels as the source had.
      FT_Bitmap grey;
      FT_Bitmap_Init(&grey);
      const bool converted = FT_Bitmap_Convert(Library(), &bitmap, &grey, 1) == 0 &&
                             grey.width == bitmap.width && grey.rows == bitmap.rows;
      if (converted) CopyGrey(grey, grey.num_grays, picture);
      FT_Bitmap_Done(Library(), &grey);
      return converted ? picture : Null;
    }
  }
}

// The picture inside a transparent one-pixel border, so filtered scaling fades its edges out.
Ref<TPixmap> WithBorder(const Ref<TPixmap>& picture) {
  const Ref<TPixmap> framed = NewPixmap(picture->Width() + 2, picture->Height() + 2, PIXEL_ALPHA8, 4);
  if (!framed) return Null;
  framed->Fill(0);
  framed->PasteFrom(picture, 1, 1);
  return framed;
}

}  // namespace

FreeTypeFace& FreeTypeFace::operator=(FreeTypeFace&& other) noexcept {
  if (this != &other) {
    FreeTypeFace old(std::exchange(face_, other.Release()));
  }
  return *this;
}

FreeTypeFace::~FreeTypeFace() {
  if (face_ != nullptr) FT_Done_Face(face_);
}

FT_FaceRec_* FreeTypeFace::Release() noexcept {
  return std::exchange(face_, nullptr);
}

void TFreeTypeGlyph::GetRect(int32_t& outX, int32_t& outY, int32_t& outWidth, int32_t& outHeight) {
  outX = x;
  outY = y;
  outWidth = width;
  outHeight = height;
}

int32_t TFreeTypeFont::CharToGlyph(int32_t code) {
  const FT_UInt index = FT_Get_Char_Index(face_.Get(), static_cast<FT_ULong>(static_cast<uint32_t>(code)));
  // A character map may name glyphs the face does not have; those count as missing.
  if (index == 0 || index > static_cast<FT_UInt>(glyphs_.Length())) return -1;
  return static_cast<int32_t>(index) - 1;
}

Ref<TGlyph> TFreeTypeFont::LoadGlyph(int32_t index) {
  if (index < 0 || index >= glyphs_.Length()) return Null;
  if (glyphs_[index]) return glyphs_[index];
  const Ref<TFreeTypeGlyph> glyph = New<TFreeTypeGlyph>();
  glyphs_[index] = glyph;

  FT_Face face = face_.Get();
  if (FT_Load_Glyph(face, static_cast<FT_UInt>(index) + 1, FT_LOAD_DEFAULT) != 0) return glyph;
  const FT_GlyphSlot slot = face->glyph;
  // Rendered only when the picture will fit a pixmap (the outline's box plus FreeType's
  // rounding): at large sizes FreeType would otherwise allocate the bitmap of a huge glyph.
  const FT_Pos boxWidth = (slot->metrics.width >> 6) + 2;
  const FT_Pos boxHeight = (slot->metrics.height >> 6) + 2;
  const bool renderable =
      IsAcceptablePixmapSize(boxWidth, boxHeight, 1) && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0;
  glyph->advance = static_cast<float>(slot->advance.x >> 6);
  if (!renderable) {
    // Placement from the box FreeType measured; no picture.
    glyph->x = static_cast<int32_t>(slot->metrics.horiBearingX >> 6);
    glyph->y = ascender_ - static_cast<int32_t>(slot->metrics.horiBearingY >> 6);
    glyph->width = static_cast<int32_t>(slot->metrics.width >> 6);
    glyph->height = static_cast<int32_t>(slot->metrics.height >> 6);
    return glyph;
  }
  const FT_Bitmap& bitmap = slot->bitmap;
  glyph->x = slot->bitmap_left;
  glyph->y = ascender_ - slot->bitmap_top;
  glyph->width = static_cast<int32_t>(bitmap.width);
  glyph->height = static_cast<int32_t>(bitmap.rows);
  if (bitmap.width == 0 || bitmap.rows == 0) return glyph;  // a space: placement and advance only

  // A bitmap that cannot become a picture keeps its placement and advance and draws nothing.
  Ref<TPixmap> picture = AlphaPicture(bitmap);
  if (picture && (style_ & FontSmooth) != 0) picture = WithBorder(picture);
  if (!picture) return glyph;

  const int32_t border = (style_ & FontSmooth) != 0 ? 1 : 0;
  glyph->x -= border;
  glyph->y -= border;
  glyph->width = picture->Width();
  glyph->height = picture->Height();
  glyph->pixels = picture;
  return glyph;
}

float TFreeTypeFont::Kerning(int32_t left, int32_t right) {
  FT_Face face = face_.Get();
  if (!FT_HAS_KERNING(face) || left < 0 || right < 0 || left >= glyphs_.Length() ||
      right >= glyphs_.Length()) {
    return 0.0f;
  }
  FT_Vector kerning{};
  if (FT_Get_Kerning(face, static_cast<FT_UInt>(left) + 1, static_cast<FT_UInt>(right) + 1,
                     FT_KERNING_DEFAULT, &kerning) != 0) {
    return 0.0f;
  }
  return static_cast<float>(kerning.x >> 6);  // grid-fitted: whole pixels already
}

Ref<TFreeTypeFont> TFreeTypeFont::Load(const String& url, int32_t size, int32_t style) {
  const ErrorSubject subject(&url);
  if (size < 1) return FailNull("no such font size");
  // FreeType takes pixel sizes up to 65535 and quietly clamps larger ones.
  size = std::min(size, kMaxFreeTypePixelSize);
  FT_Library library = Library();
  if (library == nullptr) return FailNull("FreeType: cannot start the library");

  const Ref<TFreeTypeFont> font = New<TFreeTypeFont>();
  FT_Face face = nullptr;
  if (url.Find(String("::")) > 0) {
    try {
      font->fontData_ = LoadAllBytes(url);
    } catch (const TStreamException&) {
      return Null;
    } catch (const TTarnException&) {
      return Null;
    }
    if (font->fontData_.IsEmpty()) return FailNull("empty file");
    if (const FT_Error error =
            FT_New_Memory_Face(library, font->fontData_.Data(), font->fontData_.Length(), 0, &face)) {
      return FailFreeType(error);
    }
  } else {
    const std::string path = url.ToBytes();
    errno = 0;
    if (const FT_Error error = FT_New_Face(library, path.c_str(), 0, &face)) return FailFreeType(error);
  }
  font->face_ = FreeTypeFace(face);

  // A face without outlines only takes the sizes of its strikes: the search starts at the
  // largest of them rather than walking down from a large request one size at a time.
  if (!FT_IS_SCALABLE(face)) {
    int32_t largest = 0;
    for (int32_t i = 0; i < face->num_fixed_sizes; ++i) {
      largest = std::max(largest, static_cast<int32_t>((face->available_sizes[i].y_ppem + 32) >> 6));
    }
    size = std::min(size, largest);
  }
  while (size > 0 && FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)) != 0) --size;
  if (size == 0) return FailNull("FreeType: no usable pixel size");

  const FT_Size_Metrics& metrics = face->size->metrics;
  font->style_ = style;
  font->pixelSize_ = size;
  font->height_ = static_cast<int32_t>(metrics.height >> 6);
  font->ascender_ = static_cast<int32_t>(metrics.ascender >> 6);
  font->descender_ = static_cast<int32_t>(metrics.descender >> 6);
  font->glyphs_ = Array<Ref<TFreeTypeGlyph>>(static_cast<int32_t>(face->num_glyphs));
  return font;
}

Ref<TFont> TFreeTypeFontLoader::LoadFont(const Url& url, int32_t size, int32_t style) {
  const String text = url.Text();
  if (text.IsEmpty()) return Null;
  return TFreeTypeFont::Load(text, size, style);
}

void InitFreeTypeModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  InitPixmapModule();
  InitFontModule();
  AddFontLoader(New<TFreeTypeFontLoader>());
}

}  // namespace corvex
