#pragma once

#include <cstdint>
#include <string>

namespace hv::test {

// A 16-bit PCM WAV file of a 440 Hz sine tone.
std::string wavBytes(double seconds, int rate, int channels);
// The 44-byte header of a PCM WAV file whose data chunk holds `dataBytes`.
std::string wavHeader(int rate, int channels, int bits, uint32_t dataBytes);

} // namespace hv::test
