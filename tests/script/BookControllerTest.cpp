// The book controller and the scheduler, driven by short books through the harness.
#include "script/BookController.h"
#include "chapter/ChapterController.h"
#include "core/PathProvider.h"
#include "script/ScriptCompiler.h"
#include "support/BookHarness.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <lua.hpp>

#include <filesystem>
#include <sstream>

namespace hv {
namespace {

using test::BookHarness;

std::string chapter(const std::string& body) { return "hvkRegisterChapter('a', function() " + body + " end)"; }

TEST(BookControllerTest, MisusesEndTheRunWithTheirLine) {
    const std::string noContext = ": no context is running (call it from a chapter or a context)";
    const struct {
        std::string book;
        std::string line;
    } cases[] = {
        // Start-up scripts have no context to hold or set.
        {"hvkSaveState()", "err: hvkSaveState" + noContext},
        {"hvkSetAnimationDuration(1)", "err: hvkSetAnimationDuration" + noContext},
        {"hvkCurrentContext()", "err: hvkCurrentContext" + noContext},
        {"hvkRegisterChapter('a', 1)", "err: createContext: Error booting coroutine"},
        {chapter("") + " hvkChooseChapter(1)", "err: hvkChooseChapter: no chapter 1"},
        {"x = = 1", "err: Could not load book.lua: book.lua:1: unexpected symbol near '='"},
        {"error('boom')", "err: Error executing book.lua: book.lua:1: boom"},
        {chapter("\n  local t = nil\n  t.x = 1\n"),
         "err: tickLuaScheduler: error: book.lua:3: attempt to index a nil value (local 't')"},
        {chapter("hvkTerminateContext(hvkCurrentContext())"),
         "err: hvkTerminateContext: attempting to terminate running context"},
        {chapter("hvkSignalContext(999)"), "err: hvkSignalContext: no context 999"},
        {chapter("hvkWaitContext(-1)"), "err: hvkWaitContext: no context -1"},
        {chapter("hvkWaitContext(2^32)"), "err: hvkWaitContext: no context 4294967296"},
        {chapter("hvkBlessGroup(1)"), "err: hvkBlessGroup: no group 1"},
        {chapter("hvkSetAnimationDuration(0/0)"),
         "err: hvkSetAnimationDuration: argument 1 is not a finite number: nan"},
        {chapter("hvkGetEnv({})"), "err: hvkGetEnv: argument 1 is not a string but table"},
        {chapter("hvkRowHeight(1)"), "err: hvkRowHeight: no row 1"},
        {chapter("hvkError('a', 1, nil)"), "err: lua sourced error, aborting"},
        // Clicking in a loop queues events faster than they are handled: the event never ends.
        {chapter("while true do click() end"),
         "err: BookController::tick: scripts queued more than 10000 pointer events in one event"},
        // Values that are not strings are told by their type or their own tostring, with the place.
        {chapter("error({})"), "err: tickLuaScheduler: error: book.lua:1: error object is a table value"},
        {chapter("\n error()"), "err: tickLuaScheduler: error: book.lua:2: error object is a nil value"},
        {chapter("error(setmetatable({}, {__tostring = function() return 'sunk' end}))"),
         "err: tickLuaScheduler: error: book.lua:1: sunk"},
        {chapter("error(setmetatable({}, {__tostring = function() error('no words', 0) end}))"),
         "err: tickLuaScheduler: error: book.lua:1: error object is a table value (its __tostring failed: no words)"},
        // A book that replaces the coroutine table and then fails outside any protected call
        // still ends through the fatal routine.
        {"coroutine = nil\n" + chapter("nextEvent() error('late')"), "err: tickLuaScheduler: error: book.lua:2: late"},
    };
    for (const auto& c : cases) EXPECT_EQ(test::fatalLineOfBook(c.book, 3), c.line) << c.book;

    auto precompiled = [](BookHarness& book) { book.configuration.precompiledScripts = true; };
    EXPECT_EQ(test::fatalLineOfBook(chapter(""), 0, precompiled), "err: Could not find data 'lib.luac'");

    // Only chunks byte for byte as the bake wrote them load: Lua does not check bytecode.
    const std::string bake = " (bake the book again)";
    const std::string lines[] = {"err: tickLuaScheduler: error: book.lua:1: ran",
                                 "err: Could not load book.luac: it is not the chunk halvane-bake compiled" + bake,
                                 "err: Could not load lib.luac: halvane-bake wrote no digest of it" + bake};
    for (int spoilt = 0; spoilt < 3; ++spoilt) {
        auto compile = [&](BookHarness& book) {
            const std::string assets = book.dir.path();
            std::ostringstream errors;
            compileBookScripts(assets, errors);
            std::string chunk = getStringAtPath(assets + "/story/book.luac").first;
            chunk[chunk.size() / 2] ^= 0x40;
            if (spoilt == 1) writeStringToPath(chunk, assets + "/story/book.luac");
            if (spoilt == 2) std::filesystem::remove(compiledScriptDigestPath(assets + "/blobs", "packin/lua/lib.lua"));
            book.configuration.precompiledScripts = true;
        };
        EXPECT_EQ(test::fatalLineOfBook(chapter("error('ran')"), 1, compile), lines[spoilt]);
    }
}

TEST(BookControllerTest, StartUpReadsTheBookItsSettingsAndThePlatform) {
    test::SaveFileGuard guard;
    Configuration portrait = BookHarness::defaultConfiguration();
    portrait.windowWidth = 800;
    portrait.windowHeight = 1000;
    portrait.env["mood"] = "calm";
    // version.txt loses all its white space; without one the build is a working one.
    for (auto [file, version] : {std::pair<const char*, const char*>{" 1 .2.3\n", "1.2.3"}, {nullptr, "working"}}) {
        BookHarness book(R"(
            hvkSetRowHeight(2)
            hvkRegisterChapter('one', function() ranOne = true end)
            hvkRegisterChapter('two', function()
              started = table.concat({tostring(ranOne), hvkRowHeight(0), hvkCurrentChapterInfo()}, ' ')
              levels = table.concat({hvkSetBrightness(nil), hvkSetBrightness(2), hvkSetBrightness(-1)}, ',')
              hvkSetBrightness(1) levels = levels .. ',' .. hvkSetBrightness()
              hvkSetGameTitle('The Title') hvkSaveString('line\0after') loaded = hvkLoadString()
              hvkSetCompatibilityVersion(1.9) hvkSetAnimationDuration(2) hvkSaveState()
              hvkSetAnimationEnabled(false) hvkSetAnimationScrollLimits(1, 2, 0.5, 0.25, 1)
              context, group = hvkCurrentContext()
            end)
            local _, one, revision, version = hvkBuildType()
            seen = table.concat({tostring(hvkLayoutLandscape()), hvkGetEnv('mood'), hvkGetEnv('nothing'),
              tostring(require), tostring(os ~= nil), tostring(io ~= nil), tostring(debug ~= nil),
              tostring(hvkIsMobile()), table.concat(hvkListChapterNames(), ','), hvkCurrentChapterInfo(),
              tostring(select(2, hvkCurrentChapterInfo())), one, #revision, version}, ' ')
            hvkChooseChapter(1)
        )",
                         portrait);
        if (file) book.addStoryFile("version.txt", file);
        book.start();
        EXPECT_EQ(book.global("seen"),
                  std::string("false calm  nil false true true false one,two 0 nil 1 40 ") + version);
        // The chosen chapter starts first, and what the book script did to the page went at its start.
        EXPECT_EQ(book.global("started"), "nil 0.0 1 two");
        EXPECT_EQ(book.global("levels"), "1.0,1.0,0.0,0.0");
        EXPECT_EQ(book.platform->title, "The Title");
        EXPECT_EQ(book.global("loaded"), std::string("line\0after", 10));
        EXPECT_EQ(book.global("context") + book.global("group"), "00");
    }
}

TEST(BookControllerTest, StartUpCanEndBeforeAnyChapter) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(BookHarness("x = 1").init());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "BookController::init: the book registers no chapter\n");

    BookHarness exits(chapter("started = true") + " hvkExit()");
    ASSERT_TRUE(exits.init());
    exits.book().setPendingChapter(0);
    EXPECT_EQ(exits.tick(), 2);
    EXPECT_EQ(exits.global("started"), "nil");

    // A context the book script made and ended leaves the next one its defaults, not its frames.
    BookHarness ends("local c = hvkNewContext(0, 0, function() end)\nhvkTerminateContext(c)\n"
                     "hvkNewContext(0, 0, function() hvkSleep(0) survived = true end)\n" +
                     chapter(""));
    ends.start();
    EXPECT_EQ(ends.global("survived"), "true");
}

TEST(SchedulerTest, ContextsRunOncePerEventInTheirGroups) {
    BookHarness book(R"(
        log = ''
        local function note(text) log = log .. text .. ' ' end
        hvkRegisterChapter('a', function()
          note('start')
          hvkNewContext(0, 0, function() note('second') nextEvent() note('second-again') end)
          local third = hvkNewContext(0, 0, function() note('third') end)
          local _, group = hvkNewContext(1, 0, function() note('grouped') end)
          nextEvent() hvkTerminateContext(third) nextEvent()
          hvkPushContextGroup(group) waitForSignal() note('signalled')
        end)
    )");
    book.start();
    EXPECT_EQ(book.global("log"), "start ");
    book.tick();
    // The first context terminated the third before its first turn; the grouped one waits.
    EXPECT_EQ(book.global("log"), "start second ");
    book.tick();
    // The new group went on top in this pass: its context ran, and group 0's second context paused.
    EXPECT_EQ(book.global("log"), "start second grouped ");
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
          nextEvent() nextEvent()
        end)
        hvkRegisterChapter('b', function() inB = true end)
    )");
    book.start();
    book.tick();
    // Both choices in one pass: only the last starts, after every context had its turn.
    EXPECT_EQ(book.global("runs") + book.global("inB") + book.global("secondRan"), "2niltrue");

    BookHarness exits(chapter("hvkNewContext(0, 0, function() hvkExit() end)\n"
                              "hvkNewContext(0, 0, function() laterRan = true end) nextEvent()"));
    exits.start();
    EXPECT_EQ(exits.tick(), 2);
    EXPECT_EQ(exits.global("laterRan"), "nil");
    EXPECT_EQ(exits.tick(), 2);
}

TEST(SchedulerTest, ResumesLeaveTheStackAndContextsLeaveNoReferences) {
    BookHarness book(chapter(R"(
          while true do
            for _ = 1, 50 do
              local big = string.rep('x', 1000)
              hvkNewContext(0, 0, function() count = count + #big // 1000 end)
            end
            nextEvent()
          end)") + "\ncount = 0");
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

TEST(SchedulerTest, FinishedSoundLoadsReleaseOnlyLivingContexts) {
    // A context ended while its sound loads is not released when the load finishes.
    BookHarness book(chapter("local loader = spawn(function() loadSound('bell.wav') loaded = true end)\n"
                             "spawn(function() loadSound('horn.wav') alsoLoaded = true end)\n"
                             "nextEvent() nextEvent() hvkTerminateContext(loader) while true do nextEvent() end"));
    book.platform->soundManagerBackend->loadsWait = true;
    book.start();
    for (int i = 0; i < 2; ++i) book.tick();
    ASSERT_FALSE(book.contexts().isContextAlive(1));
    book.platform->soundManagerBackend->finishLoads();
    testing::internal::CaptureStderr();
    book.tick();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(book.contexts().context(1).lrc, 0);
    EXPECT_EQ(book.global("loaded") + book.global("alsoLoaded"), "niltrue");
}

} // namespace
} // namespace hv
