// The book controller and the scheduler, driven by short books through the harness.
#include "chapter/ChapterController.h"
#include "script/BookController.h"
#include "support/BookHarness.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <lua.hpp>

namespace hv {
namespace {

using test::BookHarness;

// Runs a book in a child process for a number of ticks after its first chapter starts.
test::ChildResult runBook(const std::string& source, int ticks = 3,
                          Configuration configuration = BookHarness::defaultConfiguration()) {
    return test::runInChild([&] {
        BookHarness book(source, configuration);
        if (!book.init()) return;
        if (book.book().pendingChapter() < 0) book.book().setPendingChapter(0);
        for (int i = 0; i <= ticks; ++i) {
            if (book.tick() != 0) return;
        }
    });
}

using test::lastLine;

TEST(BookControllerTest, MisusesEndTheRunWithTheirLine) {
    struct Case {
        const char* book;
        const char* line;
    };
    const Case cases[] = {
        // Start-up scripts have no context to hold or set.
        {"hvkSaveState()", "err: hvkSaveState: no context is running (call it from a chapter or a context)"},
        {"hvkSetAnimationDuration(1)", "err: hvkSetAnimationDuration: no context is running (call it from a chapter or a context)"},
        {"hvkCurrentContext()", "err: hvkCurrentContext: no context is running (call it from a chapter or a context)"},
        {"hvkRegisterChapter('a', 1)", "err: createContext: Error booting coroutine"},
        {"hvkRegisterChapter('a', function() end) hvkChooseChapter(1)", "err: hvkChooseChapter: no chapter 1"},
        {"x = = 1", "err: Could not load book.lua: book.lua:1: unexpected symbol near '='"},
        {"error('boom')", "err: Error executing book.lua: book.lua:1: boom"},
        {"hvkRegisterChapter('a', function()\n  local t = nil\n  t.x = 1\nend)",
         "err: tickLuaScheduler: error: book.lua:3: attempt to index a nil value (local 't')"},
        {"hvkRegisterChapter('a', function() hvkTerminateContext(hvkCurrentContext()) end)",
         "err: hvkTerminateContext: attempting to terminate running context"},
        {"hvkRegisterChapter('a', function() hvkNewContext(3, 0, print) end)",
         "err: hvkNewContext: did not recognise context behaviour 3"},
        {"hvkRegisterChapter('a', function() hvkSignalContext(999) end)", "err: hvkSignalContext: no context 999"},
        {"hvkRegisterChapter('a', function() hvkWaitContext(-1) end)", "err: hvkWaitContext: no context -1"},
        {"hvkRegisterChapter('a', function() hvkWaitContext(2^32) end)", "err: hvkWaitContext: no context 4294967296"},
        {"hvkRegisterChapter('a', function() hvkBlessGroup(1) end)", "err: hvkBlessGroup: no group 1"},
        {"hvkRegisterChapter('a', function() hvkPopContextGroup() end)",
         "err: ContextTable::popContextGroup() no groups left"},
        {"hvkRegisterChapter('a', function() hvkRestoreState() end)",
         "err: ContextTable::restoreState: restoring state too far"},
        {"hvkRegisterChapter('a', function() hvkSetAnimationSlidingBlock(0, 4) end)",
         "err: hvkSetAnimationScrollLimits: unknown type parameter passed"},
        {"hvkRegisterChapter('a', function() hvkSetAnimationScrollLimits(0, 1, 0, 0, 3) end)",
         "err: hvkSetAnimationScrollLimits: unknown type parameter passed"},
        {"hvkRegisterChapter('a', function() hvkSetAnimationDuration(0/0) end)",
         "err: hvkSetAnimationDuration: argument 1 is not a finite number: nan"},
        {"hvkRegisterChapter('a', function() hvkSetCompatibilityVersion(3) end)",
         "err: Error setting compatibility version, did not recognise 3"},
        {"hvkRegisterChapter('a', function() hvkGetEnv({}) end)", "err: hvkGetEnv: argument 1 is not a string but table"},
        {"hvkRegisterChapter('a', function() hvkImport('missing.lua') end)", "err: Could not find data 'missing.lua'"},
        {"hvkRegisterChapter('a', function() hvkSetRowHeight(-1) end)", "err: setting negative row height is deprecated"},
        {"hvkRegisterChapter('a', function() hvkRowHeight(1) end)", "err: hvkRowHeight: no row 1"},
        {"hvkRegisterChapter('a', function() hvkError('a', 1, nil) end)", "err: lua sourced error, aborting"},
        // Clicking in a loop queues events faster than they are handled: the event never ends.
        {"hvkRegisterChapter('a', function() while true do click() end end)",
         "err: BookController::tick: scripts queued more than 10000 pointer events in one event"},
        // A book that replaces the coroutine table and then fails outside any protected call
        // still ends through the fatal routine.
        {"coroutine = nil\nhvkRegisterChapter('a', function() nextEvent() error('late') end)",
         "err: tickLuaScheduler: error: book.lua:2: late"},
    };
    for (const Case& c : cases) {
        test::ChildResult result = runBook(c.book);
        EXPECT_EQ(result.exitStatus, 1) << c.book << "\n" << result.err;
        EXPECT_EQ(lastLine(result.err), c.line) << c.book;
    }
    test::ChildResult error = runBook("hvkRegisterChapter('a', function() hvkError('a', 1, nil) end)");
    EXPECT_EQ(error.err, "err: a\t\n1\t\nnil\n\nerr: lua sourced error, aborting\n");
}

TEST(BookControllerTest, StartUpReadsTheBookAndItsSettings) {
    struct Case {
        const char* version; // nullptr: no version.txt
        const char* expected;
    };
    for (Case c : {Case{" 1.2.3\n", "1.2.3"}, Case{"1 2", "12"}, Case{nullptr, "working"}}) {
        BookHarness book("_, one, revision, version = hvkBuildType()\nhvkRegisterChapter('a', function() end)");
        if (c.version) book.addStoryFile("version.txt", c.version);
        ASSERT_TRUE(book.init());
        EXPECT_EQ(book.global("version"), c.expected);
        EXPECT_EQ(book.global("one"), "1");
        EXPECT_EQ(book.global("revision").size(), 40u);
    }

    Configuration portrait = BookHarness::defaultConfiguration();
    portrait.windowWidth = 800;
    portrait.windowHeight = 1000;
    portrait.env["mood"] = "calm";
    BookHarness book(R"(
        landscape = hvkLayoutLandscape()
        mood, missing = hvkGetEnv('mood'), hvkGetEnv('nothing')
        hasRequire, hasOs, hasIo, hasDebug = require ~= nil, os ~= nil, io ~= nil, debug ~= nil
        mobile = hvkIsMobile()
        hvkSetRowHeight(2)
        hvkRegisterChapter('one', function() openRow = hvkRowHeight(0) end)
        hvkRegisterChapter('two', function() end)
        names = table.concat(hvkListChapterNames(), ',')
        before, beforeName = hvkCurrentChapterInfo()
    )",
                     portrait);
    book.start();
    EXPECT_EQ(book.global("landscape"), "false");
    EXPECT_EQ(book.global("mood"), "calm");
    EXPECT_EQ(book.global("missing"), "");
    EXPECT_EQ(book.global("hasRequire") + book.global("hasOs") + book.global("hasIo") + book.global("hasDebug"),
              "falsefalsetruetrue");
    EXPECT_EQ(book.global("mobile"), "false");
    EXPECT_EQ(book.global("names"), "one,two");
    EXPECT_EQ(book.global("before") + "," + book.global("beforeName"), "0,nil");
    // What the book script did to the page went at the first chapter start.
    EXPECT_EQ(book.global("openRow"), "0.0");
}

TEST(BookControllerTest, StartUpEndsOrChoosesBeforeAnyChapter) {
    testing::internal::CaptureStderr();
    BookHarness empty("x = 1");
    EXPECT_FALSE(empty.init());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "BookController::init: the book registers no chapter\n");

    BookHarness exits("hvkRegisterChapter('a', function() started = true end) hvkExit()");
    ASSERT_TRUE(exits.init());
    EXPECT_EQ(exits.book().stopCode(), 2);
    exits.book().setPendingChapter(0);
    EXPECT_EQ(exits.tick(), 2);
    EXPECT_EQ(exits.global("started"), "nil");

    BookHarness chooses(
        "hvkRegisterChapter('a', function() which = 'a' end)\n"
        "hvkRegisterChapter('b', function() which = 'b'; index, name = hvkCurrentChapterInfo() end)\n"
        "hvkChooseChapter(1)");
    chooses.start();
    EXPECT_EQ(chooses.global("which"), "b");
    EXPECT_EQ(chooses.global("index") + chooses.global("name"), "1b");

    // A context the book script made and ended leaves the next one its defaults, not its frames.
    BookHarness ends("local c = hvkNewContext(0, 0, function() end)\nhvkTerminateContext(c)\n"
                     "hvkNewContext(0, 0, function() hvkSleep(0) survived = true end)\n"
                     "hvkRegisterChapter('a', function() end)");
    ends.start();
    EXPECT_EQ(ends.global("survived"), "true");

    Configuration precompiled = BookHarness::defaultConfiguration();
    precompiled.precompiledScripts = true;
    test::ChildResult missing = runBook("hvkRegisterChapter('a', function() end)", 0, precompiled);
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(lastLine(missing.err), "err: Could not find data 'lib.luac'");
}

TEST(SchedulerTest, ContextsRunOncePerEventInTheirGroups) {
    BookHarness book(R"(
        log = ''
        local function note(text) log = log .. text .. ' ' end
        hvkRegisterChapter('a', function()
          note('start')
          local second = hvkNewContext(0, 0, function()
            note('second')
            nextEvent()
            note('second-again')
          end)
          local third = hvkNewContext(0, 0, function() note('third') end)
          local paused, group = hvkNewContext(1, 0, function() note('grouped') end)
          newGroup = group
          nextEvent()
          hvkTerminateContext(third)
          nextEvent()
          hvkPushContextGroup(group)
          waitForSignal()
          note('signalled')
        end)
    )");
    book.start();
    EXPECT_EQ(book.global("log"), "start ");
    book.tick();
    // The first context terminated the third before its first turn; the grouped one waits.
    EXPECT_EQ(book.global("log"), "start second ");
    book.tick();
    // Group 1 went on top in this pass: its context ran, and group 0's second context paused.
    EXPECT_EQ(book.global("log"), "start second grouped ");
    EXPECT_EQ(book.global("newGroup"), "1");
    book.tick();
    EXPECT_EQ(book.global("log"), "start second grouped ");
    EXPECT_EQ(book.contexts().context(0).lrc, 1);
    book.contexts().popContextGroup();
    book.run("hvkSignalContext(0)");
    book.tick();
    EXPECT_EQ(book.global("log"), "start second grouped signalled second-again ");
    for (uint64_t i = 0; i < book.contexts().contextCount(); ++i) EXPECT_FALSE(book.contexts().isContextAlive(i));
}

TEST(SchedulerTest, ExitChoiceAndRestartEndThePassWhereTheyShould) {
    BookHarness book(R"(
        runs = 0
        hvkRegisterChapter('a', function()
          runs = runs + 1
          hvkNewContext(0, 0, function() hvkChooseChapter(1) hvkChooseChapter(0) end)
          hvkNewContext(0, 0, function() secondRan = true end)
          nextEvent()
          nextEvent()
        end)
        hvkRegisterChapter('b', function() inB = true end)
    )");
    book.start();
    book.tick();
    // Both choices in one pass: only the last starts, after every context had its turn.
    EXPECT_EQ(book.global("runs"), "2");
    EXPECT_EQ(book.global("inB"), "nil");
    EXPECT_EQ(book.global("secondRan"), "true");

    BookHarness exits(R"(
        hvkRegisterChapter('a', function()
          hvkNewContext(0, 0, function() hvkExit() end)
          hvkNewContext(0, 0, function() laterRan = true end)
          nextEvent()
        end)
    )");
    exits.start();
    EXPECT_EQ(exits.tick(), 2);
    EXPECT_EQ(exits.global("laterRan"), "nil");
    EXPECT_EQ(exits.tick(), 2);
}

TEST(SchedulerTest, ResumesLeaveTheStackAndContextsLeaveNoReferences) {
    BookHarness book(R"(
        count = 0
        hvkRegisterChapter('a', function()
          while true do
            for _ = 1, 50 do
              local big = string.rep('x', 1000)
              hvkNewContext(0, 0, function() count = count + #big // 1000 end)
            end
            nextEvent()
          end
        end)
    )");
    book.start();
    int top = lua_gettop(book.lua());
    book.tick();
    lua_gc(book.lua(), LUA_GCCOLLECT, 0);
    int before = lua_gc(book.lua(), LUA_GCCOUNT, 0);
    for (int i = 0; i < 200; ++i) book.tick();
    lua_gc(book.lua(), LUA_GCCOLLECT, 0);
    EXPECT_EQ(book.global("count"), "10050");
    EXPECT_EQ(lua_gettop(book.lua()), top);
    // Ten thousand contexts with their closures came and went.
    EXPECT_LT(lua_gc(book.lua(), LUA_GCCOUNT, 0) - before, 64);
}

TEST(SchedulerTest, FinishedSoundLoadsReleaseTheirContexts) {
    BookHarness book("hvkRegisterChapter('a', function() hvkWaitContext(0) nextEvent() resumed = true end)");
    book.start();
    book.platform->soundManagerBackend->finishedTags = {0};
    book.tick();
    EXPECT_EQ(book.global("resumed"), "true");

    // A context ended while its sound loads is not released when the load finishes.
    BookHarness ended(R"(
        hvkRegisterChapter('a', function()
          local loader = spawn(function() loadSound('bell.wav') loaded = true end)
          nextEvent() nextEvent()
          hvkTerminateContext(loader)
          while true do nextEvent() end
        end)
    )");
    ended.platform->soundManagerBackend->loadsWait = true;
    ended.start();
    ended.tick();
    ended.tick();
    ASSERT_FALSE(ended.contexts().isContextAlive(1));
    ended.platform->soundManagerBackend->finishLoads();
    testing::internal::CaptureStderr();
    ended.tick();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ended.contexts().context(1).lrc, 0);
    EXPECT_EQ(ended.global("loaded"), "nil");
}

TEST(EngineFunctionTest, SettingsSavesAndThePlatform) {
    test::SaveFileGuard guard;
    BookHarness book(R"(
        hvkRegisterChapter('a', function()
          levels = {}
          levels[1] = hvkSetBrightness(nil)
          levels[2] = hvkSetBrightness(2)
          levels[3] = hvkSetBrightness(-1)
          hvkSetBrightness(1)
          levels[4] = hvkSetBrightness()
          levels = table.concat(levels, ',')
          hvkSetGameTitle('The Title')
          hvkSaveString('line\0after')
          loaded = hvkLoadString()
          hvkSetCompatibilityVersion(1.9)
          hvkSetAnimationDuration(2)
          hvkSaveState()
          hvkSetAnimationEnabled(false)
          hvkSetAnimationScrollLimits(1, 2, 0.5, 0.25, 1)
          context, group = hvkCurrentContext()
        end)
    )");
    book.start();
    EXPECT_EQ(book.global("levels"), "1.0,1.0,0.0,0.0");
    EXPECT_EQ(book.platform->title, "The Title");
    EXPECT_EQ(book.global("loaded"), std::string("line\0after", 10));
    EXPECT_EQ(book.global("context") + book.global("group"), "00");
}

} // namespace
} // namespace hv
