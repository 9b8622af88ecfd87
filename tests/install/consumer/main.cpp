// A program built against the installed framework: starts every module and reads back a line
// it wrote through a text-encoding URL, then prints it ("consumer: caf\u00e9" in UTF-8 bytes
// read as Latin-1 would show the encoding is wrong).
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "stream/StdIO.h"
#include "stream/Url.h"

static void InitConsumer() {
  corvex::InitFrameworkModules();
  const corvex::String word(u"caf\u00e9");
  const corvex::Ref<corvex::TStream> out = corvex::OpenWriteStream("utf8::consumer.txt");
  out->WriteLine(word);
  out->Close();
  const corvex::Ref<corvex::TStream> in = corvex::OpenReadStream("utf8::consumer.txt");
  const corvex::String line = in->ReadLine();
  in->Close();
  corvex::PrintLine(line == word ? "consumer ok" : "consumer: text came back changed");
}

int main(int argc, char** argv) {
  return corvex::RunProgram(argc, argv, InitConsumer);
}
