#include "picture/Mesh.h"
#include "picture/Path.h"
#include "picture/Picture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace hv {
namespace {

void expectNear(const Vec2& a, const Vec2& b, double tolerance = 1e-9) {
    EXPECT_NEAR(a.x, b.x, tolerance) << a << " vs " << b;
    EXPECT_NEAR(a.y, b.y, tolerance) << a << " vs " << b;
}

TEST(PathCommandTest, EndPointsAndPointCounts) {
    EXPECT_EQ(PathCommand::moveTo(1, 2).endPoint(), Vec2(1, 2));
    EXPECT_EQ(PathCommand::lineTo(3, 4).endPoint(), Vec2(3, 4));
    EXPECT_EQ(PathCommand::cubicTo(1, 1, 2, 2, 3, 3).endPoint(), Vec2(3, 3));
    PathCommand quad;
    quad.type = PathCommand::Quadratic;
    quad.points[0] = Vec2(5, 5);
    quad.points[1] = Vec2(6, 7);
    EXPECT_EQ(quad.endPoint(), Vec2(6, 7));
    PathCommand odd;
    odd.type = 42;
    EXPECT_EQ(odd.pointCount(), 1);
}

TEST(PathCommandTest, TransformPathCommandsMapsOnlyUsedPoints) {
    std::vector<PathCommand> commands = {PathCommand::moveTo(1, 1), PathCommand::cubicTo(1, 2, 3, 4, 5, 6)};
    commands[0].points[1] = Vec2(9, 9); // unused by a move
    transformPathCommands(Transform::translation(Vec2(10, 0)), commands);
    EXPECT_EQ(commands[0].points[0], Vec2(11, 1));
    EXPECT_EQ(commands[0].points[1], Vec2(9, 9));
    EXPECT_EQ(commands[1].points[0], Vec2(11, 2));
    EXPECT_EQ(commands[1].points[2], Vec2(15, 6));
}

TEST(PathSegmentTest, PointsAlongCurves) {
    PathCommand quad;
    quad.type = PathCommand::Quadratic;
    quad.points[0] = Vec2(1, 2);
    quad.points[1] = Vec2(2, 0);
    PathSegment q(Vec2(0, 0), quad);
    EXPECT_EQ(q.kind, PathSegment::Quadratic);
    expectNear(q.pointAt(0.5), Vec2(1, 1));
    expectNear(q.pointAt(1), Vec2(2, 0));

    PathSegment c(Vec2(0, 0), PathCommand::cubicTo(0, 1, 1, 1, 1, 0));
    expectNear(c.pointAt(0.5), Vec2(0.5, 0.75));
    EXPECT_DOUBLE_EQ(c.chordLength(), 1);

    PathSegment l(Vec2(1, 1), PathCommand::lineTo(3, 5));
    expectNear(l.pointAt(0.25), Vec2(1.5, 2));

    testing::internal::CaptureStderr();
    PathSegment m(Vec2(0, 0), PathCommand::moveTo(4, 0));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can't make a line segment out of a move command\n");
    EXPECT_EQ(m.kind, PathSegment::Line);
    expectNear(m.pointAt(0.5), Vec2(2, 0));
}

TEST(PathTest, NewPathDefaultsAndIds) {
    Path a;
    Path b;
    EXPECT_EQ(b.id, a.id + 1);
    Path copy = a;
    EXPECT_EQ(copy.id, a.id);
    EXPECT_EQ(a.colour, Colour(0, 0, 0, 0));
    EXPECT_EQ(a.geometryRevision(), 1);
    EXPECT_EQ(a.colourRevision(), 1);
    EXPECT_TRUE(a.transform._isTrivial());
    EXPECT_FALSE(a.hasMeshFrames());
    // An empty path has no extent.
    EXPECT_EQ(a.bounds(), Rect(0, 0, 0, 0));
    EXPECT_EQ(pathCommandsSize({}), Vec2(0, 0));
}

TEST(PathTest, CopiesShareRecordAndMeshCache) {
    Path a;
    a.meshCache = std::make_shared<MeshWrapper>();
    Path b;
    b = a;
    EXPECT_EQ(b.meshCache, a.meshCache);
    EXPECT_EQ(b.id, a.id);
    a.meshCache->frameRanges.push_back(Range(0, 3));
    EXPECT_TRUE(b.hasMeshFrames());
}

TEST(PathTest, BoundsCoverEndPointsOnlyAndFollowTheTransform) {
    Path p;
    p.commands = {PathCommand::moveTo(0, 0), PathCommand::cubicTo(-100, 100, 100, -100, 4, 2)};
    EXPECT_EQ(p.bounds(), Rect(0, 0, 4, 2));
    p.transform = Transform::translation(Vec2(10, 20));
    EXPECT_EQ(p.bounds(), Rect(0, 0, 4, 2)) << "cached until invalidated";
    p.invalidateBounds();
    EXPECT_EQ(p.bounds(), Rect(10, 20, 4, 2));
    EXPECT_EQ(p.transformedMinCorner(), Vec2(10, 20));
    EXPECT_EQ(p.transformedSize(), Vec2(4, 2));
    EXPECT_EQ(pathCommandsMinCorner(p.commands), Vec2(0, 0));
    EXPECT_EQ(pathCommandsSize(p.commands), Vec2(4, 2));

    p.commands.push_back(PathCommand::lineTo(-1, 5));
    p.touchGeometry();
    EXPECT_EQ(p.geometryRevision(), 2);
    EXPECT_EQ(p.bounds(), Rect(9, 20, 5, 5));
    p.touchColour();
    EXPECT_EQ(p.colourRevision(), 2);
}

TEST(PathTest, BakeTransformAndWorldPoints) {
    Path p;
    p.commands = {PathCommand::moveTo(1, 1), PathCommand::lineTo(2, 3)};
    p.transform = Transform::translation(Vec2(5, -1));
    p.meshCache = std::make_shared<MeshWrapper>();
    p.bounds();
    EXPECT_EQ(p.transformedPoint(1, 0), Vec2(7, 2));
    p.setPointFromWorld(1, 0, Vec2(10, 10));
    EXPECT_EQ(p.commands[1].points[0], Vec2(5, 11));
    int revision = p.geometryRevision();
    p.bakeTransform();
    EXPECT_EQ(p.commands[0].points[0], Vec2(6, 0));
    EXPECT_EQ(p.commands[1].points[0], Vec2(10, 10));
    EXPECT_TRUE(p.transform._isTrivial());
    EXPECT_EQ(p.meshCache, nullptr);
    EXPECT_TRUE(p.boundsDirty);
    // The points moved: whoever drew the path must triangulate it again.
    EXPECT_GT(p.geometryRevision(), revision);
}

// Scripts name commands and points by number; one out of range ends the run instead of
// reaching past the path.
TEST(PathTest, PointIndicesOutOfRangeAreFatal) {
    Path p;
    p.commands = {PathCommand::moveTo(1, 1), PathCommand::cubicTo(1, 2, 3, 4, 5, 6)};
    EXPECT_EQ(p.transformedPoint(1, 2), Vec2(5, 6));
    EXPECT_EXIT(p.transformedPoint(2, 0), testing::ExitedWithCode(1),
                "^err: Path::transformedPoint: point 0 of command 2 out of range in a path of 2 commands\n$");
    EXPECT_EXIT(p.transformedPoint(0, 3), testing::ExitedWithCode(1), "point 3 of command 0 out of range");
    EXPECT_EXIT(p.setPointFromWorld(size_t(-1), 0, Vec2()), testing::ExitedWithCode(1),
                "^err: Path::setPointFromWorld: point 0 of command 18446744073709551615 out of range");
    EXPECT_EXIT(Path().setPointFromWorld(0, 0, Vec2()), testing::ExitedWithCode(1), "in a path of 0 commands");
}

TEST(NodeTest, LocalTransformOrder) {
    Node n;
    n.pivot = Vec2(1, 0);
    n.rotation = M_PI / 2;
    n.scaleX = n.scaleY = 2;
    n.translation = Vec2(5, 5);
    Transform t = n.localTransform();
    expectNear(t.apply(Vec2(1, 0)), Vec2(5, 5));
    expectNear(t.apply(Vec2(2, 0)), Vec2(5, 7));

    // An even scale turns with the rotation either way; an uneven one shows that the point
    // is rotated first and scaled after: (1, 0) turns to (0, 1), then stretches to (0, 3).
    Node uneven;
    uneven.rotation = M_PI / 2;
    uneven.scaleX = 2;
    uneven.scaleY = 3;
    expectNear(uneven.localTransform().apply(Vec2(1, 0)), Vec2(0, 3));
    expectNear(uneven.localTransform().apply(Vec2(0, 1)), Vec2(-2, 0));
}

// root(0) -> middle(1) -> leaf(2), plus a sibling(3) under root.
Picture threeLevels() {
    Picture picture;
    picture.nodes.resize(4);
    picture.nodes[0].children = {1, 3};
    picture.nodes[0].translation = Vec2(10, 0);
    picture.nodes[0].rotation = 0.3;
    picture.nodes[1].parent = 0;
    picture.nodes[1].children = {2};
    picture.nodes[1].scaleX = 2;
    picture.nodes[1].scaleY = 0.5;
    picture.nodes[1].pivot = Vec2(1, 1);
    picture.nodes[2].parent = 1;
    picture.nodes[2].rotation = -1.1;
    picture.nodes[2].translation = Vec2(-3, 4);
    picture.nodes[3].parent = 0;
    picture.nodes[2].paths = {0};
    picture.nodes[3].paths = {1};
    picture.paths.resize(2);
    return picture;
}

TEST(PictureTest, WorldToNodeAndBackOverThreeLevels) {
    Picture picture = threeLevels();
    Vec2 world(3.5, -7.25);
    Vec2 local = picture.worldToNode(world, 2);
    Transform chain = Transform::multiply(picture.nodes[0].localTransform(),
                                          Transform::multiply(picture.nodes[1].localTransform(), picture.nodes[2].localTransform()));
    expectNear(chain.apply(local), world);
    expectNear(picture.nodeToWorld(local, 2), world);
    EXPECT_EQ(picture.inverseTransformChain(2).size(), 3u);
}

TEST(PictureTest, VisibilityFollowsAncestors) {
    Picture picture = threeLevels();
    EXPECT_TRUE(picture.isNodeVisible(2));
    picture.nodes[0].visible = false;
    EXPECT_FALSE(picture.isNodeVisible(2)) << "invisible grandparent";
    EXPECT_FALSE(picture.isNodeVisible(3));
}

TEST(PictureTest, RevisionBumpsReachDescendantsOnly) {
    Picture picture = threeLevels();
    picture.bumpNodeRevision(1);
    EXPECT_EQ(picture.nodes[0].revision, 1);
    EXPECT_EQ(picture.nodes[1].revision, 2);
    EXPECT_EQ(picture.nodes[2].revision, 2);
    EXPECT_EQ(picture.nodes[3].revision, 1);

    picture.assignWithNodeRevisionBump(1, picture.nodes[1].rotation, 0.0);
    EXPECT_EQ(picture.nodes[1].revision, 2) << "an unchanged value bumps nothing";
    picture.assignWithNodeRevisionBump(1, picture.nodes[1].rotation, 0.5);
    EXPECT_EQ(picture.nodes[1].revision, 3);
    EXPECT_EQ(picture.nodes[1].rotation, 0.5);
    picture.assignWithNodeRevisionBump(1, picture.nodes[1].rotation, double(NAN));
    picture.assignWithNodeRevisionBump(1, picture.nodes[1].rotation, double(NAN));
    EXPECT_EQ(picture.nodes[1].revision, 5) << "NaN always counts as a change";
}

TEST(PictureTest, PathNodesAndAncestors) {
    Picture picture = threeLevels();
    EXPECT_EQ(picture.nodeIndexForPath(0), 2u);
    EXPECT_EQ(picture.nodeAndAncestorsForPath(0), (std::vector<uint64_t>{2, 1, 0}));
    EXPECT_EQ(picture.nodeAndAncestorsForPath(1), (std::vector<uint64_t>{3, 0}));
    testing::internal::CaptureStderr();
    EXPECT_EQ(picture.nodeIndexForPath(7), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Picture::nodeIndexForPath: no node found for path 7\n");
}

TEST(PictureTest, BrokenParentLinksNeverHang) {
    // Scripts set parent links; a cycle or a stale index must end the walks.
    Picture picture;
    picture.nodes.resize(3);
    picture.nodes[0].parent = 1;
    picture.nodes[1].parent = 0;
    picture.nodes[0].children = {1};
    picture.nodes[1].children = {0};
    picture.nodes[2].parent = 99;
    EXPECT_TRUE(picture.isNodeVisible(0));
    EXPECT_EQ(picture.inverseTransformChain(0).size(), 2u);
    EXPECT_EQ(picture.inverseTransformChain(2).size(), 1u);
    picture.bumpNodeRevision(0);
    EXPECT_GT(picture.nodes[0].revision, 1);
    expectNear(picture.worldToNode(Vec2(1, 2), 2), Vec2(1, 2));
}

} // namespace
} // namespace hv
