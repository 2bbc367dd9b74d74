#include "svg/SvgParser.h"
#include "SvgTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace hv {
namespace {

using test::N;
using test::parseSvgText;

struct Outline {
    std::vector<float> points;
    bool closed;
};

struct PathCase {
    const char* name;
    const char* d;
    std::vector<Outline> outlines; // most recently finished first, as the parser lists them
};

const float k = 5.5228476f; // 10 times the quarter-circle control length

const PathCase pathCases[] = {
    {"ClosedTriangleGetsClosingSegment", "M0 0 L10 0 L10 10 Z",
     {{{0, 0, N, N, N, N, 10, 0, N, N, N, N, 10, 10, N, N, N, N, 0, 0}, true}}},
    {"ClosingSegmentAddedEvenWhenAtStart", "M0 0 L10 0 L0 0 z",
     {{{0, 0, N, N, N, N, 10, 0, N, N, N, N, 0, 0, N, N, N, N, 0, 0}, true}}},
    {"ImplicitLinesAfterMove", "M0 0 10 0 10 10", {{{0, 0, N, N, N, N, 10, 0, N, N, N, N, 10, 10}, false}}},
    {"ImplicitRelativeLinesAfterRelativeMove", "m1 1 2 0 0 2z",
     {{{1, 1, N, N, N, N, 3, 1, N, N, N, N, 3, 3, N, N, N, N, 1, 1}, true}}},
    {"RepeatedArgumentGroupsRepeatTheCommand", "M0 0 L1 0 2 0 3 0",
     {{{0, 0, N, N, N, N, 1, 0, N, N, N, N, 2, 0, N, N, N, N, 3, 0}, false}}},
    {"RelativeMoveAfterCloseStartsFromSubpathStart", "M10 10 l10 0 l0 10 z m5 5 l1 0 l0 1 z",
     {{{15, 15, N, N, N, N, 16, 15, N, N, N, N, 16, 16, N, N, N, N, 15, 15}, true},
      {{10, 10, N, N, N, N, 20, 10, N, N, N, N, 20, 20, N, N, N, N, 10, 10}, true}}},
    {"DrawingAfterCloseContinuesFromStart", "M2 2 L10 2 L10 10 z l0 5 l5 0",
     {{{2, 2, N, N, N, N, 2, 7, N, N, N, N, 7, 7}, false},
      {{2, 2, N, N, N, N, 10, 2, N, N, N, N, 10, 10, N, N, N, N, 2, 2}, true}}},
    {"HorizontalAndVertical", "M0 0 H10 V10 h-5 v-5",
     {{{0, 0, N, N, N, N, 10, 0, N, N, N, N, 10, 10, N, N, N, N, 5, 10, N, N, N, N, 5, 5}, false}}},
    {"CompactNumbersAndExponents", "M-1-2L.5.5l1e1-1E0",
     {{{-1, -2, N, N, N, N, 0.5f, 0.5f, N, N, N, N, 10.5f, -0.5f}, false}}},
    {"SmoothCubicReflectsAfterCubic", "M0 0 C1 1 2 2 3 3 S5 5 6 6",
     {{{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6}, false}}},
    {"SmoothCubicAfterSmoothCubicReflects", "M0 0 C0 1 1 2 2 2 s2 0 2 -2 s1 -2 2 -2",
     {{{0, 0, 0, 1, 1, 2, 2, 2, 3, 2, 4, 2, 4, 0, 4, -2, 5, -2, 6, -2}, false}}},
    {"SmoothCubicAfterLineDoesNotReflect", "M0 0 L3 3 S5 5 6 6",
     {{{0, 0, N, N, N, N, 3, 3, 3, 3, 5, 5, 6, 6}, false}}},
    {"SmoothCubicAfterQuadraticDoesNotReflect", "M0 0 Q3 3 6 0 S9 3 12 0",
     {{{0, 0, 2, 2, 4, 2, 6, 0, 6, 0, 9, 3, 12, 0}, false}}},
    {"QuadraticBecomesCubic", "M0 0 Q3 3 6 0", {{{0, 0, 2, 2, 4, 2, 6, 0}, false}}},
    {"SmoothQuadraticReflectsAfterQuadratic", "M0 0 Q3 3 6 0 T12 0",
     {{{0, 0, 2, 2, 4, 2, 6, 0, 8, -2, 10, -2, 12, 0}, false}}},
    {"SmoothQuadraticAfterCubicDoesNotReflect", "M0 0 C1 1 5 1 6 0 T12 0",
     {{{0, 0, 1, 1, 5, 1, 6, 0, 6, 0, 8, 0, 12, 0}, false}}},
    {"SmoothQuadraticAfterLineDoesNotReflect", "M0 0 L6 0 T12 0",
     {{{0, 0, N, N, N, N, 6, 0, 6, 0, 8, 0, 12, 0}, false}}},
    {"QuarterArc", "M10 0 A10 10 0 0 1 0 10", {{{10, 0, 10, k, k, 10, 0, 10}, false}}},
    {"HalfArc", "M10 0 A10 10 0 0 1 -10 0", {{{10, 0, 10, k, k, 10, 0, 10, -k, 10, -10, k, -10, 0}, false}}},
    {"WholeCircleOfTwoHalves", "M10 0 A10 10 0 0 1 -10 0 A10 10 0 0 1 10 0 Z",
     {{{10, 0, 10, k, k, 10, 0, 10, -k, 10, -10, k, -10, 0, -10, -k, -k, -10, 0, -10, k, -10, 10, -k, 10, 0, N, N,
        N, N, 10, 0},
       true}}},
    {"RelativeArc", "M10 0 a10 10 0 0 1 -10 10", {{{10, 0, 10, k, k, 10, 0, 10}, false}}},
    // Flags are single characters: "0 10 10" is the flags 0 and 1, then the end point (0, 10).
    {"FlagsRunIntoTheEndPoint", "M10 0A10 10 0 0 10 10L0 20", {{{10, 0, 10, k, k, 10, 0, 10, N, N, N, N, 0, 20}, false}}},
    {"FlagsWithoutSeparators", "M10 0a10 10 0 01-10 10z",
     {{{10, 0, 10, k, k, 10, 0, 10, N, N, N, N, 10, 0}, true}}},
    {"RepeatedCompactArcs", "M10 0a10 10 0 01-10 10 10 10 0 01-10-10",
     {{{10, 0, 10, k, k, 10, 0, 10, -k, 10, -10, k, -10, 0}, false}}},
    {"TooSmallRadiiGrowToSpanTheChord", "M0 0 A1 1 0 0 1 10 0",
     {{{0, 0, 0, -2.7614238f, 2.2385762f, -5, 5, -5, 7.7614236f, -5, 10, -2.7614238f, 10, 0}, false}}},
    {"ZeroRadiusArcIsStraight", "M0 0 A0 5 0 0 1 10 10", {{{0, 0, N, N, N, N, 10, 10}, false}}},
    {"ArcToItsOwnStartIsStraight", "M10 0 A10 10 0 1 1 10 0", {{{10, 0, N, N, N, N, 10, 0}, false}}},
    {"ArcWithInfiniteRadiusIsStraight", "M0 0 A1e39 1 0 0 1 10 0", {{{0, 0, N, N, N, N, 10, 0}, false}}},
    {"MoveWithoutSegmentsIsDropped", "M0 0 M5 5 L6 6", {{{5, 5, N, N, N, N, 6, 6}, false}}},
    {"NumbersBeforeAnyCommandAreDropped", "1 2 M0 0 L1 1", {{{0, 0, N, N, N, N, 1, 1}, false}}},
    {"NumbersAfterCloseAreDropped", "M0 0 L1 0 L1 1 z 5 5", {{{0, 0, N, N, N, N, 1, 0, N, N, N, N, 1, 1, N, N, N, N, 0, 0}, true}}},
    {"HexadecimalIsNotANumber", "M0 0 L0x10 3 L4 4", {{{0, 0, N, N, N, N, 4, 4}, false}}},
};

void PrintTo(const PathCase& c, std::ostream* out) { *out << '"' << c.d << '"'; }

class PathDataTest : public ::testing::TestWithParam<PathCase> {};

void expectSameFloat(float expected, float actual, const std::string& where) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << where << ": expected a straight-segment mark, got " << actual;
    } else {
        EXPECT_NEAR(expected, actual, 1e-4) << where;
    }
}

TEST_P(PathDataTest, GivesExactOutlines) {
    const PathCase& c = GetParam();
    auto picture = parseSvgText(std::string("<svg><path d=\"") + c.d + "\"/></svg>");
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->shapes.size(), 1u);
    const auto& outlines = picture->shapes[0].outlines;
    ASSERT_EQ(outlines.size(), c.outlines.size());
    for (size_t i = 0; i < outlines.size(); ++i) {
        EXPECT_EQ(outlines[i].closed, c.outlines[i].closed) << "outline " << i;
        ASSERT_EQ(outlines[i].points.size(), c.outlines[i].points.size()) << "outline " << i;
        for (size_t j = 0; j < outlines[i].points.size(); ++j) {
            expectSameFloat(c.outlines[i].points[j], outlines[i].points[j],
                            "outline " + std::to_string(i) + " float " + std::to_string(j));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Svg, PathDataTest, ::testing::ValuesIn(pathCases),
                         [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST(PathDataTest, PathsWithoutAnySegmentGiveNoShape) {
    for (const char* d : {"", "M0 0", "M0 0 Z", "L5 5 L6 6", "Z Z", "garbage"}) {
        auto picture = parseSvgText(std::string("<svg><path d=\"") + d + "\"/></svg>");
        ASSERT_TRUE(picture);
        EXPECT_TRUE(picture->shapes.empty()) << d;
    }
}

TEST(PathDataTest, ArcFlagsChooseTheCentreAndTheArc) {
    // The chord from (0, 0) to (6, 2) has two radius-5 circles through its ends. Equal flags
    // take the centre on one side, unequal ones the other; the large arc sweeps about 282
    // degrees in four pieces, the small one about 78 degrees in one.
    const double along = std::sqrt(15.0 / 10.0);
    const double leftX = 3 - along, leftY = 1 + 3 * along;   // (1.78, 4.67)
    const double rightX = 3 + along, rightY = 1 - 3 * along; // (4.22, -2.67)
    struct Case {
        const char* flags;
        double cx, cy;
        size_t pieces;
    };
    const Case cases[] = {
        {"0 0", rightX, rightY, 1},
        {"0 1", leftX, leftY, 1},
        {"1 0", leftX, leftY, 4},
        {"1 1", rightX, rightY, 4},
    };
    for (const Case& c : cases) {
        // Written out, and as minifiers write them: flags and end point without separators.
        std::string compact = std::string(1, c.flags[0]) + c.flags[2] + "6,2";
        for (const std::string& arc : {std::string(c.flags) + " 6 2", compact}) {
            auto picture = parseSvgText("<svg><path d=\"M0 0 A5 5 0 " + arc + "\"/></svg>");
            ASSERT_EQ(picture->shapes.size(), 1u) << arc;
            const auto& points = picture->shapes[0].outlines[0].points;
            ASSERT_EQ(points.size(), 2 + 6 * c.pieces) << arc;
            EXPECT_NEAR(points[points.size() - 2], 6, 1e-5) << arc;
            EXPECT_NEAR(points[points.size() - 1], 2, 1e-5) << arc;
            // Every end point, and the middle of every piece, lies on the circle.
            for (size_t s = 0; s <= c.pieces; ++s) {
                EXPECT_NEAR(std::hypot(points[6 * s] - c.cx, points[6 * s + 1] - c.cy), 5.0, 1e-4) << arc << " " << s;
            }
            for (size_t s = 0; s < c.pieces; ++s) {
                const float* q = &points[6 * s];
                double mx = 0.125 * (q[0] + 3 * q[2] + 3 * q[4] + q[6]);
                double my = 0.125 * (q[1] + 3 * q[3] + 3 * q[5] + q[7]);
                EXPECT_NEAR(std::hypot(mx - c.cx, my - c.cy), 5.0, 1e-2) << arc << " piece " << s;
            }
        }
    }
}

// Relative steps add up rounding: a subpath meant to close where it started ends a few units
// in the last place beside it, and its closing segment would cross its first one. A gap that
// is large beside the subpath stays, however far from the origin it is drawn.
TEST(PathDataTest, ClosingPutsAnEndBesideTheStartOnIt) {
    // The path, and the y of the last segment's end before the closing one.
    const std::pair<const char*, float> cases[] = {
        {"M0 0 l10 0 l0 10 l-10 -9.9999995 z", 0.0f},
        {"M0 0 l10 0 l0 10 l-10 -9.99 z", 10.0f - 9.99f}, // a real gap stays
        {"M0 0 l10 0 l0 10 l-10 -9.9999995", 10.0f - 9.9999995f}, // open: nothing to close
        {"M1000 0 l10 0 l0 10 l-10 -9.999 z", 0.0f},
        {"M100000 0 L100010 0 L100010 10 L100000 0.8 z", 0.8f},
    };
    for (const auto& [d, endY] : cases) {
        auto picture = parseSvgText(std::string("<svg><path d=\"") + d + "\"/></svg>");
        ASSERT_EQ(picture->shapes.size(), 1u) << d;
        const auto& outline = picture->shapes[0].outlines[0];
        size_t end = outline.points.size() - (outline.closed ? 8 : 2); // the closing segment's six floats follow
        EXPECT_EQ(outline.points[end], outline.points[0]) << d;
        EXPECT_EQ(outline.points[end + 1], endY) << d;
    }
}

TEST(PathDataTest, ArcsWhoseArithmeticRoundsPastItsRangeStayArcs) {
    // Rounding makes the centre's square-root argument slightly negative (first) or the
    // angle's cosine slightly below -1 (second); neither may turn the arc into a line.
    for (const char* d : {"M1 1 A2 2 90 1 0 9 10", "M-7 -5 A8 7 30 1 0 5 9"}) {
        auto picture = parseSvgText(std::string("<svg><path d=\"") + d + "\"/></svg>");
        ASSERT_EQ(picture->shapes.size(), 1u) << d;
        const auto& points = picture->shapes[0].outlines[0].points;
        ASSERT_GE(points.size(), 14u) << d << ": at least two pieces for half an ellipse";
        for (float v : points) EXPECT_TRUE(std::isfinite(v)) << d;
    }
    // The first radius was too small: the arc is half the circle on the chord.
    auto picture = parseSvgText("<svg><path d=\"M1 1 A2 2 90 1 0 9 10\"/></svg>");
    const auto& points = picture->shapes[0].outlines[0].points;
    double radius = std::hypot(8.0, 9.0) / 2;
    for (size_t i = 0; i < points.size(); i += 6) EXPECT_NEAR(std::hypot(points[i] - 5.0, points[i + 1] - 5.5), radius, 1e-4);
}

} // namespace
} // namespace hv
