#pragma once

#include <cstdint>
#include <string>

struct SDL_RWops;

namespace hv {

// A sound is decoded whole into memory, so only files the engine can hold are handed to the
// mixer: regular files of at most 2 GiB, WAV or Ogg Vorbis, that decode to at most an hour.
inline constexpr uint64_t largestSoundFileBytes = uint64_t(1) << 31;
inline constexpr double longestSoundSeconds = 3600.0;

// Opens the sound file once and reads its headers; the bytes the mixer then reads are these
// bytes, up to the size the file had when it was checked. Null, with the reason in `why` ("is
// not a regular file but a FIFO"), for anything the mixer must not be given.
SDL_RWops* openCheckedSound(const std::string& path, std::string& why);

} // namespace hv
