#include "render/gl/GLPictureBuffer.h"
#include "render/gl/GLTestSupport.h"
#include "render/gl/ShaderLoader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace hv::test {
namespace {

const Pixel red{255, 0, 0, 255};
const Pixel green{0, 255, 0, 255};
const Pixel blue{0, 0, 255, 255};
const Pixel halfBlue{0, 0, 255, 128};

TEST_F(GLBackendTest, AllProgramsLinkWithGreyscaleAndPaperOnAndOff) {
    for (bool greyscale : {false, true}) {
        // A strength far beyond any visible change still makes a shader that compiles.
        for (double strength : {0.0, 0.35, 1e300}) {
            SCOPED_TRACE(testing::Message() << "greyscale " << greyscale << ", paper strength " << strength);
            configuration.greyscale = greyscale;
            configuration.paperStrength = strength;
            ASSERT_TRUE(start()) << capture->text();
            for (GLuint program : {backend->offscreenTextureProgram, backend->recolouredTexturedProgram,
                                   backend->recolouredPolygonProgram, backend->polygonProgram,
                                   backend->plainPolygonProgram}) {
                EXPECT_NE(program, 0u);
            }
            // A uniform the shaders do not use has no location, and setting it would do nothing.
            for (GLint location :
                 {backend->recolouredTexturedSampler, backend->recolouredTexturedColour,
                  backend->recolouredTexturedTransform, backend->recolouredTexturedZCoord,
                  backend->offscreenTextureSampler, backend->offscreenTextureTransform, backend->offscreenTextureZCoord,
                  backend->recolouredPolygonTransform, backend->recolouredPolygonColour, backend->polygonTransform,
                  backend->plainPolygonTransform}) {
                EXPECT_NE(location, -1);
            }
            for (const auto* paper : {&backend->recolouredTexturedPaper, &backend->recolouredPolygonPaper,
                                      &backend->polygonPaper, &backend->offscreenTexturePaper}) {
                EXPECT_NE(paper->sampler, -1);
                EXPECT_NE(paper->hScale, -1);
                EXPECT_NE(paper->vScale, -1);
                EXPECT_NE(paper->vScroll, -1);
            }
        }
    }
    EXPECT_EQ(capture->text().find("Status bad"), std::string::npos) << capture->text();
}

TEST_F(GLBackendTest, AsymmetricTransformPlacesTrianglesWithTheirColoursAndBlendsHalfAlpha) {
    ASSERT_TRUE(start());
    // Lower right triangle opaque red, upper left one blue at half alpha.
    HandMesh mesh;
    for (auto [x, y] : {std::pair{0.f, 0.f}, {1.f, 0.f}, {1.f, 1.f}}) mesh.vertices.push_back({x, y, 255, 0, 0, 255, 0});
    for (auto [x, y] : {std::pair{0.f, 0.f}, {1.f, 1.f}, {0.f, 1.f}}) mesh.vertices.push_back({x, y, 0, 0, 255, 128, 0});
    mesh.indices = {0, 1, 2, 3, 4, 5};
    auto buffer = upload(mesh);

    // The unit square onto pixels [8, 40) x [12, 24): wide, short and off centre, so a
    // transposed or misread matrix lands elsewhere.
    Transform t = Transform::multiply(Transform::translation(Vec2(-0.75, -0.5)), Transform::scale(1.0, 0.5));
    beginFrame();
    backend->setDrawState(drawState(0, buffer, t));
    backend->drawRange(0, 6);
    backend->endFrame();
    auto pixels = frame();

    EXPECT_TRUE(pixelIs(at(pixels, 38, 13), 255, 0, 0));
    EXPECT_TRUE(pixelIs(at(pixels, 8, 12), 0, 0, 128)) << "the first pixel inside the corner";
    EXPECT_TRUE(pixelIs(at(pixels, 9, 22), 0, 0, 128)) << "half-alpha blue over black";
    for (auto [x, y] : {std::pair{7, 18}, {40, 13}, {38, 11}, {9, 24}, {2, 2}, {60, 44}}) {
        EXPECT_TRUE(pixelIs(at(pixels, x, y), 0, 0, 0)) << x << ", " << y;
    }
    EXPECT_TRUE(pixelIs(at(pixels, 39, 12), 255, 0, 0));
    EXPECT_TRUE(pixelIs(at(pixels, 8, 23), 0, 0, 128));

    EXPECT_EQ(backend->statistics.drawRangeCalls.total, 1u);
    EXPECT_EQ(backend->statistics.trianglesDrawn.total, 2u);
    EXPECT_EQ(backend->statistics.bufferUpdates.total, 2u);
}

TEST_F(GLBackendTest, PartialUploadsReplaceOnlyTheirRuns) {
    ASSERT_TRUE(start());
    HandMesh mesh;
    mesh.addQuad(0, 0, 0.5f, 1, red);
    mesh.addQuad(0.5f, 0, 1, 1, red);
    auto buffer = upload(mesh);

    // The second quad turns green through a vertex run; its index run is rewritten unchanged.
    std::vector<PictureVertex> greenVertices(mesh.vertices.begin() + 4, mesh.vertices.end());
    for (PictureVertex& v : greenVertices) v.r = 0, v.g = 255;
    buffer->target()->uploadVertexData(4, 4, greenVertices.data());
    buffer->target()->uploadIndexData(6, 6, mesh.indices.data() + 6);

    beginFrame();
    backend->setDrawState(drawState(0, buffer, unitToWindow()));
    backend->drawRange(0, 12);
    backend->endFrame();
    auto pixels = frame();
    EXPECT_TRUE(pixelIs(at(pixels, 10, 20), 255, 0, 0));
    EXPECT_TRUE(pixelIs(at(pixels, 50, 20), 0, 255, 0));
    EXPECT_EQ(backend->statistics.bufferUpdates.total, 4u);
    EXPECT_EQ(backend->statistics.trianglesDrawn.total, 4u);
}

TEST_F(GLBackendTest, RecolouredRangeOverridesVertexColours) {
    ASSERT_TRUE(start());
    HandMesh mesh;
    mesh.addQuad(0, 0, 0.5f, 1, red);
    mesh.addQuad(0.5f, 0, 1, 1, blue);
    auto buffer = upload(mesh);

    beginFrame();
    backend->setDrawState(drawState(1, buffer, unitToWindow()));
    backend->drawRecolouredRange(Colour(0, 1, 0, 1), 6, 6);
    backend->endFrame();
    auto pixels = frame();
    EXPECT_TRUE(pixelIs(at(pixels, 10, 20), 0, 0, 0)) << "only the given index range is drawn";
    EXPECT_TRUE(pixelIs(at(pixels, 50, 20), 0, 255, 0));
    EXPECT_EQ(backend->statistics.drawRecolouredRangeCalls.total, 1u);
}

TEST_F(GLBackendTest, TintedTextureKeepsItsOrientation) {
    ASSERT_TRUE(start());
    // First row in memory: red, green; second row: blue, white.
    const uint8_t texels[] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    uint32_t texture = backend->newTexture(texels, 2.9, 2.2);
    EXPECT_EQ(backend->textureSizes.at(texture), std::make_pair(2, 2));

    beginFrame();
    backend->setDrawState(drawState(2, nullptr, unitToWindow()));
    backend->drawRecolouredTexture(Colour(1, 1, 0, 1), texture); // the tint takes the blue away
    backend->endFrame();
    auto pixels = frame();
    // The first row lies at the bottom of the quad (y = 0), the first column at its left.
    EXPECT_TRUE(pixelIs(at(pixels, 1, 1), 255, 0, 0));
    EXPECT_TRUE(pixelIs(at(pixels, W - 2, 1), 0, 255, 0));
    EXPECT_TRUE(pixelIs(at(pixels, 1, H - 2), 0, 0, 0));
    EXPECT_TRUE(pixelIs(at(pixels, W - 2, H - 2), 255, 255, 0));
    EXPECT_EQ(backend->statistics.drawRecolouredTextureCalls.total, 1u);
    EXPECT_EQ(backend->statistics.textureUpdates.total, 1u);
    backend->deleteTexture(texture);
    EXPECT_TRUE(backend->textureSizes.empty());
}

TEST_F(GLBackendTest, ClipBoxCoversTheGivenPixelsAndKeepsTheViewport) {
    ASSERT_TRUE(start());
    HandMesh mesh;
    mesh.addQuad(0, 0, 1, 1, red);
    auto buffer = upload(mesh);
    GLint box[4], viewport[4];

    backend->setClipRect(Rect(-1, -1, 2, 2));
    gl.GetIntegerv(GL_SCISSOR_BOX, box);
    gl.GetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(box, box + 4), (std::vector<GLint>{0, 0, W + 1, H + 1}));
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, W, H}));

    backend->clearFrame(0);
    backend->setClipRect(Rect(-0.5, -0.5, 0.5, 1.0)); // pixels [16, 33) x [12, 37)
    EXPECT_EQ(backend->clipRect, Rect(16, 12, 17, 25));
    backend->setDrawState(drawState(0, buffer, unitToWindow()));
    backend->drawRange(0, 6);
    auto pixels = frame();
    EXPECT_TRUE(pixelIs(at(pixels, 16, 12), 255, 0, 0));
    EXPECT_TRUE(pixelIs(at(pixels, 32, 36), 255, 0, 0));
    for (auto [x, y] : {std::pair{15, 20}, {33, 20}, {20, 11}, {20, 37}}) {
        EXPECT_TRUE(pixelIs(at(pixels, x, y), 0, 0, 0)) << x << ", " << y;
    }
}

TEST_F(GLBackendTest, ClipBoxWithNegativeSizeDrawsNothing) {
    ASSERT_TRUE(start());
    HandMesh mesh;
    mesh.addQuad(0, 0, 1, 1, red);
    auto buffer = upload(mesh);
    beginFrame();
    // Rects that miss each other intersect with a negative size; the box must not keep the
    // previous, whole-window clip.
    backend->setClipRect(Rect(0, 0, -0.5, 0.5));
    EXPECT_EQ(backend->clipRect.w, 0);
    backend->setDrawState(drawState(0, buffer, unitToWindow()));
    backend->drawRange(0, 6);
    backend->setClipRect(Rect(0, 0, 0.5, -2));
    EXPECT_EQ(backend->clipRect.h, 0);
    backend->drawRange(0, 6);
    backend->endFrame();
    for (const Pixel& p : frame()) ASSERT_TRUE(pixelIs(p, 0, 0, 0));
}

TEST_F(GLBackendTest, ClearAfterASmallClipClearsTheWholeWindow) {
    ASSERT_TRUE(start());
    HandMesh mesh;
    mesh.addQuad(0, 0, 1, 1, red);
    auto buffer = upload(mesh);
    beginFrame();
    backend->setDrawState(drawState(0, buffer, unitToWindow()));
    backend->drawRange(0, 6);
    backend->endFrame();
    ASSERT_TRUE(pixelIs(at(frame(), 2, 2), 255, 0, 0));

    backend->setClipRect(Rect(-0.1, -0.1, 0.2, 0.2));
    backend->clearFrame(0);
    for (const Pixel& p : frame()) ASSERT_TRUE(pixelIs(p, 0, 0, 0)) << "letterbox margins must be cleared too";
    // The clip still holds for drawing after the clear.
    backend->drawRange(0, 6);
    auto pixels = frame();
    EXPECT_TRUE(pixelIs(at(pixels, W / 2, H / 2), 255, 0, 0));
    EXPECT_TRUE(pixelIs(at(pixels, 2, 2), 0, 0, 0));
}

TEST_F(GLBackendTest, PaperGrainFollowsTheTexelsAndMovesWithTheScrollExactly) {
    // Each texel its own grey, 1.0 and 0.5 among them; one texel per pixel at tile size 8.
    auto paper = std::make_shared<PaperTexture>();
    paper->dimension = 8;
    for (int i = 0; i < 64; ++i) paper->texels.push_back(double((i * 37) % 64) / 63.0);
    paper->texels[0] = 1.0;
    paper->texels[1] = 0.5;
    configuration.paperTexture = paper;
    configuration.paperTileSize = 8;
    configuration.paperStrength = 1.0;
    ASSERT_TRUE(start());
    HandMesh mesh;
    mesh.addQuad(0, 0, 1, 1, Pixel{255, 255, 255, 255});
    auto buffer = upload(mesh);

    auto drawAt = [&](double scroll) {
        beginFrame();
        backend->setDrawState(drawState(0, buffer, unitToWindow(), scroll));
        backend->drawRange(0, 6);
        backend->endFrame();
        return frame();
    };
    auto still = drawAt(0);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            int expected = int(paper->texels[size_t(x % 8 + 8 * (y % 8))] * 255.0);
            ASSERT_TRUE(pixelIs(at(still, x, y), expected, expected, expected)) << x << ", " << y;
        }
    }
    EXPECT_TRUE(pixelIs(at(still, 0, 0), 255, 255, 255, 0));
    EXPECT_TRUE(pixelIs(at(still, 1, 0), 127, 127, 127, 0));

    // Scrolling the page down by 3 pixels moves it, and its grain, 3 rows up the window.
    auto scrolled = drawAt(3);
    int differing = 0;
    for (int y = 3; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            ASSERT_TRUE(pixelIs(at(scrolled, x, y), at(still, x, y - 3).r, at(still, x, y - 3).g,
                                at(still, x, y - 3).b, 0))
                << x << ", " << y;
            differing += at(scrolled, x, y).r != at(still, x, y).r;
        }
    }
    EXPECT_GT(differing, 0);
}

TEST_F(GLBackendTest, PaperStrengthAndGreyscaleShadeEveryProgram) {
    configuration.paperTexture = flatPaper(4, 0.5);
    configuration.paperStrength = 0.5;
    configuration.greyscale = true;
    ASSERT_TRUE(start());
    HandMesh mesh;
    mesh.addQuad(0, 0, 1, 1, red);
    auto buffer = upload(mesh);
    const uint8_t redTexel[] = {255, 0, 0, 255};
    uint32_t texture = backend->newTexture(redTexel, 1, 1);

    // Red to grey 0.299, then paper 0.5 at strength 0.5 keeps three quarters of it.
    const int expected = int(0.299 * 0.75 * 255 + 0.5);
    auto check = [&](const char* what) {
        backend->endFrame();
        EXPECT_TRUE(pixelIs(at(frame(), W / 2, H / 2), expected, expected, expected)) << what;
    };
    beginFrame();
    backend->setDrawState(drawState(0, buffer, unitToWindow()));
    backend->drawRange(0, 6);
    check("polygon");
    beginFrame();
    backend->setDrawState(drawState(1, buffer, unitToWindow()));
    backend->drawRecolouredRange(Colour(1, 0, 0, 1), 0, 6);
    check("recoloured polygon");
    beginFrame();
    backend->setDrawState(drawState(2, nullptr, unitToWindow()));
    backend->drawRecolouredTexture(Colour(1, 1, 1, 1), texture);
    check("recoloured texture");
    beginFrame();
    backend->setDrawState(drawState(3, nullptr, unitToWindow()));
    backend->drawTexture(texture);
    check("offscreen texture");
    backend->deleteTexture(texture);
}

TEST_F(GLBackendTest, OffscreenRenderingAndDrawingItsTextureBack) {
    ASSERT_TRUE(start());
    HandMesh mesh;
    mesh.addQuad(0, 0, 1, 1, red);
    auto buffer = upload(mesh);
    uint32_t target = backend->newTexture(nullptr, 16, 16);

    backend->setClipRect(Rect(-1, -1, 2, 2));
    backend->startOffscreenRender(target);
    EXPECT_TRUE(backend->offscreen());
    // The left half of the texture.
    backend->setDrawState(drawState(0, buffer, Transform::multiply(Transform::translation(Vec2(-1, -1)), Transform::scale(1, 2))));
    backend->drawRange(0, 6);
    backend->endOffscreenRender();
    EXPECT_FALSE(backend->offscreen());
    GLint viewport[4];
    gl.GetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, W, H}));

    backend->clearFrame(0);
    backend->setDrawState(drawState(3, nullptr, unitToWindow()));
    backend->drawTexture(target);
    backend->endFrame();
    auto pixels = frame();
    EXPECT_TRUE(pixelIs(at(pixels, 10, 20), 255, 0, 0));
    EXPECT_TRUE(pixelIs(at(pixels, 50, 20), 0, 0, 0)) << "the untouched half stays transparent";
    EXPECT_EQ(backend->statistics.drawTextureCalls.total, 1u);
    backend->deleteTexture(target);
}

TEST_F(GLBackendTest, OffscreenPolygonStatesUseThePlainProgramAndReportMisuse) {
    ASSERT_TRUE(start());
    HandMesh mesh;
    mesh.addQuad(0, 0, 1, 1, red);
    auto buffer = upload(mesh);
    uint32_t target = backend->newTexture(nullptr, 8, 8);
    backend->startOffscreenRender(target);
    backend->setDrawState(drawState(0, buffer, Transform()));
    GLint program = 0;
    gl.GetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(GLuint(program), backend->plainPolygonProgram);
    backend->setDrawState(drawState(1, buffer, Transform()));
    backend->setDrawState(drawState(3, nullptr, Transform()));
    backend->endOffscreenRender();
    backend->setDrawState(drawState(0, buffer, Transform()));
    gl.GetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(GLuint(program), backend->polygonProgram);
    std::string text = capture->text();
    EXPECT_NE(text.find("GLRendererBackend::setDrawState(): recoloured polygon is invalid offscreen\n"), std::string::npos);
    EXPECT_NE(text.find("GLRendererBackend::setDrawState(): offscreen rect is invalid offscreen\n"), std::string::npos);
    backend->deleteTexture(target);
}

// Paths in back-to-front order: green at the back, translucent blue, red in front.
struct LayeredScene {
    HandMesh mesh;
    LayeredScene(int32_t base) {
        // Front-to-back levels: the frontmost takes base - 1.
        mesh.addQuad(0, 0, 0.6f, 1, red, depthKeyForLevel(base - 1));
        mesh.addQuad(0.2f, 0, 0.8f, 1, halfBlue, depthKeyForLevel(base - 2));
        mesh.addQuad(0.4f, 0, 1, 1, green, depthKeyForLevel(base - 3));
    }
};

TEST_F(GLBackendTest, FrontToBackDrawingMatchesBackToFrontPixels) {
    auto drawScene = [&](bool frontToBack) {
        configuration.frontToBack = frontToBack;
        EXPECT_TRUE(start());
        beginFrame();
        std::vector<std::shared_ptr<PictureBuffer>> pictures;
        // Two pictures in one frame, the depth cleared for each, at the renderer's base level
        // and at a low one.
        for (int32_t base : {frontToBackDepthBase, 4}) {
            LayeredScene scene(base);
            auto buffer = upload(scene.mesh);
            float bottom = base == 4 ? 0.0f : 0.5f;
            Transform t = Transform::multiply(Transform::translation(Vec2(-1, -1 + 2 * bottom)), Transform::scale(2, 1));
            if (frontToBack) {
                backend->clearDepth();
                backend->setDrawState(drawState(0, buffer, t));
                backend->drawRange(0, 6);  // red, opaque, front
                backend->drawRange(12, 6); // green, opaque, back
                backend->drawRange(6, 6);  // the translucent one, deferred
            } else {
                backend->setDrawState(drawState(0, buffer, t));
                backend->drawRange(12, 6);
                backend->drawRange(6, 6);
                backend->drawRange(0, 6);
            }
        }
        backend->endFrame();
        auto pixels = frame();
        buffers.clear();
        return pixels;
    };
    auto backToFront = drawScene(false);
    auto frontToBack = drawScene(true);
    for (int y : {10, 40}) {
        EXPECT_TRUE(pixelIs(at(backToFront, 5, y), 255, 0, 0));
        EXPECT_TRUE(pixelIs(at(backToFront, 33, y), 255, 0, 0));
        EXPECT_TRUE(pixelIs(at(backToFront, 45, y), 0, 127, 128)) << "blue at half alpha over green";
        EXPECT_TRUE(pixelIs(at(backToFront, 60, y), 0, 255, 0));
    }
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const Pixel& a = at(backToFront, x, y);
            ASSERT_TRUE(pixelIs(at(frontToBack, x, y), a.r, a.g, a.b, 0)) << x << ", " << y;
        }
    }
}

TEST_F(GLBackendTest, DepthOfTexturedQuadsFollowsTheFrontToBackFlag) {
    const uint8_t white[] = {255, 255, 255, 255};
    for (bool frontToBack : {false, true}) {
        configuration.frontToBack = frontToBack;
        ASSERT_TRUE(start());
        GLint enabled = -1;
        gl.GetIntegerv(GL_DEPTH_TEST, &enabled);
        EXPECT_EQ(enabled, frontToBack ? 1 : 0);
        uint32_t texture = backend->newTexture(white, 1, 1);
        HandMesh mesh;
        mesh.addQuad(0, 0, 1, 1, red, depthKeyForLevel(frontToBackDepthBase - 1));
        auto buffer = upload(mesh);
        beginFrame();
        backend->clearDepth();
        backend->setDrawState(drawState(0, buffer, unitToWindow()));
        backend->drawRange(0, 6);
        // Two levels behind the red quad: hidden only when depth testing is on.
        backend->setDrawState(drawState(2, nullptr, unitToWindow(), 0, depthKeyForLevel(frontToBackDepthBase - 3)));
        backend->drawRecolouredTexture(Colour(0, 0, 1, 1), texture);
        backend->endFrame();
        EXPECT_TRUE(pixelIs(at(frame(), W / 2, H / 2), frontToBack ? 255 : 0, 0, frontToBack ? 0 : 255))
            << "front to back " << frontToBack;
        backend->deleteTexture(texture);
        buffers.clear();
    }
}

class ForeignTarget : public PictureBufferTarget {
public:
    void uploadEntireBuffer(const std::vector<PictureVertex>&, const std::vector<uint32_t>&) override {}
    void uploadVertexData(uint64_t, uint64_t, const PictureVertex*) override {}
    void uploadIndexData(uint64_t, uint64_t, const uint32_t*) override {}
};

TEST_F(GLBackendTest, DrawWithoutAGLBufferIsReportedOnceAndSkipped) {
    ASSERT_TRUE(start());
    auto foreign = std::make_shared<PictureBuffer>();
    foreign->init(std::make_shared<ForeignTarget>());
    beginFrame();
    backend->setDrawState(drawState(0, nullptr, Transform()));
    backend->drawRange(0, 6);
    backend->drawRecolouredRange(Colour(), 0, 6);
    backend->setDrawState(drawState(1, foreign, unitToWindow()));
    backend->drawRange(0, 3);
    EXPECT_EQ(backend->statistics.drawRangeCalls.current, 0u);
    EXPECT_EQ(backend->statistics.drawRecolouredRangeCalls.current, 0u);
    std::string text = capture->text();
    const std::string line = "GLRendererBackend::drawRange(): no picture buffer is current, draw skipped\n";
    EXPECT_EQ(text.find(line), text.rfind(line)) << text;
    EXPECT_NE(text.find(line), std::string::npos) << text;
    EXPECT_EQ(text.find("drawRecolouredRange(): no picture buffer"), std::string::npos) << text;

    // A drawable buffer draws, and the next miss is reported again.
    HandMesh mesh;
    mesh.addQuad(0, 0, 1, 1, red);
    auto buffer = upload(mesh);
    backend->setDrawState(drawState(0, buffer, unitToWindow()));
    backend->drawRange(0, 6);
    EXPECT_EQ(backend->statistics.drawRangeCalls.current, 1u);
    EXPECT_TRUE(pixelIs(at(frame(), 5, 5), 255, 0, 0));
    backend->setDrawState(drawState(0, nullptr, Transform()));
    backend->drawRecolouredRange(Colour(), 0, 6);
    EXPECT_NE(capture->text().find("drawRecolouredRange(): no picture buffer"), std::string::npos);
}

// Counts the GL objects alive in the context, by name.
struct ObjectCensus {
    int programs = 0, shaders = 0, textures = 0, buffers = 0, arrays = 0;
    bool operator==(const ObjectCensus&) const = default;

    static ObjectCensus take() {
        using IsObject = GLboolean(APIENTRYP)(GLuint);
        auto isProgram = reinterpret_cast<IsObject>(GLContext::procAddress("glIsProgram"));
        auto isShader = reinterpret_cast<IsObject>(GLContext::procAddress("glIsShader"));
        auto isTexture = reinterpret_cast<IsObject>(GLContext::procAddress("glIsTexture"));
        auto isBuffer = reinterpret_cast<IsObject>(GLContext::procAddress("glIsBuffer"));
        auto isArray = reinterpret_cast<IsObject>(GLContext::procAddress("glIsVertexArray"));
        ObjectCensus census;
        for (GLuint name = 1; name < 4096; ++name) {
            census.programs += isProgram(name);
            census.shaders += isShader(name);
            census.textures += isTexture(name);
            census.buffers += isBuffer(name);
            census.arrays += isArray(name);
        }
        return census;
    }
};

std::ostream& operator<<(std::ostream& out, const ObjectCensus& c) {
    return out << c.programs << " programs, " << c.shaders << " shaders, " << c.textures << " textures, " << c.buffers
               << " buffers, " << c.arrays << " vertex arrays";
}

// A copy of the packin shaders in which one file is missing or replaced.
std::shared_ptr<PathProvider> alteredPackin(const TempDir& dir, const std::string& file, const std::string* contents) {
    namespace fs = std::filesystem;
    fs::copy(packinDirectory(), dir.path(), fs::copy_options::recursive);
    fs::remove(dir.file(file));
    if (contents) writeFile(dir.file(file), *contents);
    return std::make_shared<PathProvider>(dir.path());
}

TEST_F(GLBackendTest, FailedInitReleasesWhatItBuiltAndRepeatsNoReport) {
    ASSERT_TRUE(start()); // a success starts the failure reports afresh
    backend->shutdown();
    backend.reset();
    TempDir dir;
    auto broken = alteredPackin(dir, "shaders-gl3/polygon.fsh", nullptr);
    ObjectCensus before = ObjectCensus::take();
    capture->clear();

    auto failing = std::make_shared<GLRendererBackend>();
    EXPECT_FALSE(failing->init(broken, configuration));
    EXPECT_EQ(ObjectCensus::take(), before);
    std::string text = capture->text();
    size_t missing = text.find("Could not find shader: shaders-gl3/polygon.fsh\n");
    size_t failure = text.find("Unable to compile poly shader program\n");
    EXPECT_NE(missing, std::string::npos) << text;
    EXPECT_NE(failure, std::string::npos) << text;
    EXPECT_LT(missing, failure);

    // The host's next frame tries again with a new backend: nothing leaks, nothing is repeated.
    capture->clear();
    for (int frameNumber = 0; frameNumber < 3; ++frameNumber) {
        auto retry = std::make_shared<GLRendererBackend>();
        EXPECT_FALSE(retry->init(broken, configuration));
    }
    EXPECT_EQ(ObjectCensus::take(), before);
    EXPECT_EQ(capture->text(), "");

    // A different failure is reported.
    configuration.paperTileSize = 0;
    EXPECT_FALSE(std::make_shared<GLRendererBackend>()->init(packin(), configuration));
    EXPECT_NE(capture->text().find("GLRendererBackend::init: paper tile size is 0\n"), std::string::npos);
}

TEST_F(GLBackendTest, ShaderThatDoesNotCompileLeaksNothing) {
    ASSERT_TRUE(start());
    backend->shutdown();
    backend.reset();
    TempDir dir;
    const std::string bad = "\nvoid main()\n{\n    fragColour = undeclaredThing;\n}\n";
    auto broken = alteredPackin(dir, "shaders-gl3/recoloured-polygon.fsh", &bad);
    ObjectCensus before = ObjectCensus::take();
    capture->clear();
    EXPECT_FALSE(std::make_shared<GLRendererBackend>()->init(broken, configuration));
    EXPECT_EQ(ObjectCensus::take(), before);
    std::string text = capture->text();
    EXPECT_NE(text.find("Shader compile log:\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Status bad:\n"), std::string::npos) << text;
    EXPECT_NE(text.find("undeclaredThing"), std::string::npos) << text;
    EXPECT_NE(text.find("Unable to compile colourised poly shader program\n"), std::string::npos) << text;
}

// Counts the deletions that reach GL while a test swaps them into the entry-point table.
int glDeletions = 0;
void APIENTRY countDeleteBuffers(GLsizei, const GLuint*) { ++glDeletions; }
void APIENTRY countDeleteVertexArrays(GLsizei, const GLuint*) { ++glDeletions; }

TEST_F(GLBackendTest, ShutdownFreesLivePictureBuffersAndLeavesThemNoGLCalls) {
    ObjectCensus empty = ObjectCensus::take();
    ASSERT_TRUE(start());
    HandMesh mesh;
    mesh.addQuad(0, 0, 1, 1, red);
    auto drawn = upload(mesh);
    std::shared_ptr<PictureBufferTarget> idle = backend->createPictureBufferTarget();
    backend->createPictureBufferTarget(); // gone at once, freed by itself
    backend->setDrawState(drawState(0, drawn, unitToWindow())); // the backend holds it too

    // The host deletes the context after shutdown and releases the book view, with its
    // pictures, only then.
    backend->shutdown();
    EXPECT_EQ(ObjectCensus::take(), empty) << "the buffers still held by their pictures are freed too";

    glDeletions = 0;
    const GLEntryPoints saved = gl;
    gl.DeleteBuffers = countDeleteBuffers;
    gl.DeleteVertexArrays = countDeleteVertexArrays;
    buffers.clear();
    drawn.reset();
    idle.reset();
    backend.reset();
    gl = saved;
    EXPECT_EQ(glDeletions, 0) << "no GL call once the backend is shut down";
}

TEST_F(GLBackendTest, UnusablePaperIsRefusedWithAMessage) {
    struct Case {
        const char* what;
        std::function<void(Configuration&)> spoil;
        const char* line;
    };
    const std::vector<Case> cases = {
        {"no texture", [](Configuration& c) { c.paperTexture.reset(); }, "GLRendererBackend::init: no paper texture\n"},
        {"tile size 0", [](Configuration& c) { c.paperTileSize = 0; }, "GLRendererBackend::init: paper tile size is 0\n"},
        {"NaN texel",
         [](Configuration& c) {
             auto paper = std::make_shared<PaperTexture>(*c.paperTexture);
             paper->texels[5] = std::nan("");
             c.paperTexture = paper;
         },
         "GLRendererBackend::createPaperTexture: texel 5 is not a number\n"},
        {"short texels",
         [](Configuration& c) {
             auto paper = std::make_shared<PaperTexture>(*c.paperTexture);
             paper->texels.pop_back();
             c.paperTexture = paper;
         },
         "GLRendererBackend::init: a paper texture of dimension 4 cannot hold 15 texels\n"},
        {"dimension 0",
         [](Configuration& c) { c.paperTexture = std::make_shared<PaperTexture>(); },
         "GLRendererBackend::init: a paper texture of dimension 0 cannot hold 0 texels\n"},
    };
    ASSERT_TRUE(start());
    backend->shutdown();
    backend.reset();
    ObjectCensus before = ObjectCensus::take();
    for (const Case& c : cases) {
        Configuration spoilt = configuration;
        c.spoil(spoilt);
        capture->clear();
        EXPECT_FALSE(std::make_shared<GLRendererBackend>()->init(packin(), spoilt)) << c.what;
        EXPECT_NE(capture->text().find(c.line), std::string::npos) << c.what << ": " << capture->text();
        EXPECT_EQ(ObjectCensus::take(), before) << c.what;
    }
}

TEST_F(GLBackendTest, PaperTexelsBecomeBytesInAllFourChannels) {
    auto paper = std::make_shared<PaperTexture>();
    paper->dimension = 2;
    paper->texels = {1.0, 0.5, 0.0, 1.5}; // beyond white stops at white
    configuration.paperTexture = paper;
    ASSERT_TRUE(start());
    using GetTexImage = void(APIENTRYP)(GLenum, GLint, GLenum, GLenum, void*);
    auto getTexImage = reinterpret_cast<GetTexImage>(GLContext::procAddress("glGetTexImage"));
    ASSERT_NE(getTexImage, nullptr);
    GLint unit1 = 0;
    gl.ActiveTexture(GL_TEXTURE1);
    gl.GetIntegerv(GL_TEXTURE_BINDING_2D, &unit1);
    EXPECT_EQ(GLuint(unit1), backend->paperTexture);
    uint8_t bytes[16] = {};
    getTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes);
    gl.ActiveTexture(GL_TEXTURE0);
    const uint8_t expected[16] = {255, 255, 255, 255, 127, 127, 127, 127, 0, 0, 0, 0, 255, 255, 255, 255};
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 16), std::vector<uint8_t>(expected, expected + 16));
}

using GLBackendDeathTest = GLBackendTest;

TEST_F(GLBackendDeathTest, OffscreenRenderIntoADeletedTextureEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // the child makes its own context
    capture.reset();
    EXPECT_EXIT(
        {
            start();
            uint32_t texture = backend->newTexture(nullptr, 4, 4);
            backend->deleteTexture(texture);
            backend->startOffscreenRender(texture);
        },
        testing::ExitedWithCode(1), "(^|\n)GLRendererBackend::startOffscreenRender\\(\\): could not find texture index [0-9]+\n");
}

TEST_F(GLBackendDeathTest, TexturedRectOffscreenEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    capture.reset();
    EXPECT_EXIT(
        {
            start();
            uint32_t texture = backend->newTexture(nullptr, 4, 4);
            backend->startOffscreenRender(texture);
            backend->setDrawState(drawState(2, nullptr, Transform()));
        },
        testing::ExitedWithCode(1), "(^|\n)GLRendererBackend::setDrawState\\(\\): textured rect is invalid offscreen\n");
}

} // namespace
} // namespace hv::test
