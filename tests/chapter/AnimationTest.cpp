// Animations: the drivers on their own, then timed, linked and chained changes started by books.
#include "chapter/Animation.h"
#include "chapter/ChapterController.h"
#include "chapter/RowOffsets.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"
#include "support/BookHarness.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace hv {
namespace {

using test::BookHarness;

Animation timed(double from, double to, double duration) {
    Animation a;
    a.kind = Animation::NodePosition;
    a.driver = Animation::Duration;
    a.duration = duration;
    a.from[0] = from;
    a.to[0] = to;
    return a;
}

TEST(AnimationDriverTest, DurationEndsExactlyOnItsEndValue) {
    RowOffsets rows;
    std::vector<PictureInstance> none;
    Animation a = timed(0.7, 0.1, 0.3);
    EXPECT_FALSE(Animation::tick(a, rows, none, 0.2, 400));
    EXPECT_TRUE(Animation::tick(a, rows, none, 0.2, 400));
    EXPECT_EQ(a.elapsed, 0.3);
    EXPECT_EQ(value(a, 0), 0.1);
    Animation timer;
    timer.kind = Animation::Timer;
    EXPECT_FALSE(sameTarget(timer, timer));
    EXPECT_TRUE(sameTarget(a, a));
}

TEST(AnimationDriverTest, ScrollLimitsFollowTheScrollPosition) {
    RowOffsets rows;
    for (int i = 0; i < 4; ++i) {
        rows.pendingHeight = 100;
        rows.addRow(0);
    }
    std::vector<PictureInstance> none;
    auto linked = [](double start, double end, int type) {
        Animation a;
        a.driver = Animation::ScrollLimits;
        a.startRow = start;
        a.endRow = end;
        a.linkType = type;
        a.duration = 1.0;
        return a;
    };
    struct Case {
        int type;
        double position;
        double progress;
        bool finished;
    };
    // Rows 1 to 3 span 100 to 300; without margins type 2 holds between them.
    const Case cases[] = {
        {0, 50, 0, false}, {0, 150, 0.25, false}, {0, 300, 1, true},  {1, 300, 1, false}, {1, 400, 1, false},
        {1, 200, 0.5, false}, {2, 50, 0, false}, {2, 200, 1, false}, {2, 350, 0, false},
    };
    for (const Case& c : cases) {
        Animation a = linked(1, 3, c.type);
        rows.position = c.position;
        EXPECT_EQ(Animation::tick(a, rows, none, 0.1, 400), c.finished) << c.type << " at " << c.position;
        EXPECT_DOUBLE_EQ(driverValue(a), c.progress) << c.type << " at " << c.position;
    }
    // Rise and fall over the margins: a quarter view (100) before row 1 and after row 3.
    Animation rise = linked(1, 3, 2);
    rise.startMargin = rise.endMargin = 0.25;
    for (auto [position, progress] : {std::pair{50.0, 0.5}, {250.0, 1.0}, {350.0, 0.5}}) {
        rows.position = position;
        Animation::tick(rise, rows, none, 0.1, 400);
        EXPECT_DOUBLE_EQ(rise.elapsed, progress) << position;
    }
    // An empty or unknown range reports itself once and ends at the end value.
    for (double end : {1.0, std::numeric_limits<double>::quiet_NaN()}) {
        Animation empty = linked(2, end, 0);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(Animation::tick(empty, rows, none, 0.1, 400));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Animation::tick(): position linked animation over nonexisting row range\n");
        EXPECT_EQ(empty.elapsed, 1.0);
    }
}

TEST(AnimationDriverTest, SlidingBlocksFollowTheirStickyCanvas) {
    RowOffsets rows;
    std::vector<PictureInstance> instances(2);
    instances[1].positionMode = PictureInstance::Sticky;
    Animation a;
    a.driver = Animation::SlidingBlock;
    a.slidingCanvas = 1;
    struct Case {
        int param;
        double offset;
        double progress;
    };
    for (Case c : {Case{0, 0, 1}, Case{0, 200, 0.5}, Case{1, 0, 0}, Case{1, -400, 1}, Case{2, 0, 0.5}, Case{2, 400, 0}}) {
        a.slidingParam = c.param;
        instances[1].slideOffset = c.offset;
        EXPECT_FALSE(Animation::tick(a, rows, instances, 0.1, 400));
        EXPECT_DOUBLE_EQ(a.elapsed, c.progress) << c.param << " " << c.offset;
    }
    for (int canvas : {0, 7, -1}) {
        a.slidingCanvas = canvas;
        EXPECT_DEATH(Animation::tick(a, rows, instances, 0.1, 400), "err: Animation::tick\\(\\): target image is not sliding");
    }
}

std::string chapterOf(const std::string& body) {
    return "hvkRegisterChapter('motion', function()\n" + body + "\nwhile true do nextEvent() end\nend)";
}

const Node& node(BookHarness& book, size_t canvas, size_t index) {
    return book.view->canvas()->pictureInstances[canvas].picture->nodes[index];
}

TEST(AnimationTest, TimedChangesHoldTheirContextUntilTheyEnd) {
    BookHarness book(chapterOf(R"(
        canvas, root = hvkNewCanvas(0, 6, 1, 1, 0)
        child = hvkCreateChildNode(canvas, root)
        hvkSetAnimationDuration(0.5)
        hvkSetNodePosition(canvas, child, 2, 4)
        nextEvent()
        moved = true
        hvkSetAnimationEnabled(false)
        hvkSetNodeRotation(canvas, child, 1.5)
        hvkSetAnimationEnabled(true)
        hvkSetAnimationDuration(-1)
        hvkSetNodeScale(canvas, child, 3, 3)
        atOnce = true
        hvkSaveState()
        hvkSetAnimationDuration(1)
        hvkRestoreState()
        hvkSetNodeScale(canvas, child, 1, 2)
        afterRestore = true
    )"));
    book.start();
    EXPECT_EQ(book.contexts().context(0).lrc, 1);
    book.tick(0.25);
    EXPECT_EQ(node(book, 0, 1).translation, Vec2(1, 2));
    EXPECT_EQ(book.global("moved"), "nil");
    book.tick(0.25);
    EXPECT_EQ(node(book, 0, 1).translation, Vec2(2, 4));
    book.tick(0.25);
    // Disabled animation and a negative duration both change the node at once, holding nothing.
    EXPECT_EQ(book.global("moved") + book.global("atOnce") + book.global("afterRestore"), "truetruetrue");
    EXPECT_EQ(node(book, 0, 1).rotation, 1.5);
    EXPECT_EQ(node(book, 0, 1).scaleX, 1);
    EXPECT_EQ(node(book, 0, 1).scaleY, 2);
    EXPECT_TRUE(book.chapter().animations.empty());
}

TEST(AnimationTest, ANewAnimationOnTheSameTargetReleasesTheOldOnesContext) {
    BookHarness book(chapterOf(R"(
        canvas, root = hvkNewCanvas(0, 6, 1, 1, 0)
        hvkSetAnimationDuration(10)
        spawn(function() hvkSetNodePosition(canvas, root, 5, 0) nextEvent() firstDone = true end)
        nextEvent()
        nextEvent()
        hvkSetNodePosition(canvas, root, 0, 5)
        nextEvent()
        secondDone = true
    )"));
    book.start();
    book.tick(0.1);
    EXPECT_EQ(book.contexts().context(1).lrc, 1);
    book.tick(0.1);
    EXPECT_EQ(book.chapter().animations.size(), 1u);
    EXPECT_EQ(book.contexts().context(1).lrc, 0);
    book.tick(0.1);
    EXPECT_EQ(book.global("firstDone"), "true");
    EXPECT_EQ(book.global("secondDone"), "nil");
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
    book.tick(0.1);
    book.tick(0.1);
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

TEST(AnimationTest, ScrollLinkedAndSlidingAnimations) {
    BookHarness book(chapterOf(R"(
        for i = 1, 8 do hvkSetRowHeight(1) hvkNewRow(false) end
        canvas, root = hvkNewCanvas(0, 6, 6, 1, 0)
        child = hvkCreateChildNode(canvas, root)
        sticky = hvkNewCanvas(0, 6, 6, 2, 0)
        hvkSetCanvasSlideDistance(sticky, 1)
        for i = 1, 8 do hvkSetRowHeight(1) hvkNewRow(false) end
        hvkSetAnimationScrollLimits(1, 3, 0, 0, 1)
        hvkSetNodePosition(canvas, root, 10, 0)
        hvkSetAnimationSlidingBlock(sticky, 3)
        hvkSetNodeRotation(canvas, child, 2)
    )"));
    book.start();
    ChapterController& chapter = book.chapter();
    // Rows are 100 high: the scroll-linked move runs from 100 to 300 and back.
    for (auto [position, x] : {std::pair{0.0, 0.0}, {200.0, 5.0}, {400.0, 10.0}, {100.0, 0.0}}) {
        chapter.scrollTo(position);
        book.tick();
        EXPECT_DOUBLE_EQ(node(book, 0, 0).translation.x, x) << position;
    }
    // The sliding canvas sits centred when scrolled to its rows: half way.
    chapter.scrollTo(700);
    chapter.draw();
    book.tick();
    EXPECT_DOUBLE_EQ(node(book, 0, 1).rotation, 2 * (1 - chapter.bookView->canvas()->pictureInstances[1].slideOffset / 400) * 0.5);
    EXPECT_EQ(chapter.animations.size(), 2u);
}

TEST(AnimationTest, PathsMoveRecolourAndMorph) {
    BookHarness book(chapterOf(R"(
        hvkSetCompatibilityVersion(2)
        canvas, root = hvkNewCanvas(0, 6, 1, 1, 0)
        path = hvkNewPath(canvas, root)
        hvkNewPathCommand(canvas, path, 10, 0, 0)
        hvkNewPathCommand(canvas, path, 0, 1, 0)
        hvkNewPathCommand(canvas, path, 2, 1, 1, 0, 1, 0, 0)
        hvkSetAnimationEnabled(false)
        hvkSetPathFill(canvas, path, '336699ff')
        hvkMovePoint(canvas, path, 1, 0, 2, 0)
        hvkSetAnimationFrame(canvas, path, 0.5)
        id = hvkCreateParagraph('words', 1, 'left')
        line = hvkShowParagraph(canvas, root, id, 1, 1)
        hvkSetParagraphColour(canvas, root, line, 'ff000080')
        hvkSetAnimationEnabled(true)
        hvkSetAnimationDuration(1)
        file = hvkPrepareSvg('tri.svg')
        hvkPathTransition(canvas, path, hvkPrepareSvgShape(file, 'tri'), 0, 0, 3, 3)
        transitions = #hvkListChapterNames() -- any call: the transition holds until the end
    )"));
    book.addStoryFile("tri.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10">
        <path inkscape:label="tri" fill="#000000" d="M0 10 L10 0 C10 5 5 10 0 10"/></svg>)");
    book.start();
    ChapterController& chapter = book.chapter();
    Path& path = chapter.bookView->canvas()->pictureInstances[0].picture->paths[0];
    EXPECT_EQ(path.colour, colourFromHex("336699ff").first);
    EXPECT_EQ(path.meshTime, 0.5);
    // Raw colours give a paragraph their own alpha, not an absent opacity.
    EXPECT_EQ(chapter.bookView->canvas()->pictureInstances[0].picture->nodes[0].lines[0].colour.a, 128.0 / 255.0);
    // One animation per point: a move, a line and a cubic's three.
    EXPECT_EQ(chapter.animations.size(), 5u);
    EXPECT_EQ(book.contexts().context(0).lrc, 5);
    book.tick(1.0);
    EXPECT_TRUE(chapter.animations.empty());
    EXPECT_EQ(path.commands[1].endPoint(), Vec2(3, 3));
    EXPECT_EQ(book.contexts().context(0).lrc, 0);
}

TEST(AnimationTest, InvalidTargetsAreReportedAndDropped) {
    BookHarness book(chapterOf(R"(
        canvas, root = hvkNewCanvas(0, 6, 1, 1, 0)
        hvkSetAnimationDuration(1)
        spawn(function() hvkSetPathFill(canvas, 4, 3) nextEvent() queuedDropped = true end)
        hvkSetAnimationEnabled(false)
        hvkSetPathFill(canvas, 4, 3)
        hvkSetNodeRotation(canvas, 9, 1)
        hvkSetSoundVolume(12, 1)
        atOnce = true
    )"));
    testing::internal::CaptureStderr();
    book.start();
    book.tick();
    book.tick();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(book.global("atOnce") + book.global("queuedDropped"), "truetrue");
    for (const char* line : {"error (ignoring and continuing): ChapterController::getValue: verifyPath: Bad path. (4), max 0\n"
                             "ChapterController::startAnimation(): validation error when starting animation\n",
                             "error (ignoring and continuing): Bad node\n",
                             "error (ignoring and continuing): ChapterController::getValue: bad sound instance id\n",
                             "ChapterController::tick(): validation error, terminating animation early\n"}) {
        EXPECT_NE(err.find(line), std::string::npos) << line << "\nin\n" << err;
    }
}

TEST(AnimationTest, ScrollsCentreTheirTargetAndWaitOnlyForMoversThatEnd) {
    BookHarness book(chapterOf(R"(
        for i = 1, 10 do hvkSetRowHeight(1) hvkNewRow(false) end
        canvas, root = hvkNewCanvas(0, 6, 6, 1, 0)
        path = hvkNewPath(canvas, root)
        hvkNewPathCommand(canvas, path, 10, 3, 0.5)
        for i = 1, 10 do hvkSetRowHeight(1) hvkNewRow(false) end
    )"));
    book.start();
    ChapterController& chapter = book.chapter();
    auto scrollTo = [&](int32_t target, int32_t b, int32_t c) {
        Animation scroll;
        scroll.driver = Animation::Duration;
        scroll.duration = 0.5;
        scroll.kind = Animation::ScrollTarget;
        scroll.instance = target;
        scroll.element = b;
        scroll.part = c;
        chapter.startAnimation(scroll);
    };
    // A scroll to row 3 halfway centres that y (350) in the 400-high view.
    scrollTo(-2, 3, 50);
    book.tick(0.25);
    EXPECT_TRUE(chapter.hasScrollAnimation());
    book.tick(0.25);
    EXPECT_FALSE(chapter.hasScrollAnimation());
    EXPECT_EQ(chapter.rows.position, 150);
    // The path's point sits at book y 1050; a scroll-linked mover of its node never ends, so it
    // must not keep the scroll alive.
    Animation linked;
    linked.driver = Animation::ScrollLimits;
    linked.startRow = 0;
    linked.endRow = 20;
    linked.linkType = 1;
    linked.duration = 1;
    linked.kind = Animation::NodePosition;
    linked.instance = 0;
    chapter.startAnimation(linked);
    scrollTo(0, 0, 0);
    for (int i = 0; i < 4; ++i) book.tick(0.25);
    EXPECT_FALSE(chapter.hasScrollAnimation());
    // A timed mover of the point keeps it centred until the movement ends.
    Animation mover;
    mover.driver = Animation::Duration;
    mover.duration = 1.0;
    mover.kind = Animation::PathEndPoint;
    mover.to[0] = 3;
    mover.to[1] = 0.5;
    chapter.startAnimation(mover);
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
}

TEST(AnimationTest, PointerGlidesAreQueuedAsMoves) {
    BookHarness book(chapterOf(""));
    book.start();
    ChapterController& chapter = book.chapter();
    Animation glide;
    glide.driver = Animation::Duration;
    glide.duration = 0.5;
    glide.kind = Animation::MousePosition;
    glide.to[0] = 1;
    glide.to[1] = 1;
    chapter.startAnimation(glide);
    chapter.tick(0.25);
    ASSERT_EQ(chapter.pendingEvents.size(), 1u);
    EXPECT_EQ(chapter.pendingEvents[0].kind, Event::PointerMove);
    EXPECT_EQ(chapter.pendingEvents[0].point, Vec2(450, 300));
    book.tick(0.25); // the queued moves are handled within the tick
    EXPECT_TRUE(chapter.pendingEvents.empty());
    EXPECT_EQ(chapter.lastMouseEvent.point, Vec2(600, 400));
}

} // namespace
} // namespace hv
