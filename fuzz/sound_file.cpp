#include "host/SoundFile.h"

#include <SDL.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

// Sound file headers: any bytes are refused with a reason or handed on whole, and the mixer's
// reads of what was handed on stay within the file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int fd = memfd_create("sound", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) return 0;
    std::string why;
    SDL_RWops* source = hv::openCheckedSound("/proc/self/fd/" + std::to_string(fd), why);
    if (!source) {
        if (why.empty()) std::abort();
        return 0;
    }
    if (!why.empty() || SDL_RWsize(source) != Sint64(size)) std::abort();
    uint8_t buffer[4096];
    size_t total = 0;
    for (size_t n; (n = SDL_RWread(source, buffer, 1, sizeof buffer)) > 0;) total += n;
    if (total != size || SDL_RWseek(source, -1, RW_SEEK_SET) != -1) std::abort();
    SDL_RWclose(source);
    return 0;
}
