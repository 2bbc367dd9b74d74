#include "core/Circle.h"
#include "core/Colour.h"
#include "core/Fatal.h"
#include "core/Image.h"
#include "core/Range.h"
#include "core/Rect.h"
#include "core/Text.h"
#include "support/ChildProcess.h"
#include "support/Printed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <thread>
#include <vector>

namespace hv {
namespace {

using test::printed;

TEST(RectTest, ContainsIncludesEdgesAndCorners) {
    Rect r(1, 2, 3, 4);
    for (Vec2 p : {Vec2(1, 2), Vec2(4, 6), Vec2(1, 6), Vec2(4, 2), Vec2(2.5, 2), Vec2(4, 3)}) {
        EXPECT_TRUE(r.contains(p)) << p;
    }
    for (Vec2 p : {Vec2(0.999, 3), Vec2(4.001, 3), Vec2(2, 1.999), Vec2(2, 6.001)}) {
        EXPECT_FALSE(r.contains(p)) << p;
    }
}

TEST(RectTest, IntersectionOfDisjointRectsIsNegativeNotEmpty) {
    Rect a(0, 0, 2, 2);
    Rect b(5, 1, 2, 2);
    Rect i = Rect::intersection(a, b);
    EXPECT_EQ(i, Rect(5, 1, -3, 1));
    EXPECT_EQ(Rect::intersection(Rect(0, 0, 4, 4), Rect(1, 1, 10, 2)), Rect(1, 1, 3, 2));
}

TEST(RectTest, ClampPointInsideAndBeyondCorner) {
    Rect r(0, 0, 10, 5);
    Vec2 out;
    EXPECT_TRUE(r.clampPoint(Vec2(3, 4), out));
    EXPECT_EQ(out, Vec2(3, 4));
    EXPECT_FALSE(r.clampPoint(Vec2(12, -3), out));
    EXPECT_EQ(out, Vec2(10, 0));
    EXPECT_FALSE(r.clampPoint(Vec2(-1, 2), out));
    EXPECT_EQ(out, Vec2(0, 2));
}

TEST(RectTest, BoundingCircleAndOverlap) {
    Circle c = Rect(0, 0, 6, 8).boundingCircle();
    EXPECT_EQ(c.centre, Vec2(3, 4));
    EXPECT_DOUBLE_EQ(c.radius, 5);
    EXPECT_TRUE(c.overlaps(Circle(Vec2(3, 13.9), 5)));
    EXPECT_FALSE(c.overlaps(Circle(Vec2(3, 14), 5))) << "touching circles do not overlap";
}

TEST(ColourTest, BytesAreClampedAndNanIsZero) {
    EXPECT_EQ(Colour(1.0, 0.5, 0.0, 1.0).redByte(), 255);
    EXPECT_EQ(Colour(1.0, 0.5, 0.0, 1.0).greenByte(), 127);
    EXPECT_EQ(Colour(1.0, 0.5, 0.0, 1.0).blueByte(), 0);
    // Overshoot from an animation must not wrap around to a dark value.
    EXPECT_EQ(Colour(1.01, 0, 0, 1).redByte(), 255);
    EXPECT_EQ(Colour(0, -0.2, 0, 1).greenByte(), 0);
    EXPECT_EQ(Colour(0, 0, NAN, 1).blueByte(), 0);
    EXPECT_EQ(Colour(0, 0, 0, INFINITY).alphaByte(), 255);
    EXPECT_EQ(Colour(0, 0, 0, -INFINITY).alphaByte(), 0);
}

TEST(ColourTest, DefaultsAndShared) {
    EXPECT_EQ(Colour(), Colour(1, 1, 1, 1));
    EXPECT_EQ(fallbackColour(), Colour(1, 0, 0, 1));
    EXPECT_EQ(transparentBlack(), Colour(0, 0, 0, 0));
}

TEST(PrinterTest, ValueTypes) {
    EXPECT_EQ(printed(Vec2(1.5, -2)), "(1.5, -2)");
    EXPECT_EQ(printed(Rect(1, 2, 3, 4.25)), "Rect(1, 2, 3, 4.25)");
    EXPECT_EQ(printed(Colour(1, 0.5, 0, 1)), "Colour(1, 0.5, 0, 1)");
}

TEST(Vec2Test, Arithmetic) {
    EXPECT_DOUBLE_EQ(Vec2(3, 4).length(), 5);
    EXPECT_DOUBLE_EQ(Vec2(1, 1).distanceTo(Vec2(4, 5)), 5);
    EXPECT_EQ(Vec2(1, 2) * 3, Vec2(3, 6));
    EXPECT_EQ(Vec2(1, 2) - Vec2(3, 5), Vec2(-2, -3));
    EXPECT_EQ(Range(5, 7).end(), 12u);
}

TEST(TextTest, ContainsSubstring) {
    EXPECT_TRUE(containsSubstring("", ""));
    EXPECT_TRUE(containsSubstring("abc", ""));
    EXPECT_TRUE(containsSubstring("abc", "abc"));
    EXPECT_TRUE(containsSubstring("xxabc", "bc"));
    EXPECT_FALSE(containsSubstring("abc", "abcd"));
    EXPECT_FALSE(containsSubstring("", "a"));
    EXPECT_FALSE(containsSubstring("abcab", "bb"));
}

TEST(ImageTest, FlipRowsVertically) {
    std::vector<uint32_t> one = {1, 2, 3};
    flipRowsVertically(3, 1, one.data());
    EXPECT_EQ(one, (std::vector<uint32_t>{1, 2, 3}));

    std::vector<uint32_t> three = {1, 2, 3, 4, 5, 6};
    flipRowsVertically(2, 3, three.data());
    EXPECT_EQ(three, (std::vector<uint32_t>{5, 6, 3, 4, 1, 2}));

    std::vector<uint32_t> four = {1, 2, 3, 4};
    flipRowsVertically(1, 4, four.data());
    EXPECT_EQ(four, (std::vector<uint32_t>{4, 3, 2, 1}));
}

TEST(FatalErrorDeathTest, WritesOneLineAndExitsWithOne) {
    EXPECT_EXIT(fatalError("broken book"), testing::ExitedWithCode(1), "^err: broken book\n$");
}

TEST(FatalErrorDeathTest, NoExitHandlerCanChangeTheStatus) {
    EXPECT_EXIT(
        {
            std::atexit([] { std::_Exit(7); });
            fatalError("after handler");
        },
        testing::ExitedWithCode(1), "err: after handler");
}

TEST(FatalErrorDeathTest, BackgroundThreadDoesNotBlockExit) {
    EXPECT_EXIT(
        {
            // A joinable thread still running at exit would call std::terminate on destruction.
            static std::thread sleeper([] { std::this_thread::sleep_for(std::chrono::seconds(30)); });
            fatalError("with a thread");
        },
        testing::ExitedWithCode(1), "err: with a thread");
}

TEST(FatalErrorTest, FlushesBufferedStandardOutput) {
    // Into a pipe, stdout is fully buffered: without a flush the text would be lost by _Exit.
    test::ChildResult r = test::runInChild([] {
        std::printf("pending");
        std::cout << " and more";
        fatalError("x");
    });
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "pending and more");
    EXPECT_EQ(r.err, "err: x\n");
}

} // namespace
} // namespace hv
