#include "core/Image.h"

#include <algorithm>

namespace hv {

void flipRowsVertically(uint64_t width, uint64_t height, uint32_t* pixels) {
    for (uint64_t i = 0; i < height / 2; ++i) {
        uint32_t* top = pixels + i * width;
        uint32_t* bottom = pixels + (height - 1 - i) * width;
        std::swap_ranges(top, top + width, bottom);
    }
}

} // namespace hv
