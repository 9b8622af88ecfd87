#include "corvex/Version.h"

namespace corvex {

String CorvexVersion() {
  return String(CORVEX_VERSION_STRING);
}

}  // namespace corvex
