#pragma once

#include <string>

namespace hv::test {

// A 16-bit PCM WAV file of a 440 Hz sine tone.
std::string wavBytes(double seconds, int rate, int channels);

} // namespace hv::test
