#include "picture/ContourResolution.h"
#include "picture/EarClipperTriangulator.h"
#include "picture/EarClipping.h"
#include "support/PolygonFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace hv::test {
namespace {

// The rings' points in one mesh, a range each.
struct Contours {
    Mesh mesh;
    std::vector<Range> ranges;
    explicit Contours(const std::vector<Ring>& rings) {
        for (const Ring& ring : rings) {
            ranges.emplace_back(mesh.vertexCount(), ring.size());
            for (const Vec2& p : ring) {
                mesh.vertices.push_back(float(p.x));
                mesh.vertices.push_back(float(p.y));
            }
        }
    }
    // The signed area the ranges enclose together: outer rings and holes run opposite ways.
    double area(const std::vector<Range>& of) const {
        double sum = 0;
        for (const Range& r : of) {
            for (uint64_t k = r.start; k < r.end(); ++k) {
                uint64_t j = k + 1 == r.end() ? r.start : k + 1;
                sum += double(mesh.vertices[2 * k]) * mesh.vertices[2 * j + 1] - double(mesh.vertices[2 * j]) * mesh.vertices[2 * k + 1];
            }
        }
        return std::fabs(sum) / 2;
    }
};

Ring ring(std::initializer_list<Vec2> points) { return Ring(points); }

// The even-odd fill, as outlines meeting at most at vertices, snapped to the single-precision
// grid of the largest coordinate; what encloses a negligible area is left out.
TEST(ContourResolutionTest, CrossingsResolveToTheEvenOddFillOnTheGrid) {
    const Ring bowTie = ring({Vec2(0, 0), Vec2(10, 0), Vec2(0, 10), Vec2(10, 10)});
    struct Case {
        const char* name;
        std::vector<Ring> rings;
        double negligible;
        double area;
        size_t outlines;
    };
    const Case cases[] = {
        {"bow tie", {bowTie}, 0, 50, 2},
        // The overlap is empty; the two L-shaped rests meet at its corners.
        {"overlapping squares", {squareRing(0, 0, 10), squareRing(5, 5, 10)}, 0, 150, 2},
        {"duplicates", {squareRing(0, 0, 10), squareRing(0, 0, 10)}, 0, 0, 0},
        {"hole reaching over its ring", {squareRing(0, 0, 10), squareRing(8, 2, 4)}, 0, 100 - 8 + 8, 2},
        // A curve flattened there and back: a sliver of 0.0005.
        {"sliver", {ring({Vec2(0, 0), Vec2(10, 0), Vec2(10, 1e-4)})}, 1e-3, 0, 0},
        {"sliver, kept", {ring({Vec2(0, 0), Vec2(10, 0), Vec2(10, 1e-4)})}, 0, 5e-4, 1},
    };
    for (const Case& c : cases) {
        Contours contours(c.rings);
        std::vector<Range> resolved;
        ASSERT_TRUE(resolveCrossings(contours.mesh, contours.ranges, resolved, c.negligible)) << c.name;
        EXPECT_EQ(resolved.size(), c.outlines) << c.name;
        // The sliver's height snaps to the grid: the one area not exact.
        EXPECT_NEAR(contours.area(resolved), c.area, 2e-3 * c.area + 1e-9) << c.name;
        // Below 16 the grid is 2^-20: every coordinate is an integer there.
        for (uint64_t k = 2 * contours.ranges.back().end(); k < contours.mesh.vertices.size(); ++k) {
            double scaled = std::ldexp(double(contours.mesh.vertices[k]), 20);
            EXPECT_EQ(scaled, std::round(scaled)) << c.name;
        }
        // The outlines cross nothing: resolving them again changes nothing.
        std::vector<Range> again;
        ASSERT_TRUE(resolveCrossings(contours.mesh, resolved, again, c.negligible)) << c.name;
        EXPECT_NEAR(contours.area(again), c.area, 2e-3 * c.area + 1e-9) << c.name;
    }
    // Points that are not numbers, or too large to snap, are not resolved.
    for (double wild : {double(NAN), 1e31}) {
        Contours contours({bowTie, squareRing(wild, 0, 1)});
        size_t before = contours.mesh.vertices.size();
        std::vector<Range> resolved;
        EXPECT_FALSE(resolveCrossings(contours.mesh, contours.ranges, resolved)) << wild;
        EXPECT_EQ(contours.mesh.vertices.size(), before) << wild;
    }
}

// Holes touching another outline at a vertex move a hair into themselves, so that no vertex of
// a hole is shared; the fill loses next to nothing.
TEST(ContourResolutionTest, TouchingHolesAreMovedApart) {
    const std::vector<Ring> cases[] = {
        {squareRing(0, 0, 10), ring({Vec2(5, 0), Vec2(7, 2), Vec2(5, 4), Vec2(3, 2)})},
        // A fan of thin holes meeting at one point: their corners there need several steps.
        {squareRing(0, 0, 10), ring({Vec2(2, 8), Vec2(4, 1), Vec2(3, 1)}), ring({Vec2(2, 8), Vec2(6, 1), Vec2(5, 1)}),
         ring({Vec2(2, 8), Vec2(8, 1), Vec2(7, 1)})},
    };
    for (const std::vector<Ring>& rings : cases) {
        Contours contours(rings);
        std::vector<Range> plain, separated;
        ASSERT_TRUE(resolveCrossings(contours.mesh, contours.ranges, plain));
        ASSERT_TRUE(resolveCrossings(contours.mesh, contours.ranges, separated, 0.0, true));
        EXPECT_NEAR(contours.area(separated), contours.area(plain), 1e-4);
        std::vector<std::pair<float, float>> points;
        for (const Range& r : separated) {
            for (uint64_t k = r.start; k < r.end(); ++k) points.emplace_back(contours.mesh.vertices[2 * k], contours.mesh.vertices[2 * k + 1]);
        }
        std::sort(points.begin(), points.end());
        EXPECT_EQ(std::adjacent_find(points.begin(), points.end()), points.end()) << rings.size() << " rings";
        // And the solid clips at once, with its holes.
        EarClipperTriangulator t;
        t.init();
        Path path;
        for (const Range& r : separated) {
            for (uint64_t k = r.start; k < r.end(); ++k) {
                Vec2 p(contours.mesh.vertices[2 * k], contours.mesh.vertices[2 * k + 1]);
                path.commands.push_back(k == r.start ? PathCommand::moveTo(p.x, p.y) : PathCommand::lineTo(p.x, p.y));
            }
        }
        ContourCount counted;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(t.triangulate(path, 1.0, &counted).second);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(counted.resolved, 0u);
    }
}

// The contours to resolve take along every contour crossing them, directly or through others;
// more crossings than the limit are refused.
TEST(ContourResolutionTest, CrossingContoursJoinAndTooManyAreRefused) {
    Ring star;
    for (int k = 0; k < 128; ++k) {
        double a = 2 * M_PI * (k * 63 % 128) / 128.0;
        star.emplace_back(100 + 40 * std::cos(a), 40 * std::sin(a));
    }
    // A chain of squares each crossing the next, one apart, and the star far off.
    Contours contours({squareRing(0, 0, 10), squareRing(5, 5, 10), squareRing(12, 12, 10), squareRing(40, 0, 5), star});
    std::vector<Range> troubled{contours.ranges[0]};
    EXPECT_TRUE(joinCrossingContours(contours.mesh.vertices.data(), contours.ranges, troubled, 4096));
    EXPECT_EQ(troubled, (std::vector<Range>{contours.ranges[0], contours.ranges[1], contours.ranges[2]}));
    troubled = {contours.ranges[4]};
    EXPECT_FALSE(joinCrossingContours(contours.mesh.vertices.data(), contours.ranges, troubled, 4096));
    troubled = {contours.ranges[4]};
    EXPECT_TRUE(joinCrossingContours(contours.mesh.vertices.data(), contours.ranges, troubled, 100000));

    // Where a polygon crosses itself; touching itself at a point is no crossing.
    struct Case {
        const char* name;
        Ring ring;
        bool crosses;
    };
    const Case polygons[] = {
        {"square", squareRing(0, 0, 1), false},
        {"bow tie", ring({Vec2(0, 0), Vec2(10, 0), Vec2(0, 10), Vec2(10, 10)}), true},
        {"pinched", ring({Vec2(19, 23), Vec2(22, 20), Vec2(19, 14), Vec2(22, 11), Vec2(25, 14), Vec2(22, 20), Vec2(25, 23)}), false},
    };
    for (const Case& c : polygons) {
        Contours one({c.ring});
        IndexPolygon polygon;
        for (uint32_t k = 0; k < c.ring.size(); ++k) polygon.push_back(k);
        EXPECT_EQ(crossesItself(one.mesh.vertices.data(), polygon), c.crosses) << c.name;
    }
}

// What the clipper tries on a polygon neither of its runs can clip: the flaws an editor leaves
// in an outline are taken out one by one, and the rest clips, covering the outline's area but
// for the cut-off loop.
TEST(ContourResolutionTest, CuresTakeOutRepeatsSpikesAndSmallLoops) {
    struct Case {
        const char* name;
        Ring ring;
        double area;
    };
    const Case cases[] = {
        {"repeated points and a spike",
         ring({Vec2(0, 0), Vec2(5, 0), Vec2(5, 0), Vec2(10, 0), Vec2(10, 5), Vec2(14, 5), Vec2(10, 5), Vec2(10, 10), Vec2(0, 10)}),
         100},
        // The top edge overshoots and comes back: loops of two, three and four points.
        {"loop of two", ring({Vec2(0, 0), Vec2(10, 0), Vec2(10, 10), Vec2(6, 10), Vec2(4.8, 10.2), Vec2(5.2, 10.2), Vec2(4, 10), Vec2(0, 10)}), 100},
        {"loop of three",
         ring({Vec2(0, 0), Vec2(10, 0), Vec2(10, 10), Vec2(6, 10), Vec2(4.8, 10.2), Vec2(5, 10.4), Vec2(5.2, 10.2), Vec2(4, 10), Vec2(0, 10)}),
         100},
        {"loop of four",
         ring({Vec2(0, 0), Vec2(10, 0), Vec2(10, 10), Vec2(6, 10), Vec2(4.8, 10.2), Vec2(4.9, 10.4), Vec2(5.1, 10.4), Vec2(5.2, 10.2),
               Vec2(4, 10), Vec2(0, 10)}),
         100},
    };
    for (const Case& c : cases) {
        Contours one({c.ring});
        IndexPolygon polygon;
        for (uint32_t k = 0; k < c.ring.size(); ++k) polygon.push_back(k);
        for (bool careful : {false, true}) {
            std::vector<uint32_t> indices{7, 7, 7};
            ASSERT_TRUE(clipping::clipWithCures(one.mesh.vertices.data(), polygon, indices, careful, false)) << c.name;
            double covered = 0;
            const std::vector<float>& v = one.mesh.vertices;
            for (size_t t = 3; t + 2 < indices.size(); t += 3) {
                uint32_t a = indices[t], b = indices[t + 1], d = indices[t + 2];
                covered += std::fabs((double(v[2 * b]) - v[2 * a]) * (double(v[2 * d + 1]) - v[2 * a + 1]) -
                                     (double(v[2 * b + 1]) - v[2 * a + 1]) * (double(v[2 * d]) - v[2 * a])) / 2;
            }
            EXPECT_NEAR(covered, c.area, 0.01 * c.area) << c.name << (careful ? ", careful" : "");
        }
    }
}

// A polygon whose points pile up on a few spots costs its size squared to clip: the clipper
// gives up once it has looked at more points than a sound polygon of its size needs.
TEST(ContourResolutionTest, ClippingGivesUpInBoundedTime) {
    Ring zigzag;
    for (int i = 0; i <= 20000; ++i) zigzag.emplace_back(i * 37 % 100, i * 91 % 100);
    Contours one({zigzag});
    IndexPolygon polygon;
    for (uint32_t k = 0; k < zigzag.size(); ++k) polygon.push_back(k);
    std::vector<uint32_t> indices;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(EarClipperTriangulator::triangulatePolygon(one.mesh.vertices, polygon, indices));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "EarClipperTriangulator::triangulatePolygon: a polygon of 20001 points takes too long to clip\n");
    EXPECT_TRUE(indices.empty());
}

} // namespace
} // namespace hv::test
