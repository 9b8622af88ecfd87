// What the platform provides for the software mixer's output: a device that consumes the
// mixer's 44100 Hz 16-bit stereo blocks on a mixing thread of its own.
#pragma once

#include <memory>

#include "audio/SonavoxMixer.h"

namespace corvex::platform {

// A closed output device; its `open` fails cleanly when the platform has no audio output.
std::unique_ptr<sonavox::audiodevice> NewAudioOutputDevice();

}  // namespace corvex::platform
