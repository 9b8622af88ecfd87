// A program built against the installed framework: starts every module and reads back a line
// it wrote through a text-encoding URL; built through the CMake package, it also reads a file
// compiled into it. Says "consumer ok" when both come back unchanged.
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "stream/StdIO.h"
#include "stream/Url.h"

#ifdef CONSUMER_EMBEDS
#include "stream/EmbeddedFiles.h"
namespace corvex::embedded {
extern const uint8_t kConsumerNote[];
extern const int32_t kConsumerNoteSize;
}  // namespace corvex::embedded
#endif

// The embedded note's first line, or what it should be when nothing is embedded.
static corvex::String EmbeddedNote() {
#ifdef CONSUMER_EMBEDS
  corvex::AddEmbeddedFile("note.txt", corvex::embedded::kConsumerNote, corvex::embedded::kConsumerNoteSize);
  const corvex::Ref<corvex::TStream> note = corvex::OpenReadStream("incbin::note.txt");
  if (!note) return "(no note)";
  const corvex::String line = note->ReadLine();
  note->Close();
  return line;
#else
  return "embedded note";
#endif
}

static void InitConsumer() {
  corvex::InitFrameworkModules();
  const corvex::String word(u"caf\u00e9");
  const corvex::Ref<corvex::TStream> out = corvex::OpenWriteStream("utf8::consumer.txt");
  out->WriteLine(word);
  out->Close();
  const corvex::Ref<corvex::TStream> in = corvex::OpenReadStream("utf8::consumer.txt");
  const corvex::String line = in->ReadLine();
  in->Close();
  if (line != word) {
    corvex::PrintLine("consumer: text came back changed");
  } else if (EmbeddedNote() != "embedded note") {
    corvex::PrintLine("consumer: the embedded note reads " + EmbeddedNote());
  } else {
    corvex::PrintLine("consumer ok");
  }
}

int main(int argc, char** argv) {
  return corvex::RunProgram(argc, argv, InitConsumer);
}
