#include "render/PictureBuffer.h"
#include "render/RendererBackendCache.h"
#include "support/RecordingBackend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

namespace hv {
namespace {

using test::BackendCall;
using test::RecordingBackend;
using State = RendererBackend::DrawState;

struct CacheFixture : ::testing::Test {
    std::shared_ptr<RecordingBackend> target = std::make_shared<RecordingBackend>();
    RendererBackendCache cache;
    std::shared_ptr<PictureBuffer> buffer = std::make_shared<PictureBuffer>();

    void SetUp() override { ASSERT_TRUE(cache.init(target)); }

    State polygon(double yb = 0.0) {
        State s;
        s.mode = State::Polygon;
        s.buffer = buffer;
        s.yb = yb;
        return s;
    }

    std::string log() const {
        std::string out;
        for (const BackendCall& c : target->calls) out += c.describe() + "\n";
        return out;
    }
};

TEST_F(CacheFixture, RefusesAnEmptyBackend) {
    RendererBackendCache other;
    EXPECT_FALSE(other.init(nullptr));
    EXPECT_EQ(cache.target(), target);
}

TEST_F(CacheFixture, AdjacentRunsMergeUntilAFlushingCall) {
    cache.drawRange(0, 6);
    cache.drawRange(6, 3);
    EXPECT_TRUE(target->calls.empty());
    cache.endFrame();
    EXPECT_EQ(log(), "drawRange(0, 9)\nendFrame\n");
}

TEST_F(CacheFixture, OverlappingRunStartsANewPendingRun) {
    cache.drawRange(0, 6);
    cache.drawRange(3, 3);
    EXPECT_EQ(log(), "drawRange(0, 6)\n");
    EXPECT_EQ(cache.pendingRange(), Range(3, 3));
}

TEST_F(CacheFixture, EmptyRuns) {
    cache.drawRange(4, 2);
    cache.drawRange(6, 0); // at the pending end: nothing changes
    EXPECT_EQ(cache.pendingRange(), Range(4, 2));
    cache.drawRange(20, 0); // elsewhere: flushes, leaves an empty run at 20
    EXPECT_EQ(log(), "drawRange(4, 2)\n");
    EXPECT_EQ(cache.pendingRange(), Range(20, 0));
    cache.drawRange(20, 3); // merges into the empty run
    cache.clearDepth();
    EXPECT_EQ(log(), "drawRange(4, 2)\ndrawRange(20, 3)\nclearDepth\n");

    // A flush keeps the start, so a run beginning there merges into the emptied run.
    EXPECT_EQ(cache.pendingRange(), Range(20, 0));
}

TEST_F(CacheFixture, EqualStatesAreForwardedOnceAndDoNotFlush) {
    cache.setDrawState(polygon());
    cache.drawRange(0, 3);
    cache.setDrawState(polygon());
    cache.drawRange(3, 3);
    cache.endFrame();
    EXPECT_EQ(target->countOf(BackendCall::SetDrawState), 1u);
    EXPECT_EQ(target->callsOf(BackendCall::DrawRange).size(), 1u);
    EXPECT_EQ(target->callsOf(BackendCall::DrawRange)[0].count, 6u);
}

TEST_F(CacheFixture, ChangedStateFlushesUnderTheOldState) {
    cache.setDrawState(polygon(1.0));
    cache.drawRange(0, 3);
    cache.setDrawState(polygon(2.0));
    cache.drawRange(3, 3);
    cache.endFrame();
    ASSERT_EQ(target->calls.size(), 5u);
    EXPECT_EQ(target->calls[0].state.yb, 1.0);
    EXPECT_EQ(target->calls[1].describe(), "drawRange(0, 3)");
    EXPECT_EQ(target->calls[2].state.yb, 2.0);
    EXPECT_EQ(target->calls[3].describe(), "drawRange(3, 3)");
}

TEST_F(CacheFixture, NanStateIsAlwaysForwarded) {
    cache.setDrawState(polygon(NAN));
    cache.setDrawState(polygon(NAN));
    EXPECT_EQ(target->countOf(BackendCall::SetDrawState), 2u);
}

TEST_F(CacheFixture, OffscreenStartAndEndForgetTheLastState) {
    // The target chooses its program by whether it draws offscreen, so the same state must
    // reach it again on both sides of the switch.
    cache.setDrawState(polygon());
    cache.drawRange(0, 3);
    cache.startOffscreenRender(7);
    cache.setDrawState(polygon());
    cache.drawRange(3, 3);
    cache.setDrawState(polygon()); // unchanged while offscreen: dropped again
    cache.drawRange(6, 3);
    cache.endOffscreenRender();
    cache.setDrawState(polygon());
    cache.drawRange(9, 3);
    cache.endFrame();
    std::string kinds;
    for (const BackendCall& c : target->calls) {
        kinds += c.kind == BackendCall::DrawRange ? c.describe() : c.describe().substr(0, c.describe().find('('));
        kinds += "\n";
    }
    EXPECT_EQ(kinds, "setDrawState\ndrawRange(0, 3)\nstartOffscreenRender\nsetDrawState\ndrawRange(3, 6)\n"
                     "endOffscreenRender\nsetDrawState\ndrawRange(9, 3)\nendFrame\n");
    // Forgetting lets go of the buffer the last state held.
    cache.startOffscreenRender(7);
    EXPECT_EQ(cache.lastState().buffer, nullptr);
}

TEST_F(CacheFixture, NonFlushingCallsGoStraightThrough) {
    cache.drawRange(0, 3);
    cache.clearFrame(12.0);
    uint8_t pixel[4];
    cache.readPixels(0, 0, 1, 1, pixel);
    uint8_t texel[4] = {1, 2, 3, 4};
    uint32_t id = cache.newTexture(texel, 1, 1);
    cache.deleteTexture(id);
    cache.createPictureBufferTarget();
    std::ostringstream stats;
    cache.printStatistics(stats);
    EXPECT_EQ(target->countOf(BackendCall::DrawRange), 0u) << log();
    EXPECT_EQ(target->callsOf(BackendCall::ClearFrame)[0].scroll, 12.0);
    EXPECT_EQ(id, 1u);

    // Every other operation draws the pending run first.
    const std::vector<std::function<void()>> flushing = {
        [&] { cache.drawRecolouredTexture(Colour(), 1); },
        [&] { cache.drawTexture(1); },
        [&] { cache.drawRecolouredRange(Colour(), 50, 3); },
        [&] { cache.endFrame(); },
        [&] { cache.clearDepth(); },
        [&] { cache.setClipRect(Rect(0, 0, 1, 1)); },
        [&] { cache.shutdown(); },
        [&] { cache.startOffscreenRender(1); },
        [&] { cache.endOffscreenRender(); },
        [&] { cache.setMultisample(true); },
    };
    cache.flush();
    uint64_t start = 100;
    for (const auto& operation : flushing) {
        target->calls.clear();
        cache.drawRange(start, 3);
        operation();
        ASSERT_GE(target->calls.size(), 2u);
        EXPECT_EQ(target->calls[0].describe(), "drawRange(" + std::to_string(start) + ", 3)");
        EXPECT_NE(target->calls[1].kind, BackendCall::DrawRange);
        start += 10;
    }
}

// The drawing a call log amounts to: every index drawn with the state it was drawn under, and
// every other effect in order. Merging must not change it.
std::vector<std::string> effects(const std::vector<BackendCall>& calls) {
    std::vector<std::string> out;
    std::string state = "none";
    for (const BackendCall& c : calls) {
        switch (c.kind) {
        case BackendCall::SetDrawState: {
            std::ostringstream s;
            s << c.state.mode << "/" << c.state.buffer.get() << "/" << c.state.t << "/" << c.state.zIndex << "/"
              << c.state.yb;
            state = s.str();
            break;
        }
        case BackendCall::DrawRange:
            for (uint64_t i = c.start; i < c.start + c.count; ++i) out.push_back(state + " index " + std::to_string(i));
            break;
        case BackendCall::NewTexture:
        case BackendCall::DeleteTexture:
        case BackendCall::CreatePictureBufferTarget:
            break; // resources: no place in the drawing order
        default:
            out.push_back(state + " " + c.describe());
            break;
        }
    }
    return out;
}

TEST(CacheEquivalenceTest, RandomCallStreamsDrawTheSameAsUncached) {
    auto bufferA = std::make_shared<PictureBuffer>();
    auto bufferB = std::make_shared<PictureBuffer>();
    std::vector<State> pool;
    for (int mode = 0; mode < 4; ++mode) {
        for (auto buffer : {bufferA, bufferB}) {
            for (double yb : {0.0, 3.0, double(NAN)}) {
                State s;
                s.mode = mode;
                s.buffer = buffer;
                s.yb = yb;
                s.t = yb == 3.0 ? Transform::scale(2, 2) : Transform();
                s.zIndex = uint32_t(mode * 7);
                pool.push_back(s);
            }
        }
    }

    for (int seed = 0; seed < 300; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random{uint32_t(seed)};
        auto pick = [&](int n) { return int(random() % uint32_t(n)); };
        auto direct = std::make_shared<RecordingBackend>();
        auto behind = std::make_shared<RecordingBackend>();
        RendererBackendCache cache;
        ASSERT_TRUE(cache.init(behind));
        std::vector<RendererBackend*> both = {direct.get(), &cache};
        uint64_t nextStart = 0;
        uint8_t texel[4] = {0, 0, 0, 0};
        uint8_t pixels[16];

        for (int frame = 0; frame < 4; ++frame) {
            for (RendererBackend* b : both) b->clearFrame(frame);
            for (int step = 0; step < 60; ++step) {
                int what = pick(20);
                if (what < 9) {
                    uint64_t start = pick(3) ? nextStart : uint64_t(pick(40));
                    uint64_t count = uint64_t(pick(7));
                    for (RendererBackend* b : both) b->drawRange(start, count);
                    nextStart = start + count;
                } else if (what < 14) {
                    const State& s = pool[size_t(pick(int(pool.size())))];
                    for (RendererBackend* b : both) b->setDrawState(s);
                } else if (what == 14) {
                    uint64_t start = uint64_t(pick(9));
                    for (RendererBackend* b : both) b->drawRecolouredRange(Colour(0, 1, 0, 1), start, 3);
                } else if (what == 15) {
                    uint64_t texture = uint64_t(pick(3));
                    for (RendererBackend* b : both) b->drawTexture(texture);
                } else if (what == 16) {
                    double x = pick(3);
                    for (RendererBackend* b : both) b->setClipRect(Rect(x, 0, 1, 1));
                } else if (what == 17) {
                    for (RendererBackend* b : both) b->clearDepth();
                } else if (what == 18) {
                    for (RendererBackend* b : both) b->deleteTexture(b->newTexture(texel, 1, 1));
                } else {
                    for (RendererBackend* b : both) b->drawRecolouredTexture(Colour(1, 0, 0, 1), 2);
                }
            }
            for (RendererBackend* b : both) b->endFrame();
            for (RendererBackend* b : both) b->readPixels(0, 0, 2, 2, pixels);
        }

        ASSERT_EQ(effects(behind->calls), effects(direct->calls));

        // And the cache left nothing to merge: no empty draws, no forwarded run that continues
        // the one just before it, no state sent twice in a row.
        for (size_t i = 0; i < behind->calls.size(); ++i) {
            const BackendCall& c = behind->calls[i];
            if (c.kind == BackendCall::DrawRange) {
                EXPECT_GT(c.count, 0u);
            }
            if (i == 0) continue;
            const BackendCall& p = behind->calls[i - 1];
            if (c.kind == BackendCall::DrawRange && p.kind == BackendCall::DrawRange) {
                EXPECT_NE(c.start, p.start + p.count);
            }
            if (c.kind == BackendCall::SetDrawState && p.kind == BackendCall::SetDrawState) {
                EXPECT_FALSE(c.state == p.state);
            }
        }
        EXPECT_LE(behind->countOf(BackendCall::DrawRange), direct->countOf(BackendCall::DrawRange));
    }
}

} // namespace
} // namespace hv
