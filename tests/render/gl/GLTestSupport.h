#pragma once

#include "core/Configuration.h"
#include "core/PathProvider.h"
#include "core/ResourcePaths.h"
#include "render/PaperTexture.h"
#include "render/PictureBuffer.h"
#include "render/gl/GLRendererBackend.h"
#include "support/CaptureStream.h"
#include "support/DrawStates.h"
#include "support/GLContext.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace hv::test {

struct Pixel {
    uint8_t r, g, b, a;
};

inline testing::AssertionResult pixelIs(const Pixel& p, int r, int g, int b, int tolerance = 1) {
    if (std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "pixel (" << int(p.r) << ", " << int(p.g) << ", " << int(p.b)
                                       << ") is not (" << r << ", " << g << ", " << b << ")";
}

// Vertices and indices of a picture buffer made by hand.
struct HandMesh {
    std::vector<PictureVertex> vertices;
    std::vector<uint32_t> indices;

    // Two triangles over [x0, x1] x [y0, y1], four vertices of one colour and depth key.
    void addQuad(float x0, float y0, float x1, float y1, const Pixel& colour, uint32_t depthKey = 0x100000) {
        uint32_t first = uint32_t(vertices.size());
        for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}) {
            vertices.push_back(PictureVertex{x, y, colour.r, colour.g, colour.b, colour.a, depthKeyToFloat(depthKey)});
        }
        for (uint32_t i : {0u, 1u, 2u, 0u, 2u, 3u}) indices.push_back(first + i);
    }
};

// Maps the unit square onto the whole window.
inline Transform unitToWindow() { return Transform::multiply(Transform::translation(Vec2(-1, -1)), Transform::scale(2, 2)); }

// A real OpenGL context for the whole suite; each test starts its own backend on it and fails
// on any GL error or incomplete framebuffer that the backend reports.
class GLBackendTest : public testing::Test {
protected:
    static constexpr int W = 64;
    static constexpr int H = 48;

    static void SetUpTestSuite() {
        // ctest points the engine at the build tree; a direct run gets the same.
        setenv("HalvaneResourceDirectory", HV_BINARY_DIR, 0);
        context = GLContext::shared(W, H, whyNot);
    }

    void SetUp() override {
        if (!context) GTEST_SKIP() << "no OpenGL context can be made: " << whyNot;
        ASSERT_EQ(context->width, W);
        ASSERT_EQ(context->height, H);
        capture = std::make_unique<CaptureStream>(std::cerr);
        configuration.windowWidth = W;
        configuration.windowHeight = H;
        configuration.contentWidth = W;
        configuration.contentHeight = H;
        configuration.paperTexture = flatPaper(4, 1.0);
        configuration.paperTileSize = 4;
        configuration.paperStrength = 0.0;
    }

    void TearDown() override {
        buffers.clear();
        if (backend) backend->shutdown();
        if (capture) {
            std::string text = capture->text();
            capture.reset();
            EXPECT_EQ(text.find("errnum"), std::string::npos) << text;
            EXPECT_EQ(text.find("fbstatus"), std::string::npos) << text;
        }
    }

    static std::shared_ptr<PaperTexture> flatPaper(uint64_t dimension, double value) {
        auto paper = std::make_shared<PaperTexture>();
        paper->dimension = dimension;
        paper->texels.assign(dimension * dimension, value);
        return paper;
    }

    static std::shared_ptr<PathProvider> packin() { return std::make_shared<PathProvider>(packinDirectory()); }

    bool start() {
        if (backend) backend->shutdown();
        backend = std::make_shared<GLRendererBackend>();
        return backend->init(packin(), configuration);
    }

    // A clear frame with the whole window as the clip.
    void beginFrame() {
        backend->clearFrame(0);
        backend->setClipRect(Rect(-1, -1, 2, 2));
    }

    std::shared_ptr<PictureBuffer> upload(const HandMesh& mesh) {
        auto buffer = std::make_shared<PictureBuffer>();
        buffer->init(backend->createPictureBufferTarget());
        buffer->target()->uploadEntireBuffer(mesh.vertices, mesh.indices);
        buffers.push_back(buffer);
        return buffer;
    }

    std::vector<Pixel> frame() {
        std::vector<Pixel> pixels(W * H);
        backend->readPixels(0, 0, W, H, reinterpret_cast<uint8_t*>(pixels.data()));
        return pixels;
    }

    // y counts from the bottom row, as GL does.
    static Pixel at(const std::vector<Pixel>& pixels, int x, int y) { return pixels[size_t(y * W + x)]; }

    inline static GLContext* context = nullptr;
    inline static std::string whyNot;

    Configuration configuration;
    std::shared_ptr<GLRendererBackend> backend;
    std::vector<std::shared_ptr<PictureBuffer>> buffers;
    std::unique_ptr<CaptureStream> capture;
};

} // namespace hv::test
