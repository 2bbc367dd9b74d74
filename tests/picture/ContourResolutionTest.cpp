#include "picture/ContourResolution.h"
#include "picture/EarClipperTriangulator.h"
#include "picture/EarClipping.h"
#include "support/PolygonFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace hv::test {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// The rings' points in one mesh, a range each.
struct Contours {
    Mesh mesh;
    std::vector<Range> ranges;
    explicit Contours(const std::vector<Ring>& rings) {
        for (const Ring& ring : rings) {
            ranges.emplace_back(mesh.vertexCount(), ring.size());
            for (const Vec2& p : ring) mesh.vertices.insert(mesh.vertices.end(), {float(p.x), float(p.y)});
        }
    }
    Vec2 point(uint64_t k) const { return Vec2(mesh.vertices[2 * k], mesh.vertices[2 * k + 1]); }
    std::vector<Ring> rings(const std::vector<Range>& of) const {
        std::vector<Ring> out;
        for (const Range& r : of) {
            out.emplace_back();
            for (uint64_t k = r.start; k < r.end(); ++k) out.back().push_back(point(k));
        }
        return out;
    }
    // The signed area the ranges enclose together: outer rings and holes run opposite ways.
    double area(const std::vector<Range>& of) const {
        double sum = 0;
        for (const Ring& ring : rings(of)) {
            for (size_t k = 0; k < ring.size(); ++k) {
                const Vec2 &p = ring[k], &q = ring[(k + 1) % ring.size()];
                sum += p.x * q.y - q.x * p.y;
            }
        }
        return std::fabs(sum) / 2;
    }
    // The first ring as a polygon.
    IndexPolygon polygon() const {
        IndexPolygon all;
        for (uint32_t k = 0; k < ranges[0].count; ++k) all.push_back(k);
        return all;
    }
};

// The even-odd fill, as outlines meeting at most at vertices, snapped to the single-precision
// grid of the largest coordinate; what encloses a negligible area is left out.
TEST(ContourResolutionTest, CrossingsResolveToTheEvenOddFillOnTheGrid) {
    const Ring bowTie{Vec2(0, 0), Vec2(10, 0), Vec2(0, 10), Vec2(10, 10)};
    // A curve flattened there and back: a sliver of 0.0005.
    const Ring sliver{Vec2(0, 0), Vec2(10, 0), Vec2(10, 1e-4)};
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
        {"sliver", {sliver}, 1e-3, 0, 0},
        {"sliver, kept", {sliver}, 0, 5e-4, 1},
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
        {squareRing(0, 0, 10), {Vec2(5, 0), Vec2(7, 2), Vec2(5, 4), Vec2(3, 2)}},
        // A fan of thin holes meeting at one point: their corners there need several steps.
        {squareRing(0, 0, 10),
         {Vec2(2, 8), Vec2(4, 1), Vec2(3, 1)},
         {Vec2(2, 8), Vec2(6, 1), Vec2(5, 1)},
         {Vec2(2, 8), Vec2(8, 1), Vec2(7, 1)}},
    };
    for (const std::vector<Ring>& rings : cases) {
        Contours contours(rings);
        std::vector<Range> plain, separated;
        ASSERT_TRUE(resolveCrossings(contours.mesh, contours.ranges, plain));
        ASSERT_TRUE(resolveCrossings(contours.mesh, contours.ranges, separated, 0.0, true));
        EXPECT_NEAR(contours.area(separated), contours.area(plain), 1e-4);
        const std::vector<Ring> outlines = contours.rings(separated);
        std::vector<std::pair<double, double>> points;
        for (const Ring& outline : outlines) {
            for (const Vec2& p : outline) points.emplace_back(p.x, p.y);
        }
        std::sort(points.begin(), points.end());
        EXPECT_EQ(std::adjacent_find(points.begin(), points.end()), points.end()) << rings.size() << " rings";
        // And the solid clips at once, with its holes.
        EarClipperTriangulator t;
        t.init();
        ContourCount counted;
        CaptureStderr();
        EXPECT_TRUE(t.triangulate(pathFromRings(outlines), 1.0, &counted).second);
        EXPECT_EQ(GetCapturedStderr(), "");
        EXPECT_EQ(counted.resolved, 0u);
    }
}

// The contours to resolve take along every contour crossing them, directly or through others;
// more crossings than the limit are refused.
TEST(ContourResolutionTest, CrossingContoursJoinAndTooManyAreRefused) {
    // A chain of squares each crossing the next, one apart, and a star far off.
    Contours contours({squareRing(0, 0, 10), squareRing(5, 5, 10), squareRing(12, 12, 10), squareRing(40, 0, 5),
                       crossingStar(128, 40, Vec2(100, 0))});
    std::vector<Range> troubled{contours.ranges[0]};
    EXPECT_TRUE(joinCrossingContours(contours.mesh.vertices.data(), contours.ranges, troubled, 4096));
    EXPECT_EQ(troubled, (std::vector<Range>{contours.ranges[0], contours.ranges[1], contours.ranges[2]}));
    troubled = {contours.ranges[4]};
    EXPECT_FALSE(joinCrossingContours(contours.mesh.vertices.data(), contours.ranges, troubled, 4096));
    troubled = {contours.ranges[4]};
    EXPECT_TRUE(joinCrossingContours(contours.mesh.vertices.data(), contours.ranges, troubled, 100000));

    // Where a polygon crosses itself; touching itself at a point is no crossing.
    const std::tuple<const char*, Ring, bool> polygons[] = {
        {"square", squareRing(0, 0, 1), false},
        {"bow tie", {Vec2(0, 0), Vec2(10, 0), Vec2(0, 10), Vec2(10, 10)}, true},
        {"pinched",
         {Vec2(19, 23), Vec2(22, 20), Vec2(19, 14), Vec2(22, 11), Vec2(25, 14), Vec2(22, 20), Vec2(25, 23)},
         false},
    };
    for (const auto& [name, ring, crosses] : polygons) {
        Contours one({ring});
        EXPECT_EQ(crossesItself(one.mesh.vertices.data(), one.polygon()), crosses) << name;
    }
}

// What the clipper tries on a polygon neither of its runs can clip: the flaws an editor leaves
// in an outline are taken out one by one, and the rest clips, covering the outline's area but
// for the cut-off loop.
TEST(ContourResolutionTest, CuresTakeOutRepeatsSpikesAndSmallLoops) {
    // The top edge of a square of 100 overshoots and comes back through the loop.
    auto loopedSquare = [](std::initializer_list<Vec2> loop) {
        Ring ring{Vec2(0, 0), Vec2(10, 0), Vec2(10, 10), Vec2(6, 10)};
        ring.insert(ring.end(), loop);
        ring.insert(ring.end(), {Vec2(4, 10), Vec2(0, 10)});
        return ring;
    };
    const std::pair<const char*, Ring> cases[] = {
        {"repeated points and a spike",
         {Vec2(0, 0), Vec2(5, 0), Vec2(5, 0), Vec2(10, 0), Vec2(10, 5), Vec2(14, 5), Vec2(10, 5), Vec2(10, 10),
          Vec2(0, 10)}},
        {"loop of two", loopedSquare({Vec2(4.8, 10.2), Vec2(5.2, 10.2)})},
        {"loop of three", loopedSquare({Vec2(4.8, 10.2), Vec2(5, 10.4), Vec2(5.2, 10.2)})},
        {"loop of four", loopedSquare({Vec2(4.8, 10.2), Vec2(4.9, 10.4), Vec2(5.1, 10.4), Vec2(5.2, 10.2)})},
    };
    for (const auto& [name, ring] : cases) {
        Contours one({ring});
        for (bool careful : {false, true}) {
            std::vector<uint32_t> indices{7, 7, 7};
            ASSERT_TRUE(clipping::clipWithCures(one.mesh.vertices.data(), one.polygon(), indices, careful, false))
                << name;
            double covered = 0;
            for (size_t t = 3; t + 2 < indices.size(); t += 3) {
                Vec2 a = one.point(indices[t]), b = one.point(indices[t + 1]) - a, d = one.point(indices[t + 2]) - a;
                covered += std::fabs(b.x * d.y - b.y * d.x) / 2;
            }
            EXPECT_NEAR(covered, 100, 1) << name << (careful ? ", careful" : "");
        }
    }
}

// Round and round the same hundred points, every segment crossing others: a polygon like that
// costs its size squared to clip, so the clipper gives up once it has looked at more points than
// a sound polygon of its size needs; its crossings are too many to resolve, so the path is left
// as it stands with one line.
TEST(ContourResolutionTest, CrossingsEverywhereAreGivenUpInBoundedTime) {
    Ring zigzag;
    for (int i = 0; i <= 20000; ++i) zigzag.emplace_back(i * 37 % 100, i * 91 % 100);
    Contours one({zigzag});
    std::vector<uint32_t> indices;
    CaptureStderr();
    EXPECT_FALSE(EarClipperTriangulator::triangulatePolygon(one.mesh.vertices, one.polygon(), indices));
    EXPECT_EQ(GetCapturedStderr(),
              "EarClipperTriangulator::triangulatePolygon: a polygon of 20001 points takes too long to clip\n");
    EXPECT_TRUE(indices.empty());

    EarClipperTriangulator t;
    t.init();
    ContourCount contours;
    CaptureStderr();
    auto [range, ok] = t.triangulate(pathFromRings({zigzag}), 1.0, &contours);
    EXPECT_EQ(GetCapturedStderr(),
              "EarClipperTriangulator::triangulate: more than 4096 crossings, too many to resolve\n");
    EXPECT_FALSE(ok);
    EXPECT_TRUE(contours.refused);
    EXPECT_EQ(range.count, 0u);
}

} // namespace
} // namespace hv::test
