#pragma once

#include <cstdint>
#include <iosfwd>

namespace hv {

// Per-frame draw counters that a backend keeps and prints.
struct RendererStatistics {
    struct Counter {
        uint64_t total = 0;   // over completed frames
        uint64_t current = 0; // this frame so far
        uint64_t maximum = 0; // largest completed frame
    };

    uint64_t frameCount = 0;
    Counter drawRangeCalls;
    Counter drawRecolouredRangeCalls;
    Counter trianglesDrawn;
    Counter drawRecolouredTextureCalls;
    Counter drawTextureCalls;
    Counter bufferUpdates;
    Counter textureUpdates;

    static void add(Counter& counter, uint64_t n) { counter.current += n; }
    void endFrame();
    static void printCounter(std::ostream& out, const Counter& counter, uint64_t frames);
    // Seven lines, then every counter starts over.
    void print(std::ostream& out);
};

} // namespace hv
