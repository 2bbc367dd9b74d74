#pragma once

#include "render/RendererBackend.h"
#include "render/RendererStatistics.h"
#include "render/gl/GLEntryPoints.h"

namespace hv {

// The GPU-side store of one picture buffer: one vertex buffer and one index buffer, seen
// through two vertex arrays (with per-vertex colour, and without it for constant-colour draws).
class GLPictureBuffer : public PictureBufferTarget {
public:
    ~GLPictureBuffer() override;
    // Deletes the GL objects, once. The backend's shutdown calls it for every buffer still
    // alive: the host deletes the context right after and releases the pictures only then, when
    // a GL call would have no context to go to.
    void release();
    void uploadEntireBuffer(const std::vector<PictureVertex>& vertices, const std::vector<uint32_t>& indices) override;
    void uploadVertexData(uint64_t first, uint64_t count, const PictureVertex* data) override;
    void uploadIndexData(uint64_t first, uint64_t count, const uint32_t* data) override;

    GLuint fullVertexArray = 0;
    GLuint colourlessVertexArray = 0;
    GLuint indexBuffer = 0;
    GLuint vertexBuffer = 0;
    // The creating backend's counters; a picture buffer must not outlive its backend.
    RendererStatistics* statistics = nullptr;
};

} // namespace hv
