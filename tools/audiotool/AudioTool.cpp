// corvex-audiotool: reads any sound the sample loaders accept, prints its length, rate and
// sample format, and optionally writes its frames raw or as a 16-bit WAV file or plays it.
// Made for checking sound files from scripts: one line of output, errors on standard error,
// and a distinct exit status per failure.
#include <cstdio>
#include <string>

#include "audio/AudioDriver.h"
#include "audio/AudioSampleLoader.h"
#include "audio/Music.h"
#include "audio/WavCodec.h"
#include "startup/FrameworkModules.h"
#include "stream/StreamClosing.h"
#include "system/SystemDriver.h"
#include "tools/common/CommandLine.h"

namespace {

using corvex::Ref;
using corvex::TAudioSample;

using corvex::tools::kExitOk;
using corvex::tools::kExitUnreadable;
using corvex::tools::kExitUnwritable;
// The driver named with --driver did not start.
constexpr int kExitNoDriver = 4;

constexpr const char* kUsage =
    "Usage: corvex-audiotool [--raw FILE] [--wav FILE] [--play [--driver NAME]] INPUT\n"
    "\n"
    "Reads INPUT, a WAV, Ogg Vorbis, FLAC or MP3 sound named by a file path or a stream URL\n"
    "(for example \"incbin::shot.wav\"), and prints one line:\n"
    "  FRAMES HERTZ FORMAT        for example \"22050 44100 SAMPLE_STEREO16LE\"\n"
    "\n"
    "Options:\n"
    "  --raw FILE   also write the frames exactly as loaded, with no header\n"
    "  --wav FILE   also write the sound as a 16-bit PCM WAV file\n"
    "  --play       then play the sound, streamed as music, through the current audio\n"
    "               driver until it ends\n"
    "  --driver NAME  play through the driver of that name (\"Sonavox\", \"OpenAL\", \"Null\"...)\n"
    "  -h, --help   print this text and exit\n"
    "\n"
    "Exit status: 0 done; 1 INPUT could not be read or decoded (nothing is printed on\n"
    "standard output); 2 wrong usage; 3 an output file could not be written; 4 the\n"
    "driver named with --driver could not start.\n";

struct Options {
  std::string input;
  std::string raw;
  std::string wav;
  bool play = false;
  std::string driver;
};

int UsageError(const std::string& message) {
  return corvex::tools::UsageError("corvex-audiotool", message);
}

// Fills `options` from the arguments; answers an exit status, or -1 to go on.
int ParseArguments(int argc, char** argv, Options& options) {
  bool haveInput = false;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      if (argument == "--") {
        optionsEnded = true;
        continue;
      }
      if (argument == "-h" || argument == "--help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
      }
      if (argument == "--play") {
        options.play = true;
        continue;
      }
      if (argument != "--raw" && argument != "--wav" && argument != "--driver")
        return UsageError("unknown option '" + argument + "'");
      if (i + 1 == argc) return UsageError("option '" + argument + "' needs a value");
      (argument == "--raw" ? options.raw : argument == "--wav" ? options.wav : options.driver) = argv[++i];
      continue;
    }
    if (haveInput) return UsageError("too many arguments");
    options.input = argument;
    haveInput = true;
  }
  if (!haveInput) return UsageError("no INPUT given");
  if (!options.driver.empty() && !options.play) return UsageError("--driver needs --play");
  return -1;
}

// Writes the sample's frames as they are; false when the file does not open.
bool WriteRaw(const Ref<TAudioSample>& sample, const std::string& path) {
  const Ref<corvex::TStream> stream = corvex::OpenWriteStream(path.c_str());
  if (!stream) return false;
  corvex::UseAndClose(stream, [&] { stream->WriteBytes(sample->Samples(), sample->ByteCount()); });
  return true;
}

// Writes the sample as 16-bit little-endian PCM, converted from its own format.
bool WriteWav(const Ref<TAudioSample>& sample, const std::string& path) {
  const int32_t format = corvex::SampleFormatChannels[sample->Format()] == 1 ? corvex::SAMPLE_MONO16LE
                                                                             : corvex::SAMPLE_STEREO16LE;
  return corvex::EncodeWAV(sample->Convert(format), path.c_str()) == 1;
}

// Plays the input once through the chosen driver, streamed as music, and waits until it has
// ended. A driver that cannot stream plays the loaded sample instead.
int Play(const std::string& input, const Ref<TAudioSample>& sample, const std::string& driver) {
  if (!driver.empty() && corvex::SelectAudioDriver(driver.c_str()) == 0) {
    std::fprintf(stderr, "corvex-audiotool: the audio driver '%s' did not start\n", driver.c_str());
    return kExitNoDriver;
  }
  Ref<corvex::TMusic> music;
  try {
    music = corvex::OpenMusic(input.c_str());
  } catch (const corvex::Object&) {
    music = corvex::Null;
  }
  if (corvex::PlayMusic(music, 0) == 1) {
    while (corvex::MusicIsPlaying(music)) corvex::SleepMillis(10);
  } else {
    const Ref<corvex::TSound> sound = corvex::CurrentAudioDriver()->CreateSound(sample, 0);
    const Ref<corvex::TChannel> channel = sound ? sound->Play(corvex::Null) : corvex::Null;
    while (channel && corvex::ChannelIsPlaying(channel)) corvex::SleepMillis(10);
  }
  // The output device still holds a few blocks ahead of what has been heard.
  corvex::SleepMillis(250);
  return kExitOk;
}

int Run(const Options& options) {
  Ref<TAudioSample> sample;
  try {
    sample = corvex::ReadAudioSample(options.input.c_str());
  } catch (const corvex::Object& error) {
    // A stream that cannot seek, or whatever else the stream layer raises for this URL.
    std::fprintf(stderr, "corvex-audiotool: %s\n", error.ToString().ToBytes().c_str());
    return kExitUnreadable;
  }
  if (!sample) {
    std::fprintf(stderr, "corvex-audiotool: cannot read a sound from '%s'\n", options.input.c_str());
    return kExitUnreadable;
  }
  std::printf("%d %d %s\n", sample->Length(), sample->Hertz(), corvex::SampleFormatName(sample->Format()));
  std::fflush(stdout);

  for (const auto& [path, write] : {std::pair{options.raw, &WriteRaw}, std::pair{options.wav, &WriteWav}}) {
    if (path.empty()) continue;
    bool written = false;
    try {
      written = write(sample, path);
    } catch (const corvex::Object&) {
      written = false;
    }
    if (!written) {
      std::fprintf(stderr, "corvex-audiotool: cannot write '%s'\n", path.c_str());
      return kExitUnwritable;
    }
  }
  return options.play ? Play(options.input, sample, options.driver) : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = ParseArguments(argc, argv, options); status >= 0) return status;
  corvex::InitFrameworkModules();
  return Run(options);
}
