#pragma once

#include "render/RendererBackend.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

namespace hv::bench {

// Takes every call and does nothing but count draws, state changes and uploads, so a
// benchmark measures the engine's own work in front of the backend.
class NullBackend : public RendererBackend {
public:
    class Target : public PictureBufferTarget {
    public:
        explicit Target(NullBackend* b) : backend(b) {}
        void uploadEntireBuffer(const std::vector<PictureVertex>&, const std::vector<uint32_t>&) override {
            ++backend->uploads;
        }
        void uploadVertexData(uint64_t, uint64_t, const PictureVertex*) override { ++backend->uploads; }
        void uploadIndexData(uint64_t, uint64_t, const uint32_t*) override { ++backend->uploads; }
        NullBackend* backend;
    };

    void printStatistics(std::ostream&) override {}
    void drawRecolouredTexture(const Colour&, uint64_t) override { ++draws; }
    void drawTexture(uint64_t) override { ++draws; }
    void setDrawState(const DrawState&) override { ++states; }
    void drawRange(uint64_t, uint64_t) override { ++draws; }
    void drawRecolouredRange(const Colour&, uint64_t, uint64_t) override { ++draws; }
    std::shared_ptr<PictureBufferTarget> createPictureBufferTarget() override { return std::make_shared<Target>(this); }
    void clearFrame(double) override {}
    void endFrame() override {}
    void clearDepth() override {}
    void readPixels(uint64_t, uint64_t, uint64_t, uint64_t, uint8_t*) override {}
    // The pixels count as used, so the work that made them is not optimised away.
    uint32_t newTexture(const uint8_t* pixels, double, double) override {
        benchmark::DoNotOptimize(pixels);
        return 1;
    }
    void deleteTexture(uint32_t) override {}
    void setClipRect(const Rect&) override {}
    void shutdown() override {}
    void startOffscreenRender(uint32_t) override {}
    void endOffscreenRender() override {}
    void setMultisample(bool) override {}

    uint64_t uploads = 0;
    uint64_t draws = 0;
    uint64_t states = 0;
};

} // namespace hv::bench
