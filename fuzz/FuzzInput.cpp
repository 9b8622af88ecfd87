#include "fuzz/FuzzInput.h"

#include <limits>

#include "runtime/String.h"
#include "stream/RamStream.h"
#include "stream/Url.h"

namespace corvex::fuzz {
namespace {

const uint8_t* g_data = nullptr;
int32_t g_size = 0;
String g_name;

// Serves "fuzz::" + a path ending in the served name.
class TFuzzInputFactory : public TStreamFactory {
 public:
  Ref<TStream> CreateStream(const Url&, const String& protocol, const String& path, bool readable,
                            bool writeable) override {
    if (protocol != String("fuzz") || !path.EndsWith(g_name) || writeable || !readable) return Null;
    return InputStream(g_data, static_cast<size_t>(g_size));
  }
};

int32_t ClampedSize(size_t size) {
  return size > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                                         : static_cast<int32_t>(size);
}

}  // namespace

Ref<TStream> InputStream(const uint8_t* data, size_t size) {
  static uint8_t empty = 0;
  return TRamStream::Create(const_cast<uint8_t*>(size == 0 ? &empty : data), ClampedSize(size), true, false);
}

void ServeAsUrl(const uint8_t* data, size_t size, const char* name) {
  static const bool registered = (New<TFuzzInputFactory>(), true);
  (void)registered;
  g_data = data;
  g_size = ClampedSize(size);
  g_name = name;
}

}  // namespace corvex::fuzz
