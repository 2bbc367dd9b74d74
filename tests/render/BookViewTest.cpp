#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/CoreRenderer.h"
#include "render/PictureBuffer.h"
#include "render/PictureInstance.h"
#include "render/RendererBackendCache.h"
#include "support/FakePlatform.h"
#include "support/GifReading.h"
#include "support/PictureBuilder.h"
#include "support/RecordingBackend.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>

namespace hv::test {
namespace {

using State = RendererBackend::DrawState;

const Colour red(1, 0, 0, 1);
const Colour green(0, 1, 0, 1);
const Colour blue(0, 0, 1, 1);

Configuration smallWindow(uint64_t windowWidth, uint64_t windowHeight, uint64_t contentWidth, uint64_t contentHeight) {
    Configuration c;
    c.windowWidth = windowWidth;
    c.windowHeight = windowHeight;
    c.contentWidth = contentWidth;
    c.contentHeight = contentHeight;
    c.framerate = 25;
    return c;
}

struct BookViewFixture : ::testing::Test {
    std::shared_ptr<RecordingBackend> backend = std::make_shared<RecordingBackend>();
    std::shared_ptr<FakePlatform> platform = std::make_shared<FakePlatform>();
    std::shared_ptr<BookView> view = std::make_shared<BookView>();
    Configuration configuration = smallWindow(64, 48, 64, 48);

    void SetUp() override { start(); }

    void start() {
        platform->rendererBackend = backend;
        view = std::make_shared<BookView>();
        ASSERT_TRUE(view->init(configuration, nullptr, nullptr, platform));
    }

    PictureInstance& instance(uint64_t index) { return *view->canvas()->find(int64_t(index)); }

    // A canvas of one square filling a 10 x 10 picture, placed at the rect.
    uint64_t addCanvas(const Rect& rect, const Colour& colour, int32_t mode = PictureInstance::InRow, int64_t key = 0) {
        auto picture = makePicture(10, 10);
        addSquare(*picture, 0, 0, 0, 10, colour);
        uint64_t index = view->addPictureInstance(picture);
        instance(index).rect = rect;
        instance(index).positionMode = mode;
        instance(index).layerKey = key;
        return index;
    }

    void frame(bool reveal = false) {
        backend->calls.clear();
        view->draw(reveal, true);
    }

    // The buffers drawn from, in order, without the background.
    std::vector<PictureBuffer*> drawnBuffers() const {
        std::vector<PictureBuffer*> out;
        for (const BackendCall& c : backend->calls) {
            if (c.kind != BackendCall::SetDrawState || c.state.buffer == view->backgroundBuffer()) continue;
            if (out.empty() || out.back() != c.state.buffer.get()) out.push_back(c.state.buffer.get());
        }
        return out;
    }
};

TEST_F(BookViewFixture, InitFailsWithoutARenderer) {
    platform->rendererBackend = nullptr;
    auto other = std::make_shared<BookView>();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(other->init(configuration, nullptr, nullptr, platform));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "BookView::init(): unable to init the backend cache\n");
}

TEST_F(BookViewFixture, FrameStartsWithTheBackground) {
    view->setScrollY(7);
    view->setBackgroundColour(Colour(0, 0.5, 1, 0.2));
    frame();
    ASSERT_GE(backend->calls.size(), 6u);
    EXPECT_EQ(backend->calls[0].kind, BackendCall::ClearFrame);
    EXPECT_EQ(backend->calls[0].scroll, 7);
    EXPECT_EQ(backend->calls[1].kind, BackendCall::UploadEntireBuffer);
    EXPECT_EQ(backend->calls[2].describe(), "setClipRect(Rect(-1, -1, 2, 2))");
    EXPECT_EQ(backend->calls[3].kind, BackendCall::SetDrawState);
    EXPECT_EQ(backend->calls[3].state.buffer, view->backgroundBuffer());
    EXPECT_EQ(backend->calls[3].state.yb, 7);
    EXPECT_TRUE(backend->calls[3].state.t._isTrivial());
    EXPECT_EQ(backend->calls[4].describe(), "drawRange(0, 6)");
    EXPECT_EQ(backend->calls[5].kind, BackendCall::EndFrame);
    const PictureVertex& v = view->backgroundBuffer()->vertices()[2];
    EXPECT_EQ(v.x, 1.0f);
    EXPECT_EQ(v.y, 1.0f);
    EXPECT_EQ(v.g, 127);
    EXPECT_EQ(v.b, 255);
    EXPECT_EQ(v.a, 255) << "the background is opaque";
}

TEST_F(BookViewFixture, LayersAreDrawnInKeyOrderAndCanvasOrderWithin) {
    uint64_t a = addCanvas(Rect(0, 0, 10, 10), red, PictureInstance::InRow, 5);
    uint64_t b = addCanvas(Rect(10, 0, 10, 10), green, PictureInstance::InRow, -2);
    uint64_t c = addCanvas(Rect(20, 0, 10, 10), blue, PictureInstance::InRow, 5);
    uint64_t d = addCanvas(Rect(30, 0, 10, 10), blue, PictureInstance::InRow, -7);
    view->hidePictureInstance(d); // removed with its layer: nothing of it is drawn
    frame();
    EXPECT_EQ(drawnBuffers(), (std::vector<PictureBuffer*>{instance(b).buffer.get(), instance(a).buffer.get(),
                                                           instance(c).buffer.get()}));
}

TEST_F(BookViewFixture, InstancesOutsideTheViewAreSkipped) {
    uint64_t below = addCanvas(Rect(0, 80, 10, 10), red); // 55 below the top once scrolled
    uint64_t right = addCanvas(Rect(70, 0, 10, 10), red);
    uint64_t left = addCanvas(Rect(-30, 0, 10, 10), red);
    uint64_t scrolledAway = addCanvas(Rect(0, 10, 10, 10), red);
    uint64_t flat = addCanvas(Rect(5, 5, 0, 10), red);
    uint64_t visible = addCanvas(Rect(20, 20, 10, 10), green);
    view->setScrollY(25);
    instance(visible).positionMode = PictureInstance::Fixed;
    frame();
    EXPECT_EQ(drawnBuffers(), (std::vector<PictureBuffer*>{instance(visible).buffer.get()}));
    for (uint64_t skipped : {below, right, left, scrolledAway, flat}) {
        EXPECT_EQ(instance(skipped).buffer->regionCount(), 0u) << skipped << " was prepared";
    }
    for (const BackendCall& c : backend->callsOf(BackendCall::SetClipRect)) {
        EXPECT_GT(c.rect.w, 0) << c.describe();
        EXPECT_GT(c.rect.h, 0) << c.describe();
    }
}

TEST_F(BookViewFixture, PlacementByPositionMode) {
    uint64_t corner = addCanvas(Rect(0, 0, 16, 8), red, PictureInstance::RevealIndicator);
    uint64_t odd = addCanvas(Rect(0, 0, 8, 8), green, 9);
    frame(false);
    testing::internal::CaptureStderr();
    frame(false);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "picture instance position not handled in book view\n");
    EXPECT_EQ(drawnBuffers(), (std::vector<PictureBuffer*>{instance(odd).buffer.get()}))
        << "the reveal indicator is hidden";

    testing::internal::CaptureStderr();
    frame(true);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(instance(corner).rect, Rect(48, 40, 16, 8)) << "moved to the bottom right";
    EXPECT_EQ(drawnBuffers().size(), 2u);
}

TEST_F(BookViewFixture, ParagraphsAndInstancesStartOverAfterReset) {
    EXPECT_EQ(view->addPictureInstance(makePicture(1, 1)), 0u);
    std::weak_ptr<Picture> picture = instance(0).picture;
    std::weak_ptr<PictureBuffer> buffer = instance(0).buffer;
    view->hidePictureInstance(0);
    // Hidden, it keeps nothing: its handle is known as removed, and not given again.
    EXPECT_TRUE(view->canvas()->wasRemoved(0) && picture.expired() && buffer.expired());
    EXPECT_EQ(view->addPictureInstance(makePicture(1, 1)), 1u);

    auto [first, aspect] = view->addParagraph("one", 0, 0, 300);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(aspect, 30.0);
    EXPECT_EQ(view->addParagraph("two", 0, 0, 300).first, 2u);
    EXPECT_EQ(backend->textures.size(), 2u);
    EXPECT_EQ(platform->typesetterBackend->texts, (std::vector<std::string>{"one", "two"}));

    view->setScrollY(40);
    view->reset();
    EXPECT_TRUE(backend->textures.empty()) << "every texture made before the reset is deleted";
    EXPECT_EQ(view->scrollY(), 0);
    EXPECT_EQ(view->addParagraph("three", 0, 0, 300).first, 1u);
    EXPECT_EQ(view->addPictureInstance(makePicture(1, 1)), 0u);
}

TEST_F(BookViewFixture, ViewMetricsAndScrollLimit) {
    view->setContentHeight(30);
    EXPECT_EQ(view->maxScroll(), -18) << "a page shorter than the view";
    view->setContentHeight(100);
    EXPECT_EQ(view->maxScroll(), 52);
    EXPECT_EQ(view->viewMetrics(), std::make_tuple(64.0, 100.0, 48.0));
}

struct RecordingFixture : BookViewFixture {
    TempDir dir;
};

TEST_F(RecordingFixture, WholeWindowRecording) {
    addCanvas(Rect(0, 0, 64, 48), red);
    ASSERT_TRUE(view->startRecording(dir.file("window.gif"), -1));
    frame();
    frame();
    view->stopRecording();
    EXPECT_FALSE(view->isRecording());
    DecodedGif gif = readGif(dir.file("window.gif"));
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.width, 64);
    EXPECT_EQ(gif.height, 48);
    ASSERT_EQ(gif.frames.size(), 2u);
    EXPECT_EQ(gif.frames[0].delay, 4) << "100 / 25 frames a second";
    auto reads = backend->callsOf(BackendCall::ReadPixels);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].start, 0u);
    EXPECT_EQ(reads[0].count, 64u);
}

TEST_F(RecordingFixture, InstanceRecordingReadsItsPlaceInTheWindow) {
    // Content 60 x 60 centred in an 80 x 60 window: 10 pixels of letterbox on the left.
    configuration = smallWindow(80, 60, 60, 60);
    start();
    uint64_t fixed = addCanvas(Rect(5, 10, 20.7, 10.2), red, PictureInstance::Fixed);
    uint64_t scrolling = addCanvas(Rect(5, 10, 20, 10), red, PictureInstance::InRow);
    view->setScrollY(4);

    ASSERT_TRUE(view->startRecording(dir.file("fixed.gif"), int32_t(fixed)));
    frame();
    instance(fixed).rect.w = 30; // a later change of size does not change the recording's
    frame();
    auto reads = backend->callsOf(BackendCall::ReadPixels);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].start, 15u) << "the centre offset counts";
    EXPECT_EQ(reads[0].y, 40u) << "a fixed instance ignores the scroll";
    EXPECT_EQ(reads[0].count, 20u);
    EXPECT_EQ(reads[0].height, 10u);
    view->stopRecording();

    DecodedGif gif = readGif(dir.file("fixed.gif"));
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.width, 20);
    EXPECT_EQ(gif.height, 10);
    ASSERT_EQ(gif.frames.size(), 2u);
    // The top left pixel of the recording is window pixel (15, 49) counted from the bottom.
    const std::vector<uint8_t>& top = gif.frames[1].composited;
    EXPECT_EQ(top[0], 15);
    EXPECT_EQ(top[1], 49);
    EXPECT_EQ(top[(9 * 20 + 19) * 3], 34);
    EXPECT_EQ(top[(9 * 20 + 19) * 3 + 1], 40);

    ASSERT_TRUE(view->startRecording(dir.file("row.gif"), int32_t(scrolling)));
    frame();
    view->stopRecording();
    reads = backend->callsOf(BackendCall::ReadPixels);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].y, 44u) << "an instance on the page moves with the scroll";
}

TEST_F(RecordingFixture, InstancePartlyOutsideTheWindowReadsOnlyWhatIsInside) {
    uint64_t index = addCanvas(Rect(-6, 40, 20, 16), red, PictureInstance::Fixed);
    ASSERT_TRUE(view->startRecording(dir.file("edge.gif"), int32_t(index)));
    frame();
    view->stopRecording();
    auto reads = backend->callsOf(BackendCall::ReadPixels);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].start, 0u);
    EXPECT_EQ(reads[0].y, 0u);
    EXPECT_EQ(reads[0].count, 14u);
    EXPECT_EQ(reads[0].height, 8u);
    DecodedGif gif = readGif(dir.file("edge.gif"));
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_EQ(gif.frames.size(), 1u);
    const std::vector<uint8_t>& pixels = gif.frames[0].composited;
    auto at = [&](int x, int y) { return &pixels[size_t(y * 20 + x) * 3]; };
    // Rows are top down; the recording's top row is window row 7 counted from the bottom.
    EXPECT_EQ(at(5, 0)[0], 0) << "left of the window: black";
    EXPECT_EQ(at(5, 0)[1], 0);
    EXPECT_EQ(at(6, 0)[0], 0);
    EXPECT_EQ(at(6, 0)[1], 7) << "window pixel (0, 7)";
    EXPECT_EQ(at(19, 7)[0], 13) << "window pixel (13, 0)";
    EXPECT_EQ(at(19, 7)[1], 0);
    EXPECT_EQ(at(19, 8)[0], 0) << "below the window: black";
}

TEST_F(RecordingFixture, RemovingTheRecordedInstanceFinishesItsRecording) {
    uint64_t index = addCanvas(Rect(0, 0, 10, 10), red, PictureInstance::Fixed);
    ASSERT_TRUE(view->startRecording(dir.file("gone.gif"), int32_t(index)));
    frame();
    view->hidePictureInstance(index);
    EXPECT_FALSE(view->isRecording());
    DecodedGif gif = readGif(dir.file("gone.gif"));
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.frames.size(), 1u);
}

TEST_F(RecordingFixture, StartingChecksTheInstanceAndTheWriter) {
    addCanvas(Rect(0, 0, 10, 10), red);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(view->startRecording(dir.file("a.gif"), 1));
    EXPECT_FALSE(view->startRecording(dir.file("missing/dir/b.gif"), 0));
    addCanvas(Rect(0, 0, 0.5, 10), red);
    EXPECT_FALSE(view->startRecording(dir.file("c.gif"), 1)) << "no whole pixel wide";
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("BookView::startRecording: no picture instance 1\n"), std::string::npos) << err;
    EXPECT_NE(err.find("BookView::startRecording: unable to begin a recording at " + dir.file("missing/dir/b.gif")),
              std::string::npos)
        << err;
    EXPECT_FALSE(view->isRecording());
    frame(); // nothing to capture
    EXPECT_EQ(backend->countOf(BackendCall::ReadPixels), 0u);
}

TEST_F(RecordingFixture, DelaysAddUpToTheTimeRecordedAndNoneIsUnderTwoHundredths) {
    for (uint64_t rate : {60u, 30u, 24u, 144u, 25u}) {
        for (int frames : {3, 7, 61, 62}) {
            configuration.framerate = rate;
            start();
            addCanvas(Rect(0, 0, 64, 48), red);
            ASSERT_TRUE(view->startRecording(dir.file("timed.gif"), -1));
            for (int i = 0; i < frames; ++i) frame();
            view->stopRecording();
            DecodedGif gif = readGif(dir.file("timed.gif"));
            ASSERT_TRUE(gif.ok) << gif.error;
            int total = 0;
            for (const DecodedFrame& f : gif.frames) {
                EXPECT_GE(f.delay, 2) << rate << " fps, " << frames << " frames";
                total += f.delay;
            }
            EXPECT_NEAR(total, 100.0 * frames / double(rate), 1.0) << rate << " fps, " << frames << " frames";
        }
    }
}

TEST_F(RecordingFixture, ResetAndRestartFinishTheRunningRecording) {
    uint64_t index = addCanvas(Rect(0, 0, 10, 10), red);
    ASSERT_TRUE(view->startRecording(dir.file("first.gif"), int32_t(index)));
    frame();
    ASSERT_TRUE(view->startRecording(dir.file("second.gif"), -1));
    frame();
    view->reset();
    EXPECT_TRUE(view->isRecording()) << "the window outlasts the chapter";
    frame();
    ASSERT_TRUE(view->startRecording(dir.file("fourth.gif"), int32_t(addCanvas(Rect(0, 0, 10, 10), red))));
    frame();
    view->reset();
    EXPECT_FALSE(view->isRecording()) << "the recorded instance is gone";
    frame();
    for (auto [name, frames] : {std::pair{"first.gif", 1u}, {"second.gif", 2u}, {"fourth.gif", 1u}}) {
        DecodedGif gif = readGif(dir.file(name));
        ASSERT_TRUE(gif.ok) << name << ": " << gif.error;
        EXPECT_EQ(gif.frames.size(), frames) << name;
    }

    ASSERT_TRUE(view->startRecording(dir.file("third.gif"), -1));
    frame();
    view.reset(); // destroying the view finishes the file too
    DecodedGif gif = readGif(dir.file("third.gif"));
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.frames.size(), 1u);
}

// A page of overlapping opaque and translucent shapes and text on nested, rotated nodes, in
// two overlapping canvases.
void buildScene(BookView& view, const std::shared_ptr<RecordingBackend>& backend) {
    auto first = makePicture(10, 10);
    Picture& p = *first;
    addSquare(p, 0, 0, 0, 10, Colour(0.9, 0.9, 0.8, 1));
    addSquare(p, 0, 1, 1, 5, Colour(0.2, 0.4, 0.9, 0.5));
    addSquare(p, 0, 3, 3, 5, Colour(0.8, 0.1, 0.1, 1));
    uint64_t child = addNode(p, 0);
    p.nodes[child].translation = Vec2(5, 5);
    p.nodes[child].rotation = 0.4;
    addSquare(p, child, -2, -2, 4, Colour(0.1, 0.7, 0.2, 0.75));
    addSquare(p, child, -1, -3, 3, Colour(0.3, 0.3, 0.3, 1));
    uint64_t grandchild = addNode(p, child);
    p.nodes[grandchild].scaleX = 0.5;
    addSquare(p, grandchild, 0, 0, 6, Colour(1, 1, 0, 0.4));
    p.nodes[child].lines.push_back(Paragraph{Colour(0, 0, 0, 1), 1, Vec2(6, 2)});
    p.nodes[0].lines.push_back(Paragraph{Colour(1, 1, 1, 1), 1, Vec2(3, 3)});
    addSquare(p, 0, 6, 0, 3, Colour(0.5, 0, 0.5, 0.6));

    uint64_t a = view.addPictureInstance(first);
    view.canvas()->find(int64_t(a))->rect = Rect(4, 4, 40, 36);
    auto second = makePicture(10, 10);
    addSquare(*second, 0, 0, 0, 10, Colour(0, 0.5, 0.5, 0.5));
    addSquare(*second, 0, 2, 2, 4, Colour(0.6, 0.6, 0, 1));
    uint64_t b = view.addPictureInstance(second);
    view.canvas()->find(int64_t(b))->rect = Rect(30, 20, 30, 26);
    view.canvas()->find(int64_t(b))->layerKey = 1;
    (void)backend;
}

TEST(FrontToBackTest, DrawsTheSamePictureAsNormalMode) {
    std::vector<std::vector<double>> frames;
    for (bool frontToBack : {false, true}) {
        auto backend = std::make_shared<RecordingBackend>();
        auto platform = std::make_shared<FakePlatform>();
        platform->rendererBackend = backend;
        platform->typesetterBackend->textColour[3] = 160; // text is translucent
        Configuration configuration = smallWindow(64, 48, 64, 48);
        configuration.frontToBack = frontToBack;
        BookView view;
        ASSERT_TRUE(view.init(configuration, nullptr, nullptr, platform));
        view.setBackgroundColour(Colour(0.1, 0.2, 0.3, 1));
        view.addParagraph("text", 0, 0, 100);
        buildScene(view, backend);
        backend->enableRaster(64, 48, frontToBack);
        // Leftover depth from an earlier frame must not hide the background or the pictures.
        for (int i = 0; i < 3; ++i) view.draw(false, true);
        EXPECT_EQ(backend->drawsWithoutState, 0u);
        EXPECT_EQ(backend->badIndexDraws, 0u);
        frames.push_back(backend->frame.colour);
    }
    ASSERT_EQ(frames[0].size(), frames[1].size());
    size_t differing = 0;
    for (size_t i = 0; i < frames[0].size(); ++i) {
        if (std::fabs(frames[0][i] - frames[1][i]) > 1e-12) ++differing;
    }
    EXPECT_EQ(differing, 0u);

    // The scene is not trivially empty: many distinct colours.
    std::vector<double> seen;
    for (size_t i = 0; i + 2 < frames[0].size(); i += 3) {
        double key = frames[0][i] * 1e6 + frames[0][i + 1] * 1e3 + frames[0][i + 2];
        if (std::find(seen.begin(), seen.end(), key) == seen.end()) seen.push_back(key);
    }
    EXPECT_GT(seen.size(), 12u);
}

} // namespace
} // namespace hv::test
