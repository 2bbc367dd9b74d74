#include "picture/ContourResolution.h"
#include "support/PolygonFixtures.h"

#include <gtest/gtest.h>

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
            for (const Vec2& p : ring) mesh.vertices.insert(mesh.vertices.end(), {float(p.x), float(p.y)});
        }
    }
    // The signed area the ranges enclose together: outer rings and holes run opposite ways.
    double area(const std::vector<Range>& of) const {
        const std::vector<float>& v = mesh.vertices;
        double sum = 0;
        for (const Range& r : of) {
            for (uint64_t k = r.start; k < r.end(); ++k) {
                uint64_t n = k + 1 < r.end() ? k + 1 : r.start;
                sum += double(v[2 * k]) * v[2 * n + 1] - double(v[2 * n]) * v[2 * k + 1];
            }
        }
        return std::fabs(sum) / 2;
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

} // namespace
} // namespace hv::test
