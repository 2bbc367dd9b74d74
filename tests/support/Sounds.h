#pragma once

#include <string>

namespace hv::test {

// A 16-bit PCM WAV file of a 440 Hz sine tone; with `headerOnly`, only its 44-byte header.
std::string wavBytes(double seconds, int rate, int channels, bool headerOnly = false);

} // namespace hv::test
