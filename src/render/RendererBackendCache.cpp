#include "render/RendererBackendCache.h"

#include <limits>

namespace hv {

bool RendererBackendCache::init(std::shared_ptr<RendererBackend> backend) {
    if (!backend) return false;
    target_ = std::move(backend);
    return true;
}

void RendererBackendCache::flush() {
    if (pendingRange_.count > 0) target_->drawRange(pendingRange_.start, pendingRange_.count);
    pendingRange_.count = 0;
}

void RendererBackendCache::printStatistics(std::ostream& out) { target_->printStatistics(out); }

void RendererBackendCache::drawRecolouredTexture(const Colour& colour, uint64_t texture) {
    flush();
    target_->drawRecolouredTexture(colour, texture);
}

void RendererBackendCache::drawTexture(uint64_t texture) {
    flush();
    target_->drawTexture(texture);
}

void RendererBackendCache::setDrawState(const DrawState& state) {
    if (state == lastState_) return;
    flush();
    lastState_ = state;
    target_->setDrawState(state);
}

void RendererBackendCache::drawRange(uint64_t start, uint64_t count) {
    if (start == pendingRange_.end()) {
        pendingRange_.count += count;
        return;
    }
    flush();
    pendingRange_ = Range(start, count);
}

void RendererBackendCache::drawRecolouredRange(const Colour& colour, uint64_t start, uint64_t count) {
    flush();
    target_->drawRecolouredRange(colour, start, count);
}

std::shared_ptr<PictureBufferTarget> RendererBackendCache::createPictureBufferTarget() {
    return target_->createPictureBufferTarget();
}

void RendererBackendCache::clearFrame(double scrollOffset) { target_->clearFrame(scrollOffset); }

void RendererBackendCache::endFrame() {
    flush();
    target_->endFrame();
}

void RendererBackendCache::clearDepth() {
    flush();
    target_->clearDepth();
}

void RendererBackendCache::readPixels(uint64_t x, uint64_t y, uint64_t width, uint64_t height, uint8_t* destination) {
    target_->readPixels(x, y, width, height, destination);
}

uint32_t RendererBackendCache::newTexture(const uint8_t* pixels, double width, double height) {
    return target_->newTexture(pixels, width, height);
}

void RendererBackendCache::deleteTexture(uint32_t texture) { target_->deleteTexture(texture); }

void RendererBackendCache::setClipRect(const Rect& rect) {
    flush();
    target_->setClipRect(rect);
}

void RendererBackendCache::shutdown() {
    flush();
    target_->shutdown();
}

void RendererBackendCache::forgetLastState() {
    // A NaN offset is unequal to every state, so the next one is forwarded whatever it is.
    lastState_ = DrawState();
    lastState_.yb = std::numeric_limits<double>::quiet_NaN();
}

void RendererBackendCache::startOffscreenRender(uint32_t texture) {
    flush();
    target_->startOffscreenRender(texture);
    forgetLastState();
}

void RendererBackendCache::endOffscreenRender() {
    flush();
    target_->endOffscreenRender();
    forgetLastState();
}

void RendererBackendCache::setMultisample(bool on) {
    flush();
    target_->setMultisample(on);
}

} // namespace hv
