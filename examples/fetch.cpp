// Streams over the network: copies what a URL names to standard output, line by line. The URL
// may name a web page ("http::example.org/"), a TCP service that talks first
// ("tcp::127.0.0.1:7777"), a file, or any of them wrapped in a text encoding
// ("utf8::http::example.org/"): OpenReadStream picks the protocol, and the copy loop is the same
// for all of them. No window: a program needs graphics only to draw.
//
// Run: build/release/examples/corvex-example-fetch http::example.org/
// When the URL cannot be opened it says so on standard error and ends with a failure status.
#include "runtime/AppStrings.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "stream/StdIO.h"
#include "stream/Stream.h"
#include "stream/Url.h"

using namespace corvex;

namespace {

void RunExample() {
  InitFrameworkModules();
  if (AppArguments().Length() != 2) throw TRuntimeException("usage: corvex-example-fetch URL");
  const String url = AppArguments()[1];
  // [docs:fetch]
  // Null when the host cannot be reached, the file is missing or the protocol is unknown.
  const Ref<TStream> stream = OpenReadStream(url);
  if (!stream) throw TRuntimeException("Unable to open " + url);
  // An http stream starts at the body (the response's header lines are read already); a tcp
  // stream reads what the peer sends until it closes the connection.
  while (!stream->Eof()) PrintLine(stream->ReadLine());
  stream->Close();
  // [/docs:fetch]
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
