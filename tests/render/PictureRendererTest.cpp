#include "render/CoreRenderer.h"
#include "render/PictureBuffer.h"
#include "render/PictureInstance.h"
#include "render/PictureRenderer.h"
#include "render/RendererBackendCache.h"
#include "support/ChildProcess.h"
#include "support/RecordingBackend.h"
#include "support/PictureBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace hv::test {
namespace {

using State = RendererBackend::DrawState;

const Colour red(1, 0, 0, 1);
const Colour green(0, 1, 0, 1);
const Colour halfBlue(0, 0, 1, 0.5);

struct RendererFixture : ::testing::Test {
    std::shared_ptr<RecordingBackend> backend = std::make_shared<RecordingBackend>();
    std::shared_ptr<RendererBackendCache> cache = std::make_shared<RendererBackendCache>();
    CoreRenderer core;
    PictureInstance instance;
    bool frontToBack = false;
    Transform projection = Transform::multiply(Transform::scale(0.2, 0.2), Transform::translation(Vec2(-5, -5)));

    void SetUp() override {
        ASSERT_TRUE(cache->init(backend));
        core.backend = cache;
        instance = newInstance(makePicture(10, 10));
    }

    PictureInstance newInstance(std::shared_ptr<Picture> picture) {
        PictureInstance i;
        i.picture = std::move(picture);
        i.buffer = std::make_shared<PictureBuffer>();
        i.buffer->init(cache->createPictureBufferTarget());
        return i;
    }

    Picture& picture() { return *instance.picture; }

    void frame(PictureInstance* which = nullptr) {
        backend->calls.clear();
        PictureRenderer renderer(which ? which : &instance, &core);
        renderer.cullCircle = Rect(0, 0, 10, 10).boundingCircle();
        renderer.pixelScale = 100;
        renderer.projection = projection;
        renderer.depthBase = frontToBackDepthBase;
        renderer.canvasIndex = 2;
        renderer.transparencyMode = frontToBack;
        renderer.drawRootNode();
        cache->endFrame();
    }

    PathRecord& record(uint64_t path) { return *picture().paths[path].renderRecord; }

    std::vector<State> states() const {
        std::vector<State> out;
        for (const BackendCall& c : backend->calls) {
            if (c.kind == BackendCall::SetDrawState) out.push_back(c.state);
        }
        return out;
    }

    // Where the renderer puts a vertex of the buffer on screen.
    Vec2 onScreen(const State& state, uint64_t vertex) const {
        const PictureVertex& v = instance.buffer->vertices()[vertex];
        return state.t.apply(Vec2(v.x, v.y));
    }
};

bool finite(const Transform& t) {
    for (double v : t.m) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

void expectNear(const Vec2& a, const Vec2& b) {
    EXPECT_NEAR(a.x, b.x, 1e-5);
    EXPECT_NEAR(a.y, b.y, 1e-5);
}

TEST_F(RendererFixture, StaticPictureSecondFrameDoesNoWork) {
    addSquare(picture(), 0, 1, 1, 2, red);
    addSquare(picture(), 0, 4, 1, 2, green);
    frame();
    EXPECT_EQ(backend->countOf(BackendCall::UploadEntireBuffer), 1u);
    auto mesh0 = record(0).mesh;
    auto mesh1 = record(1).mesh;

    frame();
    EXPECT_EQ(backend->uploadCount(), 0u) << "a vertex write would have marked the buffer for upload";
    EXPECT_FALSE(instance.buffer->anyDirty());
    EXPECT_EQ(record(0).mesh, mesh0) << "no triangulation";
    EXPECT_EQ(record(1).mesh, mesh1);
    // Two opaque paths back to back under one state reach the backend as one draw.
    EXPECT_EQ(backend->countOf(BackendCall::SetDrawState), 0u) << "the cache still holds the state";
    ASSERT_EQ(backend->countOf(BackendCall::DrawRange), 1u);
    EXPECT_EQ(backend->callsOf(BackendCall::DrawRange)[0].count, 12u);
    EXPECT_EQ(backend->badIndexDraws, 0u);
}

TEST_F(RendererFixture, MovingNodeRebakesOnlyOnceItStops) {
    uint64_t node = addNode(picture(), 0);
    addSquare(picture(), node, 1, 1, 2, red);
    frame();
    for (int step = 1; step <= 3; ++step) {
        picture().assignWithNodeRevisionBump(node, picture().nodes[node].rotation, 0.1 * step);
        frame();
        EXPECT_EQ(backend->uploadCount(), 0u) << "the draw state compensates while it moves";
        ASSERT_EQ(states().size(), 1u);
        Transform expected = Transform::multiply(projection, picture().nodes[node].localTransform());
        expectNear(onScreen(states()[0], 0), expected.apply(Vec2(1, 1)));
        expectNear(onScreen(states()[0], 2), expected.apply(Vec2(3, 3)));
    }
    frame();
    EXPECT_EQ(backend->uploadCount(), 2u) << "the settled transform is baked once";
    frame();
    EXPECT_EQ(backend->uploadCount(), 0u);
    Transform expected = Transform::multiply(projection, picture().nodes[node].localTransform());
    EXPECT_TRUE(states().empty());
    expectNear(cache->lastState().t.apply(Vec2(instance.buffer->vertices()[2].x, instance.buffer->vertices()[2].y)),
               expected.apply(Vec2(3, 3)));
}

TEST_F(RendererFixture, NodeGrowingFromScaleZeroStaysVisible) {
    uint64_t node = addNode(picture(), 0);
    addSquare(picture(), node, 1, 1, 2, red);
    picture().nodes[node].scaleX = 0;
    picture().nodes[node].scaleY = 0;
    frame();
    for (double scale : {0.25, 0.5, 1.0}) {
        SCOPED_TRACE(scale);
        picture().assignWithNodeRevisionBump(node, picture().nodes[node].scaleX, scale);
        picture().assignWithNodeRevisionBump(node, picture().nodes[node].scaleY, scale);
        frame();
        ASSERT_EQ(states().size(), 1u);
        ASSERT_TRUE(finite(states()[0].t)) << states()[0].t;
        Transform expected = Transform::multiply(projection, picture().nodes[node].localTransform());
        expectNear(onScreen(states()[0], 2), expected.apply(Vec2(3, 3)));
    }

    // Nearly flat is as bad as flat: the vertices keep their own positions.
    picture().assignWithNodeRevisionBump(node, picture().nodes[node].scaleY, 1e-7);
    frame();
    frame();
    EXPECT_TRUE(record(0).uploadTransform._isTrivial());
    EXPECT_EQ(instance.buffer->vertices()[2].x, 3.0f);
    picture().assignWithNodeRevisionBump(node, picture().nodes[node].scaleY, 2.0);
    frame();
    ASSERT_EQ(states().size(), 1u);
    Transform expected = Transform::multiply(projection, picture().nodes[node].localTransform());
    expectNear(onScreen(states()[0], 2), expected.apply(Vec2(3, 3)));
}

TEST(BakeTransformTest, SingularAndNonFiniteBakeAsIdentity) {
    EXPECT_TRUE(bakeTransformFor(Transform::scale(0, 0))._isTrivial());
    EXPECT_TRUE(bakeTransformFor(Transform::scale(1, 1e-6))._isTrivial());
    EXPECT_TRUE(bakeTransformFor(Transform::scale(1000, 0.5))._isTrivial());
    EXPECT_TRUE(bakeTransformFor(Transform::scale(NAN, 1))._isTrivial());
    EXPECT_TRUE(bakeTransformFor(Transform::translation(Vec2(INFINITY, 0)))._isTrivial());
    Transform fine = Transform::multiply(Transform::rotation(1.0), Transform::scale(0.01, 0.02));
    EXPECT_EQ(bakeTransformFor(fine), fine);
    EXPECT_FALSE(bakeTransformFor(fine)._isTrivial());
}

TEST_F(RendererFixture, CurveToleranceIgnoresRotationAndStaysFinite) {
    Path curve;
    curve.commands = {PathCommand::moveTo(0, 0), PathCommand::cubicTo(0, 4, 10, 4, 10, 0)};
    PictureRenderer renderer(&instance, &core);
    renderer.pixelScale = 100;
    double upright = renderer.curveTolerance(curve);
    renderer.stack.back() = Transform::rotation(M_PI / 2);
    EXPECT_NEAR(renderer.curveTolerance(curve), upright, 1e-12) << "a quarter turn leaves the scale alone";
    renderer.stack.back() = Transform::scale(2, 2);
    EXPECT_NEAR(renderer.curveTolerance(curve), upright / 2, 1e-12);

    // Degenerate scales and sizes still give a usable tolerance.
    Path line;
    line.commands = {PathCommand::moveTo(0, 0), PathCommand::lineTo(0, 5)};
    for (const Transform& t : {Transform::scale(0, 0), Transform::scale(NAN, 1), Transform::scale(1e300, 1e300)}) {
        renderer.stack.back() = t;
        for (const Path* p : {&curve, &line}) {
            double tolerance = renderer.curveTolerance(*p);
            EXPECT_TRUE(std::isfinite(tolerance) && tolerance > 0) << t << " " << tolerance;
        }
    }
    renderer.pixelScale = 0;
    EXPECT_GT(renderer.curveTolerance(curve), 0);
    EXPECT_TRUE(std::isfinite(renderer.curveTolerance(curve)));
}

TEST_F(RendererFixture, RotatedNodeGetsAsFineAMeshAsUpright) {
    uint64_t node = addNode(picture(), 0);
    Path curve;
    curve.commands = {PathCommand::moveTo(2, 2), PathCommand::cubicTo(2, 4, 6, 4, 6, 2)};
    curve.colour = red;
    picture().paths.push_back(curve);
    picture().nodes[node].paths.push_back(0);
    picture().nodes[node].translation = Vec2(5, 0);
    picture().nodes[node].rotation = M_PI / 2;
    frame();
    uint64_t rotated = record(0).mesh->vertexCount();
    picture().paths[0].renderRecord.reset();
    picture().nodes[node].rotation = 0;
    picture().nodes[node].translation = Vec2(0, 0);
    frame();
    EXPECT_EQ(rotated, record(0).mesh->vertexCount());
    EXPECT_GT(rotated, 10u);
}

TEST_F(RendererFixture, MeshFramesFollowTheTimeWithinBounds) {
    addSquare(picture(), 0, 1, 1, 2, red);
    picture().paths[0].meshCache = makeMeshFrames(10);
    const std::pair<double, uint64_t> cases[] = {
        {0.0, 0}, {0.05, 3}, {1.0, 9}, {-0.5, 0}, {double(NAN), 0}, {-INFINITY, 0}, {INFINITY, 9}, {1e300, 9},
    };
    for (const auto& [time, expected] : cases) {
        SCOPED_TRACE(time);
        picture().paths[0].meshTime = time;
        frame();
        auto draws = backend->callsOf(BackendCall::DrawRecolouredRange);
        ASSERT_EQ(draws.size(), 1u);
        Range wanted = instance.buffer->indexOffset(uint64_t(record(0).region), Range(3 * expected, 3));
        EXPECT_EQ(draws[0].start, wanted.start);
        EXPECT_EQ(draws[0].count, 3u);
        EXPECT_EQ(draws[0].colour, red);
        EXPECT_EQ(cache->lastState().mode, State::RecolouredPolygon);
    }
    EXPECT_EQ(backend->badIndexDraws, 0u);
}

TEST_F(RendererFixture, LosingMeshFramesRebuildsTheGeometry) {
    addSquare(picture(), 0, 1, 1, 2, red);
    picture().paths[0].meshCache = makeMeshFrames(4);
    frame();
    auto cached = picture().paths[0].meshCache->mesh;
    EXPECT_EQ(record(0).mesh, cached);

    // Baking drops the cache but keeps the geometry revision.
    picture().paths[0].bakeTransform();
    frame();
    EXPECT_NE(record(0).mesh, cached);
    EXPECT_EQ(record(0).mesh->indices.size(), 6u);
    EXPECT_EQ(cache->lastState().mode, State::Polygon);
    auto draws = backend->callsOf(BackendCall::DrawRange);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].count, 6u);
    const PictureVertex& v = instance.buffer->vertices()[instance.buffer->region(0).vertexStart];
    EXPECT_EQ(v.r, 255) << "vertex colours are written for a plain mesh";
    EXPECT_EQ(v.a, 255);
    EXPECT_EQ(backend->badIndexDraws, 0u);

    // And back: a cache that reappears draws from its raw positions again.
    picture().paths[0].meshCache = makeMeshFrames(4);
    picture().paths[0].transform = Transform::translation(Vec2(1, 0));
    frame();
    EXPECT_EQ(record(0).mesh, picture().paths[0].meshCache->mesh);
    EXPECT_TRUE(record(0).uploadTransform._isTrivial());
}

TEST_F(RendererFixture, RecordStartsOverInAnotherBuffer) {
    addSquare(picture(), 0, 1, 1, 2, red);
    addSquare(picture(), 0, 5, 5, 2, green);
    frame();
    // A copied picture's paths share their records with the originals.
    PictureInstance second = newInstance(std::make_shared<Picture>(picture()));
    second.buffer->addRegion(30, 30); // so region numbers differ between the buffers
    ASSERT_EQ(second.picture->paths[0].renderRecord, picture().paths[0].renderRecord);

    for (int round = 0; round < 3; ++round) {
        frame(&second);
        EXPECT_EQ(cache->lastState().buffer, second.buffer);
        auto draws = backend->callsOf(BackendCall::DrawRange);
        ASSERT_EQ(draws.size(), 1u);
        EXPECT_EQ(draws[0].start, 30u) << "drawn from the second buffer's own regions";
        EXPECT_EQ(draws[0].count, 12u);
        EXPECT_EQ(second.buffer->regionCount(), 3u) << "no region is allocated twice";

        frame();
        EXPECT_EQ(cache->lastState().buffer, instance.buffer);
        EXPECT_EQ(backend->uploadCount(), 0u) << "the original keeps its record";
        EXPECT_EQ(instance.buffer->regionCount(), 2u);
    }

    // The same path object drawn into two buffers is drawn right in both.
    PictureInstance third = newInstance(instance.picture);
    third.buffer->addRegion(50, 50);
    frame(&third);
    ASSERT_EQ(backend->callsOf(BackendCall::DrawRange).size(), 1u);
    EXPECT_EQ(backend->callsOf(BackendCall::DrawRange)[0].start, 50u);
    frame();
    ASSERT_EQ(backend->callsOf(BackendCall::DrawRange).size(), 1u);
    EXPECT_EQ(cache->lastState().buffer, instance.buffer);
    EXPECT_EQ(backend->badIndexDraws, 0u);
}

// A path animated through an outline that crosses itself fails on every frame: its lines are
// written once, naming the canvas and the path, and again only after a clean triangulation.
TEST_F(RendererFixture, AFailingPathIsReportedOncePerSpellByCanvasAndPath) {
    addSquare(picture(), 0, 1, 1, 2, red);
    Path& moving = picture().paths[addSquare(picture(), 0, 5, 5, 4, green)];
    const std::string named = "PictureRenderer::prepare: canvas 2, path 1: EarClipperTriangulator::triangulatePolygon:";
    const bool steps[] = {true, true, true, false, true, true}; // whether the outline is broken
    for (size_t k = 0; k < std::size(steps); ++k) {
        bool broken = steps[k], reported = broken && (k == 0 || !steps[k - 1]);
        double y = 9 - 0.1 * double(k);
        moving.commands[2] = PathCommand::lineTo(broken ? NAN : 9, y); // a corner nowhere when broken
        moving.commands[3] = PathCommand::lineTo(5, y);
        moving.touchGeometry();
        testing::internal::CaptureStderr();
        frame();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind(named, 0) == 0, reported) << k << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), reported ? 1 : 0) << k << err;
    }
}

TEST_F(RendererFixture, CullingAndInvisibleNodes) {
    addSquare(picture(), 0, 40, 40, 2, red); // far outside the picture
    uint64_t hidden = addNode(picture(), 0);
    uint64_t below = addNode(picture(), hidden);
    addSquare(picture(), below, 1, 1, 2, green);
    picture().nodes[below].lines.push_back(Paragraph{red, 1, Vec2(2, 1)});
    picture().nodes[hidden].visible = false;
    addSquare(picture(), 0, 1, 1, 2, green);
    frontToBack = true;
    frame();
    EXPECT_FALSE(picture().paths[0].renderRecord) << "culled: never prepared";
    EXPECT_FALSE(picture().paths[1].renderRecord) << "under an invisible node";
    EXPECT_EQ(record(2).depth, frontToBackDepthBase - 1) << "culled and hidden paths take no depth";
    EXPECT_EQ(backend->countOf(BackendCall::DrawRecolouredTexture), 0u);
}

TEST_F(RendererFixture, TranslucentPathsAreDeferredOnlyFrontToBack) {
    addSquare(picture(), 0, 1, 1, 2, halfBlue);
    addSquare(picture(), 0, 2, 2, 2, red);
    frame();
    auto draws = backend->callsOf(BackendCall::DrawRange);
    ASSERT_EQ(draws.size(), 1u) << "in order and adjacent: merged";

    frontToBack = true;
    frame();
    std::vector<std::string> order;
    for (const BackendCall& c : backend->calls) {
        if (c.kind == BackendCall::DrawRange || c.kind == BackendCall::ClearDepth) order.push_back(c.describe());
    }
    Range translucent = instance.buffer->indexOffset(uint64_t(record(0).region), Range(0, 6));
    Range opaque = instance.buffer->indexOffset(uint64_t(record(1).region), Range(0, 6));
    EXPECT_EQ(order, (std::vector<std::string>{
                         "clearDepth",
                         "drawRange(" + std::to_string(opaque.start) + ", 6)",
                         "drawRange(" + std::to_string(translucent.start) + ", 6)",
                     }));
}

TEST_F(RendererFixture, FrontToBackWalksTheExactReverseWithDescendingDepth) {
    core.paragraphs.push_back(ParagraphRecord{7, 0.0, 1.0, 1.0});
    picture().nodes[0].lines.push_back(Paragraph{red, 1, Vec2(4, 1)});
    addSquare(picture(), 0, 1, 1, 2, red);   // path 0
    addSquare(picture(), 0, 4, 4, 2, green); // path 1
    uint64_t child = addNode(picture(), 0);
    addSquare(picture(), child, 6, 1, 2, red); // path 2

    frontToBack = true;
    frame();
    // Front first: the child's path, then the later path, then the earlier; the line last.
    EXPECT_EQ(record(2).depth, frontToBackDepthBase - 1);
    EXPECT_EQ(record(1).depth, frontToBackDepthBase - 2);
    EXPECT_EQ(record(0).depth, frontToBackDepthBase - 3);
    const PictureVertex& v = instance.buffer->vertices()[instance.buffer->region(uint64_t(record(1).region)).vertexStart];
    EXPECT_EQ(v.depth, depthKeyToFloat(depthKeyForLevel(frontToBackDepthBase - 2)));

    std::vector<BackendCall::Kind> kinds;
    uint32_t textureZ = 0;
    for (const BackendCall& c : backend->calls) {
        if (c.kind == BackendCall::DrawRange || c.kind == BackendCall::DrawRecolouredTexture) kinds.push_back(c.kind);
        if (c.kind == BackendCall::SetDrawState && c.state.mode == State::TexturedRect) textureZ = c.state.zIndex;
    }
    // The three paths were prepared front first too, so their runs lie back to back: one draw.
    EXPECT_EQ(kinds, (std::vector<BackendCall::Kind>{BackendCall::DrawRange, BackendCall::DrawRecolouredTexture}));
    EXPECT_EQ(backend->callsOf(BackendCall::DrawRange)[0].count, 18u);
    EXPECT_EQ(textureZ, depthKeyForLevel(frontToBackDepthBase - 4));

    // Normal mode keeps every depth at the base.
    frontToBack = false;
    frame();
    EXPECT_EQ(record(0).depth, frontToBackDepthBase);
    EXPECT_EQ(record(2).depth, frontToBackDepthBase);
}

TEST(DepthKeyTest, NeighbouringLevelsStayApartInA24BitBuffer) {
    auto fixed24 = [](int32_t level) {
        return std::llround(double(depthKeyToFloat(depthKeyForLevel(level))) * 16777215.0);
    };
    for (int32_t level : {1, 2, 1000, frontToBackDepthBase - 5000, frontToBackDepthBase - 1, frontToBackDepthBase}) {
        EXPECT_LT(fixed24(level - 1), fixed24(level)) << level;
        // The backend adds one to a textured draw's key; it stays at its level.
        auto quad = std::llround(double(depthKeyToFloat(depthKeyForLevel(level) + 1)) * 16777215.0);
        EXPECT_EQ(quad, fixed24(level)) << level;
    }
}

TEST_F(RendererFixture, ParagraphLineIsATexturedQuadOverItsTextRect) {
    core.paragraphs.push_back(ParagraphRecord{5, 0.0, 1.0, 1.0});
    core.paragraphs.push_back(ParagraphRecord{9, 0.25, 0.5, 3.0});
    uint64_t node = addNode(picture(), 0);
    picture().nodes[node].translation = Vec2(1, 2);
    picture().nodes[node].lines.push_back(Paragraph{green, 2, Vec2(4, 1)});
    frame();
    auto draws = backend->callsOf(BackendCall::DrawRecolouredTexture);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].texture, 9u);
    EXPECT_EQ(draws[0].colour, green);
    const State& s = cache->lastState();
    EXPECT_EQ(s.mode, State::TexturedRect);
    EXPECT_FALSE(s.buffer);
    // The unit quad lands on x 1 + 4 * 0.25 .. + 4 * 0.5, y 2 .. 3 of picture space.
    expectNear(s.t.apply(Vec2(0, 0)), projection.apply(Vec2(2, 2)));
    expectNear(s.t.apply(Vec2(1, 1)), projection.apply(Vec2(4, 3)));
}

TEST_F(RendererFixture, BadParagraphIdsAreFatal) {
    core.paragraphs.push_back(ParagraphRecord{5, 0.0, 1.0, 1.0});
    for (int32_t id : {0, 2, -1}) {
        picture().nodes[0].lines = {Paragraph{red, id, Vec2(1, 1)}};
        auto result = runInChild([&] { frame(); });
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.err, id == 0 ? std::string("Attempting to use null paragraph id\n")
                                      : "Paragraph id " + std::to_string(id) + " out of range.\n");
    }
}

TEST_F(RendererFixture, CyclesAndUnknownIndicesInTheTreeAreSkipped) {
    uint64_t child = addNode(picture(), 0);
    picture().nodes[child].children.push_back(0); // a cycle back to the root
    picture().nodes[child].children.push_back(99);
    picture().nodes[child].paths.push_back(42);
    addSquare(picture(), child, 1, 1, 2, red);
    frame();
    EXPECT_GE(backend->countOf(BackendCall::DrawRange), 1u);
    EXPECT_EQ(backend->badIndexDraws, 0u);
}

} // namespace
} // namespace hv::test
