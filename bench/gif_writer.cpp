// Frames of an 800 x 600 recording: one with a tenth of its pixels changed, one of full noise.
#include "render/GifWriter.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr uint32_t width = 800;
constexpr uint32_t height = 600;

std::vector<uint8_t> noise(uint32_t seed) {
    std::mt19937 random{seed};
    std::vector<uint8_t> image(size_t(width) * height * 4);
    for (uint8_t& v : image) v = uint8_t(random());
    return image;
}

// A page of flat-coloured shapes on paper (a few dozen colours, as vector art draws), and a
// copy with a tenth of its pixels changed to random colours.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> pageAndChange() {
    std::vector<uint8_t> page(size_t(width) * height * 4, 255);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &page[(size_t(y) * width + x) * 4];
            uint32_t block = (x / 80) + (y / 60);
            bool shape = block % 3 == 0;
            p[0] = shape ? uint8_t(block * 20) : 240;
            p[1] = shape ? uint8_t(255 - block * 12) : 236;
            p[2] = shape ? 90 : 220;
        }
    }
    std::vector<uint8_t> changed = page;
    std::mt19937 random{7};
    for (size_t n = 0; n < size_t(width) * height / 10; ++n) {
        size_t i = random() % (size_t(width) * height);
        changed[i * 4] = uint8_t(random());
        changed[i * 4 + 1] = uint8_t(random());
        changed[i * 4 + 2] = uint8_t(random());
    }
    return {page, changed};
}

void writeAlternating(benchmark::State& state, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    hv::GifWriter writer;
    if (!writer.begin("/dev/null", width, height, 2)) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    writer.writeFrame(a.data(), width, height, 2);
    bool second = true;
    for (auto _ : state) {
        writer.writeFrame((second ? b : a).data(), width, height, 2);
        second = !second;
    }
    writer.end();
}

void BM_GifFrameTenthChanged(benchmark::State& state) {
    auto [page, changed] = pageAndChange();
    writeAlternating(state, page, changed);
}

void BM_GifFrameNoise(benchmark::State& state) { writeAlternating(state, noise(1), noise(2)); }

BENCHMARK(BM_GifFrameTenthChanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifFrameNoise)->Unit(benchmark::kMillisecond);

} // namespace
