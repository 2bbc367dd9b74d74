#include "render/PictureBuffer.h"
#include "render/RendererBackend.h"
#include "render/RendererStatistics.h"
#include "support/DrawStates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace hv {
namespace {

using State = RendererBackend::DrawState;

using test::drawState;

TEST(DrawStateTest, EqualityMatrix) {
    auto a = std::make_shared<PictureBuffer>();
    auto b = std::make_shared<PictureBuffer>();
    Transform shift = Transform::translation(Vec2(0.5, 0));

    for (int32_t mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE(mode);
        State base = drawState(mode, a, shift, 2.0, 7);
        bool usesZ = mode >= 2;
        EXPECT_EQ(base.usesZIndex(), usesZ);
        EXPECT_TRUE(base == base);
        EXPECT_TRUE(base == drawState(mode, a, shift, 2.0, 7));

        // The z index counts only for the textured quads.
        EXPECT_EQ(base == drawState(mode, a, shift, 2.0, 8), !usesZ);
        EXPECT_FALSE(base == drawState((mode + 1) % 4, a, shift, 2.0, 7));
        EXPECT_FALSE(base == drawState(mode, b, shift, 2.0, 7)) << "buffers compare by identity";
        EXPECT_FALSE(base == drawState(mode, nullptr, shift, 2.0, 7));
        EXPECT_FALSE(base == drawState(mode, a, Transform(), 2.0, 7));
        EXPECT_FALSE(base == drawState(mode, a, shift, 2.5, 7));
        EXPECT_TRUE(base != drawState(mode, a, shift, 2.5, 7));

        // Transforms compare within 1e-7.
        Transform near = shift;
        near.m[2] += 5e-8;
        EXPECT_TRUE(base == drawState(mode, a, near, 2.0, 7));
        near.m[2] += 2e-7;
        EXPECT_FALSE(base == drawState(mode, a, near, 2.0, 7));

        // NaN in yb is unequal to everything, itself included.
        State nan = drawState(mode, a, shift, NAN, 7);
        EXPECT_FALSE(nan == nan);
        EXPECT_TRUE(nan != nan);
    }

    // An explicit identity equals the trivial one.
    EXPECT_TRUE(drawState(0, a, Transform::translation(Vec2(0, 0)), 0, 0) == drawState(0, a, Transform(), 0, 0));
    EXPECT_TRUE(drawState(0, a, Transform(), 0, 0) == drawState(0, a, Transform::scale(1, 1), 0, 0));

    // The z index is judged by the first state's mode.
    EXPECT_TRUE(drawState(0, a, shift, 0, 1) == drawState(0, a, shift, 0, 2));
    EXPECT_FALSE(drawState(2, a, shift, 0, 1) == drawState(2, a, shift, 0, 2));
}

TEST(DrawStateTest, CopyKeepsEveryField) {
    auto a = std::make_shared<PictureBuffer>();
    State s = drawState(3, a, Transform::scale(2, 3), -4.0, 9);
    State t;
    t = s;
    EXPECT_EQ(t.mode, 3);
    EXPECT_EQ(t.buffer, a);
    EXPECT_EQ(a.use_count(), 3);
    EXPECT_EQ(t.zIndex, 9u);
    EXPECT_EQ(t.yb, -4.0);
    EXPECT_TRUE(t == s);
}

TEST(DrawStateTest, Printer) {
    State s = drawState(2, nullptr, Transform::scale(2, 3), 1.5, 0x1ab);
    std::ostringstream out;
    s.print(out);
    out << 255;
    std::ostringstream address;
    address << static_cast<const void*>(&s);
    std::ostringstream nullAddress;
    nullAddress << static_cast<const void*>(nullptr);
    EXPECT_EQ(out.str(), "DrawState(" + address.str() + ")\n  mode = 2\n  buffer = " + nullAddress.str() +
                             "\n  t = [2, 0, 0; 0, 3, 0; 0, 0, 1]\n  yb = 1.5\n  z index = 1ab\n255")
        << "the stream is back in decimal afterwards";

    std::ostringstream polygon;
    drawState(0, nullptr, Transform(), 0, 0x1ab).print(polygon);
    EXPECT_EQ(polygon.str().find("z index"), std::string::npos);
}

TEST(RendererStatisticsTest, FramesAccumulateAndPrintResets) {
    RendererStatistics stats;
    RendererStatistics::add(stats.drawRangeCalls, 3);
    RendererStatistics::add(stats.trianglesDrawn, 10);
    stats.endFrame();
    RendererStatistics::add(stats.drawRangeCalls, 5);
    RendererStatistics::add(stats.textureUpdates, 1);
    stats.endFrame();
    // Not ended: left out of the averages and dropped by the print.
    RendererStatistics::add(stats.drawRangeCalls, 100);

    EXPECT_EQ(stats.frameCount, 2u);
    EXPECT_EQ(stats.drawRangeCalls.total, 8u);
    EXPECT_EQ(stats.drawRangeCalls.maximum, 5u);
    EXPECT_EQ(stats.drawRangeCalls.current, 100u);

    std::ostringstream out;
    stats.print(out);
    EXPECT_EQ(out.str(),
              "  draw range calls: 4 (5)\n"
              "  draw recoloured range calls: 0 (0)\n"
              "  draw recoloured texture calls: 0 (0)\n"
              "  draw texture calls: 0 (0)\n"
              "  buffer updates: 0 (0)\n"
              "  texture updates: 0.5 (1)\n"
              "  triangles drawn: 5 (10)\n");
    EXPECT_EQ(stats.frameCount, 0u);
    EXPECT_EQ(stats.drawRangeCalls.current, 0u);
    EXPECT_EQ(stats.drawRangeCalls.total, 0u);
    EXPECT_EQ(stats.trianglesDrawn.maximum, 0u);

    // Right after a print every average is 0 / 0.
    std::ostringstream again;
    stats.print(again);
    std::ostringstream nanText;
    volatile double zero = 0.0; // computed at run time, as the statistics do
    nanText << zero / zero;
    EXPECT_NE(again.str().find("  draw range calls: " + nanText.str() + " (0)\n"), std::string::npos);
}

} // namespace
} // namespace hv
