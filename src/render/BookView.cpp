#include "render/BookView.h"

#include "core/Image.h"
#include "core/PathProvider.h"
#include "core/PlatformBackend.h"
#include "core/TypesetterBackend.h"
#include "picture/Picture.h"
#include "render/CoreRenderer.h"
#include "render/GifWriter.h"
#include "render/PictureBuffer.h"
#include "render/PictureInstance.h"
#include "render/PictureRenderer.h"
#include "render/RendererBackendCache.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

namespace hv {

namespace {

// The vertical offset an instance is drawn with: the scroll for instances on the page, none
// for those fixed in the viewport.
double scrollOffsetFor(int32_t positionMode, double scrollY) {
    return positionMode == PictureInstance::InRow || positionMode == PictureInstance::Sticky ? scrollY : 0.0;
}

// Viewers show shorter GIF delays as 10 cs, so no frame is given less.
constexpr uint64_t minimumFrameDelay = 2;

// A recording size from a rect length: whole pixels, 0 for anything unusable.
uint32_t pixelLength(double length) {
    if (!(length >= 1.0)) return 0;
    return length > 1e6 ? 1000000u : uint32_t(length);
}

} // namespace

BookView::BookView() = default;

BookView::~BookView() { stopRecording(); }

bool BookView::init(const Configuration& configuration, std::shared_ptr<PathProvider> storyPaths,
                    std::shared_ptr<PathProvider> packinPaths, std::shared_ptr<PlatformBackend> platform) {
    configuration_ = configuration;
    storyPaths_ = std::move(storyPaths);
    packinPaths_ = std::move(packinPaths);
    platform_ = std::move(platform);
    canvas_ = std::make_shared<Canvas>();

    auto cache = std::make_shared<RendererBackendCache>();
    if (!platform_ || !cache->init(platform_->renderer())) {
        std::cerr << "BookView::init(): unable to init the backend cache" << std::endl;
        return false;
    }
    coreRenderer_ = std::make_shared<CoreRenderer>();
    coreRenderer_->backend = cache;

    backgroundBuffer_ = std::make_shared<PictureBuffer>();
    if (!backgroundBuffer_->init(cache->createPictureBufferTarget())) {
        std::cerr << "BookView::init(): unable to init the bg buffer" << std::endl;
        return false;
    }
    backgroundRegion_ = backgroundBuffer_->addRegion(6, 4);
    const uint32_t quad[6] = {0, 1, 2, 0, 2, 3};
    backgroundBuffer_->importIndexData(quad, backgroundRegion_);
    PictureVertex* v = backgroundBuffer_->vertexData(backgroundRegion_);
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    // The lowest depth that passes a freshly cleared depth buffer, for front-to-back mode.
    const float backgroundDepth = depthKeyToFloat(depthKeyForLevel(1));
    for (int i = 0; i < 4; ++i) {
        v[i].x = corners[i][0];
        v[i].y = corners[i][1];
        v[i].depth = backgroundDepth;
    }

    contentHeight_ = double(configuration_.contentHeight);
    setBackgroundColour(fallbackColour());
    reset();
    return true;
}

void BookView::setBackgroundColour(const Colour& colour) {
    PictureVertex* v = backgroundBuffer_->vertexData(backgroundRegion_);
    for (int i = 0; i < 4; ++i) {
        v[i].r = colour.redByte();
        v[i].g = colour.greenByte();
        v[i].b = colour.blueByte();
        v[i].a = 255;
    }
}

void BookView::reset() {
    // The recorded instance is about to go; the window stays.
    if (recordedInstance_ >= 0) stopRecording();
    scrollY_ = 0.0;
    for (const ParagraphRecord& paragraph : coreRenderer_->paragraphs) {
        coreRenderer_->backend->deleteTexture(paragraph.textureId);
    }
    coreRenderer_->paragraphs.clear();
    canvas_->clear();
}

std::tuple<double, double, double> BookView::viewMetrics() const {
    return {double(configuration_.contentWidth), contentHeight_, double(configuration_.contentHeight)};
}

double BookView::maxScroll() const { return contentHeight_ - double(configuration_.contentHeight); }

bool BookView::startRecording(const std::string& path, int32_t instanceIndex) {
    stopRecording();
    uint32_t width, height;
    if (instanceIndex < 0) {
        width = pixelLength(double(configuration_.windowWidth));
        height = pixelLength(double(configuration_.windowHeight));
    } else if (const PictureInstance* instance = canvas_->find(instanceIndex)) {
        width = pixelLength(instance->rect.w);
        height = pixelLength(instance->rect.h);
    } else {
        std::cerr << "BookView::startRecording: no picture instance " << instanceIndex << std::endl;
        return false;
    }
    auto writer = std::make_unique<GifWriter>();
    if (!writer->begin(path, width, height, uint32_t(minimumFrameDelay), 8)) {
        std::cerr << "BookView::startRecording: unable to begin a recording at " << path << std::endl;
        return false;
    }
    gifWriter_ = std::move(writer);
    recordedInstance_ = instanceIndex;
    recordWidth_ = width;
    recordHeight_ = height;
    recordedFrames_ = 0;
    frameHeld_ = false;
    lastWrittenDelay_ = 0;
    return true;
}

void BookView::stopRecording() {
    if (!gifWriter_) return;
    if (frameHeld_) {
        // The last frame drawn shows for a frame period too.
        const uint64_t tail = recordingTimeAt(recordedFrames_) - heldFrameTime_;
        if (tail < minimumFrameDelay && lastWrittenDelay_ > 0) {
            // Too short to show on its own: the frame before it shows that much longer.
            gifWriter_->setLastFrameDelay(uint32_t(std::min<uint64_t>(lastWrittenDelay_ + tail, 0xffff)));
        } else {
            writeHeldFrame(std::max(tail, minimumFrameDelay));
        }
    }
    frameHeld_ = false;
    heldFrame_ = {};
    gifWriter_->end();
    gifWriter_.reset();
}

uint64_t BookView::recordingTimeAt(uint64_t frame) const {
    const uint64_t rate = configuration_.framerate ? configuration_.framerate : 60;
    // Whole numbers, so the rounding of each frame's time never drifts from the exact time.
    return (200 * frame + rate) / (2 * rate);
}

void BookView::writeHeldFrame(uint64_t delay) {
    gifWriter_->writeFrame(reinterpret_cast<const uint8_t*>(heldFrame_.data()), recordWidth_, recordHeight_,
                           uint32_t(std::min<uint64_t>(delay, 0xffff)), 8, false);
    frameHeld_ = false;
    lastWrittenDelay_ = delay;
}

std::pair<uint32_t, double> BookView::addParagraph(const std::string& text, int32_t alignment, int32_t fontId,
                                                   double wrapWidth, std::string* refusal) {
    std::shared_ptr<TypesetterBackend> typesetter = platform_->typesetter();
    std::shared_ptr<RendererBackend> renderer = platform_->renderer();
    if (!typesetter || !renderer) {
        std::cerr << "BookView::addParagraph: no typesetter or renderer" << std::endl;
        return {0, 0.0};
    }
    ParagraphRecord record;
    std::string refused = typesetter->generateTextBlock(record, text, alignment, fontId, *renderer, wrapWidth);
    if (!refused.empty()) {
        if (refusal) *refusal = refused;
        return {0, 0.0};
    }
    coreRenderer_->paragraphs.push_back(record);
    return {uint32_t(coreRenderer_->paragraphs.size()), record.aspect};
}

uint64_t BookView::addPictureInstance(std::shared_ptr<Picture> picture) {
    PictureInstance instance;
    instance.picture = std::move(picture);
    instance.buffer = std::make_shared<PictureBuffer>();
    instance.buffer->init(coreRenderer_->backend->createPictureBufferTarget());
    return canvas_->add(std::move(instance));
}

void BookView::hidePictureInstance(uint64_t index) {
    if (!canvas_->find(int64_t(index))) {
        std::cerr << "BookView::hidePictureInstance: no picture instance " << index << std::endl;
        return;
    }
    // Its recording would show nothing from now on: the file is finished here.
    if (recordedInstance_ == int64_t(index)) stopRecording();
    canvas_->remove(index);
}

void BookView::draw(bool revealIndicatorShowing, bool drawBackground) {
    RendererBackend& backend = *coreRenderer_->backend;
    backend.clearFrame(scrollY_);
    const Rect viewport = configuration_.viewportRect();

    if (drawBackground) {
        backgroundBuffer_->sync();
        backend.setClipRect(viewport);
        // Depth is left over from the last frame's last instance; the background must pass.
        if (configuration_.frontToBack) backend.clearDepth();
        RendererBackend::DrawState state;
        state.mode = RendererBackend::DrawState::Polygon;
        state.buffer = backgroundBuffer_;
        state.yb = scrollY_;
        backend.setDrawState(state);
        Range range = backgroundBuffer_->indexOffset(backgroundRegion_, Range(0, 6));
        backend.drawRange(range.start, range.count);
    }

    const double windowWidth = double(configuration_.windowWidth);
    const double windowHeight = double(configuration_.windowHeight);
    Transform projection = Transform::translation(Vec2(-1.0, 1.0));
    projection *= Transform::scale(2.0 / windowWidth, -2.0 / windowHeight);
    projection *= Transform::translation(configuration_.centreOffset());

    Canvas::Instances& instances = canvas_->instances();
    thread_local std::vector<int64_t> layerKeys;
    layerKeys.clear();
    for (const auto& [handle, instance] : instances) {
        auto it = layerKeys.begin();
        while (it != layerKeys.end() && *it < instance.layerKey) ++it;
        if (it == layerKeys.end() || *it != instance.layerKey) layerKeys.insert(it, instance.layerKey);
    }

    for (int64_t key : layerKeys) {
        for (auto& [handle, instance] : instances) {
            if (instance.layerKey != key || !instance.picture) continue;

            double offset = 0.0;
            switch (instance.positionMode) {
            case PictureInstance::InRow:
            case PictureInstance::Sticky:
                offset = scrollY_;
                break;
            case PictureInstance::Fixed:
                break;
            case PictureInstance::RevealIndicator:
            case PictureInstance::BottomRight:
                if (instance.positionMode == PictureInstance::RevealIndicator && !revealIndicatorShowing) continue;
                instance.rect.x = double(configuration_.contentWidth) - instance.rect.w;
                instance.rect.y = double(configuration_.contentHeight) - instance.rect.h;
                break;
            default:
                std::cerr << "picture instance position not handled in book view" << std::endl;
                break;
            }

            const Rect& rect = instance.rect;
            Transform m = Transform::multiply(projection, Transform::translation(Vec2(0.0, -offset)));
            Vec2 topLeft = m.apply(Vec2(rect.x, rect.y));
            Vec2 bottomRight = m.apply(Vec2(rect.x + rect.w, rect.y + rect.h));
            if (bottomRight.y > 1.0 || topLeft.y < -1.0) continue;  // above or below the view
            if (topLeft.x > 1.0 || bottomRight.x < -1.0) continue;  // beside it
            Rect clip(topLeft.x, bottomRight.y, bottomRight.x - topLeft.x, topLeft.y - bottomRight.y);
            Rect visible = Rect::intersection(viewport, clip);
            if (!(visible.w > 0.0 && visible.h > 0.0)) continue; // nothing of it in the viewport
            backend.setClipRect(visible);

            const Picture& picture = *instance.picture;
            PictureRenderer renderer(&instance, coreRenderer_.get());
            renderer.cullCircle = Rect(0.0, 0.0, picture.width, picture.height).boundingCircle();
            renderer.pixelScale = rect.w;
            Transform placement = m;
            placement *= Transform::translation(Vec2(rect.x, rect.y));
            placement *= Transform::scale(rect.w / picture.width, rect.h / picture.height);
            placement *= Transform::scale(1.0, -1.0);
            placement *= Transform::translation(Vec2(0.0, -picture.height));
            renderer.projection = placement;
            renderer.depthBase = frontToBackDepthBase;
            renderer.canvasIndex = int64_t(handle);
            renderer.transparencyMode = configuration_.frontToBack;
            renderer.yb = instance.positionMode == PictureInstance::InRow    ? scrollY_
                          : instance.positionMode == PictureInstance::Sticky ? -instance.slideOffset
                                                                             : 0.0;
            renderer.drawRootNode();
        }
    }

    backend.endFrame();
    captureFrame();
}

void BookView::captureFrame() {
    if (!gifWriter_) return;
    // A recording whose file could not be written has ended, with its line: nothing more is
    // read for it.
    if (!gifWriter_->isOpen()) {
        gifWriter_.reset();
        frameHeld_ = false;
        heldFrame_ = {};
        return;
    }
    const uint64_t now = recordingTimeAt(recordedFrames_++);
    if (frameHeld_) {
        // Drawn too soon after the waiting frame to be shown: that frame shows on.
        if (now - heldFrameTime_ < minimumFrameDelay) return;
        writeHeldFrame(now - heldFrameTime_);
    }
    const uint32_t width = recordWidth_;
    const uint32_t height = recordHeight_;
    const int64_t windowWidth = int64_t(configuration_.windowWidth);
    const int64_t windowHeight = int64_t(configuration_.windowHeight);

    // The recorded area in window pixels, rows counted from the bottom as the frame is read.
    int64_t x = 0, y = 0;
    if (recordedInstance_ >= 0) {
        const PictureInstance& instance = *canvas_->find(recordedInstance_);
        Vec2 centre = configuration_.centreOffset();
        double top = centre.y + instance.rect.y - scrollOffsetFor(instance.positionMode, scrollY_);
        double left = centre.x + instance.rect.x;
        double bottom = double(windowHeight) - (top + double(height));
        x = std::isfinite(left) ? int64_t(std::floor(std::clamp(left, -1e9, 1e9))) : 0;
        y = std::isfinite(bottom) ? int64_t(std::floor(std::clamp(bottom, -1e9, 1e9))) : 0;
    }

    // Only the part inside the window is read; the rest stays zero.
    std::vector<uint32_t>& pixels = heldFrame_;
    pixels.assign(uint64_t(width) * height, 0);
    int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    int64_t x1 = std::min<int64_t>(x + width, windowWidth), y1 = std::min<int64_t>(y + height, windowHeight);
    RendererBackend& backend = *coreRenderer_->backend;
    if (x0 == x && y0 == y && x1 == x + width && y1 == y + height) {
        backend.readPixels(uint64_t(x), uint64_t(y), width, height, reinterpret_cast<uint8_t*>(pixels.data()));
    } else if (x1 > x0 && y1 > y0) {
        uint64_t w = uint64_t(x1 - x0), h = uint64_t(y1 - y0);
        std::vector<uint32_t> part(w * h, 0);
        backend.readPixels(uint64_t(x0), uint64_t(y0), w, h, reinterpret_cast<uint8_t*>(part.data()));
        for (uint64_t row = 0; row < h; ++row) {
            std::copy_n(part.begin() + std::ptrdiff_t(row * w), w,
                        pixels.begin() + std::ptrdiff_t((uint64_t(y0 - y) + row) * width + uint64_t(x0 - x)));
        }
    }
    flipRowsVertically(width, height, pixels.data());
    frameHeld_ = true;
    heldFrameTime_ = now;
}

} // namespace hv
