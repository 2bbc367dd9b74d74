#include "host/SoundFile.h"

#include "core/PathProvider.h"

#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace hv {

namespace {

// A WAV file with more chunks than this before its sound is no recording.
constexpr int mostWavChunks = 4096;
constexpr const char* neitherWavNorOgg = "is neither a WAV nor an Ogg Vorbis file";

// The bytes read from `offset` on, fewer than `count` only at the end of the file or on an error.
size_t readUpTo(int fd, uint64_t offset, void* into, size_t count) {
    auto* bytes = static_cast<uint8_t*>(into);
    size_t done = 0;
    while (done < count) {
        ssize_t n = pread(fd, bytes + done, count - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

bool readAt(int fd, uint64_t offset, void* into, size_t count) { return readUpTo(fd, offset, into, count) == count; }

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

std::string kindOf(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return "something else";
    if (S_ISFIFO(info.st_mode)) return "a FIFO";
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "a device";
    if (S_ISDIR(info.st_mode)) return "a folder";
    if (S_ISSOCK(info.st_mode)) return "a socket";
    return "something else";
}

// The seconds a WAV file's data chunk holds, from its format; zero when it has no format or
// data chunk, which the mixer refuses on its own.
bool wavSeconds(int fd, uint64_t size, double& seconds, std::string& why) {
    bool haveFormat = false, haveData = false;
    uint32_t format = 0, channels = 0, rate = 0, bits = 0, dataBytes = 0;
    uint64_t at = 12;
    for (int chunk = 0; at + 8 <= size && !(haveFormat && haveData); ++chunk) {
        uint8_t head[8];
        if (chunk == mostWavChunks || !readAt(fd, at, head, sizeof head)) {
            why = "has more chunks than a WAV file holds";
            return false;
        }
        uint32_t length = le32(head + 4);
        if (std::memcmp(head, "fmt ", 4) == 0) {
            uint8_t fields[26] = {};
            if (length < 16 || !readAt(fd, at + 8, fields, std::min<size_t>(length, sizeof fields))) {
                why = "has a format chunk too short to read";
                return false;
            }
            format = le16(fields);
            channels = le16(fields + 2);
            rate = le32(fields + 4);
            bits = le16(fields + 14);
            if (format == 0xfffe && length >= 26) format = le16(fields + 24); // the extensible format's own
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0) {
            dataBytes = length;
            haveData = true;
        }
        at += 8 + uint64_t(length) + (length & 1);
    }
    if (!haveFormat || !haveData) return true;
    // ADPCM spends 4 bits a sample and more on its block headers, so this is the most it gives.
    if (format == 0x0002 || format == 0x0011) bits = 4;
    if (channels == 0 || rate == 0 || bits == 0) {
        why = "has no sample format the engine can measure";
        return false;
    }
    seconds = double(dataBytes) * 8.0 / (double(channels) * double(bits)) / double(rate);
    return true;
}

// The most an Ogg Vorbis file can decode to: no audio packet gives more than half its long
// block. Every page is counted, found by its capture pattern as a decoder finds them after a
// damaged one, so the pages' granule positions, which a file may set as it likes, are not needed.
bool oggSeconds(int fd, uint64_t size, double& seconds, std::string& why) {
    // The first page opens the stream with the identification header as its first packet.
    uint8_t page[27 + 255];
    uint8_t ident[30];
    if (!readAt(fd, 0, page, 27) || !(page[5] & 2) || page[26] == 0 || !readAt(fd, 27, page + 27, page[26]) ||
        page[27] < sizeof ident || !readAt(fd, 27 + page[26], ident, sizeof ident) || ident[0] != 1 ||
        std::memcmp(ident + 1, "vorbis", 6) != 0 || le32(ident + 7) != 0) {
        why = neitherWavNorOgg;
        return false;
    }
    const uint32_t serial = le32(page + 14);
    const uint32_t rate = le32(ident + 12);
    const uint32_t shortBlock = ident[28] & 15, longBlock = ident[28] >> 4;
    if (ident[11] == 0 || rate == 0 || shortBlock < 6 || longBlock > 13 || shortBlock > longBlock) {
        why = "has an Ogg Vorbis header that no decoder accepts";
        return false;
    }

    uint64_t packets = 0;
    constexpr size_t block = 1 << 20;
    std::vector<uint8_t> bytes(block + 3);
    for (uint64_t start = 0; start < size; start += block) {
        size_t length = size_t(std::min<uint64_t>(bytes.size(), size - start));
        if (!readAt(fd, start, bytes.data(), length)) {
            why = "cannot be read whole";
            return false;
        }
        for (size_t i = 0; i + 4 <= length && i < block; ++i) {
            if (std::memcmp(&bytes[i], "OggS", 4) != 0) continue;
            if (!readAt(fd, start + i, page, 27) || page[4] != 0) continue;
            if (le32(page + 14) != serial) {
                why = "holds more than one Ogg stream";
                return false;
            }
            uint8_t segments = page[26];
            if (!readAt(fd, start + i + 27, page + 27, segments)) break; // a page cut short ends the file
            for (int s = 0; s < segments; ++s) packets += page[27 + s] < 255;
            packets += segments > 0 && page[27 + segments - 1] == 255; // a packet the file may end in
        }
    }
    seconds = double(packets) * double(1u << (longBlock - 1)) / double(rate);
    return true;
}

struct Source {
    int fd;
    uint64_t size;
    uint64_t at = 0;
};

Source& sourceOf(SDL_RWops* rw) { return *static_cast<Source*>(rw->hidden.unknown.data1); }

Sint64 sourceSize(SDL_RWops* rw) { return Sint64(sourceOf(rw).size); }

Sint64 sourceSeek(SDL_RWops* rw, Sint64 offset, int whence) {
    Source& source = sourceOf(rw);
    Sint64 base = whence == RW_SEEK_SET ? 0 : whence == RW_SEEK_CUR ? Sint64(source.at) : Sint64(source.size);
    if (offset < -base || offset > INT64_MAX - base) return SDL_SetError("sound file: seek out of range");
    source.at = uint64_t(base + offset);
    return Sint64(source.at);
}

// Whole items only, like the standard library's reads; past the checked size there is nothing.
size_t sourceRead(SDL_RWops* rw, void* into, size_t size, size_t count) {
    Source& source = sourceOf(rw);
    if (size == 0 || source.at >= source.size) return 0;
    uint64_t asked = count > UINT64_MAX / size ? UINT64_MAX : uint64_t(count) * size;
    size_t wanted = size_t(std::min(asked, source.size - source.at));
    size_t done = readUpTo(source.fd, source.at, into, wanted);
    source.at += done;
    return done / size;
}

size_t sourceWrite(SDL_RWops*, const void*, size_t, size_t) {
    SDL_SetError("sound file: opened for reading");
    return 0;
}

int sourceClose(SDL_RWops* rw) {
    if (rw) {
        close(sourceOf(rw).fd);
        delete &sourceOf(rw);
        SDL_FreeRW(rw);
    }
    return 0;
}

} // namespace

SDL_RWops* openCheckedSound(const std::string& path, std::string& why) {
    uint64_t size = 0;
    int fd = openRegularFile(path, &size);
    if (fd < 0) {
        why = errno == ENODEV ? "is not a regular file but " + kindOf(path)
                              : std::string("cannot be opened: ") + std::strerror(errno);
        return nullptr;
    }
    double seconds = 0.0;
    uint8_t magic[12] = {};
    bool read = readAt(fd, 0, magic, std::min<uint64_t>(size, sizeof magic));
    if (size > largestSoundFileBytes) {
        why = "is " + std::to_string(size) + " bytes, more than the " + std::to_string(largestSoundFileBytes) +
              " a sound file may be";
    } else if (!read) {
        why = std::string("cannot be read: ") + std::strerror(errno);
    } else if (std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "WAVE", 4) == 0) {
        wavSeconds(fd, size, seconds, why);
    } else if (std::memcmp(magic, "OggS", 4) == 0) {
        oggSeconds(fd, size, seconds, why);
    } else {
        why = neitherWavNorOgg;
    }
    if (why.empty() && seconds > longestSoundSeconds) {
        why = "decodes to up to " + std::to_string(int64_t(std::ceil(seconds))) + " seconds of sound, more than the " +
              std::to_string(int64_t(longestSoundSeconds)) + " a sound may last";
    }
    SDL_RWops* rw = why.empty() ? SDL_AllocRW() : nullptr;
    if (!rw) {
        if (why.empty()) why = std::string("cannot be read: ") + SDL_GetError();
        close(fd);
        return nullptr;
    }
    rw->type = SDL_RWOPS_UNKNOWN;
    rw->size = sourceSize;
    rw->seek = sourceSeek;
    rw->read = sourceRead;
    rw->write = sourceWrite;
    rw->close = sourceClose;
    rw->hidden.unknown.data1 = new Source{fd, size};
    return rw;
}

} // namespace hv
