// halvane started headless on small books of the test's own.
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace hv {
namespace {

// Runs halvane headless on a copy of the build's assets with the test's book script, baked by
// the build's tool; `watch` may stop it. With `fifo`, "sounds/stuck.wav" and "fonts/Pipe.ttf"
// are FIFOs no one writes.
test::ChildResult runBook(const std::string& book, const std::vector<std::string>& arguments = {"-small"},
                          test::ChildWatch watch = {}, bool fifo = false) {
    test::TempDir dir;
    std::filesystem::copy(std::string(HV_BINARY_DIR) + "/assets", dir.file("assets"),
                          std::filesystem::copy_options::recursive);
    test::writeFile(dir.file("assets/story/book.lua"), book);
    std::string bake = std::string(HV_BINARY_DIR) + "/tools/halvane-bake";
    test::ChildResult baked = test::runInChild([&] {
        execl(bake.c_str(), bake.c_str(), dir.file("assets").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    });
    if (baked.exitStatus != 0) return baked;
    for (const char* name : {"sounds/stuck.wav", "fonts/Pipe.ttf"}) {
        if (fifo) mkfifo(dir.file(std::string("assets/story/") + name).c_str(), 0600);
    }
    std::string program = std::string(HV_BINARY_DIR) + "/halvane";
    std::string suppressions = dir.file("third-party-leaks.supp");
    test::writeFile(suppressions, "leak:swrast_dri.so\nleak:libSDL2-2.0.so\n");
    watch.limit = std::chrono::seconds(60);
    return test::runInChild(
        [&] {
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            setenv("HalvaneResourceDirectory", dir.path().c_str(), 1);
            setenv("LSAN_OPTIONS", ("suppressions=" + suppressions + ":print_suppressions=0").c_str(), 1);
            std::vector<char*> argv{program.data()};
            for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        },
        watch);
}

// The synthetic pointer clicks one rect and drags another, then the book ends itself; a click or
// drag that never lands ends the run with "err: " instead.
const char* handBook = R"(
local function within(done, what)
  for pass = 1, 600 do if done() then return end nextEvent() end
  hvkError(what .. ' never happened')
end
hvkRegisterChapter('hand', function()
  local board = hvkNewCanvas(0, 6, 3, 1, 0)
  hvkSetCanvasLabel(board, 'board')
  local button, knob = hvkCreateActiveRect(board, 0, 0.5, 0.5, 1, 1), hvkCreateActiveRect(board, 0, 2.5, 0.5, 1, 1)
  local clicked, dragged = false, false
  spawn(function() waitForClick(button) clicked = true end)
  spawn(function() waitForDrag(knob) dragged = waitForDrag(knob) > 0 end)
  hvkSetAnimationDuration(0.1)
  glidePointer('board', 1 / 6, 0.5)
  click()
  within(function() return clicked end, 'the click')
  glidePointer('board', 0.5, 0.5)
  hvkSynthesizeMouse(true)
  glidePointer('board', 0.75, 0.5)
  hvkSynthesizeMouse(false)
  within(function() return dragged end, 'the drag')
  hvkExit()
end)
)";

TEST(BookRunTest, TheBookEndsTheRunWithItsStatus) {
    // A font that would block is none, and a sound that never finishes loading does not keep the
    // run from ending; a paragraph too tall to show is misuse.
    const struct {
        std::string book;
        int status;
        const char* errorLine; // a line the error stream must hold, or nullptr for none at all
        bool fifo = false;
    } cases[] = {
        {handBook, 0, nullptr},
        {"hvkRegisterChapter('a', function() end)\nhvkExit()\n", 0, nullptr},
        {"x = 1\n", 1, "Failed to init book controller\n"},
        {"hvkRegisterChapter('a', function() hvkSetTypeface('Pipe', 1) spawn(function() loadSound('sounds/stuck.wav') "
         "end) sleep(0.1) hvkExit() end)",
         0, "SDLSoundManager::shutdown: 1 sound is still loading; left behind\n", true},
        {"hvkRegisterChapter('a', function() hvkSetTypeface('DejaVuSerif', 3)\n"
         "hvkCreateParagraph(string.rep('word ', 2000), 0.5, 'left') hvkExit() end)\n",
         1,
         "err: hvkCreateParagraph: a text of 10000 bytes makes an image of 53 x 132000 pixels, more than a texture can "
         "hold (16384 a side)\n"},
    };
    for (const auto& c : cases) {
        test::ChildResult run = runBook(c.book, {"-small"}, {}, c.fifo);
        EXPECT_EQ(run.exitStatus, c.status) << c.book << run.err;
        if (c.errorLine) EXPECT_NE(run.err.find(c.errorLine), std::string::npos) << c.book << run.err;
        else EXPECT_EQ(run.err.find("err: "), std::string::npos) << c.book << run.err;
        EXPECT_EQ(run.out.find("Dropping event"), std::string::npos) << run.out;
    }
}

// Ctrl-C or SIGTERM while a script spins without yielding ends the run at once, as closing the
// window does, with one line naming what was stopped and where. The options also start the
// book with a screen that is not there and a negative threshold.
TEST(BookRunTest, AStopSignalEndsAScriptThatNeverYields) {
    const struct {
        const char* book;
        int signal;
        const char* line;
    } cases[] = {
        {"hvkRegisterChapter('spin', function()\n  print('spinning') while true do end\nend)\n", SIGINT,
         "interrupted: context 0 stopped at book.lua:2\n"},
        // Caught by pcall, the stop comes again at the next instruction outside it.
        {"hvkRegisterChapter('a', function()\n  spawn(function()\n    print('spinning') while true do pcall(function() "
         "while true do end end) end\n  end)\nend)\n",
         SIGTERM, "interrupted: context 1 stopped at book.lua:3\n"},
        {"print('spinning') while true do end\n", SIGINT, "interrupted: start-up script book.lua stopped at book.lua:1\n"},
    };
    for (const auto& c : cases) {
        std::chrono::steady_clock::time_point signalled;
        test::ChildWatch watch;
        watch.stopSignal = c.signal;
        watch.stop = [&](const test::ChildResult& run) {
            signalled = std::chrono::steady_clock::now();
            return run.out.find("spinning") != std::string::npos;
        };
        test::ChildResult run = runBook(c.book, {"-small", "-screen", "-1", "-failframerate", "-5"}, watch);
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(1)) << c.book;
        EXPECT_EQ(run.exitStatus, 0) << c.book << run.err;
        EXPECT_NE(run.err.find("warning: trying to use non-existent screen -2\n"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.line), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("interrupted: "), run.err.rfind("interrupted: ")) << "one line: " << run.err;
        EXPECT_EQ(run.err.find("err: "), std::string::npos) << run.err;
    }
}

} // namespace
} // namespace hv
