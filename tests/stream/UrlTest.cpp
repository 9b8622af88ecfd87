#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>

#include "runtime/Exceptions.h"
#include "stream/CStream.h"
#include "stream/EmbeddedFiles.h"
#include "stream/RamStream.h"
#include "stream/Url.h"
#include "tests/stream/StreamTestSupport.h"

namespace corvex {
namespace {

using testing_support::CountingBytes;
using testing_support::ReadFile;
using testing_support::RecordingStream;
using testing_support::ScopedTempDir;
using testing_support::WriteFile;

// Factories stay registered for the rest of the process, so each test claims protocols of its
// own and nothing depends on the order in which tests run.

// Claims one protocol with a recording stream and remembers every request it was shown.
class RecordingFactory : public TStreamFactory {
 public:
  explicit RecordingFactory(String protocol, std::string data = {})
      : protocol_(std::move(protocol)), data_(std::move(data)) {}

  Ref<TStream> CreateStream(const Url& url, const String& protocol, const String& path, bool readable,
                            bool writeable) override {
    ++calls;
    lastUrl = url.Target();
    lastProtocol = protocol;
    lastPath = path;
    lastReadable = readable;
    lastWriteable = writeable;
    if (protocol != protocol_) return Null;
    lastStream = New<RecordingStream>(data_);
    lastStream->failReads = failReads;
    return lastStream;
  }

  bool failReads = false;  // handed to the streams it makes
  int calls = 0;
  Ref<Object> lastUrl;
  String lastProtocol;
  String lastPath;
  bool lastReadable = false;
  bool lastWriteable = false;
  Ref<RecordingStream> lastStream;

 private:
  String protocol_;
  std::string data_;
};

TEST(OpenStreamTest, ProtocolsAreLowerCasedAndPathsHandedOnAsWritten) {
  auto factory = New<RecordingFactory>("urlcase");
  const Url url("UrlCase::Some::Path");
  auto stream = OpenStream(url, true, false);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream, factory->lastStream);
  EXPECT_EQ(factory->lastProtocol, String("urlcase"));
  EXPECT_EQ(factory->lastPath, String("Some::Path"));
  EXPECT_EQ(factory->lastUrl, url.Target());
  EXPECT_TRUE(factory->lastReadable);
  EXPECT_FALSE(factory->lastWriteable);
  OpenWriteStream("urlcase::");
  EXPECT_EQ(factory->lastPath, String(""));
  EXPECT_FALSE(factory->lastReadable);
  EXPECT_TRUE(factory->lastWriteable);
}

TEST(OpenStreamTest, PlainPathsOpenAsFilesAndOnlyNamesWithProtocolsReachFactories) {
  ScopedTempDir dir;
  WriteFile(dir.Path("plain.txt"), "abc");
  auto factory = New<RecordingFactory>("urlplain");
  auto stream = OpenReadStream(dir.Path("plain.txt").c_str());
  ASSERT_TRUE(IsA<TCStream>(stream));
  stream->Close();
  EXPECT_FALSE(OpenReadStream(dir.Path("missing.txt").c_str()));
  EXPECT_EQ(factory->calls, 0);

  EXPECT_FALSE(OpenReadStream("nosuch::x"));
  EXPECT_EQ(factory->calls, 1);
  EXPECT_FALSE(OpenReadStream(""));
  EXPECT_EQ(factory->lastProtocol, String(""));
  // Objects that are not streams are offered as they are, with no protocol.
  EXPECT_FALSE(OpenReadStream(New<Object>()));
  EXPECT_EQ(factory->lastPath, String(""));
  EXPECT_FALSE(OpenReadStream(Null));
  EXPECT_TRUE(factory->lastUrl.IsNull());
}

TEST(OpenStreamTest, TheLatestFactoryIsAskedFirst) {
  auto first = New<RecordingFactory>("urldup", "first");
  auto second = New<RecordingFactory>("urldup", "second");
  EXPECT_EQ(StreamFactoryHead(), second);
  EXPECT_EQ(second->Next(), first);
  auto stream = OpenReadStream("urldup::x");
  EXPECT_EQ(stream, second->lastStream);
  EXPECT_EQ(first->calls, 0);
}

// Fails while opening, as a factory that checks its stream may.
class ThrowingFactory : public TStreamFactory {
 public:
  Ref<TStream> CreateStream(const Url& url, const String& protocol, const String& path, bool readable,
                            bool writeable) override {
    if (protocol == String("urlabstract")) {
      return TStreamFactory::CreateStream(url, protocol, path, readable, writeable);
    }
    if (protocol == String("urlthrow")) throw TRuntimeException("bad header");
    return Null;
  }
};

TEST(OpenStreamTest, FactoryErrorsPassThrough) {
  New<ThrowingFactory>();
  EXPECT_THROW(OpenReadStream("urlthrow::x"), TRuntimeException);
  EXPECT_THROW(OpenReadStream("urlabstract::x"), TNullMethodException);
}

TEST(OpenStreamTest, AnOpenStreamIsWrappedWithoutOwnership) {
  auto factory = New<RecordingFactory>("urlwrapped");
  auto inner = New<RecordingStream>("abc");
  auto stream = OpenReadStream(inner);
  ASSERT_TRUE(IsA<TStreamStream>(stream));
  EXPECT_NE(stream, inner);
  EXPECT_EQ(stream->ReadByte(), 'a');
  stream->Close();
  EXPECT_EQ(inner->closes, 0);
  EXPECT_EQ(inner->ReadByte(), 'b');
  EXPECT_EQ(factory->calls, 0);
}

// Opens its path again as a URL, as wrapping protocols do.
class NestingFactory : public TStreamFactory {
 public:
  Ref<TStream> CreateStream(const Url&, const String& protocol, const String& path, bool readable,
                            bool writeable) override {
    if (protocol != String("urlnest")) return Null;
    Ref<TStream> inner = OpenStream(path, readable, writeable);
    return inner ? Ref<TStream>(TStreamStream::Create(inner)) : Ref<TStream>();
  }
};

TEST(OpenStreamTest, ProtocolsNest) {
  static const char kData[] = "embedded\n";
  InitRamStreamModule();
  New<NestingFactory>();
  const std::string name = testing_support::UniqueName("urltest.pac");
  ASSERT_TRUE(AddEmbeddedFile(name.c_str(), kData, sizeof kData - 1));
  auto nested = OpenReadStream(("URLNEST::Incbin::" + name).c_str());
  ASSERT_TRUE(nested);
  EXPECT_EQ(nested->ReadLine(), String("embedded"));
  EXPECT_FALSE(OpenReadStream(("urlnest::incbin::U" + name.substr(1)).c_str()));

  // Nesting is bounded: up to the limit a URL opens; beyond it, and for thousands of levels
  // (tens of kilobytes, as fuzzing produced), the open answers Null without exhausting the
  // stack or copying the rest of the URL at every level.
  const auto nest = [&](int32_t levels) {
    std::string url;
    for (int32_t i = 0; i < levels; ++i) url += "urlnest::";
    return url + "incbin::" + name;
  };
  const Ref<TStream> deep = OpenReadStream(nest(kMaxUrlNesting - 1).c_str());
  ASSERT_TRUE(deep);
  EXPECT_EQ(deep->ReadLine(), String("embedded"));
  EXPECT_FALSE(OpenReadStream(nest(kMaxUrlNesting).c_str()));
  EXPECT_FALSE(OpenReadStream(nest(20000).c_str()));
  // The count is per open: a refused one leaves none behind.
  EXPECT_TRUE(OpenReadStream(nest(kMaxUrlNesting - 1).c_str()));
}

// A stream that cannot tell its size: it delivers its bytes, then nothing.
class UnsizedStream : public TStream {
 public:
  explicit UnsizedStream(std::string data) : data_(std::move(data)) {}
  int32_t Read(void* buffer, int32_t count) override {
    requests.push_back(count);
    const auto n =
        static_cast<int32_t>(std::min<std::size_t>(static_cast<std::size_t>(count), data_.size() - pos_));
    std::memcpy(buffer, data_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += static_cast<std::size_t>(n);
    return n;
  }
  std::vector<int32_t> requests;

 private:
  std::string data_;
  std::size_t pos_ = 0;
};

TEST(LoadAllBytesTest, ReadsAStreamOfUnknownSizeInDoublingBlocks) {
  auto source = New<UnsizedStream>(CountingBytes(200000));
  const ByteArray bytes = LoadAllBytes(source);
  // Blocks of 64, 128 and 256 KiB, each asked to fill what is left of it, until one is not.
  EXPECT_EQ(source->requests, (std::vector<int32_t>{65536, 131072, 262144, 262144 - 3392}));
  ASSERT_EQ(bytes.Length(), 200000);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.Data()), 200000), CountingBytes(200000));
  EXPECT_EQ(LoadAllBytes(New<UnsizedStream>(std::string())).Length(), 0);
}

TEST(LoadAllBytesTest, ReadsASizedStreamIntoOneBuffer) {
  auto source = New<RecordingStream>(CountingBytes(3000));
  const ByteArray bytes = LoadAllBytes(source);
  EXPECT_EQ(source->requests, (std::vector<int32_t>{3000}));
  ASSERT_EQ(bytes.Length(), 3000);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.Data()), 3000), CountingBytes(3000));
  EXPECT_EQ(source->closes, 0);  // a stream handed in as the URL stays open
}

TEST(LoadAllBytesTest, StopsWhenTheStreamDeliversNothing) {
  auto source = New<RecordingStream>("abcde", 2, true);
  const ByteArray bytes = LoadAllBytes(source);
  EXPECT_EQ(bytes.Length(), 5);
  EXPECT_EQ(source->requests.size(), 4u);
}

TEST(LoadAllBytesTest, ClosesWhatItOpensAlsoOnErrors) {
  auto factory = New<RecordingFactory>("urlload", "xyz");
  EXPECT_EQ(LoadByteText("urlload::a"), String("xyz"));
  EXPECT_EQ(factory->lastStream->closes, 1);
  factory->failReads = true;
  EXPECT_THROW(LoadAllBytes("urlload::a"), TRuntimeException);
  EXPECT_EQ(factory->lastStream->closes, 1);
}

TEST(LoadAllBytesTest, UrlsThatDoNotOpenRaise) {
  ScopedTempDir dir;
  const std::string missing = dir.Path("missing/file.bin");
  EXPECT_THROW(LoadAllBytes(missing.c_str()), TStreamReadException);
  EXPECT_THROW(LoadByteText("urlnosuch::x"), TStreamReadException);
  EXPECT_THROW(SaveAllBytes(ByteArray{1}, missing.c_str()), TStreamWriteException);
  EXPECT_THROW(SaveByteText("x", missing.c_str()), TStreamWriteException);
}

TEST(LoadAllBytesTest, FilesRoundTrip) {
  ScopedTempDir dir;
  const String path(dir.Path("round.bin").c_str());
  const std::string content = CountingBytes(5000);
  SaveAllBytes(ByteArray::FromVector(std::vector<uint8_t>(content.begin(), content.end())), path);
  EXPECT_EQ(ReadFile(dir.Path("round.bin")), content);
  const ByteArray bytes = LoadAllBytes(path);
  EXPECT_EQ(
      std::string(reinterpret_cast<const char*>(bytes.Data()), static_cast<std::size_t>(bytes.Length())),
      content);

  SaveByteText(String(u"\u0141\u00E9"), path);
  EXPECT_EQ(ReadFile(dir.Path("round.bin")), "\x41\xE9");
  EXPECT_EQ(LoadByteText(path), String(u"A\u00E9"));
}

// Reads and writes objects, as data streams do.
class ObjectStream : public RecordingStream {
 public:
  Ref<Object> ReadObject() override { return New<TStringObject>("read"); }
  void WriteObject(const Ref<Object>& object) override { written = object->ToString().ToBytes(); }
};

class ObjectFactory : public TStreamFactory {
 public:
  Ref<TStream> CreateStream(const Url&, const String& protocol, const String&, bool, bool) override {
    if (protocol != String("urlobject")) return Null;
    stream = New<ObjectStream>();
    return stream;
  }
  Ref<ObjectStream> stream;
};

TEST(SerialisedTest, ObjectsTravelThroughTheOpenedStream) {
  auto factory = New<ObjectFactory>();
  EXPECT_EQ(LoadSerialised("urlobject::x")->ToString(), String("read"));
  EXPECT_EQ(factory->stream->closes, 1);
  SaveSerialised(New<TStringObject>("saved"), "urlobject::y");
  EXPECT_EQ(factory->stream->written, "saved");
  EXPECT_EQ(factory->stream->closes, 1);

  factory->stream = Null;
  EXPECT_TRUE(LoadSerialised("urlnosuch::x").IsNull());
  SaveSerialised(New<TStringObject>("lost"), "urlnosuch::x");
  EXPECT_TRUE(factory->stream.IsNull());
}

TEST(ResolveFileNameCaseTest, FindsTheSpellingOnDisk) {
  ScopedTempDir dir;
  std::filesystem::create_directories(dir.Path("data"));
  WriteFile(dir.Path("data/ReadMe.txt"), "x");
  const std::string base = dir.Path();
  auto resolve = [](const std::string& path) { return ResolveFileNameCase(path.c_str()).ToBytes(); };

  EXPECT_EQ(resolve(base + "/DATA/readme.TXT"), base + "/data/ReadMe.txt");
  EXPECT_EQ(resolve(base + "/data/ReadMe.txt"), base + "/data/ReadMe.txt");
  EXPECT_EQ(resolve(base + "/data/../data/ReadMe.txt"),
            base + "/data/../data/ReadMe.txt");  // exists as given
  EXPECT_EQ(resolve(base + "/DATA"), base + "/data");
  EXPECT_EQ(resolve(base + "/DATA/nothing.txt"), "");
  EXPECT_EQ(resolve(base + "/NOTHING/readme.txt"), "");
  EXPECT_EQ(resolve(""), "");

  // From the root: the first component is matched in "/".
  std::string upper = base;
  const std::size_t firstEnd = upper.find('/', 1);
  for (std::size_t i = 1; i < firstEnd; ++i) upper[i] = static_cast<char>(std::toupper(upper[i]));
  if (upper != base) {
    EXPECT_EQ(resolve(upper + "/DATA/README.TXT"), base + "/data/ReadMe.txt");
  }
}

TEST(ResolveFileNameCaseTest, RelativePathsStartInTheCurrentDirectory) {
  ScopedTempDir dir;
  std::filesystem::create_directories(dir.Path("data"));
  WriteFile(dir.Path("data/ReadMe.txt"), "x");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  EXPECT_EQ(ResolveFileNameCase("DATA/readme.TXT"), String("data/ReadMe.txt"));
  EXPECT_EQ(ResolveFileNameCase("Data"), String("data"));
  EXPECT_EQ(ResolveFileNameCase("./DATA/README.txt"), String("./data/ReadMe.txt"));
  EXPECT_EQ(ResolveFileNameCase("nothing/readme.txt"), String(""));
  // '<' and '>' never count as existing, yet a name holding them is still found by listing.
  WriteFile(dir.Path("a<b>"), "x");
  EXPECT_EQ(ResolveFileNameCase("A<B>"), String("a<b>"));
  std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace corvex
