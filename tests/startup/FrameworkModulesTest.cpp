#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>
#include <vector>

#include "audio/AudioDriver.h"
#include "audio/FlacLoader.h"
#include "audio/Mp3Loader.h"
#include "audio/OggLoader.h"
#include "audio/OpenALLibrary.h"
#include "audio/WavCodec.h"
#include "data/DataStream.h"
#include "graphics/Graphics.h"
#include "net/HttpStream.h"
#include "net/SocketStream.h"
#include "pixmap/BmpLoader.h"
#include "pixmap/JpegCodec.h"
#include "pixmap/PixmapLoader.h"
#include "pixmap/PngCodec.h"
#include "pixmap/TgaLoader.h"
#include "process/Process.h"
#include "runtime/Data.h"
#include "startup/FrameworkModules.h"
#include "stream/Bank.h"
#include "stream/EndianStream.h"
#include "stream/RamStream.h"
#include "stream/StdIO.h"
#include "stream/TextStream.h"
#include "system/Event.h"
#include "system/SystemDriver.h"
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
      &typeid(TTextStreamFactory),    &typeid(THTTPStreamFactory), &typeid(TSocketStreamFactory),
      &typeid(TXEndianStreamFactory), &typeid(TRamStreamFactory),  &typeid(TBankStreamFactory),
      &typeid(TDataStreamFactory)};
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

TEST_F(FrameworkModulesTest, AudioDriversAreFoundOpenALThenTheMixerThenNull) {
  std::vector<String> expected = {"Sonavox", "Sonavox Multimedia", "Null"};
  if (openal::LibraryLoaded()) expected.insert(expected.begin(), "OpenAL");
  const Array<String> names = AudioDriverNames();
  ASSERT_EQ(names.Length(), static_cast<int32_t>(expected.size()));
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(names[static_cast<int32_t>(i)], expected[i]) << "position " << i;
}

TEST_F(FrameworkModulesTest, SoundLoadersAreAskedWavOggFlacMp3AndTheNullDriverIsRegistered) {
  const auto types = TypesFromHead(AudioSampleLoaders());
  ASSERT_EQ(types.size(), 4U);
  EXPECT_EQ(*types[0], typeid(TAudioSampleLoaderWAV));
  EXPECT_EQ(*types[1], typeid(TAudioSampleLoaderOGG));
  EXPECT_EQ(*types[2], typeid(TAudioSampleLoaderFLAC));
  EXPECT_EQ(*types[3], typeid(TAudioSampleLoaderMP3));
  EXPECT_EQ(HasAudioDriver("Null"), 1);
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

// Exit actions run newest first: the child-process module, which starts near the end, kills the
// listed children before the exit actions of the modules that started earlier (the network's
// shut-down among them) run. The system driver, which starts early and launches the desktop's
// tools, must not start it in its own place.
TEST(FrameworkModulesDeathTest, ChildrenAreKilledBeforeEarlierModulesEnd) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: no module started yet
  EXPECT_EXIT(
      {
        InitSystemModule();
        std::atexit([] {
          const Ref<TList> listed = ProcessList();
          std::fprintf(stderr, "listed at exit: %d", listed ? listed->Count() : -1);
        });
        InitProcessModule();
        if (!TProcess::Launch("sleep 100")) std::exit(2);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "^listed at exit: 0$");
}

}  // namespace
}  // namespace corvex
