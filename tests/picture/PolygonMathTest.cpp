#include "picture/PolygonMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>

namespace hv::polygon {
namespace {

TEST(PolygonMathTest, HalfOpenRuleOnTriangleEdgesAndCorners) {
    Point u{0, 0}, v{10, 0}, w{0, 10};
    EXPECT_TRUE(pointInTriangle({2, 2}, u, v, w));
    EXPECT_FALSE(pointInTriangle({8, 8}, u, v, w));
    // A point on the right-hand edge counts as inside, on the left-hand edge as outside, on
    // the bottom edge as outside and at the top corner as inside.
    EXPECT_TRUE(pointInTriangle({5, 5}, u, v, w));
    EXPECT_FALSE(pointInTriangle({0, 5}, u, v, w));
    EXPECT_FALSE(pointInTriangle({5, 0}, u, v, w));
    EXPECT_FALSE(pointInTriangle({0, 0}, u, v, w));
    // The order of the corners does not matter.
    EXPECT_EQ(pointInTriangle({5, 5}, w, v, u), pointInTriangle({5, 5}, u, v, w));
    // Undefined points are never inside.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(pointInTriangle({nan, 2}, u, v, w));
    EXPECT_FALSE(pointInTriangle({2, nan}, u, v, w));
}

TEST(PolygonMathTest, TurnsAndSegmentCrossings) {
    EXPECT_GT(turnCross({0, 0}, {1, 0}, {1, 1}), 0);
    EXPECT_LT(turnCross({0, 0}, {1, 0}, {1, -1}), 0);
    EXPECT_EQ(turnCross({0, 0}, {1, 0}, {2, 0}), 0);

    EXPECT_TRUE(segmentsCross({0, 0}, {2, 2}, {0, 2}, {2, 0}));
    EXPECT_TRUE(segmentsCross({0, 0}, {2, 2}, {2, 2}, {3, 0})); // touching ends count
    EXPECT_FALSE(segmentsCross({0, 0}, {2, 2}, {3, 3}, {4, 0}));
    // Parallel and collinear segments never count, overlapping or not.
    EXPECT_FALSE(segmentsCross({0, 0}, {2, 0}, {0, 1}, {2, 1}));
    EXPECT_FALSE(segmentsCross({0, 0}, {2, 0}, {1, 0}, {3, 0}));
}

// Against exact integer arithmetic: coordinates are integers times a common power of two,
// so scaling gives integers whose products fit in 128 bits.
TEST(PolygonMathTest, OrientationSignIsExact) {
    std::mt19937_64 rng(3);
    auto exactSign = [](int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t cx, int64_t cy) {
        __int128 d = __int128(bx - ax) * (cy - ay) - __int128(by - ay) * (cx - ax);
        return d > 0 ? 1 : d < 0 ? -1 : 0;
    };
    int collinear = 0;
    for (int round = 0; round < 20000; ++round) {
        int bits = 1 + int(rng() % 24);
        int scale = int(rng() % 200) - 100;
        auto pick = [&] { return int64_t(rng() % (uint64_t(1) << bits)) - (int64_t(1) << (bits - 1)); };
        int64_t ax = pick(), ay = pick(), bx = pick(), by = pick();
        // Often put c on the line through a and b, or next to it.
        int64_t cx, cy;
        if (round % 2 && (bx != ax || by != ay)) {
            int64_t t = int64_t(rng() % 5) - 2;
            cx = ax + t * (bx - ax) + int64_t(rng() % 3) - 1;
            cy = ay + t * (by - ay);
            if (std::llabs(cx) >= (int64_t(1) << 24) || std::llabs(cy) >= (int64_t(1) << 24)) continue;
        } else {
            cx = pick();
            cy = pick();
        }
        auto f = [&](int64_t x) { return std::ldexp(float(x), scale); };
        int expected = exactSign(ax, ay, bx, by, cx, cy);
        collinear += expected == 0;
        ASSERT_EQ(orientSign({f(ax), f(ay)}, {f(bx), f(by)}, {f(cx), f(cy)}), expected) << round;
    }
    EXPECT_GT(collinear, 1000);
    // Points next to a long diagonal, one unit in the last place off it.
    Point a{1.0f, 1.0f}, b{16777215.0f, 16777215.0f};
    EXPECT_EQ(orientSign(a, b, {8388608.0f, 8388608.0f}), 0);
    EXPECT_EQ(orientSign(a, b, {8388608.0f, 8388607.0f}), -1);
    EXPECT_EQ(orientSign(a, b, {8388607.0f, 8388608.0f}), 1);
}

// Whatever a point's distance from a triangle, when the half-open test says inside, the box
// filter must not have thrown the point away.
TEST(PolygonMathTest, BoxFilterNeverDropsAPointTheTriangleHolds) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int inside = 0;
    for (int round = 0; round < 20000; ++round) {
        double scale = std::pow(10.0, int(rng() % 50) - 30);
        double offset = (rng() % 3) * scale * std::pow(10.0, int(rng() % 8));
        Point t[3];
        Bounds box;
        for (Point& p : t) {
            p = {float(offset + scale * unit(rng)), float(offset + scale * unit(rng))};
            box.add(p);
        }
        ASSERT_TRUE(box.tame);
        for (int k = 0; k < 20; ++k) {
            // Points on corners, on edges, near edges and inside, in single precision.
            Point a = t[rng() % 3], b = t[rng() % 3];
            double s = (unit(rng) + 1) / 2;
            Point p{float(a.x + s * (double(b.x) - a.x)), float(a.y + s * (double(b.y) - a.y))};
            if (k % 3 == 1) p.x = std::nextafter(p.x, rng() % 2 ? INFINITY : -INFINITY);
            if (k % 3 == 2) p.y = std::nextafter(p.y, rng() % 2 ? INFINITY : -INFINITY);
            if (pointInTriangle(p, t[0], t[1], t[2])) {
                ++inside;
                ASSERT_FALSE(box.excludes(p)) << round;
            }
        }
    }
    EXPECT_GT(inside, 10000);

    Bounds square;
    square.add({0, 0});
    square.add({10, 10});
    Bounds right;
    right.add({11, 2});
    right.add({12, 3});
    EXPECT_TRUE(square.excludesAll(right));
    right.add({5, 5});
    EXPECT_FALSE(square.excludesAll(right));
    Bounds wild;
    wild.add({std::numeric_limits<float>::infinity(), 0});
    EXPECT_FALSE(wild.tame);
}

TEST(PolygonMathTest, GridFindsEveryPointInABoxAndRingsCoverEveryCell) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int round = 0; round < 50; ++round) {
        uint32_t n = 1 + rng() % 300;
        std::vector<Point> points(n);
        float stretch = float(1 + rng() % 100);
        for (Point& p : points) p = {unit(rng) * stretch, unit(rng)};
        if (round % 5 == 0) points.push_back({INFINITY, 0.5f}); // left out of the grid
        PointGrid grid;
        grid.build(uint32_t(points.size()), [&](uint32_t k) { return points[k]; }, 1.0 + round % 3);
        for (int q = 0; q < 20; ++q) {
            double x0 = unit(rng) * stretch, x1 = x0 + unit(rng) * stretch / 4, y0 = unit(rng), y1 = y0 + unit(rng) / 4;
            std::set<uint32_t> seen;
            grid.anyInBox(x0, y0, x1, y1, [&](uint32_t id) {
                seen.insert(id);
                return false;
            });
            for (uint32_t k = 0; k < n; ++k) {
                bool in = points[k].x >= x0 && points[k].x <= x1 && points[k].y >= y0 && points[k].y <= y1;
                if (in) {
                    ASSERT_TRUE(seen.count(k)) << round;
                }
            }
        }
        uint32_t centreX = rng() % grid.columns(), centreY = rng() % grid.rows();
        std::set<std::pair<uint32_t, uint32_t>> cells;
        size_t visits = 0;
        for (uint32_t ring = 0; ring <= std::max(grid.columns(), grid.rows()); ++ring) {
            grid.forEachCellInRing(centreX, centreY, ring, [&](uint32_t x, uint32_t y) {
                cells.insert({x, y});
                ++visits;
            });
        }
        EXPECT_EQ(cells.size(), size_t(grid.columns()) * grid.rows());
        EXPECT_EQ(visits, cells.size());
    }
}

// The triangle search skips the parts of crowded rows that the triangle does not span; it must
// still meet every point the half-open test puts inside, for clustered points, thin and wide
// triangles, and any grid density.
TEST(PolygonMathTest, TriangleSearchMeetsEveryPointInsideTheTriangle) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (double perCell : {0.25, 0.5, 1.0, 2.0}) {
        for (int round = 0; round < 20; ++round) {
            // Half the points crowd one corner, so some rows hold many of them.
            std::vector<Point> points(50 + rng() % 400);
            for (size_t k = 0; k < points.size(); ++k) {
                float scale = k % 2 ? 0.1f : 1.0f;
                points[k] = {unit(rng) * scale * 100, unit(rng) * scale * 100};
            }
            PointGrid grid;
            grid.build(uint32_t(points.size()), [&](uint32_t k) { return points[k]; }, perCell);
            for (int q = 0; q < 40; ++q) {
                // Corners at existing points, as ears have, or anywhere; some triangles thin.
                Point u = points[rng() % points.size()], v = points[rng() % points.size()];
                Point w = q % 3 ? points[rng() % points.size()] : Point{u.x + unit(rng), v.y + unit(rng) * 50};
                Bounds box;
                for (Point p : {u, v, w}) box.add(p);
                std::set<uint32_t> met;
                grid.anyNearTriangle(u, v, w, box.slack(), [&](uint32_t id) {
                    met.insert(id);
                    return false;
                });
                for (uint32_t k = 0; k < points.size(); ++k) {
                    if (pointInTriangle(points[k], u, v, w)) {
                        ASSERT_TRUE(met.count(k)) << perCell << " " << round << " " << q;
                    }
                }
            }
        }
    }
}

// Points spread along a line many orders of magnitude longer than it is wide once gave a
// grid of 65536 columns for a thousand points, and every search walked them all.
TEST(PolygonMathTest, GridCellsStayInProportionToThePointsHoweverThinTheBounds) {
    for (double width : {1e-30, 1e-6, 1.0, 1e6, 1e24}) {
        std::vector<Point> points;
        for (int k = 0; k < 1000; ++k) points.push_back({float(k * 1e25), float(width * (k % 7))});
        PointGrid grid;
        grid.build(uint32_t(points.size()), [&](uint32_t k) { return points[k]; }, 2.0);
        EXPECT_LE(size_t(grid.columns()) * grid.rows(), 1000u) << width;
        EXPECT_GE(size_t(grid.columns()) * grid.rows(), 250u) << width;
    }
}

} // namespace
} // namespace hv::polygon
