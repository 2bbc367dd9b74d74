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

// Depth levels of the front-to-back renderer are 256 keys apart: a 24-bit depth buffer keeps
// only the top 24 bits of key / 2^32, so neighbouring keys would otherwise share one value
// and a translucent element could not pass in front of the opaque one behind it.
constexpr int depthLevelShift = 8;
constexpr uint32_t depthKeyForLevel(int32_t level) { return uint32_t(level) << depthLevelShift; }

// The level every picture instance counts down from. The depth buffer is cleared for each
// instance, so one constant base serves them all, and an instance's vertex depths do not
// change when another instance scrolls out of view. It stays below 2^23 so that the
// conversion of the depth to 24-bit fixed point cannot round two levels together.
constexpr int32_t frontToBackDepthBase = 1 << 22;

} // namespace hv
