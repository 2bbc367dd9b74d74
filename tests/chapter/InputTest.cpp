// The reader's hand through short books: active rects under the pointer, drags, catchers, the
// wheel and inertia, row and key waiters, and the synthetic pointer.
#include "chapter/ChapterController.h"
#include "support/BookHarness.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace hv {
namespace {

using test::BookHarness;

// `note` collects what the contexts saw; `waitOn` starts a wait and yields until it ends;
// `under` makes a rect around the pointer's start.
const char* prelude = R"(
log = {}
function note(...)
  local t = {}
  for i = 1, select('#', ...) do t[i] = tostring((select(i, ...))) end
  log[#log + 1] = table.concat(t, ' ')
end
function waitOn(f, ...) f(...) coroutine.yield() end
function under(c, node, keep) return hvkCreateActiveRect(c, node or 0, 2.5, 1.5, 1, 1, keep) end
)";

// The view is 600 x 400 and a script unit 100 view units; the pointer starts at the centre
// (300, 200), which on a full-view canvas is the script point (3, 2).
std::string bookOf(const std::string& body) {
    return prelude + std::string("hvkRegisterChapter('input', function()\n") + body +
           "\nwhile true do nextEvent() end\nend)";
}

std::string logOf(BookHarness& book) {
    book.run("logText = table.concat(log, ',')");
    return book.global("logText");
}

uint32_t stateOf(BookHarness& book, size_t rect) { return book.chapter().activeRects[rect].state; }

void click(BookHarness& book, double x = 300, double y = 200) {
    book.press(x, y);
    book.release(x, y);
}

// Two full-view canvases, `top` on layer 5 over `low` on layer 2.
const char* twoLayers = "top = hvkNewCanvas(0, 6, 1.5, 1, 5) low = hvkNewCanvas(0, 6, 1.5, 1, 2)\n"
                        "function clickWait(name, r) spawn(function() waitOn(hvkActivateRectClick, r) note(name) end) end\n";

TEST(InputTest, AClickFindsTheTopmostExactHitElseTheNearestNearMiss) {
    struct Case {
        const char* body;
        const char* log;
    };
    const Case cases[] = {
        {"clickWait('a', under(top)) clickWait('b', under(low))", "a"},
        // A rect waiting for something else shields the rects below it, except a hover wait.
        {"spawn(function() waitOn(hvkActivateRectDrag, under(top)) end) clickWait('b', under(low))", ""},
        {"spawn(function() waitOn(hvkActivateRectNotHovered, under(top), false) end) clickWait('b', under(low))", "b"},
        // Near misses: 0.0707 on the top layer, 0.03 below; 0.1 is beyond the tolerance.
        {"clickWait('a', hvkCreateActiveRect(top, 0, 3.05, 2.05, 1, 1)) clickWait('b', hvkCreateActiveRect(low, 0, 3.03, 1, 1, 1))",
         "b"},
        {"clickWait('a', hvkCreateActiveRect(top, 0, 3.1, 1, 1, 1))", ""},
        {"hvkSetPictureInteractive(top, false) clickWait('a', under(top)) clickWait('b', under(low))", "b"},
        {"local n = hvkCreateChildNode(top, 0) local m = hvkCreateChildNode(top, n) hvkSetNodeEnabled(top, n, false)"
         " clickWait('a', under(top, m))",
         ""},
        // A node scaled to nothing maps the pointer to NaN: its rect and catcher match nowhere.
        {"hvkSetAnimationEnabled(false) local n = hvkCreateChildNode(top, 0) hvkSetNodeScale(top, n, 0, 0)"
         " clickWait('a', hvkCreateActiveRect(top, n, 0, 0, 1, 1))"
         " hvkSetDragCatcherEnabled(hvkCreateDragCatcher(top, n, 0, 0, 1, 1), true, true) clickWait('b', under(low))",
         "b"},
    };
    for (const Case& c : cases) {
        BookHarness book(bookOf(std::string(twoLayers) + c.body));
        book.start();
        book.tick();
        click(book);
        EXPECT_EQ(logOf(book), c.log) << c.body;
    }
}

TEST(InputTest, CatchersStopThePageDragOrTheClick) {
    struct Case {
        bool drags, clicks;
        double moveBy; // 3 view units is within the click's tolerance, 10 is not
        bool cancel;   // hvkCancelDrag after the first move: the page stops following
        double position;
        const char* log;
    };
    const Case cases[] = {
        {false, false, 3, false, 3, "clicked"}, {true, false, 3, false, 0, "clicked"},
        {false, true, 3, false, 3, ""},         {true, true, 3, false, 0, ""},
        // A press whose page drag was cancelled does not click once it has gone too far.
        {false, false, 10, false, 10, ""},      {false, false, 3, true, 3, ""},
    };
    for (const Case& c : cases) {
        BookHarness book(bookOf(
            "c = hvkNewCanvas(0, 6, 0.5, 1, 0)\n" // 12 high: the page scrolls
            "spawn(function() waitOn(hvkActivateRectClick, hvkCreateActiveRect(c, 0, 2.5, 9.5, 1, 1)) note('clicked') end)\n"
            "hvkSetDragCatcherEnabled(hvkCreateDragCatcher(c, 0, 2, 9, 2, 2), " +
            std::string(c.drags ? "true" : "false") + ", " + (c.clicks ? "true" : "false") + ")"));
        book.start();
        book.tick();
        book.press(300, 200);
        book.move(300, 200 - c.moveBy);
        if (c.cancel) {
            book.run("hvkCancelDrag()");
            EXPECT_TRUE(book.chapter().pageDragStartY.empty());
            book.move(300, 150);
        }
        book.release(300, 200 - c.moveBy);
        EXPECT_EQ(book.chapter().rows.position, c.position) << c.drags << c.clicks << c.moveBy;
        EXPECT_EQ(logOf(book), c.log) << c.drags << c.clicks << c.moveBy;
        EXPECT_TRUE(book.chapter().pageDragStartY.empty());
    }
}

TEST(InputTest, DragStepsCarryTheMovementSinceTheLastStep) {
    BookHarness book(bookOf(R"(
        r = under(hvkNewCanvas(0, 6, 1.5, 1, 0), 0, true)
        spawn(function()
          waitOn(hvkActivateRectDrag, r)
          note('start', hvkDragState(r))
          while not goOn do nextEvent() end
          waitOn(hvkActivateRectDrag, r)
          note('step', hvkDragState(r))
        end)
    )"));
    book.start();
    book.tick();
    book.tick();
    EXPECT_EQ(book.platform->cursor, 1); // a drag wait with the hand under the pointer
    book.press(300, 200);
    book.move(310, 200);
    // No step asked for: these moves go into the next one.
    book.move(320, 210);
    book.move(330, 220);
    book.run("goOn = true");
    book.tick();
    book.move(340, 230);
    book.release(340, 230);
    EXPECT_EQ(logOf(book), "start 0.0 0.0 true 3.0 2.0,step 0.4 -0.3 true 3.0 2.0");
    EXPECT_EQ(stateOf(book, 0), ActivePictureRect::Idle);
    EXPECT_EQ(book.chapter().rows.position, 0);
    EXPECT_EQ(book.platform->cursor, 0);
}

TEST(InputTest, HoweverADragEndsTheRectIsLeftInAStateThatLetsGo) {
    struct Case {
        const char* action; // Lua run while the rect waits for its next step
        bool rearm;         // the script waits for a click on the rect once its drag starts
        uint32_t state;
        const char* log;
    };
    const Case cases[] = {
        {"", false, ActivePictureRect::Idle, "started,step false"},
        // A press that dragged a rect never clicks, also when its drag ended before the release.
        {"hvkCancelDrag()", false, ActivePictureRect::Idle, "started,step false"},
        {"hvkRemoveCanvas(top)", false, ActivePictureRect::Dead, "started,step false"},
        {"hvkTerminateContext(dragger)", false, ActivePictureRect::Idle, "started"},
        // Re-armed for a click, it keeps the wait past the release, and the next click finds it.
        {"", true, ActivePictureRect::Idle, "started,clicked r"},
    };
    for (const Case& c : cases) {
        BookHarness book(bookOf(std::string(twoLayers) + (c.rearm ? "rearm = true" : "") + R"(
            r = under(top)
            dragger = spawn(function()
              waitOn(hvkActivateRectDrag, r)
              note('started')
              if rearm then waitOn(hvkActivateRectClick, r) note('clicked r') return end
              waitOn(hvkActivateRectDrag, r)
              note('step', (select(3, hvkDragState(r))))
            end)
            clickWait('clicked b', under(low))
        )"));
        book.start();
        book.tick();
        book.press(300, 200);
        book.move(310, 200);
        if (*c.action) {
            book.run(c.action);
            EXPECT_FALSE(book.chapter().dragging) << c.action;
            book.tick();
            book.move(320, 200); // hovering now: no step, no page drag
        }
        book.release(320, 200);
        if (c.rearm) {
            EXPECT_EQ(stateOf(book, 0), ActivePictureRect::WaitingOnClick);
            click(book);
        }
        EXPECT_EQ(stateOf(book, 0), c.state) << c.action;
        EXPECT_EQ(logOf(book), c.log) << c.action;
        EXPECT_TRUE(book.chapter().pageDragStartY.empty());
        EXPECT_EQ(book.chapter().rows.position, 0);
    }
}

TEST(InputTest, HoverWaitsEndWhenThePointerComesLeavesOrMoves) {
    BookHarness book(bookOf(R"(
        c = hvkNewCanvas(0, 6, 1.5, 1, 0)
        r = under(c, 0, true)
        s = hvkCreateActiveRect(c, 0, 0, 0, 1, 1, false) -- bottom left
        t = hvkCreateActiveRect(c, 0, 2, 1, 2, 2, false) -- around r
        hoverR = hvkActivateRectHover(r)
        notHoveredS = hvkActivateRectNotHovered(s, false)
        spawn(function() hoverS = hvkActivateRectHover(s) coroutine.yield() note('in s') end)
        spawn(function() waitOn(hvkActivateRectNotHovered, r, false) note('left r') end)
        spawn(function() waitOn(hvkActivateRectNotHovered, t, true) note('moved t') end)
    )"));
    book.start();
    book.tick();
    // A hover wait counts as dragging.
    book.run("dragging = select(3, hvkDragState(s))");
    EXPECT_EQ(book.global("hoverR") + book.global("notHoveredS") + book.global("hoverS") + book.global("dragging"),
              "falsefalsetruetrue");
    testing::internal::CaptureStderr();
    book.run("hvkDragState(-1)"); // an unknown rect is only reported
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ChapterController::currentDragState: no active rect with id -1\n");
    book.move(305, 205);
    EXPECT_EQ(logOf(book), "moved t");
    book.press(50, 350);
    book.move(52, 352); // pressed: s does not count as entered yet, but r is left
    EXPECT_EQ(logOf(book), "moved t,left r");
    book.release(52, 352);
    book.move(53, 353);
    EXPECT_EQ(logOf(book), "moved t,left r,in s");
}

TEST(InputTest, AWaitThatReplacesAHeldOneIsToldWithTheContextLeftHeld) {
    // Rect 0 lies under the pointer, rect 1 away from it; spawned contexts count from 1. Each case:
    // the contexts' script, what the pointer does after a tick, the warning after "warning: " if any.
    enum Events { None, Click, DragStart };
    const std::tuple<const char*, Events, const char*> cases[] = {
        {"spawn(function() hvkActivateRectHover(off) hvkActivateRectHover(off) end)", None,
         "hvkActivateRectHover: a new wait on active rect 1 replaces the one of context 1"},
        {"spawn(function() waitOn(hvkActivateRectClick, on) end) spawn(function() hvkActivateRectClick(on) end)", None,
         "hvkActivateRectClick: a new wait on active rect 0 replaces the one of context 1"},
        // Nothing is left held: no wait began, the first one ended, or a drag's step was handed over.
        {"spawn(function() hvkActivateRectHover(on) hvkActivateRectHover(on) end)", None, ""},
        {"spawn(function() waitOn(hvkActivateRectClick, on) hvkActivateRectClick(on) end)", Click, ""},
        {"spawn(function() waitOn(hvkActivateRectDrag, on) hvkActivateRectDrag(on) end)", DragStart, ""},
    };
    for (const auto& [body, events, warning] : cases) {
        BookHarness book(bookOf(std::string("c = hvkNewCanvas(0, 6, 1.5, 1, 0) on = under(c) "
                                            "off = hvkCreateActiveRect(c, 0, 0, 0, 1, 1, false)\n") +
                                body));
        testing::internal::CaptureStderr();
        book.start();
        book.tick();
        if (events != None) book.press(300, 200);
        if (events == Click) book.release(300, 200);
        if (events == DragStart) book.move(310, 200);
        book.tick();
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  *warning ? "warning: " + std::string(warning) + ", which stays held\n" : "")
            << body;
    }
}

TEST(InputTest, TheWheelScrollsByTheClampedScaleAndNothingWhileScrollingIsOff) {
    struct Case {
        const char* call;
        const char* scale;
        double position;
    };
    // Only an explicit nil keeps the scale; no argument reads as 0.
    const Case cases[] = {
        {"return hvkSetScrollScale(0.5)", "0.5", 490},  {"return hvkSetScrollScale(1.5)", "1.0", 460},
        {"return hvkSetScrollScale(-2)", "0.0", 497},   {"return hvkSetScrollScale(nil)", "0.5", 490},
        {"return hvkSetScrollScale()", "0.0", 497},     {"hvkSetScrollEnabled(false) return hvkSetScrollScale(nil)", "0.5", 500},
    };
    for (const Case& c : cases) {
        BookHarness book(bookOf("hvkNewCanvas(0, 6, 0.5, 1, 0)"));
        book.start();
        book.chapter().scrollTo(500);
        book.run(std::string("scale = (function() ") + c.call + " end)()");
        book.wheel(10);
        book.run("showing = hvkRevealIndicatorIsShowing()");
        EXPECT_EQ(book.global("scale"), c.scale) << c.call;
        EXPECT_EQ(book.chapter().rows.position, c.position) << c.call;
        EXPECT_EQ(book.global("showing"), c.position == 500 ? "false" : "true") << c.call;
        // Then it coasts as far again, less a little for the coast's steps.
        for (int i = 0; i < 100 && book.chapter().scrollVelocity != 0; ++i) book.tick();
        EXPECT_NEAR(book.chapter().rows.position, 2 * c.position - 500, 1.5) << c.call;
    }
}

TEST(InputTest, AFlungPageCoastsToExactlyZeroWithoutTurning) {
    for (double moveBy : {-20.0, 20.0}) {
        BookHarness book(bookOf("hvkNewCanvas(0, 6, 0.2, 1, 0)")); // 30 high
        book.start();
        ChapterController& chapter = book.chapter();
        chapter.scrollTo(1000);
        book.press(300, 200);
        book.tick();
        book.move(300, 200 + moveBy);
        book.tick(0); // no time passed: no speed to measure, and the movement counts next
        EXPECT_EQ(chapter.scrollVelocity, 0) << moveBy;
        book.tick();
        book.release(300, 200 + moveBy);
        const double velocity = chapter.scrollVelocity;
        EXPECT_DOUBLE_EQ(velocity, 0.1 * moveBy * 60) << moveBy;
        double position = chapter.rows.position;
        int ticks = 0;
        for (; chapter.scrollVelocity != 0 && ticks < 100; ++ticks) {
            book.tick();
            EXPECT_TRUE(std::signbit(chapter.scrollVelocity) == std::signbit(velocity) || chapter.scrollVelocity == 0);
            EXPECT_LE((chapter.rows.position - position) * velocity, 0) << moveBy;
            position = chapter.rows.position;
        }
        EXPECT_EQ(ticks, 20) << moveBy; // 120 view units a second, less 6.25 a tick
        book.tick();
        EXPECT_EQ(chapter.rows.position, position);
    }
}

TEST(InputTest, APointerBeyondAnyPageLeavesTheScrollSpeedFinite) {
    // A glide to 1e308 moves the pointer to infinity; one to 1e308 view units moves it by a
    // finite amount whose speed is infinite.
    for (const char* y : {"1e308", "1e308 / 400"}) {
        BookHarness book(bookOf(std::string("hvkNewCanvas(0, 6, 0.2, 1, 0)\n"
                                            "hvkSynthesizeMouse(true) nextEvent() hvkSetAnimationEnabled(false)\n"
                                            "hvkMoveMouse('', 0.5, ") +
                                y + ", false) nextEvent() hvkSynthesizeMouse(false)"));
        book.start();
        ChapterController& chapter = book.chapter();
        chapter.scrollTo(1000);
        for (int i = 0; i < 5; ++i) book.tick();
        EXPECT_TRUE(std::isfinite(chapter.scrollVelocity)) << y;
        for (int i = 0; i < 1000 && chapter.scrollVelocity != 0; ++i) book.tick();
        double position = chapter.rows.position;
        book.wheel(-10);
        EXPECT_EQ(chapter.rows.position, position + 10) << y;
    }
}

TEST(InputTest, RowAndKeyWaitersAreReleasedByScrollingAndEscape) {
    BookHarness book(bookOf(R"(
        for i = 1, 3 do hvkSetRowHeight(4) hvkNewRow(false) end
        visible = hvkActivateScrollRow(0)
        spawn(function() local v = hvkActivateScrollRow(2) coroutine.yield() note('row 2', v) end)
        hvkBlessGroup(0)
        spawn(function() waitOn(hvkWaitKey, 0) note('escape') end)
        asleepGroup = select(2, hvkNewContext(1, 0, function() waitOn(hvkWaitKey, 0) note('asleep') end))
        hvkPushContextGroup(asleepGroup)
    )"));
    book.start();
    book.tick();
    book.tick();
    EXPECT_EQ(book.global("visible"), "true");
    book.wheel(-300); // rows 0 and 1 in view
    EXPECT_EQ(logOf(book), "");
    book.wheel(-150); // row 2 comes in
    EXPECT_EQ(logOf(book), "row 2 false");
    book.run("hvkPopContextGroup()");
    book.escape();
    book.escape();
    book.run("hvkPushContextGroup(asleepGroup)");
    book.tick();
    EXPECT_EQ(logOf(book), "row 2 false,escape");
    EXPECT_TRUE(book.chapter().keyWaiters.empty());
}

TEST(InputTest, TheSyntheticPointerMovesToALabelAndPressesWhereTheMoveGoesWithinTheTick) {
    BookHarness book(bookOf(R"(
        door = hvkNewCanvas(0, 6, 1.5, 1, 0)
        hvkSetCanvasLabel(door, 'door')
        hvkNewRow(false)
        hvkSetCanvasLabel(hvkNewCanvas(0, 6, 1.5, 1, 0), 'door 2') -- below the view
        local r = hvkCreateActiveRect(door, 0, 0.5, 0.5, 1, 1)
        spawn(function() waitOn(hvkActivateRectClick, r) note('clicked', hvkGetMouseEvent()) end)
        spawn(function() waitOn(hvkWaitMouseEvent) note('event', hvkGetMouseEvent()) end)
        spawn(function()
          nextEvent()
          hvkSetAnimationEnabled(false) -- one move, at once
          hvkMoveMouse('door 2', 0.5, 0.5, true) -- it cannot be reached, so this passes
          hvkMoveMouse('door', 1 / 6, 1 / 4, false)
          hvkSynthesizeMouse(true) hvkSynthesizeMouse(false) -- where the move goes, not where it was
        end)
    )"));
    book.start();
    book.tick();
    EXPECT_EQ(logOf(book), "");
    book.tick();
    // "door 2" matches 'door' too, but off the content area it does not displace the target found.
    EXPECT_EQ(logOf(book), "event 1 3.0 6.0,clicked 2 1.0 3.0");
    EXPECT_TRUE(book.chapter().pendingEvents.empty());
}

TEST(InputTest, GlidePointerReturnsWithThePointerAtItsTarget) {
    BookHarness book(bookOf("hvkSetAnimationDuration(0.05) glidePointer('', 0.25, 0.5) note(hvkGetMouseEvent())"));
    book.start();
    for (int i = 0; i < 6; ++i) book.tick();
    EXPECT_EQ(logOf(book), "1 1.5 2.0");
}

TEST(InputTest, AutoScrollGlidesOrFlingsAndHoldsThePageMeanwhile) {
    BookHarness book(bookOf(R"(
        for i = 1, 6 do hvkSetRowHeight(4) hvkNewRow(false) end
        hvkAutoScroll(-3, 0, 0) -- no typeface yet: nothing
        spawn(function()
          hvkSetAnimationDuration(0.5)
          waitOn(hvkAutoScroll, -2, 3, 0)
          note('scrolled')
          while not fling do nextEvent() end
          hvkSetTypeface('', 10)
          hvkAutoScroll(-3, 0, 0)
        end)
    )"));
    book.start();
    ChapterController& chapter = book.chapter();
    EXPECT_EQ(chapter.scrollVelocity, 0);
    for (int i = 0; i < 3; ++i) book.tick();
    double position = chapter.rows.position;
    EXPECT_GT(position, 0);
    book.wheel(-100);
    book.press(300, 200);
    book.move(300, 100);
    book.release(300, 100);
    EXPECT_EQ(chapter.rows.position, position); // neither the wheel nor a drag moves it
    book.tick();
    EXPECT_EQ(chapter.scrollVelocity, 0);
    for (int i = 0; i < 40; ++i) book.tick();
    EXPECT_EQ(logOf(book), "scrolled");
    EXPECT_EQ(chapter.rows.position, 1200 - 200); // row 3 at the viewport's centre
    book.run("fling = true");
    book.tick();
    book.tick();
    EXPECT_LT(chapter.scrollVelocity, 0);
    for (int i = 0; i < 100; ++i) book.tick();
    EXPECT_EQ(chapter.scrollVelocity, 0);
    EXPECT_NEAR(chapter.rows.position, 1000 + 200, 7); // half a view height further
}

// Misuse whose exact line matters: ids checked before use, rects and catchers checked when
// made, waits that could never end, and the synthetic pointer's rules.
TEST(InputTest, MisuseEndsWithItsLine) {
    struct Case {
        const char* body;
        const char* line;
    };
    const Case cases[] = {
        {"hvkActivateRectHover(1)", "err: Could not find active rect with id 1"},
        {"hvkQueryActiveRect(-1)", "err: Could not find active rect with id -1"},
        {"hvkActivateRectClick(2^32)", "err: Could not find active rect with id 4294967296"},
        {"hvkActivateRectClick(r) hvkActivateRectDrag(r)", "err: ChapterController::waitForDrag: bad state: 4"},
        {"hvkSetDragCatcherEnabled(0, true, false)", "err: hvkSetDragCatcherEnabled: no drag catcher 0"},
        {"hvkRemoveCanvas(c) hvkActivateRectClick(r)", "err: hvkActivateRectClick: active rect 0 belongs to a removed canvas"},
        {"hvkRemoveCanvas(c) hvkActivateRectHover(r)", "err: hvkActivateRectHover: active rect 0 belongs to a removed canvas"},
        {"hvkCreateActiveRect(c, 3, 0, 0, 1, 1)", "err: hvkCreateActiveRect: no node 3 on canvas 0"},
        {"hvkRemoveCanvas(c) hvkCreateDragCatcher(c, 0, 0, 0, 1, 1)", "err: hvkCreateDragCatcher: canvas 0 was removed"},
        {"hvkCreateActiveRect(c, 0, 0/0, 0, 1, 1)", "err: hvkCreateActiveRect: argument 3 is not a finite number: nan"},
        {"hvkActivateScrollRow(-1)", "err: hvkActivateScrollRow: no row -1"},
        {"hvkSetScrollScale(0/0)", "err: hvkSetScrollScale: argument 1 is not a number: nan"},
        {"hvkSetCanvasLabel(c, 'door') hvkMoveMouse('door', 0.5, 0.5, true)",
         "err: ChapterController::synthesizeMouseMove: label was reachable 'door'"},
        {"hvkSetCanvasLabel(c, 'backdoor') hvkSetCanvasLabel(hvkNewCanvas(0, 6, 1.5, 1, 0), 'door')"
         " hvkMoveMouse('door', 0.5, 0.5, false)",
         "err: Click label is not unique: 'door'"},
        {"hvkNewRow(false) hvkSetCanvasLabel(hvkNewCanvas(0, 6, 1.5, 1, 0), 'far') hvkMoveMouse('far', 0.5, 0.5, false)",
         "err: ChapterController::synthesizeMouseMove: attempting to click on something offscreen: (0.5, 1.5)"},
        {"hvkSetAnimationScrollLimits(0, 1, 0, 0, 0) hvkAutoScroll(-1, 0, 0)",
         "err: scrollToTarget cannot be called with position driver"},
    };
    for (const Case& c : cases) {
        const std::string body = "c = hvkNewCanvas(0, 6, 1.5, 1, 0) r = hvkCreateActiveRect(c, 0, 0, 0, 1, 1) ";
        EXPECT_EQ(test::fatalLineOfBook(bookOf(body + c.body)), c.line) << c.body;
    }
}

} // namespace
} // namespace hv
