// halvane, and its host in a child, started headless on small books of the test's own.
#include "chapter/ChapterController.h"
#include "host/Options.h"
#include "host/SdlHost.h"
#include "script/BookController.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <SDL.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace hv {
namespace {

// Runs halvane headless on a copy of the build's assets with the test's book script, baked by
// the build's tool, where "sounds/stuck.wav" and "fonts/Pipe.ttf" are FIFOs no one writes; `watch`
// may stop it. The options also name a screen that is not there and a negative threshold. A
// `picture` is the story's pictures/crossing.svg, which the bake does not see, so it runs -nocache.
test::ChildResult runBook(const std::string& book, test::ChildWatch watch, const char* picture = nullptr) {
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
    for (std::string f : {"sounds/stuck.wav", "fonts/Pipe.ttf"}) mkfifo(dir.file("assets/story/" + f).c_str(), 0600);
    if (picture) test::writeFile(dir.file("assets/story/pictures/crossing.svg"), picture);
    std::string program = std::string(HV_BINARY_DIR) + "/halvane";
    watch.limit = std::chrono::seconds(60);
    return test::runInChild(
        [&] {
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            setenv("HalvaneResourceDirectory", dir.path().c_str(), 1);
            setenv("LSAN_OPTIONS", test::leakCheckOptions().c_str(), 1);
            execl(program.c_str(), program.c_str(), "-small", "-screen", "-1", "-failframerate", "-5",
                  picture ? "-nocache" : nullptr, static_cast<char*>(nullptr));
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
    // A font that would block is none, and a sound that would block is refused; neither keeps the
    // run from ending; a paragraph too tall to show is misuse. Ctrl-C or SIGTERM while a script
    // spins without yielding ends the run at once, as closing the window does, with one line
    // naming what was stopped and where. Where the stop hook cannot reach (a coroutine made before
    // the signal, a long C call, a finaliser, the engine's triangulation of a path crossing itself
    // everywhere), the first signal still ends the run, with one line saying what had to be stopped.
    std::string crossing = "<svg><path d='M";
    for (double i = 0; i < 600000; ++i) {
        crossing += std::to_string(cos(i * 232.795)) + "," + std::to_string(sin(i * 232.795)) + " ";
    }
    crossing += "Z'/></svg>";
    const char* context0 = "interrupted: context 0 had to be stopped without the script's help\n";
    const struct {
        std::string book;
        int status;
        const char* errorLine; // a line the error stream must hold
        int signal = 0;        // sent 300 ms after the book printed "spinning", once a long call began
        bool hooked = true;    // stopped by the stop hook, not by the watchdog after its grace
        const char* picture = nullptr;
    } cases[] = {
        {handBook, 0, nullptr},
        {"hvkRegisterChapter('a', function() end)\nhvkExit()\n", 0, nullptr},
        {"x = 1\n", 1, "Failed to init book controller\n"},
        {"hvkRegisterChapter('a', function() hvkSetTypeface('Pipe', 1) spawn(function() loadSound('sounds/stuck.wav') "
         "end) sleep(0.1) hvkExit() end)",
         1, "/sounds/stuck.wav is not a regular file but a FIFO\n"},
        {"hvkRegisterChapter('a', function() hvkSetTypeface('DejaVuSerif', 3)\n"
         "hvkCreateParagraph(string.rep('word ', 2000), 0.5, 'left') hvkExit() end)\n",
         1,
         "err: hvkCreateParagraph: a text of 10000 bytes makes an image of 53 x 132000 pixels, more than a texture can "
         "hold (16384 a side)\n"},
        {"hvkRegisterChapter('spin', function()\n  print('spinning') while true do end\nend)\n", 0,
         "interrupted: context 0 stopped at book.lua:2\n", SIGINT},
        // Caught by pcall, the stop comes again at the next instruction outside it.
        {"hvkRegisterChapter('a', function()\n  spawn(function()\n    print('spinning') while true do pcall(function() "
         "while true do end end) end\n  end)\nend)\n",
         0, "interrupted: context 1 stopped at book.lua:3\n", SIGTERM},
        {"print('spinning') while true do end\n", 0, "interrupted: start-up script book.lua stopped at book.lua:1\n",
         SIGINT},
        {"hvkRegisterChapter('a', function() print('spinning') coroutine.wrap(function() while true do end end)() end)",
         0, context0, SIGINT, false},
        {"hvkRegisterChapter('a', function() print('spinning') string.find(string.rep('a', 1e5), '.-.-.-.-.-.-b') end)",
         0, context0, SIGTERM, false},
        {"hvkRegisterChapter('a', function() setmetatable({}, {__gc = function() while true do end end})\n"
         "print('spinning') collectgarbage() end)",
         0, context0, SIGINT, false},
        {"hvkRegisterChapter('a', function() local canvas = hvkNewCanvas(0, 6, 3, 1, 0)\n"
         "hvkSvgInsertShape(hvkPrepareSvgShape(hvkPrepareSvg('pictures/crossing.svg'), 'auto-1'), canvas, 0, 3, 3)\n"
         "print('spinning') end)",
         0, "interrupted: the engine's own work had to be stopped without the script's help\n", SIGTERM, false,
         crossing.c_str()},
    };
    using Clock = std::chrono::steady_clock;
    for (const auto& c : cases) {
        Clock::time_point spinning, signalled, stopped, none; // the script's stop is told by its line
        test::ChildWatch watch;
        watch.stopSignal = c.signal;
        watch.stop = [&](const test::ChildResult& run) {
            const Clock::time_point now = Clock::now();
            if (spinning == none && c.signal && run.out.find("spinning") != std::string::npos) spinning = now;
            if (spinning == none || now - spinning < std::chrono::milliseconds(300)) return false;
            if (signalled == none) signalled = now;
            if (stopped == none && run.err.find("interrupted: ") != std::string::npos) stopped = now;
            return true;
        };
        test::ChildResult run = runBook(c.book, watch, c.picture);
        // Only the stop is quick; the teardown after it may take a while on a busy machine.
        EXPECT_TRUE(!c.signal || stopped - signalled < std::chrono::seconds(c.hooked ? 1 : 8)) << c.book << run.err;
        EXPECT_TRUE(!c.signal || Clock::now() - signalled < std::chrono::seconds(15)) << c.book;
        EXPECT_EQ(run.exitStatus, c.status) << c.book << run.err;
        EXPECT_NE(run.err.find("warning: trying to use non-existent screen -2\n"), std::string::npos) << run.err;
        EXPECT_TRUE(!c.errorLine || run.err.find(c.errorLine) != std::string::npos) << c.book << run.err;
        EXPECT_TRUE(c.status != 0 || run.err.find("err: ") == std::string::npos) << c.book << run.err;
        EXPECT_EQ(run.err.find("interrupted: "), run.err.rfind("interrupted: ")) << "one line: " << run.err;
        EXPECT_EQ(run.out.find("Dropping event"), std::string::npos) << run.out;
    }
}

// The host in a child, with wheel events handed to it and ticks without the pacing of frames:
// one notch, with its coasting, moves the page about 90 pixels, under a quarter of the view. The book's one row is far
// taller than the view, so neither end of the page stops the scroll.
void expectNotchesToScroll(const char* size, double view, double dt) {
    SCOPED_TRACE(std::string(size) + " at " + std::to_string(1 / dt) + " frames a second");
    test::TempDir story;
    test::writeFile(story.file("book.lua"),
                    "hvkRegisterChapter('a', function() hvkSetRowHeight(60) hvkNewRow(false) end)");
    test::writeFile(story.file("paper.txt"), "size 64 base-frequency 4 frequency-multiplier 2 amplitude-count 3 "
                                             "attenuation 0.5 intensity 0.3\n");
    test::ChildResult child = test::runInChild([&] {
        Configuration options = parseOptions({size, "-nocache"}).configuration;
        options.precompiledScripts = false;
        SdlHost host;
        auto packin = std::make_shared<PathProvider>(std::string(HV_BINARY_DIR) + "/assets/packin");
        if (!host.init(options, std::make_shared<PathProvider>(story.path()), packin)) return;
        host.running = true;
        host.setupBook();
        host.tick();
        host.dt = dt; // the offscreen display reports no refresh rate
        const RowOffsets& rows = host.controller->chapterController()->rows;
        for (int notch : {-1, -1, 1}) { // SDL's y is negative toward the reader: down the page
            double before = rows.position;
            SDL_Event wheel{};
            wheel.type = SDL_MOUSEWHEEL;
            wheel.wheel.y = notch;
            host.handleSdlEvent(wheel);
            for (int pass = 0; pass < 60; ++pass) host.tick(); // a second or two: the coasting stops
            std::cout << rows.position - before << "\n";
        }
    });
    ASSERT_EQ(child.exitStatus, 0) << child.err;
    std::istringstream lines(child.out);
    for (double sign : {1.0, 1.0, -1.0}) {
        double moved = 0.0;
        ASSERT_TRUE(lines >> moved) << child.out;
        EXPECT_NEAR(sign * moved, 90.0, 30.0) << child.out;
        EXPECT_LE(sign * moved, view / 4) << child.out;
    }
}

TEST(BookRunTest, OneWheelNotchWithItsCoastingScrollsAboutTheSameOnEveryWindow) {
    for (double dt : {1.0 / 60, 1.0 / 30}) expectNotchesToScroll("-small", 360.0, dt);
    for (double dt : {1.0 / 60, 1.0 / 30}) expectNotchesToScroll("-1080p", 1080.0, dt);
}

} // namespace
} // namespace hv
