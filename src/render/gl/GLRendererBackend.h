#pragma once

#include "core/Rect.h"
#include "render/RendererBackend.h"
#include "render/RendererStatistics.h"
#include "render/gl/GLEntryPoints.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace hv {

struct Configuration;
struct PathProvider;
class GLPictureBuffer;

// The drawing interface on an OpenGL 3.1 core context: picture buffers, textured quads and
// offscreen textures, all shaded over the paper grain, with a scissor clip and an optional
// depth test for front-to-back drawing.
class GLRendererBackend : public RendererBackend {
public:
    // Locations of the paper uniforms of one program.
    struct PaperUniforms {
        GLint sampler = 0;
        GLint hScale = 0;
        GLint vScale = 0;
        GLint vScroll = 0;
    };

    // Builds the GL state, the paper texture and the five programs from the packin shader files.
    // A failure releases everything built so far; a failure for the same reason as the previous
    // failed init in this process is not reported again, since the host retries every frame.
    bool init(const std::shared_ptr<PathProvider>& packin, const Configuration& configuration);

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
    uint64_t maxTextureSize() override { return maxTextureSide > 0 ? uint64_t(maxTextureSide) : UINT64_MAX; }
    ~GLRendererBackend() override = default;

    void applyClipRect();
    bool offscreen() const { return currentFramebuffer != defaultFramebuffer; }

    std::shared_ptr<GLPictureBuffer> currentBuffer;

    GLuint offscreenTextureProgram = 0;
    GLuint recolouredTexturedProgram = 0;
    GLuint recolouredPolygonProgram = 0;
    GLuint polygonProgram = 0;
    GLuint plainPolygonProgram = 0;

    GLint recolouredTexturedSampler = 0;
    GLint recolouredTexturedColour = 0;
    GLint recolouredTexturedTransform = 0;
    GLint recolouredTexturedZCoord = 0;
    GLint offscreenTextureSampler = 0;
    GLint offscreenTextureTransform = 0;
    GLint offscreenTextureZCoord = 0;
    GLint recolouredPolygonTransform = 0;
    GLint recolouredPolygonColour = 0;
    GLint polygonTransform = 0;
    GLint plainPolygonTransform = 0;

    PaperUniforms recolouredTexturedPaper;
    PaperUniforms recolouredPolygonPaper;
    PaperUniforms polygonPaper;
    PaperUniforms offscreenTexturePaper;

    GLuint unitQuadVertexArray = 0;
    GLuint paperTexture = 0;
    double viewWidth = 0.0;
    double viewHeight = 0.0;
    RendererStatistics statistics;
    GLuint defaultFramebuffer = 0;
    GLuint currentFramebuffer = 0;
    GLint maxTextureSide = 0; // GL_MAX_TEXTURE_SIZE: a larger texture is refused with an error
    Rect clipRect;
    bool depthTest = false;
    std::map<GLuint, std::pair<int32_t, int32_t>> textureSizes;

private:
    bool initSteps(const std::shared_ptr<PathProvider>& packin, const Configuration& configuration);
    bool fail(const std::string& line);
    void releaseGLObjects();
    GLuint createPaperTexture(uint64_t dimension, const std::vector<double>& texels);
    PaperUniforms setPaperUniforms(GLuint program, const Configuration& configuration);
    bool drawableBuffer(const char* operation);
    // The unit square with the texture bound; the program and its uniforms are already set.
    void drawUnitQuad(GLuint texture);

    GLuint unitQuadBuffer = 0;       // kept only so that shutdown can free it
    // Every picture buffer made here that may still be alive; shutdown frees their GL objects.
    std::vector<std::weak_ptr<GLPictureBuffer>> pictureBuffers;
    size_t pictureBuffersSwept = 32; // its size after the last sweep (at least 32)
    std::string failureReason;       // the line that ended the last init, if it failed
    bool reportedMissingBuffer = false;
};

} // namespace hv
