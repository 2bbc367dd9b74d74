#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hv::test {

struct DecodedFrame {
    int delay = 0;        // hundredths of a second
    int transparent = -1; // transparent colour index, -1 for none
    int disposal = 0;
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> palette; // the frame's own table, 3 bytes an entry
    std::vector<uint8_t> indices;
    std::vector<uint8_t> composited; // the whole screen after this frame, 3 bytes a pixel
};

struct DecodedGif {
    bool ok = false;
    std::string error;
    int width = 0;
    int height = 0;
    bool loops = false; // a looping application extension is present
    int loopCount = -1;
    std::vector<DecodedFrame> frames;
};

// Decodes a whole file with giflib and composites each frame over the ones before it.
DecodedGif readGif(const std::string& path);

} // namespace hv::test
