// Whole pages through the book view, the merging cache and the OpenGL backend, with real text,
// read back from GL.
#include "core/PlatformBackend.h"
#include "host/SDLTypesetter.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/CoreRenderer.h"
#include "render/PictureInstance.h"
#include "render/RendererBackendCache.h"
#include "render/gl/GLTestSupport.h"
#include "support/PictureBuilder.h"
#include "support/TempDir.h"

#include <SDL_ttf.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace hv::test {
namespace {

// The services a page needs from the window: the GL backend and typesetting with a real font.
class PagePlatform : public PlatformBackend {
public:
    double getBrightness() override { return 1.0; }
    void setBrightness(double) override {}
    void setTitle(const std::string&) override {}
    void setCursor(int32_t) override {}
    std::shared_ptr<SoundManager> soundManager() override { return nullptr; }
    std::shared_ptr<RendererBackend> renderer() override { return rendererBackend; }
    std::shared_ptr<TypesetterBackend> typesetter() override { return typesetterBackend; }

    std::shared_ptr<RendererBackend> rendererBackend;
    std::shared_ptr<SDLTypesetter> typesetterBackend;
};

// A cached animation whose frames are one triangle each, with a path outline to cull by.
Path meshFramesPath(const Colour& colour, double time) {
    Path path;
    path.commands = {PathCommand::moveTo(1, 1), PathCommand::lineTo(3, 1), PathCommand::lineTo(2, 3)};
    path.colour = colour;
    path.meshCache = makeMeshFrames(4);
    path.meshTime = time;
    return path;
}

class GLBookViewTest : public GLBackendTest {
protected:
    void SetUp() override {
        GLBackendTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_EQ(TTF_Init(), 0);
        ttfStarted = true;
        std::filesystem::create_directory(story.file("fonts"));
        std::filesystem::create_symlink("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                        story.file("fonts/DejaVuSans.ttf"));
        configuration.framerate = 25;
        configuration.paperTexture = grainyPaper();
        configuration.paperTileSize = 8;
        configuration.paperStrength = 0.4;
    }

    void TearDown() override {
        dropView();
        GLBackendTest::TearDown();
        if (ttfStarted) TTF_Quit();
    }

    // Eight by eight texels of distinct greys, none of them white.
    static std::shared_ptr<PaperTexture> grainyPaper() {
        auto paper = std::make_shared<PaperTexture>();
        paper->dimension = 8;
        for (int i = 0; i < 64; ++i) paper->texels.push_back(0.3 + 0.7 * double((i * 37) % 64) / 63.0);
        return paper;
    }

    void dropView() {
        if (view) view->reset(); // deletes the paragraph textures
        view.reset();
        platform.reset();
    }

    // A view over a freshly started backend with the current configuration.
    void startView() {
        dropView();
        ASSERT_TRUE(start()) << capture->text();
        platform = std::make_shared<PagePlatform>();
        platform->rendererBackend = backend;
        platform->typesetterBackend = std::make_shared<SDLTypesetter>();
        ASSERT_TRUE(platform->typesetterBackend->init(std::make_shared<PathProvider>(story.path())));
        font = platform->typesetterBackend->loadFont("DejaVuSans", 9);
        ASSERT_EQ(font, 0);
        view = std::make_shared<BookView>();
        ASSERT_TRUE(view->init(configuration, nullptr, nullptr, platform));
    }

    PictureInstance& instance(uint64_t index) { return *view->canvas()->find(int64_t(index)); }

    uint64_t place(std::shared_ptr<Picture> picture, const Rect& rect, int32_t mode, int64_t key) {
        uint64_t index = view->addPictureInstance(std::move(picture));
        instance(index).rect = rect;
        instance(index).positionMode = mode;
        instance(index).layerKey = key;
        return index;
    }

    // Overlapping opaque and translucent shapes, tinted text with shapes of both kinds in front of
    // it, and cached animations, on nested rotated nodes in two overlapping canvases that move
    // differently with the scroll.
    void buildPage() {
        auto [id, aspect] = view->addParagraph("Grain and ink", 0, font, 30);
        ASSERT_EQ(id, 1u);

        auto first = makePicture(10, 10);
        Picture& p = *first;
        addSquare(p, 0, 0, 0, 10, Colour(0.9, 0.9, 0.8, 1));
        addSquare(p, 0, 1, 1, 5, Colour(0.2, 0.4, 0.9, 0.5));
        addSquare(p, 0, 3, 3, 5, Colour(0.8, 0.1, 0.1, 1));
        // The text's node comes after the root's shapes, so they lie behind it.
        uint64_t text = addNode(p, 0);
        p.nodes[text].translation = Vec2(0.5, 1);
        p.nodes[text].lines.push_back(Paragraph{Colour(0.1, 0.1, 0.3, 1), int32_t(id), Vec2(8, 8 / aspect)});
        addSquare(p, text, 0.5, 0.2, 4, Colour(1, 1, 0, 0.4)); // translucent, over the text
        addSquare(p, text, 6, 0, 1.5, Colour(0.1, 0.6, 0.2, 1));  // opaque, over the text's end
        uint64_t turned = addNode(p, 0);
        p.nodes[turned].translation = Vec2(5, 5);
        p.nodes[turned].rotation = 0.4;
        addSquare(p, turned, -2, -2, 4, Colour(0.1, 0.7, 0.2, 0.75));
        p.paths.push_back(meshFramesPath(Colour(0.5, 0.2, 0.8, 0.6), 0.02));
        p.nodes[turned].paths.push_back(p.paths.size() - 1);
        p.paths.push_back(meshFramesPath(Colour(0.9, 0.5, 0.1, 1), 0.04));
        p.nodes[turned].paths.push_back(p.paths.size() - 1);
        uint64_t small = addNode(p, turned);
        p.nodes[small].scaleX = 0.5;
        p.nodes[small].lines.push_back(Paragraph{Colour(1, 1, 1, 0.7), int32_t(id), Vec2(6, 6 / aspect)});
        addSquare(p, small, 0, 0, 6, Colour(1, 0.5, 1, 0.4));
        place(first, Rect(4, 4, 40, 36), PictureInstance::InRow, 0);

        auto second = makePicture(10, 10);
        addSquare(*second, 0, 0, 0, 10, Colour(0, 0.5, 0.5, 0.5));
        addSquare(*second, 0, 2, 2, 4, Colour(0.6, 0.6, 0, 1));
        second->nodes[0].lines.push_back(Paragraph{Colour(0.9, 0.9, 0.9, 1), int32_t(id), Vec2(9, 9 / aspect)});
        place(second, Rect(30, 20, 30, 26), PictureInstance::Fixed, 1);
    }

    std::vector<Pixel> drawFrame() {
        view->draw(false, true);
        return frame();
    }

    TempDir story;
    bool ttfStarted = false;
    int32_t font = -1;
    std::shared_ptr<PagePlatform> platform;
    std::shared_ptr<BookView> view;
};

TEST_F(GLBookViewTest, FrontToBackModeDrawsTheSamePixelsAsNormalMode) {
    std::vector<std::vector<Pixel>> frames;
    for (bool frontToBack : {false, true}) {
        SCOPED_TRACE(frontToBack ? "front to back" : "normal");
        configuration.frontToBack = frontToBack;
        startView();
        view->setBackgroundColour(Colour(0.1, 0.2, 0.3, 1));
        view->setContentHeight(200);
        buildPage();
        view->setScrollY(3);
        // Depth left over from an earlier frame must hide nothing in the next.
        drawFrame();
        drawFrame();
        frames.push_back(drawFrame());
    }
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const Pixel& a = at(frames[0], x, y);
            ASSERT_TRUE(pixelIs(at(frames[1], x, y), a.r, a.g, a.b, 0)) << x << ", " << y;
        }
    }
    std::set<uint32_t> colours;
    for (const Pixel& p : frames[0]) colours.insert(uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b);
    EXPECT_GT(colours.size(), 40u) << "the page is not trivially plain";
}

TEST_F(GLBookViewTest, TranslucentShapeInFrontOfTextShowsInBothModes) {
    // A yellow veil in front of a black text box: where the box is transparent the veil lies
    // over the white square behind; it must be drawn in either mode.
    std::vector<Pixel> seen;
    for (bool frontToBack : {false, true}) {
        configuration.frontToBack = frontToBack;
        configuration.paperStrength = 0.0;
        startView();
        view->setBackgroundColour(Colour(0, 0, 0, 1));
        uint32_t id = view->addParagraph("ana", 0, font, 30).first;
        auto picture = makePicture(64, 48);
        addSquare(*picture, 0, 0, 0, 64, Colour(1, 1, 1, 1));
        uint64_t front = addNode(*picture, 0);
        picture->nodes[front].lines.push_back(Paragraph{Colour(0, 0, 0, 1), int32_t(id), Vec2(64, 48)});
        addSquare(*picture, front, 0, 0, 64, Colour(1, 1, 0, 0.5));
        place(picture, Rect(0, 0, 64, 48), PictureInstance::Fixed, 0);
        auto pixels = drawFrame();
        // The box, stretched over the whole height, is clear of glyphs above the x-height.
        seen.push_back(at(pixels, 2, H - 3));
    }
    for (const Pixel& p : seen) EXPECT_TRUE(pixelIs(p, 255, 255, 127)) << "veil over white, not hidden by the text box";
}

TEST_F(GLBookViewTest, DeepPictureKeepsItsOrderInFrontToBackMode) {
    // More shapes than one picture has ever held in a test: each covers the whole picture,
    // so only the frontmost may show.
    const int count = 4200;
    auto drawDeep = [&](bool frontToBack) {
        configuration.frontToBack = frontToBack;
        configuration.paperStrength = 0.0;
        startView();
        auto picture = makePicture(10, 10);
        for (int i = 0; i < count; ++i) {
            // Bytes are truncated, so each channel aims at the middle of its byte.
            addSquare(*picture, 0, 0, 0, 10, Colour((i % 256 + 0.5) / 255.0, (i / 256 + 0.5) / 255.0, 0.5, 1));
        }
        place(picture, Rect(0, 0, 64, 48), PictureInstance::Fixed, 0);
        return drawFrame();
    };
    const int last = count - 1;
    for (bool frontToBack : {false, true}) {
        auto pixels = drawDeep(frontToBack);
        for (auto [x, y] : {std::pair{1, 1}, {32, 24}, {62, 46}}) {
            EXPECT_TRUE(pixelIs(at(pixels, x, y), last % 256, last / 256, 127, 0))
                << "front to back " << frontToBack << " at " << x << ", " << y;
        }
    }
}

TEST_F(GLBookViewTest, PaperGrainMovesWithThePageExactly) {
    configuration.paperStrength = 1.0;
    startView();
    view->setBackgroundColour(Colour(1, 1, 1, 1));
    view->setContentHeight(500);
    auto page = makePicture(10, 10);
    addSquare(*page, 0, 0, 0, 10, Colour(0.2, 0.9, 0.6, 1));
    addSquare(*page, 0, 2, 2, 3, Colour(0.9, 0.3, 0.1, 1));
    place(page, Rect(4, 10, 30, 30), PictureInstance::InRow, 0);
    auto badge = makePicture(10, 10);
    addSquare(*badge, 0, 0, 0, 10, Colour(0.7, 0.7, 0.9, 1));
    place(badge, Rect(44, 4, 16, 16), PictureInstance::Fixed, 0);

    auto still = drawFrame();
    const int shift = 5;
    view->setScrollY(shift);
    auto scrolled = drawFrame();

    // Rows count from the bottom: the page and its grain move up the window by the scroll.
    // The in-row canvas covers window rows 8..37 from the bottom at scroll 0.
    int moved = 0;
    for (int y = 8; y < 38; ++y) {
        for (int x = 4; x < 34; ++x) {
            const Pixel& before = at(still, x, y);
            ASSERT_TRUE(pixelIs(at(scrolled, x, y + shift), before.r, before.g, before.b, 0)) << x << ", " << y;
            moved += at(scrolled, x, y).r != before.r;
        }
    }
    EXPECT_GT(moved, 0) << "the grain is visible";
    // The background's grain moves with the page too, though the background itself stays.
    for (int y = 0; y < 6; ++y) {
        for (int x = 36; x < 44; ++x) {
            const Pixel& before = at(still, x, y);
            ASSERT_TRUE(pixelIs(at(scrolled, x, y + shift), before.r, before.g, before.b, 0)) << x << ", " << y;
        }
    }
    // A canvas fixed in the window keeps its pixels, grain included.
    for (int y = 28; y < 44; ++y) {
        for (int x = 44; x < 60; ++x) {
            const Pixel& before = at(still, x, y);
            ASSERT_TRUE(pixelIs(at(scrolled, x, y), before.r, before.g, before.b, 0)) << x << ", " << y;
        }
    }
}

TEST_F(GLBookViewTest, OffscreenThroughTheCacheUsesThePlainProgramAndDrawsBack) {
    // Dark paper at full strength: what the paper programs draw is darkened, what the plain
    // program draws offscreen is not.
    configuration.paperTexture = flatPaper(4, 0.5);
    configuration.paperStrength = 1.0;
    ASSERT_TRUE(start());
    auto cache = std::make_shared<RendererBackendCache>();
    ASSERT_TRUE(cache->init(backend));
    HandMesh mesh;
    mesh.addQuad(0, 0, 1, 1, Pixel{255, 0, 0, 255});
    auto buffer = std::make_shared<PictureBuffer>();
    buffer->init(cache->createPictureBufferTarget());
    buffer->target()->uploadEntireBuffer(mesh.vertices, mesh.indices);
    buffers.push_back(buffer);
    uint32_t target = cache->newTexture(nullptr, 16, 16);

    const RendererBackend::DrawState left =
        drawState(0, buffer, Transform::multiply(Transform::translation(Vec2(-1, -1)), Transform::scale(1, 2)));
    cache->clearFrame(0);
    cache->setClipRect(Rect(-1, -1, 2, 2));
    cache->setDrawState(left);
    cache->drawRange(0, 6);
    cache->startOffscreenRender(target);
    cache->setDrawState(left); // equal to the last state, but offscreen now
    cache->drawRange(0, 6);
    cache->flush();
    std::vector<Pixel> texels(16 * 16);
    cache->readPixels(0, 0, 16, 16, reinterpret_cast<uint8_t*>(texels.data()));
    EXPECT_TRUE(pixelIs(texels[size_t(8 * 16 + 2)], 255, 0, 0, 0)) << "no paper offscreen";
    EXPECT_EQ(texels[size_t(8 * 16 + 12)].a, 0) << "the untouched half stays transparent";
    cache->endOffscreenRender();

    cache->clearFrame(0);
    cache->setDrawState(left); // equal again, but back on screen
    cache->drawRange(0, 6);
    cache->endFrame();
    EXPECT_TRUE(pixelIs(at(frame(), 10, 20), 127, 0, 0)) << "the paper is back on screen";

    // The texture drawn back over the right half, through the paper once.
    cache->clearFrame(0);
    cache->setDrawState(drawState(3, nullptr, Transform::multiply(Transform::translation(Vec2(0, -1)), Transform::scale(1, 2))));
    cache->drawTexture(target);
    cache->endFrame();
    auto pixels = frame();
    EXPECT_TRUE(pixelIs(at(pixels, 34, 20), 127, 0, 0));
    EXPECT_TRUE(pixelIs(at(pixels, 60, 20), 0, 0, 0));
    EXPECT_TRUE(pixelIs(at(pixels, 10, 20), 0, 0, 0));
    cache->deleteTexture(target);
}

} // namespace
} // namespace hv::test
