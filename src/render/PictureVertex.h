#pragma once

#include <cstdint>

namespace hv {

// One vertex of a picture buffer, laid out exactly as the GPU reads it (stride 16).
struct PictureVertex {
    float x = 0.0f;
    float y = 0.0f;
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 0;
    float depth = 0.0f; // depthKeyToFloat of the renderer's depth key
};

static_assert(sizeof(PictureVertex) == 16, "the GPU attribute layout reads 16-byte vertices");

// A 32-bit depth key as a fraction in 0..1, in single precision; vertex depths and the depths
// of textured draws share this scale.
inline float depthKeyToFloat(uint32_t key) { return float(key) / 4294967296.0f; }

} // namespace hv
