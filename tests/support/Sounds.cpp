#include "support/Sounds.h"

#include <cmath>

namespace hv::test {

namespace {

void put(std::string& bytes, uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes.push_back(char((value >> (8 * i)) & 0xff));
}

} // namespace

std::string wavHeader(int rate, int channels, int bits, uint32_t dataBytes) {
    std::string bytes = "RIFF";
    put(bytes, 36 + uint64_t(dataBytes), 4);
    bytes += "WAVEfmt ";
    put(bytes, 16, 4);
    put(bytes, 1, 2);
    put(bytes, uint64_t(channels), 2);
    put(bytes, uint64_t(rate), 4);
    put(bytes, uint64_t(rate * channels * bits / 8), 4);
    put(bytes, uint64_t(channels * bits / 8), 2);
    put(bytes, uint64_t(bits), 2);
    bytes += "data";
    put(bytes, dataBytes, 4);
    return bytes;
}

std::string wavBytes(double seconds, int rate, int channels) {
    uint32_t frames = uint32_t(seconds * rate);
    std::string bytes = wavHeader(rate, channels, 16, frames * uint32_t(channels) * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        auto sample = int16_t(8000 * std::sin(2 * M_PI * 440.0 * i / rate));
        for (int c = 0; c < channels; ++c) put(bytes, uint16_t(sample), 2);
    }
    return bytes;
}

} // namespace hv::test
