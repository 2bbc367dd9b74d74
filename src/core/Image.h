#pragma once

#include <cstdint>

namespace hv {

// Swaps rows in place so the bottom row comes first; rows are `width` 32-bit pixels.
// GL reads frames back bottom-up and text surfaces come top-down.
void flipRowsVertically(uint64_t width, uint64_t height, uint32_t* pixels);

} // namespace hv
