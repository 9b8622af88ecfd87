#include <gtest/gtest.h>

#include <algorithm>
#include <typeinfo>
#include <vector>

#include "data/DataStream.h"
#include "graphics/Graphics.h"
#include "pixmap/BmpLoader.h"
#include "pixmap/JpegCodec.h"
#include "pixmap/PixmapLoader.h"
#include "pixmap/PngCodec.h"
#include "pixmap/TgaLoader.h"
#include "runtime/Data.h"
#include "startup/FrameworkModules.h"
#include "stream/Bank.h"
#include "stream/EndianStream.h"
#include "stream/RamStream.h"
#include "stream/StdIO.h"
#include "stream/TextStream.h"
#include "system/Event.h"
#include "vex2d/GLVex2DDriver.h"

namespace corvex {
namespace {

template <class Chain>
std::vector<const std::type_info*> TypesFromHead(Ref<Chain> entry) {
  std::vector<const std::type_info*> types;
  for (; entry; entry = entry->Next()) types.push_back(&typeid(*entry.Get()));
  return types;
}

class FrameworkModulesTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { InitFrameworkModules(); }
};

TEST_F(FrameworkModulesTest, StreamFactoriesAreAskedNewestFirst) {
  const std::vector<const std::type_info*> expected = {
      &typeid(TTextStreamFactory), &typeid(TXEndianStreamFactory), &typeid(TRamStreamFactory),
      &typeid(TBankStreamFactory), &typeid(TDataStreamFactory)};
  const auto types = TypesFromHead(StreamFactoryHead());
  ASSERT_EQ(types.size(), expected.size());
  for (std::size_t i = 0; i < types.size(); ++i) EXPECT_EQ(*types[i], *expected[i]) << "position " << i;
}

TEST_F(FrameworkModulesTest, PixmapLoadersAreAskedTgaPngJpegBmp) {
  const std::vector<const std::type_info*> expected = {&typeid(TPixmapLoaderTGA), &typeid(TPixmapLoaderPNG),
                                                       &typeid(TPixmapLoaderJPG), &typeid(TPixmapLoaderBMP)};
  const auto types = TypesFromHead(PixmapLoaders());
  ASSERT_EQ(types.size(), expected.size());
  for (std::size_t i = 0; i < types.size(); ++i) EXPECT_EQ(*types[i], *expected[i]) << "position " << i;
}

TEST_F(FrameworkModulesTest, DataTypesRegisterBanksListsPixmapsInThatOrder) {
  std::vector<String> names;  // oldest first
  for (Ref<TDataType> type = DataTypes(); type; type = type->Next())
    names.insert(names.begin(), type->TypeName());
  const auto position = [&](const char* name) { return std::find(names.begin(), names.end(), String(name)); };
  ASSERT_NE(position("NOX.Bank.TBank"), names.end());
  EXPECT_LT(position("NOX.Bank.TBank"), position("NOX.LinkedList.TList"));
  EXPECT_LT(position("NOX.LinkedList.TList"), position("NOX.Pixmap.TPixmap"));
  EXPECT_NE(position("NOX.Pixmap.TPixmap"), names.end());
}

TEST_F(FrameworkModulesTest, DataTypesAndStandardStreamsExist) {
  for (const char* name : {"NOX.Bank.TBank", "NOX.LinkedList.TList", "NOX.Pixmap.TPixmap"}) {
    EXPECT_FALSE(FindDataType(name).IsNull()) << name;
  }
  EXPECT_FALSE(StdIOTextStream().IsNull());
}

TEST_F(FrameworkModulesTest, EventsHaveTheFirstHookAndTheOpenGL2DDriverIsCurrent) {
  EXPECT_EQ(EventHookId(), 0);
  EXPECT_TRUE(IsA<TGLVex2DDriver>(CurrentGraphicsDriver()));
  EXPECT_EQ(GetDefaultGraphicsFlags(), 2);
}

TEST_F(FrameworkModulesTest, InitialisingAgainChangesNothing) {
  const auto before = TypesFromHead(StreamFactoryHead());
  InitFrameworkModules();
  InitStreamModule();
  InitBankModule();
  EXPECT_EQ(TypesFromHead(StreamFactoryHead()).size(), before.size());
}

}  // namespace
}  // namespace corvex
