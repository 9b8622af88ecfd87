// The baseline of the socket benchmarks: whole buffers through plain send and recv.
#pragma once

#include <cstddef>

namespace corvex::bench {

// Sends every byte with send; false when the connection fails.
bool PlainSendAll(int socket, const void* buffer, std::size_t count);
// Receives exactly `count` bytes with recv; false when the connection ends first.
bool PlainReceiveAll(int socket, void* buffer, std::size_t count);
// One recv of at most `count` bytes; 0 at the end, -1 on failure.
long PlainReceive(int socket, void* buffer, std::size_t count);

}  // namespace corvex::bench
