// The stop signals' watchdog, in children that take a signal and then run on or get stuck.
#include "host/StopSignals.h"
#include "script/Interrupt.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace hv {
namespace {

// "1" when the thread of this name (or task id) blocks SIGINT and SIGTERM, from /proc.
std::string blocksStopSignals(const std::string& thread) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name, line;
        std::getline(std::ifstream(task.path() / "comm"), name);
        for (std::ifstream status(task.path() / "status"); std::getline(status, line);) {
            if ((name != thread && task.path().filename() != thread) || line.rfind("SigBlk:", 0) != 0) continue;
            uint64_t mask = std::stoull(line.substr(7), nullptr, 16);
            return (mask >> (SIGINT - 1) & 1) && (mask >> (SIGTERM - 1) & 1) ? "1" : "0";
        }
    }
    return "no thread " + thread;
}

TEST(StopSignalsTest, ARunThatDoesNotEndInTimeIsEndedWithOneLineAndItsOutput) {
    // The watchdog takes no signal itself, so the handler runs on the main thread.
    const struct {
        void (*afterSignal)();
        std::string out;
        const char* err;
    } cases[] = {
        {[] { noteRunEnded(), std::this_thread::sleep_for(stopGrace * 3 / 2); }, "watchdog 1 main 0", ""},
        {[] { RunningScript running{3}; std::printf("buffered"), sleep(3600); }, "buffered",
         "interrupted: context 3 had to be stopped without the script's help\n"},
        {[] { reportInterruption("context 1"), sleep(3600); }, "", "interrupted: context 1 stopped at \n"},
    };
    for (const auto& c : cases) {
        test::ChildResult child = test::runInChild(
            [&] {
                installStopSignals();
                raise(SIGTERM);
                c.afterSignal();
                std::printf("watchdog %s main %s", blocksStopSignals("halvane.watch").c_str(),
                            blocksStopSignals(std::to_string(getpid())).c_str());
            },
            {.stop = nullptr, .limit = std::chrono::seconds(30)});
        EXPECT_EQ(child.exitStatus, 0) << c.err;
        EXPECT_EQ(child.out, c.out);
        EXPECT_EQ(child.err, c.err);
    }
}

} // namespace
} // namespace hv
