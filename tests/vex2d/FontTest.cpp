// The font-loader chain: which loader is asked first, what a failing chain answers, and that
// adding a loader twice cannot loop the chain. The chain lives for the whole process, so each
// test adds loaders of its own that answer only their own URLs.
#include "vex2d/Font.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace corvex {
namespace {

class TTaggedFont : public TFont {
 public:
  explicit TTaggedFont(int32_t fontTag) : tag(fontTag) {}
  int32_t Style() override { return 0; }
  int32_t Height() override { return tag; }
  int32_t CountGlyphs() override { return 0; }
  int32_t CharToGlyph(int32_t) override { return -1; }
  Ref<TGlyph> LoadGlyph(int32_t) override { return Null; }
  int32_t tag;
};

// Answers a font tagged with its own tag for `url`, counting the questions it gets.
class TTaggedLoader : public TFontLoader {
 public:
  TTaggedLoader(String answeredUrl, int32_t loaderTag) : url(std::move(answeredUrl)), tag(loaderTag) {}
  Ref<TFont> LoadFont(const Url& asked, int32_t size, int32_t style) override {
    ++questions;
    lastSize = size;
    lastStyle = style;
    if (asked.Text() != url) return Null;
    return New<TTaggedFont>(tag);
  }
  String url;
  int32_t tag;
  int32_t questions = 0;
  int32_t lastSize = 0;
  int32_t lastStyle = 0;
};

std::vector<const TFontLoader*> Chain() {
  std::vector<const TFontLoader*> links;
  for (const TFontLoader* link = FontLoaders().Get(); link != nullptr && links.size() < 1000;
       link = link->Next().Get()) {
    links.push_back(link);
  }
  return links;
}

TEST(FontLoaderChain, NewestLoaderIsAskedFirstAndTheFirstFontWins) {
  InitFontModule();
  const auto older = New<TTaggedLoader>(String("chain-order::font"), 1);
  const auto newer = New<TTaggedLoader>(String("chain-order::font"), 2);
  AddFontLoader(older);
  AddFontLoader(newer);
  EXPECT_EQ(FontLoaders().Get(), newer.Get());
  EXPECT_EQ(newer->Next().Get(), older.Get());

  const Ref<TFont> font = LoadFont(String("chain-order::font"), 24, 4);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->Height(), 2);
  EXPECT_EQ(newer->lastSize, 24);
  EXPECT_EQ(newer->lastStyle, 4);
  EXPECT_EQ(older->questions, 0) << "a loader behind the one that answered is not asked";
}

TEST(FontLoaderChain, UnknownUrlAsksEveryLoaderAndGivesNull) {
  InitFontModule();
  const auto first = New<TTaggedLoader>(String("chain-miss::a"), 1);
  const auto second = New<TTaggedLoader>(String("chain-miss::b"), 2);
  AddFontLoader(first);
  AddFontLoader(second);
  EXPECT_FALSE(LoadFont(String("chain-miss::nothing"), 12, 0));
  EXPECT_EQ(first->questions, 1);
  EXPECT_EQ(second->questions, 1);
  // A loader further down still answers what the ones in front of it do not.
  const Ref<TFont> font = LoadFont(String("chain-miss::a"), 12, 0);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->Height(), 1);
}

TEST(FontLoaderChain, LoaderAlreadyInTheChainIsNotLinkedAgain) {
  InitFontModule();
  const auto tail = New<TTaggedLoader>(String("chain-twice::t"), 1);
  const auto head = New<TTaggedLoader>(String("chain-twice::h"), 2);
  AddFontLoader(tail);
  AddFontLoader(head);
  const std::vector<const TFontLoader*> before = Chain();

  AddFontLoader(head);  // the head, which has a follower
  AddFontLoader(tail);  // further down, no follower of its own when it is the last link
  AddFontLoader(Null);
  EXPECT_EQ(Chain(), before);

  // Every loader is asked once: the chain has not been closed into a loop.
  EXPECT_FALSE(LoadFont(String("chain-twice::none"), 10, 0));
  EXPECT_EQ(head->questions, 1);
  EXPECT_EQ(tail->questions, 1);
}

}  // namespace
}  // namespace corvex
