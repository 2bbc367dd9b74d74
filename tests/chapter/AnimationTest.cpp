// Animations: the drivers on their own, then timed, linked and chained changes started by books.
#include "chapter/Animation.h"
#include "chapter/ChapterController.h"
#include "chapter/RowOffsets.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"
#include "support/BookHarness.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

namespace hv {
namespace {

using test::BookHarness;

TEST(AnimationDriverTest, DriversEndExactlyAndFollowTheScrollAndSlidingCanvases) {
    RowOffsets rows;
    Canvas instances;
    instances.add(PictureInstance());
    instances.find(int64_t(instances.add(PictureInstance())))->positionMode = PictureInstance::Sticky;
    Animation a{.kind = Animation::NodePosition, .from = {0.7}, .to = {0.1}, .duration = 0.3};
    EXPECT_FALSE(Animation::tick(a, rows, instances, 0.2, 400));
    EXPECT_TRUE(Animation::tick(a, rows, instances, 0.2, 400));
    EXPECT_EQ(value(a, 0), 0.1);
    EXPECT_FALSE(sameTarget(Animation(), Animation())); // timers never replace each other

    rows.boundaries = {0, 100, 200, 300, 400};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        int type;
        double margin, endRow, position, progress;
        bool finished;
    };
    // Rows 1 to 3 span 100 to 300; a margin of 0.25 adds a quarter view (100) on each side. An
    // empty or unknown range ends at once at the end value.
    const Case cases[] = {
        {0, 0, 3, 50, 0, false},      {0, 0, 3, 150, 0.25, false}, {0, 0, 3, 300, 1, true},
        {1, 0, 3, 300, 1, false},     {1, 0, 3, 400, 1, false},    {1, 0, 3, 200, 0.5, false},
        {2, 0, 3, 50, 0, false},      {2, 0, 3, 200, 1, false},    {2, 0, 3, 350, 0, false},
        {2, 0.25, 3, 50, 0.5, false}, {2, 0.25, 3, 250, 1, false}, {2, 0.25, 3, 350, 0.5, false},
        {0, 0, 1, 0, 1, true},        {1, 0, 0.5, 0, 1, true},     {2, 0, nan, 0, 1, true},
    };
    testing::internal::CaptureStderr();
    for (const Case& c : cases) {
        Animation linked{.driver = Animation::ScrollLimits, .startRow = 1, .endRow = c.endRow, .duration = 1};
        linked.linkType = c.type;
        linked.startMargin = linked.endMargin = c.margin;
        rows.position = c.position;
        SCOPED_TRACE(testing::Message() << c.type << "/" << c.margin << " to " << c.endRow << " at " << c.position);
        EXPECT_EQ(Animation::tick(linked, rows, instances, 0.1, 400), c.finished);
        EXPECT_DOUBLE_EQ(driverValue(linked), c.progress);
    }
    // Each empty range reports itself once.
    const std::string empty = "Animation::tick(): position linked animation over nonexisting row range\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), empty + empty + empty);

    Animation slid{.driver = Animation::SlidingBlock, .slidingCanvas = 1};
    for (auto [param, offset, progress] :
         {std::tuple{0, 0.0, 1.0}, {0, 200.0, 0.5}, {1, 0.0, 0.0}, {1, -400.0, 1.0}, {2, 0.0, 0.5}, {2, 400.0, 0.0}}) {
        slid.slidingParam = param;
        instances.find(1)->slideOffset = offset;
        EXPECT_FALSE(Animation::tick(slid, rows, instances, 0.1, 400));
        EXPECT_DOUBLE_EQ(slid.elapsed, progress) << param << " " << offset;
    }
    for (int canvas : {0, 7, -1}) {
        slid.slidingCanvas = canvas;
        EXPECT_DEATH(Animation::tick(slid, rows, instances, 0.1, 400),
                     "err: Animation::tick\\(\\): target image is not sliding");
    }
    // Once its canvas is removed, the animation stays where the canvas left it.
    slid.slidingCanvas = 1;
    instances.remove(1);
    EXPECT_FALSE(Animation::tick(slid, rows, instances, 0.1, 400));
    EXPECT_DOUBLE_EQ(slid.elapsed, 0.0);
}

std::string chapterOf(const std::string& body) {
    return "hvkRegisterChapter('motion', function()\n" + body + "\nwhile true do nextEvent() end\nend)";
}

const Node& node(BookHarness& book, size_t canvas, size_t index) {
    return book.view->canvas()->find(int64_t(canvas))->picture->nodes[index];
}

TEST(AnimationTest, TimedChangesHoldTheirContextUntilTheyEndOrAreReplaced) {
    BookHarness book(chapterOf(R"(
        canvas, root = hvkNewCanvas(0, 6, 1, 1, 0)
        child = hvkCreateChildNode(canvas, root)
        hvkSetAnimationDuration(0.5) hvkSetNodePosition(canvas, child, 2, 4)
        nextEvent() moved = true
        hvkSetAnimationEnabled(false) hvkSetNodeRotation(canvas, child, 1.5) hvkSetAnimationEnabled(true)
        hvkSetAnimationDuration(-1) hvkSetNodePosition(canvas, root, 3, 3) shownX = hvkGetNodeProps(canvas, root)
        hvkSaveState() hvkSetAnimationDuration(1) hvkRestoreState()
        hvkSetNodeScale(canvas, child, 1, 2)
        atOnce = true
        nextEvent()
        hvkSetAnimationDuration(10)
        spawn(function() hvkSetNodePosition(canvas, root, 5, 0) nextEvent() firstDone = true end)
        nextEvent() nextEvent()
        hvkSetNodePosition(canvas, root, 0, 5)
        nextEvent() secondDone = true
    )"));
    book.start();
    book.tick(0.25);
    EXPECT_EQ(node(book, 0, 1).translation, Vec2(1, 2));
    EXPECT_EQ(book.global("moved"), "nil");
    book.tick(0.25);
    EXPECT_EQ(node(book, 0, 1).translation, Vec2(2, 4));
    book.tick(0.25);
    // Disabled animation and a negative duration both change the node at once, holding nothing.
    EXPECT_EQ(book.global("atOnce") + book.global("shownX"), "true3.0");
    EXPECT_EQ(node(book, 0, 1).rotation, 1.5);
    EXPECT_EQ(Vec2(node(book, 0, 1).scaleX, node(book, 0, 1).scaleY), Vec2(1, 2));
    EXPECT_TRUE(book.chapter().animations.empty());
    // A new animation of the same target releases the context the old one held.
    book.tick(0.1);
    EXPECT_EQ(book.contexts().context(1).lrc, 1);
    book.tick(0.1);
    EXPECT_EQ(book.chapter().animations.size(), 1u);
    book.tick(0.1);
    EXPECT_EQ(book.global("firstDone") + book.global("secondDone"), "truenil");
}

TEST(AnimationTest, SleepsRunSideBySideAndFrozenGroupsWait) {
    BookHarness book(chapterOf(R"(
        hvkSetAnimationEnabled(false)
        spawn(function() hvkSleep(0.2) nextEvent() short = true end)
        spawn(function() hvkSleep(0.4) nextEvent() long = true end)
        hvkNewContext(1, 0, function() hvkSleep(0.1) nextEvent() grouped = true end)
    )"));
    book.start();
    for (int i = 0; i < 3; ++i) book.tick(0.1);
    EXPECT_EQ(book.global("short") + book.global("long"), "truenil");
    for (int i = 0; i < 2; ++i) book.tick(0.1);
    EXPECT_EQ(book.global("long"), "true");
    // The grouped context starts its sleep while its group is on top, then the group is paused:
    // the sleep does not advance and the context stays held.
    book.contexts().pushContextGroup(1);
    book.tick(0.1);
    book.contexts().popContextGroup();
    for (int i = 0; i < 3; ++i) book.tick(0.1);
    EXPECT_EQ(book.global("grouped"), "nil");
    ASSERT_EQ(book.chapter().animations.size(), 1u);
    EXPECT_EQ(book.chapter().animations[0].elapsed, 0.0);
    book.contexts().pushContextGroup(1);
    book.tick(0.1);
    EXPECT_EQ(book.global("grouped"), "true");
}

TEST(AnimationTest, PathsMoveRecolourAndMorphAndInvalidTargetsAreDropped) {
    BookHarness book(chapterOf(R"(
        hvkSetCompatibilityVersion(2)
        canvas, root = hvkNewCanvas(0, 6, 1, 1, 0)
        path = hvkNewPath(canvas, root)
        hvkNewPathCommand(canvas, path, 10, 0, 0) hvkNewPathCommand(canvas, path, 0, 1, 0)
        hvkNewPathCommand(canvas, path, 2, 1, 1, 0, 1, 0, 0)
        hvkSetAnimationEnabled(false)
        hvkSetPathFill(canvas, path, '336699ff') hvkMovePoint(canvas, path, 1, 0, 2, 0)
        hvkSetAnimationFrame(canvas, path, 0.5)
        line = hvkShowParagraph(canvas, root, hvkCreateParagraph('words', 1, 'left'), 1, 1)
        hvkSetParagraphColour(canvas, root, line, 'ff000080')
        hvkSetAnimationEnabled(true) hvkSetAnimationDuration(1)
        hvkPathTransition(canvas, path, hvkPrepareSvgShape(hvkPrepareSvg('tri.svg'), 'tri'), 0, 0, 3, 3)
        transitions = #hvkListChapterNames() -- any call: the transition holds until the end
        spawn(function() hvkSetPathFill(canvas, 4, '000000ff') nextEvent() queuedDropped = true end)
        hvkSetAnimationEnabled(false)
        hvkSetPathFill(canvas, 4, '000000ff') hvkSetNodeRotation(canvas, 9, 1) hvkSetSoundVolume(12, 1)
        atOnce = true
    )"));
    book.addStoryFile("tri.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10">
        <path inkscape:label="tri" fill="#000000" d="M0 10 L10 0 C10 5 5 10 0 10"/></svg>)");
    testing::internal::CaptureStderr();
    book.start();
    ChapterController& chapter = book.chapter();
    Picture& picture = *chapter.bookView->canvas()->find(0)->picture;
    Path& path = picture.paths[0];
    EXPECT_EQ(path.colour, colourFromHex("336699ff").first);
    EXPECT_EQ(path.meshTime, 0.5);
    // Raw colours give a paragraph their own alpha, not an absent opacity.
    EXPECT_EQ(picture.nodes[0].lines[0].colour.a, 128.0 / 255.0);
    // One animation per point: a move, a line and a cubic's three.
    EXPECT_EQ(chapter.animations.size(), 5u);
    EXPECT_EQ(book.contexts().context(0).lrc, 5);
    book.tick(1.0);
    EXPECT_EQ(path.commands[1].endPoint(), Vec2(3, 3));
    EXPECT_EQ(book.contexts().context(0).lrc, 0);
    // Invalid targets, at once or timed, are each reported and dropped; none held the chapter.
    book.tick();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(book.global("atOnce") + book.global("queuedDropped"), "truetrue");
    EXPECT_TRUE(chapter.animations.empty());
    for (const char* line :
         {"error (ignoring and continuing): ChapterController::getValue: verifyPath: Bad path. (4), max 1\n"
          "ChapterController::startAnimation(): validation error when starting animation\n",
          "error (ignoring and continuing): Bad node\n",
          "error (ignoring and continuing): ChapterController::getValue: bad sound instance id\n",
          "ChapterController::tick(): validation error, terminating animation early\n"}) {
        EXPECT_NE(err.find(line), std::string::npos) << line << "\nin\n" << err;
    }
}

TEST(AnimationTest, ScrollLinkedSlidingAndScrollingAnimations) {
    BookHarness book(chapterOf(R"(
        for i = 1, 8 do hvkSetRowHeight(1) hvkNewRow(false) end
        canvas, root = hvkNewCanvas(0, 6, 6, 1, 0)
        child = hvkCreateChildNode(canvas, root)
        path = hvkNewPath(canvas, root) hvkNewPathCommand(canvas, path, 10, 3, 0.5)
        sticky = hvkNewCanvas(0, 6, 6, 2, 0) hvkSetCanvasSlideDistance(sticky, 1)
        for i = 1, 8 do hvkSetRowHeight(1) hvkNewRow(false) end
        hvkSetAnimationScrollLimits(1, 3, 0.25, 0, 1) hvkSetNodePosition(canvas, root, 10, 0)
        hvkSetAnimationSlidingBlock(sticky, 3) hvkSetNodeRotation(canvas, child, 2)
    )"));
    book.start();
    ChapterController& chapter = book.chapter();
    // Rows are 100 high: the scroll-linked move runs from 0 (a quarter view before row 1) to 300.
    for (auto [position, x] : {std::pair{0.0, 0.0}, {150.0, 5.0}, {400.0, 10.0}, {75.0, 2.5}}) {
        chapter.scrollTo(position);
        book.tick();
        EXPECT_DOUBLE_EQ(node(book, 0, 0).translation.x, x) << position;
    }
    // Scrolled to 700 the sliding canvas is 50 past its centre: 0.5625 of the way to 2.
    chapter.scrollTo(700);
    chapter.draw();
    book.tick();
    EXPECT_DOUBLE_EQ(node(book, 0, 1).rotation, 1.125);
    EXPECT_EQ(chapter.animations.size(), 2u);

    auto scrollTo = [&](int32_t instance, int32_t row, int32_t part) {
        chapter.startAnimation(
            {.instance = instance, .element = row, .part = part, .kind = Animation::ScrollTarget, .duration = 0.5});
    };
    // A scroll to row 3 halfway centres that y (350) in the 400-high view.
    scrollTo(-2, 3, 50);
    book.tick(0.25);
    EXPECT_TRUE(chapter.hasScrollAnimation());
    book.tick(0.25);
    EXPECT_FALSE(chapter.hasScrollAnimation());
    EXPECT_EQ(chapter.rows.position, 150);
    // The scroll-linked mover of the path's node never ends, so it must not keep the scroll alive.
    scrollTo(0, 0, 0);
    for (int i = 0; i < 4; ++i) book.tick(0.25);
    EXPECT_FALSE(chapter.hasScrollAnimation());
    // A timed mover of the point keeps it centred until the movement ends.
    chapter.startAnimation({.kind = Animation::PathEndPoint, .to = {3, 0.5}, .duration = 1});
    scrollTo(0, 0, 0);
    book.tick(0.5);
    EXPECT_TRUE(chapter.hasScrollAnimation());
    book.tick(0.5);
    book.tick(0.1);
    EXPECT_FALSE(chapter.hasScrollAnimation());
    // A target path that does not exist is reported and the scroll is dropped.
    testing::internal::CaptureStderr();
    scrollTo(0, 7, 0);
    book.tick();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ChapterController::getValue: verifyPath: Bad path. (7)"),
              std::string::npos);
    EXPECT_FALSE(chapter.hasScrollAnimation());
    // Pointer glides are queued as moves and handled within the tick.
    chapter.startAnimation({.kind = Animation::MousePosition, .to = {1, 1}, .duration = 0.5});
    chapter.tick(0.25);
    ASSERT_EQ(chapter.pendingEvents.size(), 1u);
    EXPECT_EQ(chapter.pendingEvents[0].kind, Event::PointerMove);
    EXPECT_EQ(chapter.pendingEvents[0].point, Vec2(450, 300));
    book.tick(0.25);
    EXPECT_TRUE(chapter.pendingEvents.empty());
    EXPECT_EQ(chapter.lastMouseEvent.point, Vec2(600, 400));
}

} // namespace
} // namespace hv
