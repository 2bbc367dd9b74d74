#pragma once

#include "core/Range.h"
#include "render/RendererBackend.h"

#include <memory>

namespace hv {

// Stands in front of another backend and drops redundant work: consecutive drawRange calls
// over adjacent index runs become one call, and a draw state equal to the last one forwarded
// is not sent again.
class RendererBackendCache : public RendererBackend {
public:
    // Refuses an empty backend: every later call would have nowhere to go.
    bool init(std::shared_ptr<RendererBackend> backend);
    const std::shared_ptr<RendererBackend>& target() const { return target_; }

    // Draws the pending run, if any; the pending start stays where it was.
    void flush();

    void printStatistics(std::ostream& out) override;
    void drawRecolouredTexture(const Colour& colour, uint64_t texture) override;
    void drawTexture(uint64_t texture) override;
    void setDrawState(const DrawState& state) override;
    void drawRange(uint64_t start, uint64_t count) override;
    void drawRecolouredRange(const Colour& colour, uint64_t start, uint64_t count) override;
    std::shared_ptr<PictureBufferTarget> createPictureBufferTarget() override;
    void clearFrame(double scrollOffset) override;
    void endFrame() override;
    void clearDepth() override;
    void readPixels(uint64_t x, uint64_t y, uint64_t width, uint64_t height, uint8_t* destination) override;
    uint32_t newTexture(const uint8_t* pixels, double width, double height) override;
    void deleteTexture(uint32_t texture) override;
    void setClipRect(const Rect& rect) override;
    void shutdown() override;
    void startOffscreenRender(uint32_t texture) override;
    void endOffscreenRender() override;
    void setMultisample(bool on) override;
    uint64_t maxTextureSize() override { return target_->maxTextureSize(); }

    const Range& pendingRange() const { return pendingRange_; }
    const DrawState& lastState() const { return lastState_; }

private:
    // The target picks its program by the state and by whether it draws offscreen, so a state
    // equal to the last one still has to reach it after offscreen rendering starts or ends.
    void forgetLastState();

    std::shared_ptr<RendererBackend> target_;
    Range pendingRange_;
    DrawState lastState_;
};

} // namespace hv
