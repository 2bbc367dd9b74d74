#include "support/Sounds.h"

#include <cmath>
#include <cstdint>

namespace hv::test {

std::string wavBytes(double seconds, int rate, int channels, bool headerOnly) {
    uint32_t frames = uint32_t(seconds * rate);
    uint32_t dataSize = frames * uint32_t(channels) * 2;
    std::string bytes;
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) bytes.push_back(char((v >> (8 * i)) & 0xff)); };
    auto u16 = [&](uint16_t v) { for (int i = 0; i < 2; ++i) bytes.push_back(char((v >> (8 * i)) & 0xff)); };
    bytes += "RIFF";
    u32(36 + dataSize);
    bytes += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(uint16_t(channels));
    u32(uint32_t(rate));
    u32(uint32_t(rate * channels * 2));
    u16(uint16_t(channels * 2));
    u16(16);
    bytes += "data";
    u32(dataSize);
    for (uint32_t i = 0; !headerOnly && i < frames; ++i) {
        auto sample = int16_t(8000 * std::sin(2 * M_PI * 440.0 * i / rate));
        for (int c = 0; c < channels; ++c) u16(uint16_t(sample));
    }
    return bytes;
}

} // namespace hv::test
