#pragma once

#include "render/RendererBackend.h"

#include <cstdint>
#include <map>
#include <vector>

namespace hv::test {

// A renderer backend that keeps the textures made through it (tightly packed RGBA rows as
// given) and ignores drawing. Stands in where no GL context is wanted.
class RecordingRenderer : public RendererBackend {
public:
    struct Texture {
        uint64_t width = 0;
        uint64_t height = 0;
        std::vector<uint8_t> pixels;
        // Alpha of the pixel at (x, row), rows counted in upload order.
        uint8_t alpha(uint64_t x, uint64_t row) const { return pixels[(row * width + x) * 4 + 3]; }
    };

    std::map<uint32_t, Texture> textures;
    uint32_t nextId = 1;
    int shutdownCount = 0;

    void printStatistics(std::ostream&) override {}
    void drawRecolouredTexture(const Colour&, uint64_t) override {}
    void drawTexture(uint64_t) override {}
    void setDrawState(const DrawState&) override {}
    void drawRange(uint64_t, uint64_t) override {}
    void drawRecolouredRange(const Colour&, uint64_t, uint64_t) override {}
    std::shared_ptr<PictureBufferTarget> createPictureBufferTarget() override { return nullptr; }
    void clearFrame(double) override {}
    void endFrame() override {}
    void clearDepth() override {}
    void readPixels(uint64_t, uint64_t, uint64_t, uint64_t, uint8_t*) override {}
    uint32_t newTexture(const uint8_t* pixels, double width, double height) override;
    void deleteTexture(uint32_t texture) override { textures.erase(texture); }
    void setClipRect(const Rect&) override {}
    void shutdown() override { ++shutdownCount; }
    void startOffscreenRender(uint32_t) override {}
    void endOffscreenRender() override {}
    void setMultisample(bool) override {}
};

} // namespace hv::test
