#include "process/PipeStream.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "process/ProcessPlatform.h"
#include "runtime/Exceptions.h"
#include "tests/process/ProcessProbe.h"

namespace corvex {
namespace {

// A pipe with a stream on each end, so the line reader can be fed byte by byte without a child.
class PipeStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    descriptorsBefore_ = probe::OpenDescriptorCount();
    platform::PipeHandle readEnd = platform::kNoPipe;
    platform::PipeHandle writeEnd = platform::kNoPipe;
    ASSERT_TRUE(platform::CreatePipe(readEnd, writeEnd));
    reader_ = TPipeStream::Create(readEnd, platform::kNoPipe);
    writer_ = TPipeStream::Create(platform::kNoPipe, writeEnd);
  }
  void TearDown() override {
    reader_->Close();
    writer_->Close();
    EXPECT_EQ(probe::OpenDescriptorCount(), descriptorsBefore_);
  }

  void Send(const std::string& bytes) {
    writer_->WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
  }

  Ref<TPipeStream> reader_;
  Ref<TPipeStream> writer_;
  int descriptorsBefore_ = 0;
};

TEST_F(PipeStreamTest, ReadLineKeepsAPartialLineUntilItsLineFeedArrives) {
  Send("ab\r\ncd");
  EXPECT_EQ(reader_->ReadLine(), String("ab"));
  EXPECT_EQ(reader_->ReadLine(), String(""));
  EXPECT_EQ(reader_->BytesAvailable(), 0);  // 'cd' waits in the line buffer
  Send("\n");
  EXPECT_EQ(reader_->ReadLine(), String("cd"));
  EXPECT_EQ(reader_->ReadLine(), String(""));
}

TEST_F(PipeStreamTest, ReadLineDropsOneCarriageReturnAtEachEndOnly) {
  Send(std::string("\r\n") + "\rabc\n" + "a\rb\n" + "\r\r\n" + "\r\rx\r\r\n" + "z\n");
  EXPECT_EQ(reader_->ReadLine(), String(""));
  EXPECT_EQ(reader_->ReadLine(), String("abc"));
  EXPECT_EQ(reader_->ReadLine(), String("a\rb"));
  EXPECT_EQ(reader_->ReadLine(), String(""));
  EXPECT_EQ(reader_->ReadLine(), String("\rx\r"));
  EXPECT_EQ(reader_->ReadLine(), String("z"));
}

TEST_F(PipeStreamTest, ReadLineNeverWaits) {
  EXPECT_EQ(reader_->ReadLine(), String(""));  // nothing waiting, nothing buffered
  EXPECT_EQ(writer_->ReadLine(), String(""));  // no read end at all
}

TEST_F(PipeStreamTest, ReadLineOverflowsOnlyWhenTheFullBufferHasMoreWaiting) {
  Send(std::string(4096, 'x'));
  EXPECT_EQ(reader_->ReadLine(), String(""));
  EXPECT_EQ(reader_->ReadLine(), String(""));  // full, but nothing more waits
  Send("y\n");
  for (int attempt = 0; attempt < 2; ++attempt) {  // the buffered bytes stay: it keeps failing
    try {
      reader_->ReadLine();
      ADD_FAILURE() << "no overflow";
    } catch (const TRuntimeException& error) {
      EXPECT_EQ(error.Message(), String("PipeStream ReadBuffer Overflow"));
    }
  }
  EXPECT_EQ(reader_->BytesAvailable(), 2);
}

TEST_F(PipeStreamTest, ReadLineTakesOnlyWhatFitsTheBuffer) {
  Send(std::string(4000, 'a'));
  EXPECT_EQ(reader_->ReadLine(), String(""));
  Send(std::string(95, 'b') + "\nc\n");  // only 96 of these 98 bytes fit
  const String line = reader_->ReadLine();
  EXPECT_EQ(line.Length(), 4095);
  EXPECT_EQ(line.At(4094), u'b');
  EXPECT_EQ(reader_->BytesAvailable(), 2);
  EXPECT_EQ(reader_->ReadLine(), String("c"));
}

TEST_F(PipeStreamTest, ReadAvailableAnswersWhatIsWaiting) {
  EXPECT_TRUE(reader_->ReadAvailable().IsEmpty());
  Send("xyz");
  EXPECT_EQ(reader_->BytesAvailable(), 3);
  const ByteArray bytes = reader_->ReadAvailable();
  ASSERT_EQ(bytes.Length(), 3);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "xyz");
  EXPECT_TRUE(reader_->ReadAvailable().IsEmpty());
}

TEST_F(PipeStreamTest, ReadsSeeTheDataThenZeroOnceTheWriterHasGone) {
  Send("abcd");
  writer_->Close();
  char data[4] = {};
  EXPECT_EQ(reader_->ReadBytes(data, 4), 4);
  EXPECT_EQ(std::string(data, 4), "abcd");
  EXPECT_EQ(reader_->Read(data, 1), 0);
  EXPECT_FALSE(reader_->Eof());                            // a pipe never reports its end ...
  EXPECT_THROW(reader_->ReadInt(), TStreamReadException);  // ... so reading past it fails
}

TEST_F(PipeStreamTest, WritingWithoutAReaderFailsInsteadOfRaisingASignal) {
  reader_->Close();
  const char byte = 'x';
  EXPECT_EQ(writer_->Write(&byte, 1), 0);
  EXPECT_THROW(writer_->WriteBytes(&byte, 1), TStreamWriteException);
  EXPECT_FALSE(writer_->WriteLine("lost"));

  // The signal the writes raised was taken back, and the thread's mask is as it was.
  sigset_t pending, mask;
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  EXPECT_FALSE(sigismember(&mask, SIGPIPE));
}

TEST_F(PipeStreamTest, CloseClosesBothEndsOnce) {
  platform::PipeHandle readEnd = platform::kNoPipe;
  platform::PipeHandle writeEnd = platform::kNoPipe;
  ASSERT_TRUE(platform::CreatePipe(readEnd, writeEnd));
  const Ref<TPipeStream> loop = TPipeStream::Create(readEnd, writeEnd);
  EXPECT_TRUE(loop->WriteLine("echo"));
  EXPECT_EQ(loop->ReadLine(), String("echo"));

  const int open = probe::OpenDescriptorCount();
  loop->Close();
  EXPECT_EQ(probe::OpenDescriptorCount(), open - 2);
  loop->Close();
  EXPECT_EQ(probe::OpenDescriptorCount(), open - 2);
  char byte = 'x';
  EXPECT_EQ(loop->Read(&byte, 1), 0);
  EXPECT_EQ(loop->Write(&byte, 1), 0);
  EXPECT_EQ(loop->BytesAvailable(), 0);
}

}  // namespace
}  // namespace corvex
