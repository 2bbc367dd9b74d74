// The halvane executable itself, started the way a person starts it.
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace hv {
namespace {

struct ProgramRun {
    int status = -1; // exit status, -1 when killed
    std::string out;
    std::string err;
};

// Starts the executable with extra environment entries; once `stop` holds for what it has
// written, sends it SIGTERM (which SDL turns into a quit event). A run that never ends is
// killed after a minute so a fault cannot hang the suite.
ProgramRun runHalvane(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& environment = {},
               const std::function<bool(const ProgramRun&)>& stop = nullptr) {
    std::string program = std::string(HV_BINARY_DIR) + "/halvane";
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) close(fd);
        for (auto& [key, value] : environment) setenv(key.c_str(), value.c_str(), 1);
        std::vector<char*> argv{program.data()};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    ProgramRun run;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool signalled = false;
    int open = 2;
    while (open > 0) {
        if (!signalled && stop && stop(run)) {
            kill(pid, SIGTERM);
            signalled = true;
        }
        if (std::chrono::steady_clock::now() > deadline) kill(pid, SIGKILL);
        if (poll(fds, 2, 100) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[65536];
            ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
            if (n > 0) {
                // Keep the start and the end of a long stream; the middle is the same line again.
                if (sinks[i]->size() < (1u << 20)) sinks[i]->append(buffer, size_t(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

const std::map<std::string, std::string> headless = {{"SDL_VIDEODRIVER", "offscreen"}, {"SDL_AUDIODRIVER", "dummy"}};

// The software GL driver and SDL's offscreen video keep a few blocks to the end of any
// program that opens a GL window, however carefully it closes; a sanitizer build of the
// executable is told to overlook those, and only those libraries.
std::map<std::string, std::string> headlessWindow(const test::TempDir& dir) {
    std::string suppressions = dir.file("third-party-leaks.supp");
    test::writeFile(suppressions, "leak:swrast_dri.so\nleak:libSDL2-2.0.so\n");
    auto env = headless;
    env["LSAN_OPTIONS"] = "suppressions=" + suppressions + ":print_suppressions=0";
    return env;
}

TEST(MainTest, OptionErrorsEndWithStatusOneBeforeAnyWindow) {
    ProgramRun run = runHalvane({"-foo"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "fatal: do not understand argument '-foo'\n");
    EXPECT_EQ(run.out, "");
    run = runHalvane({"-720p", "-size", "800", "0"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "fatal: invalid argument to -size\n");
}

TEST(MainTest, HeadlessRunDropsEventsAndEndsWithStatusZeroOnQuit) {
    test::TempDir dir;
    auto env = headlessWindow(dir);
    ProgramRun run = runHalvane({"-small"}, env, [](const ProgramRun& r) {
        return r.out.find("Dropping event as book controller is not setup yet\n") != std::string::npos;
    });
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Dropping event as book controller is not setup yet\n", 0), 0u);
    // The build lays out the sample book beside the executable: its icon and paper text are found.
    EXPECT_EQ(run.err.find("Unable to find icon"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("paper fail"), std::string::npos) << run.out;
}

TEST(MainTest, FailedStartUpEndsWithStatusOneAndItsLine) {
    auto env = headless;
    env["SDL_VIDEODRIVER"] = "no-such-driver";
    ProgramRun run = runHalvane({"-small"}, env);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("SDL failed to init:", 0), 0u) << run.err;
}

TEST(MainTest, RedirectedStreamsReceiveTheRunsOutput) {
    test::TempDir dir;
    auto env = headless;
    env["HalvaneStreamRedirect"] = dir.file("run");
    ProgramRun run = runHalvane({"-bogus"}, env);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "");
    std::ifstream err(dir.file("run-stderr.txt"));
    std::stringstream text;
    text << err.rdbuf();
    EXPECT_EQ(text.str(), "fatal: do not understand argument '-bogus'\n");
    std::ifstream out(dir.file("run-stdout.txt"));
    EXPECT_TRUE(out.good());
}

} // namespace
} // namespace hv
