// Frames of an 800 x 600 recording: one with a tenth of its pixels changed, one of full noise,
// and a page on grained paper scrolled by a few rows (every paper pixel changes, in a few
// thousand colours).
#include "render/GifWriter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
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

// A window of a taller page at a vertical offset: grained paper under flat discs with
// smoothed edges.
std::vector<uint8_t> scrolledPage(uint32_t offset) {
    std::vector<uint8_t> image(size_t(width) * height * 4, 255);
    std::mt19937 random{11};
    struct Disc {
        double x, y, radius;
        uint8_t r, g, b;
    };
    std::vector<Disc> discs;
    for (int i = 0; i < 40; ++i) {
        discs.push_back({double(random() % width), double(random() % (height + 100)), 20.0 + random() % 60,
                         uint8_t(random()), uint8_t(random()), uint8_t(random())});
    }
    for (uint32_t y = 0; y < height; ++y) {
        const double py = double(y + offset);
        for (uint32_t x = 0; x < width; ++x) {
            const double px = double(x);
            const double grain = 0.5 + 0.25 * std::sin(px * 0.37 + py * 0.11) + 0.25 * std::sin(py * 0.53 - px * 0.07);
            double r = 240 * (0.92 + 0.08 * grain), g = 236 * (0.92 + 0.08 * grain), b = 220 * (0.92 + 0.08 * grain);
            for (const Disc& d : discs) {
                const double coverage = std::clamp(d.radius - std::hypot(px - d.x, py - d.y) + 0.5, 0.0, 1.0);
                r += (d.r - r) * coverage;
                g += (d.g - g) * coverage;
                b += (d.b - b) * coverage;
            }
            uint8_t* p = &image[(size_t(y) * width + x) * 4];
            p[0] = uint8_t(std::lround(r));
            p[1] = uint8_t(std::lround(g));
            p[2] = uint8_t(std::lround(b));
        }
    }
    return image;
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

void BM_GifFrameScrolledPage(benchmark::State& state) { writeAlternating(state, scrolledPage(0), scrolledPage(3)); }

BENCHMARK(BM_GifFrameTenthChanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifFrameNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifFrameScrolledPage)->Unit(benchmark::kMillisecond);

} // namespace
