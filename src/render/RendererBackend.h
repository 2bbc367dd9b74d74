#pragma once

#include "core/Colour.h"
#include "core/Rect.h"
#include "core/Transform.h"
#include "render/PictureVertex.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <vector>

namespace hv {

class PictureBuffer;

// The GPU-side store of one picture buffer.
class PictureBufferTarget {
public:
    virtual ~PictureBufferTarget() = default;
    virtual void uploadEntireBuffer(const std::vector<PictureVertex>& vertices, const std::vector<uint32_t>& indices) = 0;
    virtual void uploadVertexData(uint64_t first, uint64_t count, const PictureVertex* data) = 0;
    virtual void uploadIndexData(uint64_t first, uint64_t count, const uint32_t* data) = 0;
};

// Everything that reaches the screen goes through this interface; the renderers never talk to
// OpenGL directly.
class RendererBackend {
public:
    // How the next draws are done. The merging cache compares states to join draws.
    struct DrawState {
        enum Mode : int32_t { Polygon = 0, RecolouredPolygon = 1, TexturedRect = 2, OffscreenRect = 3 };

        int32_t mode = Polygon;
        std::shared_ptr<PictureBuffer> buffer;
        Transform t;
        uint32_t zIndex = 0; // only the textured quads carry it; polygons have per-vertex depth
        double yb = 0.0;     // vertical offset of the paper texture

        bool usesZIndex() const { return mode == TexturedRect || mode == OffscreenRect; }
        // NaN in yb makes a state unequal to every state, itself included.
        bool operator==(const DrawState& other) const;
        bool operator!=(const DrawState& other) const { return !(*this == other); }
        void print(std::ostream& out) const;
    };

    virtual void printStatistics(std::ostream& out) = 0;
    virtual void drawRecolouredTexture(const Colour& colour, uint64_t texture) = 0;
    virtual void drawTexture(uint64_t texture) = 0;
    virtual void setDrawState(const DrawState& state) = 0;
    virtual void drawRange(uint64_t start, uint64_t count) = 0;
    virtual void drawRecolouredRange(const Colour& colour, uint64_t start, uint64_t count) = 0;
    virtual std::shared_ptr<PictureBufferTarget> createPictureBufferTarget() = 0;
    virtual void clearFrame(double scrollOffset) = 0;
    virtual void endFrame() = 0;
    virtual void clearDepth() = 0;
    virtual void readPixels(uint64_t x, uint64_t y, uint64_t width, uint64_t height, uint8_t* destination) = 0;
    virtual uint32_t newTexture(const uint8_t* pixels, double width, double height) = 0;
    virtual void deleteTexture(uint32_t texture) = 0;
    virtual void setClipRect(const Rect& rect) = 0;
    virtual void shutdown() = 0;
    virtual void startOffscreenRender(uint32_t texture) = 0;
    virtual void endOffscreenRender() = 0;
    virtual void setMultisample(bool on) = 0;
    // The largest width or height of a texture; no limit unless the backend has one.
    virtual uint64_t maxTextureSize() { return UINT64_MAX; }
    virtual ~RendererBackend() = default;
};

} // namespace hv
