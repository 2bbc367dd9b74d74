#pragma once

#include "core/Colour.h"
#include "core/Rect.h"
#include "render/RendererBackend.h"
#include "render/RendererStatistics.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace hv::test {

class RecordingBackend;

// One call that reached the recording backend, or an upload into one of its buffer targets.
struct BackendCall {
    enum Kind {
        PrintStatistics,
        DrawRecolouredTexture,
        DrawTexture,
        SetDrawState,
        DrawRange,
        DrawRecolouredRange,
        CreatePictureBufferTarget,
        ClearFrame,
        EndFrame,
        ClearDepth,
        ReadPixels,
        NewTexture,
        DeleteTexture,
        SetClipRect,
        Shutdown,
        StartOffscreenRender,
        EndOffscreenRender,
        SetMultisample,
        UploadEntireBuffer,
        UploadVertexData,
        UploadIndexData,
    };

    Kind kind;
    RendererBackend::DrawState state; // SetDrawState
    uint64_t start = 0;               // ranges, upload runs, readPixels x
    uint64_t count = 0;               // ranges, upload runs, readPixels width
    uint64_t y = 0;                   // readPixels
    uint64_t height = 0;              // readPixels
    Colour colour;                    // recoloured draws
    uint64_t texture = 0;             // texture draws, new, delete, offscreen
    Rect rect;                        // SetClipRect
    double scroll = 0.0;              // ClearFrame
    bool flag = false;                // SetMultisample
    const void* target = nullptr;     // uploads: the buffer target

    std::string describe() const;
};

// A buffer target that keeps a mirror of everything uploaded into it.
class RecordingTarget : public PictureBufferTarget {
public:
    explicit RecordingTarget(RecordingBackend* owner) : owner_(owner) {}

    void uploadEntireBuffer(const std::vector<PictureVertex>& vertices, const std::vector<uint32_t>& indices) override;
    void uploadVertexData(uint64_t first, uint64_t count, const PictureVertex* data) override;
    void uploadIndexData(uint64_t first, uint64_t count, const uint32_t* data) override;

    std::vector<PictureVertex> vertices;
    std::vector<uint32_t> indices;
    uint64_t outOfBoundsUploads = 0; // runs past the last whole upload: a GPU error

private:
    RecordingBackend* owner_;
};

// A software frame: RGB in doubles, a 24-bit depth buffer tested with "greater", a scissor
// rect, and triangles filled with a top-left rule so that shared edges are filled once.
struct SoftwareFrame {
    int width = 0;
    int height = 0;
    bool depthTest = false;
    std::vector<double> colour; // r, g, b per pixel, rows from the bottom
    std::vector<uint32_t> depth;
    int clipX0 = 0, clipY0 = 0, clipX1 = 0, clipY1 = 0;

    void resize(int w, int h, bool depthTesting);
    void setClip(const Rect& ndc);
    void clearColour();
    void clearDepth();
    // Vertices in normalised device coordinates; z in 0..1.
    void fillTriangle(const Vec2& a, const Vec2& b, const Vec2& c, double z, const double rgba[4]);
    uint8_t byteAt(int x, int y, int channel) const;
};

// Implements the 18 operations by recording them, keeps a copy of every texture and buffer
// upload, feeds the draw statistics as a real backend would and, when a frame size is set,
// rasterises the draws into a SoftwareFrame.
class RecordingBackend : public RendererBackend {
public:
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
    uint64_t maxTextureSize() override { return maxTexture; }

    // Rasterise from now on into a frame of this size.
    void enableRaster(int width, int height, bool depthTest) { frame.resize(width, height, depthTest); }

    uint64_t countOf(BackendCall::Kind kind) const;
    uint64_t uploadCount() const;
    std::vector<BackendCall> callsOf(BackendCall::Kind kind) const;

    struct Texture {
        uint64_t width = 0;
        uint64_t height = 0;
        std::vector<uint8_t> pixels;
    };

    std::vector<BackendCall> calls;
    std::map<uint32_t, Texture> textures;
    uint32_t nextTexture = 1;
    uint64_t maxTexture = 16384; // as the software GL driver allows
    RendererStatistics statistics;
    SoftwareFrame frame;
    DrawState current;
    bool hasState = false;
    uint64_t drawsWithoutState = 0; // draws before any state, or of the wrong mode
    uint64_t badIndexDraws = 0;     // indices or vertices outside what was uploaded

private:
    friend class RecordingTarget;
    void rasteriseRange(uint64_t start, uint64_t count, const Colour* recolour);
    void rasteriseQuad(const Colour& tint, uint64_t texture);
};

} // namespace hv::test
