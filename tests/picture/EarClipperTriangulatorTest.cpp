#include "picture/AreaCheck.h"
#include "picture/EarClipperTriangulator.h"
#include "picture/Path.h"
#include "support/FillCoverage.h"
#include "support/PolygonFixtures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace hv::test {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

std::vector<float> flat(std::initializer_list<Vec2> points) {
    std::vector<float> v;
    for (const Vec2& p : points) {
        v.push_back(float(p.x));
        v.push_back(float(p.y));
    }
    return v;
}

// Twice the signed area of each triangle, counter-clockwise positive.
std::vector<double> triangleAreas(const Mesh& mesh, Range range) {
    std::vector<double> areas;
    const float* v = mesh.vertices.data();
    for (uint64_t t = range.start; t + 2 < range.end(); t += 3) {
        uint32_t a = mesh.indices[t], b = mesh.indices[t + 1], c = mesh.indices[t + 2];
        areas.push_back((double(v[2 * b]) - v[2 * a]) * (double(v[2 * c + 1]) - v[2 * a + 1]) -
                        (double(v[2 * b + 1]) - v[2 * a + 1]) * (double(v[2 * c]) - v[2 * a]));
    }
    return areas;
}

double total(const std::vector<double>& areas) {
    double sum = 0;
    for (double a : areas) sum += a;
    return sum / 2;
}

TEST(EarClipperTest, CounterClockwiseSquareFromTheFirstEar) {
    EarClipperTriangulator t;
    ASSERT_TRUE(t.init());
    CaptureStderr();
    auto [range, ok] = t.triangulate(pathFromRings({squareRing(0, 0, 10)}), 1.0);
    EXPECT_EQ(GetCapturedStderr(), "");
    ASSERT_TRUE(ok);
    EXPECT_EQ(range, Range(0, 6));
    EXPECT_EQ(t.mesh()->indices, (std::vector<uint32_t>{3, 0, 1, 1, 2, 3}));
}

TEST(EarClipperTest, ClockwiseSquareIsClippedInReverse) {
    EarClipperTriangulator t;
    t.init();
    auto [range, ok] = t.triangulate(pathFromRings({{Vec2(0, 0), Vec2(0, 10), Vec2(10, 10), Vec2(10, 0)}}), 1.0);
    ASSERT_TRUE(ok);
    EXPECT_EQ(t.mesh()->indices, (std::vector<uint32_t>{0, 3, 2, 2, 1, 0}));
}

// Clipped as written, a clockwise polygon takes its reflex corner for an ear: this dart would
// come out "successfully" as its notch plus the triangle around it.
TEST(EarClipperTest, ClockwiseConcavePolygonStaysInsideItsOutline) {
    EarClipperTriangulator t;
    t.init();
    auto [range, ok] = t.triangulate(pathFromRings({{Vec2(1, 2), Vec2(0, 4), Vec2(4, 2), Vec2(0, 0)}}), 1.0);
    ASSERT_TRUE(ok);
    std::vector<double> areas = triangleAreas(*t.mesh(), range);
    ASSERT_EQ(areas.size(), 2u);
    for (double a : areas) EXPECT_GT(a, 0);
    EXPECT_DOUBLE_EQ(total(areas), 6.0); // 8 for the big triangle, less 2 for the notch
    for (uint32_t i : t.mesh()->indices) EXPECT_LT(i, 4u);
}

TEST(EarClipperTest, LastTriangleIsNeverClockwise) {
    std::vector<float> v = flat({Vec2(0, 0), Vec2(0, 10), Vec2(10, 0)});
    std::vector<uint32_t> indices{7, 7, 7};
    ASSERT_TRUE(EarClipperTriangulator::triangulatePolygon(v, {0, 1, 2}, indices));
    EXPECT_EQ(indices, (std::vector<uint32_t>{7, 7, 7, 2, 1, 0}));

    indices.clear();
    ASSERT_TRUE(EarClipperTriangulator::triangulatePolygon(v, {2, 1, 0}, indices));
    EXPECT_EQ(indices, (std::vector<uint32_t>{2, 1, 0}));
}

TEST(EarClipperTest, FewerThanThreeEntriesAddNothing) {
    std::vector<float> v = flat({Vec2(0, 0), Vec2(1, 1)});
    std::vector<uint32_t> indices;
    EXPECT_TRUE(EarClipperTriangulator::triangulatePolygon(v, {0, 1}, indices));
    EXPECT_TRUE(EarClipperTriangulator::triangulatePolygon(v, {}, indices));
    EXPECT_TRUE(indices.empty());
}

// The parser lists a path's last subpath first, so a small flawed one often comes before a
// large sound one: one crossing itself too often to resolve is left out alone, with a line.
TEST(EarClipperTest, AFailedPolygonIsLeftOutAloneButReportsAnEmptyRange) {
    // Round and round a hundred points, every edge crossing others.
    Ring zigzag;
    for (int i = 0; i < 20000; ++i) zigzag.emplace_back(i * 37 % 100, i * 91 % 100);
    Path path = pathFromRings({zigzag, squareRing(100, 100, 10)});
    auto mesh = std::make_shared<Mesh>();
    mesh->indices = {9, 9, 9};
    mesh->vertices = {0, 0};
    EarClipperTriangulator t;
    t.init(mesh);
    ContourCount contours;
    CaptureStderr();
    auto [range, ok] = t.triangulate(path, 1.0, &contours);
    EXPECT_EQ(GetCapturedStderr(), "EarClipperTriangulator::triangulate: more than 4096 crossings, too many to resolve\n");
    EXPECT_FALSE(ok);
    EXPECT_TRUE(contours.refused);
    EXPECT_EQ(range, Range(3, 0));
    EXPECT_EQ(mesh->indices, (std::vector<uint32_t>{9, 9, 9, 20004, 20001, 20002, 20002, 20003, 20004}));
    EXPECT_EQ(mesh->vertexCount(), 20005u);
    EXPECT_EQ(t.mesh(), mesh);
    // Clipped alone, it costs its size squared: the clipper gives up once it has looked at more
    // points than a sound polygon of its size needs.
    IndexPolygon polygon(20000);
    for (uint32_t k = 0; k < 20000; ++k) polygon[k] = k + 1;
    std::vector<uint32_t> indices;
    CaptureStderr();
    EXPECT_FALSE(EarClipperTriangulator::triangulatePolygon(mesh->vertices, polygon, indices));
    EXPECT_EQ(GetCapturedStderr(),
              "EarClipperTriangulator::triangulatePolygon: a polygon of 20000 points takes too long to clip\n");
    EXPECT_TRUE(indices.empty());
}

TEST(EarClipperTest, AnUnbridgeableSolidIsLeftOutAloneWithTheWholeChainOfMessages) {
    // Every squared distance between the two large contours overflows single precision, so no
    // bridge can be measured; the solid inside the hole and the one beside are still drawn.
    EarClipperTriangulator t;
    t.init();
    CaptureStderr();
    auto [range, ok] = t.triangulate(pathFromRings({squareRing(-1e20, -1e20, 2e20), squareRing(-1e19, -1e19, 2e19),
                                                    squareRing(0, 0, 10), squareRing(2e20, 0, 1e19)}),
                                     1.0);
    EXPECT_EQ(GetCapturedStderr(),
              "  subtractPolygons: unable to progress\n  subtractPolygons failed\n  Failed to get subtracted indices\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(range, Range(0, 0));
    EXPECT_EQ(t.mesh()->vertexCount(), 16u);
    EXPECT_EQ(t.mesh()->indices.size(), 12u);
    EXPECT_NEAR(total(triangleAreas(*t.mesh(), Range(0, 12))), 1e38 + 100, 1e32);
}

TEST(EarClipperTest, SquareWithHolesCoversExactlyItsArea) {
    EarClipperTriangulator t;
    t.init();
    auto [range, ok] = t.triangulate(
        pathFromRings({squareRing(0, 0, 100), squareRing(10, 10, 10), {Vec2(9, 3), Vec2(11, 3), Vec2(11, 5), Vec2(9, 5)},
                       squareRing(60, 60, 20), squareRing(65, 65, 5)}),
        1.0);
    ASSERT_TRUE(ok);
    std::vector<double> areas = triangleAreas(*t.mesh(), range);
    for (double a : areas) EXPECT_GE(a, 0);
    EXPECT_DOUBLE_EQ(total(areas), 10000.0 - 100 - 4 - 400 + 25);
}

// Two triangular holes with close parallel sides: once bridged, every remaining ear has a
// copy of a bridge vertex exactly on one of its corners, which the half-open rule counts as
// inside. The polygon is sound, so the clipper must not give up on it, nor turn to the
// reversed run.
TEST(EarClipperTest, EarsStalledOnlyByBridgeCopiesAreStillTaken) {
    EarClipperTriangulator t;
    t.init();
    auto [range, ok] = t.triangulate(pathFromRings({{Vec2(10, 1), Vec2(-5, 6), Vec2(-4, -8)},
                                                    {Vec2(-1, -1), Vec2(-4, -2), Vec2(-4, 0)},
                                                    {Vec2(0, -1), Vec2(0, -3), Vec2(-3, -2)}}),
                                     1.0);
    ASSERT_TRUE(ok);
    std::vector<double> areas = triangleAreas(*t.mesh(), range);
    EXPECT_EQ(areas.size(), 11u);
    for (double a : areas) EXPECT_GE(a, 0);
    EXPECT_DOUBLE_EQ(total(areas), 102.5 - 3 - 3);
}

// A run of ears over a polygon that is not simple can end cleanly with triangles that overlap
// or stray outside it; the area check catches them.
TEST(EarClipperTest, TrianglesMustCoverThePolygonsArea) {
    const std::vector<float> square = flat({Vec2(0, 0), Vec2(10, 0), Vec2(10, 10), Vec2(0, 10)});
    const std::vector<float> farSquare = flat({Vec2(1e6, 1e6), Vec2(1e6 + 1, 1e6), Vec2(1e6 + 1, 1e6 + 1), Vec2(1e6, 1e6 + 1)});
    // There and back along a bend: no area inside, a sliver of 1 under its triangle.
    const std::vector<float> spike = flat({Vec2(0, 0), Vec2(1, 1), Vec2(2, 0), Vec2(1, 1)});
    struct Case {
        const char* name;
        const std::vector<float>& vertices;
        IndexPolygon polygon;
        std::vector<uint32_t> triangles;
        double negligible;
        const char* line; // empty: covered
    };
    const std::string prefix = "EarClipperTriangulator::triangulatePolygon: the triangles cover ";
    const Case cases[] = {
        {"exact", square, {0, 1, 2, 3}, {3, 0, 1, 1, 2, 3}, 0, ""},
        {"clockwise polygon", square, {3, 2, 1, 0}, {3, 0, 1, 1, 2, 3}, 0, ""},
        {"overlapping", square, {0, 1, 2, 3}, {3, 0, 1, 1, 2, 3, 0, 1, 2}, 0, "1.5 times the polygon's area"},
        {"missing", square, {0, 1, 2, 3}, {3, 0, 1}, 0, "0.5 times the polygon's area"},
        {"far from the origin", farSquare, {0, 1, 2, 3}, {3, 0, 1, 1, 2, 3}, 0, ""},
        {"sliver where nothing is enclosed", spike, {0, 1, 2, 3}, {0, 1, 2}, 0, "1 where the polygon encloses no area"},
        {"negligible sliver", spike, {0, 1, 2, 3}, {0, 1, 2}, 1.5, ""},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> indices = {7, 7, 7}; // earlier triangles are not counted
        indices.insert(indices.end(), c.triangles.begin(), c.triangles.end());
        CaptureStderr();
        bool covers = trianglesCoverPolygon(c.vertices, c.polygon, indices, 3, c.negligible);
        std::string err = GetCapturedStderr();
        EXPECT_EQ(covers, !*c.line) << c.name;
        EXPECT_EQ(err, *c.line ? prefix + c.line + "\n" : "") << c.name;
    }
}

// Outlines that cross themselves or each other, and holes sharing an edge or a vertex with
// their outer ring (which can leave the bridged outline overlapping itself), are drawn whole as
// their even-odd fill, saying nothing. Only the paths that fail the plain way are resolved.
TEST(EarClipperTest, CrossingAndTouchingOutlinesAreDrawnAsTheirEvenOddFill) {
    std::vector<Ring> water2, spikes;
    ASSERT_TRUE(loadPolygonFixture("water2", water2));
    ASSERT_TRUE(loadPolygonFixture("issue107", spikes));
    const Ring notched{Vec2(0, 0), Vec2(4, 0), Vec2(5, 1), Vec2(6, 0), Vec2(10, 0), Vec2(10, 10), Vec2(0, 10)};
    const Ring overNotch{Vec2(2, 0), Vec2(2, 3), Vec2(8, 3), Vec2(8, 0)};
    const Ring onLeftSide{Vec2(0, 4), Vec2(2, 4), Vec2(2, 6), Vec2(0, 6)};
    // A bow tie crosses itself: its signed area cancels out.
    const Ring bowTie{Vec2(0, 0), Vec2(10, 0), Vec2(0, 10), Vec2(10, 10)};
    struct Case {
        const char* name;
        std::vector<Ring> rings;
        bool resolved; // at their crossings
    };
    const Case cases[] = {
        // A ring of spikes doubling back on themselves around one square.
        {"spikes", spikes, true},
        {"bow tie", {bowTie}, true},
        // Three of its holes run along the outer ring.
        {"water2", water2, true},
        {"hole over a notch of the ring", {notched, overNotch}, true},
        {"touching holes among others", {notched, overNotch, squareRing(6, 6, 2), onLeftSide}, true},
        {"a touching hole that clips stays", {squareRing(0, 0, 10), onLeftSide}, false},
        // Two holes along one edge, the triangle reaching over the square: no vertex of either
        // lies inside the other, yet they overlap.
        {"holes sharing an edge and overlapping",
         {squareRing(-100, -100, 200), squareRing(50, 50, 10), {Vec2(0, 50), Vec2(-25, 0), Vec2(0, 0)},
          {Vec2(0, 0), Vec2(-25, 0), Vec2(-25, 25), Vec2(0, 25)}},
         true},
        {"a bow tie with a hole in one wing", {bowTie, squareRing(4, 1, 1)}, true},
        {"a bow tie with a hole on its edge", {bowTie, {Vec2(4, 0), Vec2(6, 0), Vec2(6, 2), Vec2(4, 2)}}, true},
    };
    for (const Case& c : cases) {
        EarClipperTriangulator t;
        t.init();
        ContourCount contours;
        CaptureStderr();
        auto [range, ok] = t.triangulate(pathFromRings(c.rings), 1.0, &contours);
        EXPECT_EQ(GetCapturedStderr(), "") << c.name;
        EXPECT_TRUE(ok) << c.name;
        EXPECT_EQ(contours.resolved > 0, c.resolved) << c.name;
        EXPECT_EQ(contours.dropped + contours.leftOut, 0u) << c.name;
        auto fill = compareMeshWithFill(pathFromRings(c.rings), 1.0, *t.mesh(), range, 128);
        EXPECT_LT(fill.mismatch(), 0.005) << c.name << ": " << fill.different << " of " << fill.filled;
    }
}

TEST(EarClipperTest, CurvesAreFlattenedWithTheGivenTolerance) {
    Path path;
    path.commands = {PathCommand::moveTo(0, 0), PathCommand::lineTo(10, 0),
                     PathCommand::cubicTo(10, 5.5, 5.5, 10, 0, 10)};
    EarClipperTriangulator coarse, fine;
    coarse.init();
    fine.init();
    auto [coarseRange, coarseOk] = coarse.triangulate(path, 100.0);
    auto [fineRange, fineOk] = fine.triangulate(path, 0.1);
    ASSERT_TRUE(coarseOk && fineOk);
    EXPECT_EQ(coarse.mesh()->vertexCount(), 5u);
    EXPECT_EQ(fine.mesh()->vertexCount(), 2u + 141);
    EXPECT_EQ(fineRange.count, 3 * (fine.mesh()->vertexCount() - 2));
    // The quarter circle's area, near enough.
    EXPECT_NEAR(total(triangleAreas(*fine.mesh(), fineRange)), M_PI * 25, 0.2);
}

TEST(EarClipperTest, ATriangulatorWithoutInitStillWorks) {
    EarClipperTriangulator t;
    EXPECT_EQ(t.mesh(), nullptr);
    auto [range, ok] = t.triangulate(pathFromRings({squareRing(0, 0, 1)}), 1.0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(range.count, 6u);
}

} // namespace
} // namespace hv::test
