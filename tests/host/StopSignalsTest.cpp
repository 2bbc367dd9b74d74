// The stop signals' watchdog, in children that take a signal and then run on or get stuck.
#include "host/SDLSoundManager.h"
#include "host/StopSignals.h"
#include "script/Interrupt.h"
#include "support/ChildProcess.h"
#include "support/Sounds.h"
#include "support/TempDir.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <unistd.h>

namespace hv {
namespace {

// The signals a thread blocks, from its status in /proc; the main thread's task is the process's
// own. Waits for a thread that is starting to take its name.
std::string blockedSignals(const std::string& threadName) {
    for (int attempt = 0; attempt < 400; ++attempt) {
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            std::string name;
            std::getline(std::ifstream(task.path() / "comm"), name);
            if (name != threadName && task.path().filename() != threadName) continue;
            std::ifstream status(task.path() / "status");
            for (std::string line; std::getline(status, line);) {
                if (line.rfind("SigBlk:", 0) == 0) return line.substr(line.find_first_not_of(" \t", 7));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return "no thread named " + threadName;
}

bool blocksStopSignals(const std::string& mask) {
    uint64_t bits = std::strtoull(mask.c_str(), nullptr, 16);
    return (bits >> (SIGINT - 1) & 1) && (bits >> (SIGTERM - 1) & 1);
}

TEST(StopSignalsTest, AStopTheRunCannotTakeEndsItAfterTheGraceWithOneLine) {
    // Each child takes the signal on its main thread and then does what the case says.
    const struct {
        const char* what;
        std::function<void()> afterSignal;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {"ends in time",
         [] {
             noteRunEnded();
             std::this_thread::sleep_for(stopGrace + std::chrono::milliseconds(500));
             std::printf("ran on");
         },
         0, "ran on", ""},
        {"stuck in the engine, with output still buffered",
         [] {
             std::printf("buffered");
             for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
         },
         0, "buffered", "interrupted: the engine's own work had to be stopped without the script's help\n"},
        {"stuck in a context",
         [] {
             RunningScript running{3};
             for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
         },
         0, "", "interrupted: context 3 had to be stopped without the script's help\n"},
        {"stuck in a start-up script",
         [] {
             RunningScript running{startUpScriptsRun};
             for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
         },
         0, "", "interrupted: a start-up script had to be stopped without the script's help\n"},
        {"stuck after the script's line",
         [] {
             reportInterruption("context 1");
             for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
         },
         0, "", "interrupted: context 1 stopped at \n"},
    };
    for (const auto& c : cases) {
        test::ChildWatch watch;
        watch.limit = std::chrono::seconds(30);
        auto start = std::chrono::steady_clock::now();
        test::ChildResult child = test::runInChild(
            [&] {
                installStopSignals();
                raise(SIGTERM);
                c.afterSignal();
            },
            watch);
        EXPECT_EQ(child.exitStatus, c.status) << c.what;
        EXPECT_EQ(child.out, c.out) << c.what;
        EXPECT_EQ(child.err, c.err) << c.what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << c.what;
    }
}

TEST(StopSignalsTest, TheEnginesThreadsLeaveTheStopSignalsToTheMainThread) {
    test::TempDir dir;
    // Ten minutes at 8 kHz: converting them keeps the loader going while it is looked at.
    test::writeFile(dir.file("slow.wav"), test::wavHeader(8000, 1, 8, 8000 * 600) + std::string(8000 * 600, '\x80'));
    test::ChildResult child = test::runInChild([&] {
        installStopSignals();
        SDL_Init(SDL_INIT_AUDIO);
        Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024);
        auto manager = std::make_shared<SDLSoundManager>();
        manager->setPaths(std::make_shared<PathProvider>(dir.path()));
        manager->setSoundTable(std::make_shared<SoundTable>());
        manager->loadSound("slow.wav", 1);
        std::printf("watchdog %d loader %d main %d\n", blocksStopSignals(blockedSignals("halvane.watch")),
                    blocksStopSignals(blockedSignals("halvane.bgsound")),
                    blocksStopSignals(blockedSignals(std::to_string(getpid()))));
        manager->shutdown();
    });
    EXPECT_EQ(child.exitStatus, 0) << child.err;
    EXPECT_EQ(child.out, "watchdog 1 loader 1 main 0\n") << child.err;
}

} // namespace
} // namespace hv
