#include "picture/EarClipperTriangulator.h"
#include "picture/Path.h"
#include "picture/PathLeaf.h"
#include "support/FillCoverage.h"
#include "support/PolygonFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace hv::test {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

struct Dumped {
    std::shared_ptr<Mesh> mesh = std::make_shared<Mesh>();
    PathLeaf root;
    std::string err;
};

ContourCount dump(Dumped& d, const Path& path, double tolerance = 1.0) {
    d.root.init(d.mesh);
    CaptureStderr();
    ContourCount contours = d.root.dumpPathIntoLeaf(path, tolerance);
    d.err = GetCapturedStderr();
    return contours;
}

Vec2 vertex(const Mesh& mesh, uint64_t k) { return Vec2(mesh.vertices[2 * k], mesh.vertices[2 * k + 1]); }

PathCommand quadTo(double cx, double cy, double x, double y) {
    PathCommand c;
    c.type = PathCommand::Quadratic;
    c.points[0] = Vec2(cx, cy);
    c.points[1] = Vec2(x, y);
    return c;
}

TEST(PathLeafFlatteningTest, CurveSegmentCountsFollowChordOverTolerance) {
    EXPECT_EQ(curveSegmentCount(10, 2), 5u);
    EXPECT_EQ(curveSegmentCount(10, 100), 3u);
    EXPECT_EQ(curveSegmentCount(0, 1), 3u);
    EXPECT_EQ(curveSegmentCount(10, -2), 5u);
    EXPECT_EQ(curveSegmentCount(10.9, 1), 10u); // truncated, not rounded
}

// A node scaled to zero or a path with no width can hand the flattening any tolerance.
TEST(PathLeafFlatteningTest, UnusableTolerancesStillGiveABoundedSegmentCount) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(curveSegmentCount(10, 0), maxCurveSegments);
    EXPECT_EQ(curveSegmentCount(10, -0.0), maxCurveSegments);
    EXPECT_EQ(curveSegmentCount(10, 1e-300), maxCurveSegments);
    EXPECT_EQ(curveSegmentCount(0, 0), 3u);
    EXPECT_EQ(curveSegmentCount(10, inf), 3u);
    EXPECT_EQ(curveSegmentCount(10, nan), 3u);
    EXPECT_EQ(curveSegmentCount(nan, 1), 3u);
    EXPECT_EQ(curveSegmentCount(inf, 1), maxCurveSegments);

    for (double tolerance : {0.0, -0.0, inf, -inf, nan}) {
        Dumped d;
        Path path;
        path.commands = {PathCommand::moveTo(0, 0), PathCommand::cubicTo(0, 50, 100, 50, 100, 0)};
        dump(d, path, tolerance);
        uint64_t segments = d.mesh->vertexCount() - 1;
        EXPECT_GE(segments, 3u) << tolerance;
        EXPECT_LE(segments, maxCurveSegments) << tolerance;
    }
}

TEST(PathLeafFlatteningTest, StraightQuadraticAndClosedCubic) {
    Dumped d;
    Path path;
    path.commands = {PathCommand::moveTo(0, 0), quadTo(5, 0, 10, 0)};
    dump(d, path, 2.0);
    ASSERT_EQ(d.mesh->vertexCount(), 6u);
    for (int i = 0; i <= 5; ++i) EXPECT_EQ(vertex(*d.mesh, i), Vec2(2 * i, 0));

    // A loop ends where it starts: chord length 0, so the least number of segments.
    Dumped loop;
    path.commands = {PathCommand::moveTo(1, 1), PathCommand::cubicTo(10, 1, 10, 10, 1, 1)};
    dump(loop, path, 0.5);
    ASSERT_EQ(loop.mesh->vertexCount(), 4u);
    EXPECT_EQ(vertex(*loop.mesh, 3), Vec2(1, 1));
}

TEST(PathLeafFlatteningTest, ACurveBeforeAnyPointStartsAtTheOrigin) {
    Path path;
    path.commands = {quadTo(10, 0, 10, 10), PathCommand::lineTo(0, 10)};
    PathSegment expected(Vec2(0, 0), path.commands[0]);

    Dumped fresh;
    dump(fresh, path, 100.0);
    ASSERT_EQ(fresh.mesh->vertexCount(), 4u);
    EXPECT_EQ(vertex(*fresh.mesh, 0), Vec2(float(expected.pointAt(1.0 / 3).x), float(expected.pointAt(1.0 / 3).y)));

    // Nor does it start from whatever an earlier path left in a shared mesh.
    Dumped shared;
    shared.mesh->vertices = {500.0f, -500.0f};
    dump(shared, path, 100.0);
    ASSERT_EQ(shared.mesh->vertexCount(), 5u);
    EXPECT_EQ(vertex(*shared.mesh, 1), vertex(*fresh.mesh, 0));
    EXPECT_EQ(shared.root.children.size(), 1u);
    EXPECT_EQ(shared.root.children[0].range, Range(1, 4));
}

TEST(PathLeafFlatteningTest, MovesSplitContoursAndUnknownCommandsAddNothing) {
    Dumped d;
    Path path = pathFromRings({squareRing(0, 0, 10), squareRing(20, 0, 10)});
    PathCommand odd;
    odd.type = 7;
    path.commands.insert(path.commands.begin() + 2, odd);
    // A move right after a move leaves a one-point contour, which encloses nothing.
    path.commands.insert(path.commands.begin() + 5, PathCommand::moveTo(50, 50));
    dump(d, path);
    EXPECT_EQ(d.mesh->vertexCount(), 9u);
    ASSERT_EQ(d.root.children.size(), 2u);
    EXPECT_EQ(d.root.children[0].range, Range(0, 4));
    EXPECT_EQ(d.root.children[1].range, Range(5, 4));
}

TEST(PathLeafNestingTest, NestedAndDisjointSquares) {
    Dumped nested;
    dump(nested, pathFromRings({squareRing(0, 0, 10), squareRing(2, 2, 6)}));
    ASSERT_EQ(nested.root.children.size(), 1u);
    ASSERT_EQ(nested.root.children[0].children.size(), 1u);
    std::vector<IndexPolygon> polygons;
    ASSERT_TRUE(nested.root.getSubtractedIndices(polygons));
    ASSERT_EQ(polygons.size(), 1u);
    EXPECT_EQ(polygons[0].size(), 10u);

    // The hole given first is moved under the solid that comes after it.
    Dumped holeFirst;
    dump(holeFirst, pathFromRings({squareRing(2, 2, 6), squareRing(0, 0, 10)}));
    ASSERT_EQ(holeFirst.root.children.size(), 1u);
    EXPECT_EQ(holeFirst.root.children[0].range, Range(4, 4));
    ASSERT_EQ(holeFirst.root.children[0].children.size(), 1u);
    EXPECT_EQ(holeFirst.root.children[0].children[0].range, Range(0, 4));

    Dumped disjoint;
    dump(disjoint, pathFromRings({squareRing(0, 0, 10), squareRing(20, 0, 10)}));
    EXPECT_EQ(disjoint.root.children.size(), 2u);
    polygons.clear();
    ASSERT_TRUE(disjoint.root.getSubtractedIndices(polygons));
    EXPECT_EQ(polygons.size(), 2u);
    EXPECT_TRUE(disjoint.err.empty());
}

TEST(PathLeafNestingTest, SolidInsideHoleInsideSolid) {
    Dumped d;
    dump(d, pathFromRings({squareRing(0, 0, 30), squareRing(5, 5, 20), squareRing(10, 10, 10)}));
    std::vector<IndexPolygon> polygons;
    ASSERT_TRUE(d.root.getSubtractedIndices(polygons));
    ASSERT_EQ(polygons.size(), 2u);
    EXPECT_EQ(polygons[0].size(), 10u);
    EXPECT_EQ(polygons[1], (IndexPolygon{8, 9, 10, 11}));
}

// Crossings are refused and counted: a corner inside the other square is enough, also when
// another of its corners lies on that square's edge. Only the crossing contour goes: the later
// ones (here a separate square and an outer ring round everything) are still nested.
TEST(PathLeafNestingTest, CrossingContoursAreDroppedAlone) {
    for (const Ring& crossing : {squareRing(5, 5, 10), Ring{Vec2(10, 5), Vec2(5, 5), Vec2(5, 20), Vec2(10, 20)}}) {
        Dumped d;
        ContourCount contours = dump(
            d, pathFromRings({squareRing(0, 0, 10), crossing, squareRing(40, 40, 10), squareRing(-100, -100, 200)}));
        EXPECT_EQ(d.err,
                  "  PathLeaf::addRange(): intersection found \nPathLeaf::dumpPathIntoLeaf: Unable to add range\n");
        EXPECT_EQ(contours.total, 4u);
        EXPECT_EQ(contours.dropped, 1u);
        ASSERT_EQ(d.root.children.size(), 1u);
        EXPECT_EQ(d.root.children[0].range, Range(12, 4));
        ASSERT_EQ(d.root.children[0].children.size(), 2u);
        EXPECT_EQ(d.root.children[0].children[0].range, Range(0, 4));
        EXPECT_EQ(d.root.children[0].children[1].range, Range(8, 4));
    }

    // Overlapping like a plus sign, no corner inside the other: taken as disjoint.
    Dumped plus;
    dump(plus, pathFromRings({{Vec2(0, 4), Vec2(12, 4), Vec2(12, 8), Vec2(0, 8)},
                               {Vec2(4, 0), Vec2(8, 0), Vec2(8, 12), Vec2(4, 12)}}));
    EXPECT_TRUE(plus.err.empty());
    EXPECT_EQ(plus.root.children.size(), 2u);
}

// Contours that meet without crossing: at a vertex, along an edge, or lying wholly on each
// other. Each keeps all its contours, and its triangles cover exactly its even-odd fill.
TEST(PathLeafNestingTest, TouchingContoursAreKeptAndCoverTheFill) {
    const struct {
        const char* name;
        std::vector<Ring> rings;
        double area;      // of the even-odd fill
        size_t triangles; // 0: not checked
    } cases[] = {
        // The bar's right edge holds the triangle's left corner.
        {"CornerOnASiblingsEdge", {{Vec2(0, 0), Vec2(4, 0), Vec2(4, 16), Vec2(0, 16)}, {Vec2(4, 8), Vec2(12, 0), Vec2(12, 16)}}, 128, 3},
        {"SiblingsSharingAnEdge", {squareRing(0, 0, 4), squareRing(4, 0, 4)}, 32, 4},
        {"SiblingsSharingACorner", {squareRing(0, 0, 4), squareRing(4, 4, 4)}, 32, 4},
        {"HoleAlongTheOuterEdge", {squareRing(0, 0, 10), {Vec2(0, 2), Vec2(3, 2), Vec2(3, 5), Vec2(0, 5)}}, 91, 0},
        {"HoleWithTwoCornersOnTheOuterEdge", {squareRing(0, 0, 10), {Vec2(0, 2), Vec2(3, 3), Vec2(0, 5)}}, 95.5, 0},
        {"HoleTouchingTheOuterEdge", {squareRing(0, 0, 10), {Vec2(0, 2), Vec2(3, 3), Vec2(2, 5)}}, 96.5, 0},
        {"HoleInTheOuterCorner", {squareRing(0, 0, 10), {Vec2(0, 0), Vec2(3, 1), Vec2(1, 3)}}, 96, 0},
        {"HolesTouchingEachOther", {squareRing(0, 0, 10), squareRing(2, 2, 2), squareRing(4, 2, 2)}, 92, 0},
        // Every vertex of the triangle is the square's: the middle of its long edge decides.
        {"HoleOnTheOuterCorners", {squareRing(0, 0, 10), {Vec2(0, 0), Vec2(10, 0), Vec2(10, 10)}}, 50, 0},
        {"RectangleClosingAnotherOnesNotch",
         {{Vec2(0, 0), Vec2(10, 0), Vec2(10, 10), Vec2(7, 10), Vec2(7, 3), Vec2(3, 3), Vec2(3, 10), Vec2(0, 10)},
          {Vec2(3, 3), Vec2(7, 3), Vec2(7, 10), Vec2(3, 10)}},
         100, 0},
        // Duplicates cancel out, as the even-odd fill has it.
        {"Duplicate", {squareRing(0, 0, 10), squareRing(0, 0, 10)}, 0, 0},
        {"Triplicate", {squareRing(0, 0, 10), squareRing(0, 0, 10), squareRing(0, 0, 10)}, 100, 0},
        {"DuplicateWithAHole", {squareRing(0, 0, 10), squareRing(0, 0, 10), squareRing(2, 2, 2)}, 4, 0},
    };
    for (const auto& c : cases) {
        Path path = pathFromRings(c.rings);
        EarClipperTriangulator t;
        t.init();
        ContourCount contours;
        CaptureStderr();
        auto [range, ok] = t.triangulate(path, 1.0, &contours);
        EXPECT_EQ(GetCapturedStderr(), "") << c.name;
        ASSERT_TRUE(ok) << c.name;
        EXPECT_EQ(contours.total, c.rings.size()) << c.name;
        EXPECT_EQ(contours.dropped, 0u) << c.name;
        // Overlapping triangles add to the area; the samples below only see whether a point is covered.
        double area = 0;
        for (uint64_t k = range.start; k + 2 < range.end(); k += 3) {
            Vec2 a = vertex(*t.mesh(), t.mesh()->indices[k]), b = vertex(*t.mesh(), t.mesh()->indices[k + 1]),
                 d = vertex(*t.mesh(), t.mesh()->indices[k + 2]);
            area += std::fabs((b.x - a.x) * (d.y - a.y) - (b.y - a.y) * (d.x - a.x)) / 2;
        }
        EXPECT_NEAR(area, c.area, 1e-9) << c.name;
        EXPECT_TRUE(!c.triangles || range.count == 3 * c.triangles) << c.name << ": " << range.count / 3 << " triangles";
        FillComparison fill = compareMeshWithFill(path, 1.0, *t.mesh(), range, 64);
        EXPECT_EQ(fill.different, 0u) << c.name << ": " << fill.filled << " samples filled, " << fill.covered << " covered";
    }
}

TEST(PathLeafNestingTest, AContourInsideTwoSiblingsIsRefused) {
    // Two overlapping squares whose corners stay outside each other pass as disjoint; a small
    // square in their overlap then lies inside both.
    Dumped d;
    dump(d, pathFromRings({{Vec2(0, 4), Vec2(12, 4), Vec2(12, 8), Vec2(0, 8)},
                            {Vec2(4, 0), Vec2(8, 0), Vec2(8, 12), Vec2(4, 12)},
                            squareRing(5, 5, 2)}));
    EXPECT_EQ(d.err, "  PathLeaf::addRange(): would be child of two nodes\nPathLeaf::dumpPathIntoLeaf: Unable to add range\n");
    EXPECT_EQ(d.root.children.size(), 2u);
}

// A contour that fails after some siblings were found inside it must not take them along:
// the contours added before it stay.
TEST(PathLeafNestingTest, AFailedContourLeavesTheTreeAsItWas) {
    Dumped d;
    dump(d, pathFromRings({squareRing(2, 2, 2), squareRing(20, 2, 10), squareRing(0, 0, 25)}));
    EXPECT_NE(d.err.find("intersection found"), std::string::npos);
    ASSERT_EQ(d.root.children.size(), 2u);
    EXPECT_EQ(d.root.children[0].range, Range(0, 4));
    EXPECT_EQ(d.root.children[1].range, Range(4, 4));

    // The same through addRange on a tree already built.
    PathLeaf root;
    root.init(d.mesh);
    for (uint64_t start : {0, 4}) {
        PathLeaf leaf;
        leaf.mesh = d.mesh;
        leaf.range = Range(start, 4);
        ASSERT_TRUE(root.addRange(leaf));
    }
    PathLeaf big;
    big.mesh = d.mesh;
    big.range = Range(8, 4);
    CaptureStderr();
    EXPECT_FALSE(root.addRange(big));
    GetCapturedStderr();
    EXPECT_EQ(root.children.size(), 2u);
}

TEST(PathLeafNestingTest, DeepNestingAlternatesSolidsAndHoles) {
    Path path;
    const int depth = 200;
    for (int k = 0; k < depth; ++k) {
        double lo = k, hi = 2 * depth - k;
        path.commands.push_back(PathCommand::moveTo(lo, lo));
        path.commands.push_back(PathCommand::lineTo(hi, lo));
        path.commands.push_back(PathCommand::lineTo(hi, hi));
        path.commands.push_back(PathCommand::lineTo(lo, hi));
    }
    Dumped d;
    dump(d, path);
    const PathLeaf* leaf = &d.root;
    int levels = 0;
    while (!leaf->children.empty()) {
        ASSERT_EQ(leaf->children.size(), 1u);
        leaf = &leaf->children[0];
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    std::vector<IndexPolygon> polygons;
    ASSERT_TRUE(d.root.getSubtractedIndices(polygons));
    EXPECT_EQ(polygons.size(), size_t(depth / 2));
    EXPECT_EQ(polygons[0].size(), 10u);
}

// Given innermost first, each contour takes the one before it inside at once, so a tree as
// deep as this builds quickly; taking it down must not recurse once per level.
TEST(PathLeafNestingTest, AVeryDeepTreeIsTakenDownWithoutRecursion) {
    const int depth = 500000;
    Path path;
    path.commands.reserve(4 * depth);
    for (int k = 1; k <= depth; ++k) {
        double r = k;
        path.commands.push_back(PathCommand::moveTo(-r, -r));
        path.commands.push_back(PathCommand::lineTo(r, -r));
        path.commands.push_back(PathCommand::lineTo(r, r));
        path.commands.push_back(PathCommand::lineTo(-r, r));
    }
    {
        Dumped d;
        dump(d, path);
        EXPECT_TRUE(d.err.empty());
        int levels = 0;
        for (const PathLeaf* leaf = &d.root; !leaf->children.empty(); leaf = &leaf->children[0]) ++levels;
        EXPECT_EQ(levels, depth);
        // Replacing the tree takes the old one down too.
        d.root.dumpPathIntoLeaf(pathFromRings({squareRing(0, 0, 1)}), 1.0);
        EXPECT_EQ(d.root.children.size(), 1u);
        dump(d, path);
    }
}

TEST(PathLeafCleaningTest, RepeatedNeighboursAndClosingPointGo) {
    Dumped d;
    dump(d, pathFromRings({{Vec2(0, 0), Vec2(0, 0), Vec2(10, 0), Vec2(10, 10), Vec2(10, 10), Vec2(10, 10), Vec2(0, 10),
                             Vec2(0, 0), Vec2(0, 0)}}));
    ASSERT_EQ(d.root.children.size(), 1u);
    EXPECT_EQ(d.root.children[0].cleanedIndexPolygon(), (IndexPolygon{1, 2, 5, 6}));

    Dumped closed;
    dump(closed, pathFromRings({{Vec2(0, 0), Vec2(10, 0), Vec2(10, 10), Vec2(0, 10), Vec2(0, 0)}}));
    EXPECT_EQ(closed.root.children[0].cleanedIndexPolygon().size(), 4u);
}

// Fewer than three distinct points enclose nothing; as a hole such a contour would be bridged
// in as a spike.
TEST(PathLeafCleaningTest, ContoursWithoutAreaAreDroppedBeforeNesting) {
    Dumped d;
    dump(d, pathFromRings({squareRing(0, 0, 10), {Vec2(4, 4), Vec2(6, 6)}, {Vec2(5, 5), Vec2(5, 7), Vec2(5, 5)},
                            {Vec2(3, 3)}, {Vec2(2, 2), Vec2(2, 2), Vec2(2, 2), Vec2(2, 2)}}));
    ASSERT_EQ(d.root.children.size(), 1u);
    EXPECT_TRUE(d.root.children[0].children.empty());
    std::vector<IndexPolygon> polygons;
    ASSERT_TRUE(d.root.getSubtractedIndices(polygons));
    ASSERT_EQ(polygons.size(), 1u);
    EXPECT_EQ(polygons[0], (IndexPolygon{0, 1, 2, 3}));

    // A path without commands has nothing to fill.
    Dumped empty;
    dump(empty, Path());
    EXPECT_TRUE(empty.root.children.empty());
    polygons.clear();
    EXPECT_TRUE(empty.root.getSubtractedIndices(polygons));
    EXPECT_TRUE(polygons.empty());

    // Three distinct points are enough, however they repeat.
    Dumped thin;
    dump(thin, pathFromRings({{Vec2(0, 0), Vec2(0, 0), Vec2(4, 0), Vec2(0, 0), Vec2(0, 4)}}));
    EXPECT_EQ(thin.root.children.size(), 1u);
}

TEST(SubtractPolygonsTest, HoleIsSplicedAtTheNearestPairAgainstTheOuterOrientation) {
    for (bool holeClockwise : {false, true}) {
        Dumped d;
        Path path = holeClockwise
                        ? pathFromRings({squareRing(0, 0, 10), {Vec2(6, 6), Vec2(6, 8), Vec2(8, 8), Vec2(8, 6)}})
                        : pathFromRings({squareRing(0, 0, 10), squareRing(6, 6, 2)});
        dump(d, path);
        std::vector<IndexPolygon> polygons;
        ASSERT_TRUE(d.root.getSubtractedIndices(polygons));
        ASSERT_EQ(polygons.size(), 1u);
        // The outer corner (10, 10) is nearest to the hole corner (8, 8).
        Vec2 o = vertex(*d.mesh, polygons[0][2]), h = vertex(*d.mesh, polygons[0][3]);
        EXPECT_EQ(o, Vec2(10, 10));
        EXPECT_EQ(h, Vec2(8, 8));
        EXPECT_EQ(vertex(*d.mesh, polygons[0][7]), h);
        EXPECT_EQ(vertex(*d.mesh, polygons[0][8]), o);
        // Whichever way the hole was drawn, it runs clockwise inside the counter-clockwise outer.
        EXPECT_EQ(vertex(*d.mesh, polygons[0][4]), Vec2(8, 6));
    }
}

TEST(SubtractPolygonsTest, BridgesAvoidOtherHolesAndFailuresAreReported) {
    // The second hole sits between the outer corner (0, 0) and the first hole, which is
    // nearest that corner; no bridge may pass through it.
    Dumped d;
    dump(d, pathFromRings({squareRing(0, 0, 100), squareRing(30, 30, 10), squareRing(10, 10, 15)}));
    std::vector<IndexPolygon> polygons;
    ASSERT_TRUE(d.root.getSubtractedIndices(polygons));
    ASSERT_EQ(polygons.size(), 1u);
    const IndexPolygon& p = polygons[0];
    EXPECT_EQ(p.size(), 4u + 6 + 6);
    for (size_t k = 0; k < p.size(); ++k) {
        if (!(vertex(*d.mesh, p[k]) == Vec2(0, 0))) continue;
        for (size_t n : {(k + 1) % p.size(), (k + p.size() - 1) % p.size()}) {
            Vec2 q = vertex(*d.mesh, p[n]);
            EXPECT_FALSE(q.x >= 30 && q.x <= 40 && q.y >= 30 && q.y <= 40) << q;
        }
    }

    // No bridge is possible from a hole that is empty.
    IndexPolygon outer{0, 1, 2, 3};
    std::vector<IndexPolygon> holes{{}};
    CaptureStderr();
    EXPECT_FALSE(subtractPolygons(d.root, outer, holes));
    EXPECT_EQ(GetCapturedStderr(), "  subtractPolygons: unable to progress\n");
}

// When earlier bridges have put a vertex into the outline twice, a later bridge to that vertex
// must start from the copy whose corner it enters. The first copy in the list is the wrong
// one here: splicing there folds the outline over itself, and the clipper then either gives up
// or covers some area twice.
TEST(SubtractPolygonsTest, ABridgeToADuplicatedVertexUsesTheCornerItEnters) {
    Dumped d;
    dump(d, pathFromRings({squareRing(0, 0, 100), squareRing(10, 10, 10),
                           {Vec2(9, 3), Vec2(11, 3), Vec2(11, 5), Vec2(9, 5)}}));
    std::vector<IndexPolygon> polygons;
    ASSERT_TRUE(d.root.getSubtractedIndices(polygons));
    ASSERT_EQ(polygons.size(), 1u);
    const IndexPolygon& p = polygons[0];
    ASSERT_EQ(p.size(), 4u + 6 + 6);
    // Find where the second hole joins: its corner (9, 5) or (11, 5) next to a copy of (10, 10).
    size_t at = p.size();
    for (size_t k = 0; k + 1 < p.size(); ++k) {
        Vec2 a = vertex(*d.mesh, p[k]), b = vertex(*d.mesh, p[k + 1]);
        if (a == Vec2(10, 10) && (b == Vec2(9, 5) || b == Vec2(11, 5))) at = k;
    }
    ASSERT_LT(at, p.size());
    // That copy of (10, 10) is the one entered from the first hole, below and right of it,
    // not the one entered from the outer corner (0, 0).
    EXPECT_EQ(vertex(*d.mesh, p[at - 1]), Vec2(20, 10));
}

} // namespace
} // namespace hv::test
