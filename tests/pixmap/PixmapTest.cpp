#include "pixmap/Pixmap.h"

#include <gtest/gtest.h>

#include <cstring>

namespace corvex {
namespace {

TEST(PixmapTest, AllocatePadsRowsAndAlignsMemory) {
  const Ref<TPixmap> rgb = NewPixmap(3, 2, PIXEL_RGB888, 4);
  EXPECT_EQ(rgb->Pitch(), 12);
  EXPECT_EQ(rgb->Capacity(), 24);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(rgb->Pixels()) % 16, 0u);
  EXPECT_TRUE(rgb->Parent().IsNull());
  EXPECT_EQ(NewPixmap(5, 1, PIXEL_GRAY8, 4)->Pitch(), 8);
  EXPECT_EQ(NewPixmap(5, 1, PIXEL_GRAY8, 1)->Pitch(), 5);
  EXPECT_EQ(NewPixmap(0, 0, PIXEL_RGBA8888, 4)->Capacity(), 0);

  const Ref<TPixmap> empty = New<TPixmap>();
  EXPECT_EQ(empty->Width(), 0);
  EXPECT_EQ(empty->Pixels(), nullptr);
}

TEST(PixmapTest, AllocateRefusesSizesItCannotRepresent) {
  EXPECT_TRUE(NewPixmap(-1, 4, PIXEL_GRAY8, 4).IsNull());
  EXPECT_TRUE(NewPixmap(4, -1, PIXEL_GRAY8, 4).IsNull());
  EXPECT_TRUE(NewPixmap(4, 4, 13, 4).IsNull());
  EXPECT_TRUE(NewPixmap(4, 4, PIXEL_GRAY8, 0).IsNull());
  // 65536 × 65536 × 4 bytes does not fit the 32-bit capacity.
  EXPECT_TRUE(NewPixmap(65536, 65536, PIXEL_RGBA8888, 4).IsNull());
}

TEST(PixmapTest, WindowsShareMemoryAndKeepTheirSourceAlive) {
  Ref<TPixmap> source = NewPixmap(8, 8, PIXEL_RGBA8888, 4);
  source->Fill(0);
  const Ref<TPixmap> window = source->SubWindow(2, 3, 4, 4);
  EXPECT_EQ(window->Pitch(), source->Pitch());
  EXPECT_EQ(window->Capacity(), -1);
  EXPECT_EQ(window->Parent(), source);
  window->SetPixel(0, 0, 0x11223344);
  EXPECT_EQ(source->GetPixel(2, 3), 0x11223344u);

  TPixmap* raw = source.Get();
  source = Null;  // the window holds the only reference now
  EXPECT_EQ(raw->RefCount(), 1);
  EXPECT_EQ(window->GetPixel(0, 0), 0x11223344u);

  uint8_t memory[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const Ref<TPixmap> wrapped = WrapPixmap(memory, 2, 1, 8, PIXEL_RGBA8888);
  EXPECT_EQ(wrapped->Capacity(), -1);
  EXPECT_EQ(wrapped->PixelAddress(1, 0), memory + 4);
}

TEST(PixmapTest, GetAndSetPixelFollowEachFormat) {
  const Ref<TPixmap> gray = NewPixmap(1, 1, PIXEL_GRAY8, 4);
  gray->Pixels()[0] = 64;
  EXPECT_EQ(gray->GetPixel(0, 0), 0xFF404040u);
  gray->SetPixel(0, 0, 0x00FF3366);  // (255 + 51 + 102) / 3
  EXPECT_EQ(gray->Pixels()[0], 136);

  const Ref<TPixmap> alpha = NewPixmap(1, 1, PIXEL_ALPHA8, 4);
  alpha->Pixels()[0] = 128;
  EXPECT_EQ(alpha->GetPixel(0, 0), 0x80FFFFFFu);

  const Ref<TPixmap> bgra = NewPixmap(1, 1, PIXEL_BGRA8888, 4);
  bgra->SetPixel(0, 0, 0x80112233);
  EXPECT_EQ(std::memcmp(bgra->Pixels(), "\x33\x22\x11\x80", 4), 0);
  EXPECT_EQ(bgra->GetPixel(0, 0), 0x80112233u);

  const Ref<TPixmap> rgba = NewPixmap(1, 1, PIXEL_RGBA8888, 4);
  rgba->SetPixel(0, 0, 0x80112233);
  EXPECT_EQ(std::memcmp(rgba->Pixels(), "\x11\x22\x33\x80", 4), 0);
  EXPECT_EQ(rgba->GetPixel(0, 0), 0x80112233u);

  const Ref<TPixmap> bgr = NewPixmap(1, 1, PIXEL_BGR888, 4);
  bgr->SetPixel(0, 0, 0x00112233);  // 24-bit formats read back opaque
  EXPECT_EQ(bgr->Pixels()[0], 0x33);
  EXPECT_EQ(bgr->GetPixel(0, 0), 0xFF112233u);

  const Ref<TPixmap> red = NewPixmap(1, 1, PIXEL_RED8, 4);
  red->Pixels()[0] = 7;
  red->SetPixel(0, 0, 0xFFFFFFFF);
  EXPECT_EQ(red->Pixels()[0], 7);
  EXPECT_EQ(red->GetPixel(0, 0), 0u);
}

TEST(PixmapTest, FillStoresTheColourOrClearsAnyFormat) {
  const Ref<TPixmap> rgb = NewPixmap(3, 2, PIXEL_RGB888, 4);
  std::memset(rgb->Pixels(), 0xAB, 24);
  rgb->Fill(0xFF102030);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(rgb->GetPixel(x, y), 0xFF102030u);
  }
  EXPECT_EQ(rgb->Pixels()[9], 0xAB);  // row padding is left alone

  const Ref<TPixmap> red = NewPixmap(4, 2, PIXEL_RED8, 4);
  std::memset(red->Pixels(), 9, 8);
  red->Fill(0x12345678);
  EXPECT_EQ(red->Pixels()[5], 9);
  red->Fill(0);
  EXPECT_EQ(red->Pixels()[5], 0);

  // A window clears only its own rectangle.
  const Ref<TPixmap> source = NewPixmap(4, 4, PIXEL_GRAY8, 4);
  std::memset(source->Pixels(), 5, 16);
  source->SubWindow(1, 1, 2, 2)->Fill(0);
  EXPECT_EQ(source->Pixels()[5], 0);
  EXPECT_EQ(source->Pixels()[7], 5);
  EXPECT_EQ(source->Pixels()[13], 5);
}

TEST(PixmapTest, PasteConvertsEachRowIntoPlace) {
  const Ref<TPixmap> target = NewPixmap(4, 3, PIXEL_RGBA8888, 4);
  target->Fill(0);
  const Ref<TPixmap> source = NewPixmap(2, 2, PIXEL_GRAY8, 4);
  source->Pixels()[0] = 10, source->Pixels()[1] = 20;
  source->PixelAddress(0, 1)[0] = 30, source->PixelAddress(0, 1)[1] = 40;
  target->PasteFrom(source, 1, 1);
  EXPECT_EQ(target->GetPixel(1, 1), 0xFF0A0A0Au);
  EXPECT_EQ(target->GetPixel(2, 2), 0xFF282828u);
  EXPECT_EQ(target->GetPixel(0, 1), 0u);
  EXPECT_EQ(target->GetPixel(3, 2), 0u);
}

TEST(PixmapTest, DuplicateAndToFormatMakeIndependentPixmaps) {
  const Ref<TPixmap> source = NewPixmap(8, 8, PIXEL_RGB888, 4);
  source->Fill(0xFF0000FF);
  const Ref<TPixmap> window = source->SubWindow(1, 1, 3, 2);
  window->SetPixel(2, 1, 0xFF00FF00);

  const Ref<TPixmap> copy = window->Duplicate();
  EXPECT_EQ(copy->Pitch(), 12);  // its own pitch, not the source's
  EXPECT_TRUE(copy->Parent().IsNull());
  EXPECT_EQ(copy->GetPixel(2, 1), 0xFF00FF00u);
  copy->SetPixel(0, 0, 0);
  EXPECT_EQ(source->GetPixel(1, 1), 0xFF0000FFu);

  const Ref<TPixmap> gray = window->ToFormat(PIXEL_GRAY8);
  EXPECT_EQ(gray->Format(), PIXEL_GRAY8);
  EXPECT_EQ(gray->Pixels()[0], 85);
  EXPECT_EQ(gray->PixelAddress(2, 1)[0], 85);
  EXPECT_TRUE(window->ToFormat(99).IsNull());
}

}  // namespace
}  // namespace corvex
