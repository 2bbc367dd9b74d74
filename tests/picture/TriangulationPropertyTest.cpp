#include "ReferenceTriangulator.h"
#include "picture/EarClipperTriangulator.h"
#include "support/FillCoverage.h"
#include "support/PolygonFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <random>

namespace hv {
namespace {

using test::pathFromRings;
using test::Ring;

// Twice the signed area, over the single-precision points the mesh will hold.
double signedArea2(const Ring& ring) {
    double s = 0;
    for (size_t k = 0; k < ring.size(); ++k) {
        const Vec2& a = ring[k];
        const Vec2& b = ring[(k + 1) % ring.size()];
        s += double(float(a.x)) * double(float(b.y)) - double(float(b.x)) * double(float(a.y));
    }
    return s;
}

// A polygon around (cx, cy), every point visible from the centre.
Ring starPolygon(std::mt19937& rng, double cx, double cy, double radius, int n, bool clockwise) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> angles(n);
    for (double& a : angles) a = unit(rng) * 2 * M_PI;
    std::sort(angles.begin(), angles.end());
    Ring ring;
    for (double a : angles) {
        double r = radius * (0.2 + 0.8 * unit(rng));
        ring.emplace_back(cx + r * std::cos(a), cy + r * std::sin(a));
    }
    if (clockwise) std::reverse(ring.begin(), ring.end());
    return ring;
}

struct Checked {
    bool ok = false;
    double area = 0;          // sum of |triangle areas|
    double mostNegative = 0;  // the smallest signed triangle area, relative to the scale
    size_t triangles = 0;
};

Checked triangulate(const std::vector<Ring>& rings, double scale) {
    EarClipperTriangulator t;
    t.init();
    auto [range, ok] = t.triangulate(pathFromRings(rings), 1.0);
    Checked c;
    c.ok = ok;
    const Mesh& mesh = *t.mesh();
    const float* v = mesh.vertices.data();
    for (uint64_t k = range.start; k + 2 < range.end(); k += 3) {
        uint32_t a = mesh.indices[k], b = mesh.indices[k + 1], d = mesh.indices[k + 2];
        double s = (double(v[2 * b]) - v[2 * a]) * (double(v[2 * d + 1]) - v[2 * a + 1]) -
                   (double(v[2 * b + 1]) - v[2 * a + 1]) * (double(v[2 * d]) - v[2 * a]);
        c.area += std::fabs(s) / 2;
        c.mostNegative = std::min(c.mostNegative, s / 2 / (scale * scale));
        ++c.triangles;
    }
    return c;
}

TEST(TriangulationPropertyTest, StarShapedPolygonsInBothOrientations) {
    std::mt19937 rng(20260);
    for (int round = 0; round < 400; ++round) {
        int n = 3 + int(rng() % 250);
        bool clockwise = round % 2;
        double scale = std::pow(10.0, int(rng() % 7) - 2);
        Ring ring = starPolygon(rng, scale * 0.3, -scale * 0.7, scale, n, clockwise);
        Checked c = triangulate({ring}, scale);
        ASSERT_TRUE(c.ok) << "round " << round;
        double expected = std::fabs(signedArea2(ring)) / 2;
        EXPECT_NEAR(c.area, expected, expected * 1e-9) << "round " << round;
        EXPECT_GE(c.mostNegative, -1e-9) << "round " << round;
        EXPECT_EQ(c.triangles, size_t(n - 2)) << "round " << round;
    }
}

TEST(TriangulationPropertyTest, PolygonsWithDisjointHoles) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 120; ++round) {
        double scale = 1000;
        // A ragged, nearly round outline, and holes in the cells of a grid well inside it.
        int n = 16 + int(rng() % 200);
        Ring outer;
        for (int k = 0; k < n; ++k) {
            double a = (k + 0.4 * unit(rng)) * 2 * M_PI / n;
            double r = scale * (0.9 + 0.1 * unit(rng));
            outer.emplace_back(r * std::cos(a), r * std::sin(a));
        }
        if (round % 3 == 0) std::reverse(outer.begin(), outer.end());
        std::vector<Ring> rings{outer};
        int side = 1 + int(rng() % 6);
        double cell = 0.8 * std::sqrt(2.0) * scale / side;
        double origin = -0.4 * std::sqrt(2.0) * scale;
        double holeArea = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                if (unit(rng) < 0.25) continue;
                Ring hole = starPolygon(rng, origin + (x + 0.5) * cell, origin + (y + 0.5) * cell, 0.4 * cell,
                                        3 + int(rng() % 40), unit(rng) < 0.5);
                holeArea += std::fabs(signedArea2(hole)) / 2;
                rings.push_back(hole);
            }
        }
        Checked c = triangulate(rings, scale);
        ASSERT_TRUE(c.ok) << "round " << round;
        double expected = std::fabs(signedArea2(outer)) / 2 - holeArea;
        EXPECT_NEAR(c.area, expected, expected * 1e-9) << "round " << round;
        EXPECT_GE(c.mostNegative, -1e-9) << "round " << round;
    }
}

// Rings on a coarse integer grid: repeated points, collinear runs, touching and crossing
// rings. Whatever happens, the indexed pipeline must do exactly what the plain scans do.
std::vector<Ring> messyRings(std::mt19937& rng, int rings, int maxPoints, int grid) {
    std::vector<Ring> out;
    for (int r = 0; r < rings; ++r) {
        Ring ring;
        int n = 1 + int(rng() % maxPoints);
        if (r > 0 && rng() % 2) {
            // A small star inside the first ring's area, as a likely hole.
            std::uniform_real_distribution<double> unit(0.0, 1.0);
            double cx = grid * (0.2 + 0.6 * unit(rng)), cy = grid * (0.2 + 0.6 * unit(rng));
            for (const Vec2& p : starPolygon(rng, cx, cy, grid * 0.15, n + 2, rng() % 2)) {
                ring.emplace_back(std::round(p.x), std::round(p.y));
            }
        } else {
            for (int k = 0; k < n; ++k) ring.emplace_back(double(rng() % (grid + 1)), double(rng() % (grid + 1)));
        }
        out.push_back(ring);
    }
    if (rng() % 2) out.insert(out.begin(), Ring{Vec2(-1, -1), Vec2(grid + 1, -1), Vec2(grid + 1, grid + 1), Vec2(-1, grid + 1)});
    return out;
}

// With `polygonsToo`, the bridged polygons are compared as well. A path the plain scans draw
// without a fault goes exactly their way; any other is drawn anew from its contours resolved at
// their crossings, and with `judgeFill` must then draw its even-odd fill no worse than they do.
void expectSameAsPlainScans(const std::vector<Ring>& rings, const std::string& label, bool polygonsToo = false,
                            bool judgeFill = true) {
    Path path = pathFromRings(rings);
    testing::internal::CaptureStderr();
    test::ReferenceResult expected = test::referenceTriangulate(path, 1.0);
    std::vector<IndexPolygon> polygons;
    bool bridged = polygonsToo && test::engineBridge(path, 1.0, std::make_shared<Mesh>(), polygons);
    EarClipperTriangulator t;
    t.init();
    auto [range, ok] = t.triangulate(path, 1.0);
    testing::internal::GetCapturedStderr();
    const Mesh& mesh = *t.mesh();
    if (!expected.clean) {
        for (uint32_t i : mesh.indices) ASSERT_LT(i, mesh.vertexCount()) << label;
        if (!judgeFill) return;
        const Mesh plain{expected.vertices, expected.indices};
        auto drawn = test::compareMeshWithFill(path, 1.0, mesh, ok ? range : Range(0, mesh.indices.size()), 64);
        auto drawnPlainly = test::compareMeshWithFill(path, 1.0, plain, Range(0, plain.indices.size()), 64);
        ASSERT_LE(drawn.different, drawnPlainly.different + drawnPlainly.filled / 10) << label;
        return;
    }
    if (bridged) {
        ASSERT_EQ(polygons, expected.polygons) << label;
    }
    ASSERT_EQ(ok, expected.ok) << label;
    ASSERT_EQ(mesh.indices, expected.indices) << label;
}

TEST(TriangulationPropertyTest, SmallMessyPolygonsMatchThePlainScans) {
    std::mt19937 rng(99);
    for (int round = 0; round < 6000; ++round) {
        expectSameAsPlainScans(messyRings(rng, 1 + int(rng() % 4), 12, 4 + int(rng() % 12)), "round " + std::to_string(round));
    }
}

TEST(TriangulationPropertyTest, LargeMessyPolygonsMatchThePlainScans) {
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        expectSameAsPlainScans(messyRings(rng, 1 + int(rng() % 12), 150, 20 + int(rng() % 200)), "round " + std::to_string(round));
    }

    // Many holes, so that bridges are searched through the grid, with ties everywhere.
    for (int round = 0; round < 6; ++round) {
        std::vector<Ring> rings{{Vec2(0, 0), Vec2(250, 0), Vec2(250, 250), Vec2(0, 250)}};
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 5; ++x) {
                double cx = 25 + 50 * x, cy = 25 + 50 * y;
                int n = 4 + int(rng() % 60);
                Ring hole;
                for (int k = 0; k < n; ++k) {
                    double a = 2 * M_PI * k / n * (round % 2 ? -1 : 1);
                    hole.emplace_back(std::round(cx + 15 * std::cos(a)), std::round(cy + 15 * std::sin(a)));
                }
                rings.push_back(hole);
            }
        }
        expectSameAsPlainScans(rings, "holes round " + std::to_string(round));
    }

}

Ring box(double x0, double y0, double x1, double y1, bool clockwise) {
    Ring r{Vec2(x0, y0), Vec2(x1, y0), Vec2(x1, y1), Vec2(x0, y1)};
    if (clockwise) std::reverse(r.begin(), r.end());
    return r;
}

// Also the bridged polygons, for paths too big for the small-case scans: many siblings in one
// leaf, holes that touch, cross or shut each other in, and straight runs.
TEST(TriangulationPropertyTest, ManySiblingsTouchingAndShutInHolesMatchThePlainScans) {
    std::mt19937 rng(23);
    for (int round = 0; round < 16; ++round) {
        // A grid of small rings on integer points, close enough that neighbours touch, share
        // corners or cross; with the outline first, last (so the holes move into it) or absent.
        int side = 6 + int(rng() % 4), cell = 10 + int(rng() % 5);
        std::vector<Ring> rings;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                int n = 3 + int(rng() % 5);
                Ring ring;
                for (int k = 0; k < n; ++k) {
                    double a = 2 * M_PI * k / n;
                    double r = cell * (rng() % 8 ? 0.2 + 0.05 * int(rng() % 5) : 0.5);
                    ring.emplace_back(std::round(cell * (x + 1.5) + r * std::cos(a)), std::round(cell * (y + 1.5) + r * std::sin(a)));
                }
                if (rng() % 2) std::reverse(ring.begin(), ring.end());
                rings.push_back(ring);
            }
        }
        Ring outline = box(0, 0, cell * (side + 3), cell * (side + 3), round % 2);
        if (round % 3 == 0) rings.insert(rings.begin(), outline);
        if (round % 3 == 1) rings.push_back(outline);
        expectSameAsPlainScans(rings, "grid round " + std::to_string(round), true);
    }
    for (int round = 0; round < 8; ++round) {
        // Holes shut in by a fence of thin crossing bars, listed before the fence: they find no
        // bridge until the bars around them are spliced.
        std::vector<Ring> rings{box(0, 0, 100, 100, false)};
        double c0 = 30 + round, c1 = 70 - round % 3;
        for (int k = 0; k < 3; ++k) rings.push_back(box(c0 + 4 + 10 * k, c0 + 4 + 7 * k, c0 + 8 + 10 * k, c0 + 7 + 7 * k, k % 2));
        rings.push_back(box(c0 - 2, c0, c1 + 2, c0 + 2, true));
        rings.push_back(box(c0 - 2, c1 - 2, c1 + 2, c1, round % 2));
        // The left bar has a notch pointing into the fence: the shut-in holes bridge to it
        // once the bar is spliced.
        double mid = (c0 + c1) / 2;
        Ring notched{Vec2(c0, c0 - 2), Vec2(c0 + 2, c0 - 2), Vec2(c0 + 2, mid - 1), Vec2(c0 + 3, mid),
                     Vec2(c0 + 2, mid + 1), Vec2(c0 + 2, c1 + 2), Vec2(c0, c1 + 2)};
        if (round % 2) std::reverse(notched.begin(), notched.end());
        rings.push_back(notched);
        rings.push_back(box(c1 - 2, c0 - 2, c1, c1 + 2, false));
        if (round >= 4) std::swap(rings[1], rings[4]);
        expectSameAsPlainScans(rings, "fence round " + std::to_string(round), true);
    }
    // Long straight runs clipped as fans of flat triangles, and a self-crossing zig-zag.
    for (int n : {300, 2001}) {
        Ring zigzag;
        for (int k = 0; k < n; ++k) zigzag.emplace_back(k % 2 ? 1000 : 0, k * 0.25);
        expectSameAsPlainScans({zigzag}, "zig-zag " + std::to_string(n), true);
        Ring comb{Vec2(0, 0), Vec2(0, -10)};
        for (int k = 0; k < n; ++k) comb.emplace_back(k, k % 3 == 0 ? 5 : 0);
        expectSameAsPlainScans({comb}, "comb " + std::to_string(n), true);
    }
}

// Undefined, infinite, enormous and tiny coordinates: the filters step aside for what they
// cannot bound, and the answers stay those of the plain scans.
TEST(TriangulationPropertyTest, WildCoordinatesMatchThePlainScans) {
    const double wild[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(), 1e35, -1e35, 3e38, 1e31, 1e-40, -1e-42, 1e300};
    std::mt19937 rng(17);
    for (int round = 0; round < 3000; ++round) {
        std::vector<Ring> rings = messyRings(rng, 1 + int(rng() % 4), round % 10 == 0 ? 120 : 12, 6 + int(rng() % 30));
        for (Ring& ring : rings) {
            for (Vec2& p : ring) {
                if (rng() % 12 == 0) p.x = wild[rng() % std::size(wild)];
                if (rng() % 12 == 0) p.y = wild[rng() % std::size(wild)];
                if (round % 7 == 0) p = p * 1e-41; // subnormal in single precision
                if (round % 7 == 1) p = p * 1e29;
            }
        }
        // Points this far out or this small snap together when resolved: only the answer's
        // soundness is checked for the paths that are.
        expectSameAsPlainScans(rings, "round " + std::to_string(round), false, false);
    }
}

} // namespace
} // namespace hv
