#pragma once

#include <cstdint>
#include <string>

namespace hv::test {

// A 16-bit PCM WAV file of a 440 Hz sine tone.
std::string wavBytes(double seconds, int rate, int channels);
// The 44-byte header of a PCM WAV file whose data chunk holds `dataBytes`.
std::string wavHeader(int rate, int channels, int bits, uint32_t dataBytes);
// One Ogg page of the stream `serial` holding `body` split as `lacing` says (flags 2 opens it).
std::string oggPage(uint32_t serial, uint8_t flags, const std::string& lacing, const std::string& body);
// An Ogg page opening a stream with a Vorbis identification header of these blocks (log2).
std::string vorbisFirstPage(uint32_t serial, int rate, int shortBlock, int longBlock);

} // namespace hv::test
