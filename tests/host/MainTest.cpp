// The halvane executable itself, started the way a person starts it.
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace hv {
namespace {

using test::ChildResult;

// Starts the executable with extra environment entries; once `stop` holds for what it has
// written, sends it SIGTERM (which SDL turns into a quit event). A run that never ends is
// killed after a minute so a fault cannot hang the suite; each stream keeps its first MiB,
// as a run that goes wrong may repeat one line without end.
ChildResult runHalvane(const std::vector<std::string>& arguments,
                       const std::map<std::string, std::string>& environment = {},
                       const std::function<bool(const ChildResult&)>& stop = nullptr,
                       rlim_t fileSizeLimit = RLIM_INFINITY) {
    std::string program = std::string(HV_BINARY_DIR) + "/halvane";
    test::ChildWatch watch;
    watch.stop = stop;
    watch.limit = std::chrono::seconds(60);
    watch.keep = size_t(1) << 20;
    return test::runInChild(
        [&] {
            for (auto& [key, value] : environment) setenv(key.c_str(), value.c_str(), 1);
            // With the signal's default action: the program has to ignore it itself.
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
            std::vector<char*> argv{program.data()};
            for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        },
        watch);
}

const std::map<std::string, std::string> headless = {{"SDL_VIDEODRIVER", "offscreen"}, {"SDL_AUDIODRIVER", "dummy"}};

// A sanitizer build checks its leaks at exit, and ends with status 1 when it finds any.
std::map<std::string, std::string> headlessWindow() {
    auto env = headless;
    env["ASAN_OPTIONS"] = "detect_leaks=1";
    env["LSAN_OPTIONS"] = test::leakCheckOptions();
    return env;
}

TEST(MainTest, OptionErrorsEndWithStatusOneBeforeAnyWindow) {
    ChildResult run = runHalvane({"-foo"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "fatal: do not understand argument '-foo'\n");
    EXPECT_EQ(run.out, "");
    run = runHalvane({"-720p", "-size", "800", "0"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "fatal: -size option needs to be followed by a width and a height from 1 to 16384, not '0'\n");
}

TEST(MainTest, HeadlessRunOfTheSampleBookEndsWithStatusZero) {
    auto env = headlessWindow();
    // Ended from outside after a while, as a reader closes the window.
    auto start = std::chrono::steady_clock::now();
    ChildResult run = runHalvane({"-small"}, env, [start](const ChildResult&) {
        return std::chrono::steady_clock::now() - start > std::chrono::seconds(3);
    });
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    // The book is set up on the first frame, before any event reaches it.
    EXPECT_EQ(run.out.find("Dropping event"), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find("err: "), std::string::npos) << run.err;
    // The build lays out the sample book beside the executable: its icon and paper text are found.
    EXPECT_EQ(run.err.find("Unable to find icon"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("paper fail"), std::string::npos) << run.out;
}

TEST(MainTest, FailedStartUpEndsWithStatusOneAndItsLine) {
    auto env = headless;
    env["SDL_VIDEODRIVER"] = "no-such-driver";
    ChildResult run = runHalvane({"-small"}, env);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err.rfind("SDL failed to init:", 0), 0u) << run.err;
}

// Each file read whole at start-up, grown to a size no process here can hold (sparse, so it
// costs no disk), fails its read with a line naming it and counts as unreadable: the run ends
// with status 1 where the file is needed and goes on where it is not, and never aborts.
TEST(MainTest, FilesTooLargeToHoldAreUnreadable) {
    test::TempDir dir;
    std::filesystem::copy(std::string(HV_BINARY_DIR) + "/assets", dir.file("assets"),
                          std::filesystem::copy_options::recursive);
    auto env = headlessWindow();
    env["HalvaneResourceDirectory"] = dir.path();
    const struct {
        const char* file;
        int status; // 0: the run goes on and is ended from outside
        const char* then;
    } cases[] = {
        {"story/book.luac", 1, "err: Could not find data 'book.luac'\n"},
        {"packin/lua/lib.luac", 1, "err: Could not find data 'lib.luac'\n"},
        {"blobs/paper", 1, "Unable to open texture cache: "},
        {"story/version.txt", 0, ""},
        // The renderer fails on every frame: its line is counted, the read's told once.
        {"packin/shaders-gl3/polygon.fsh", 0, "Failed to init renderer (repeated 10 times)\n"},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file("assets/") + c.file;
        std::filesystem::rename(path, path + ".kept");
        test::writeFile(path, "");
        std::filesystem::resize_file(path, uintmax_t(200) << 30);
        const std::string line =
            "getBlobAtPath failed: " + path + ": too large to hold in memory (214748364800 bytes)\n";
        auto seen = [&](const ChildResult& r) {
            return r.err.find(line) != std::string::npos && r.err.find(c.then) != std::string::npos;
        };
        ChildResult run = runHalvane({"-small"}, env, [&](const ChildResult& r) { return c.status == 0 && seen(r); });
        EXPECT_EQ(run.exitStatus, c.status) << c.file << "\n" << run.err;
        EXPECT_TRUE(seen(run)) << c.file << "\n" << run.err;
        EXPECT_EQ(run.err.find(line), run.err.rfind(line)) << "told once: " << run.err;
        std::filesystem::rename(path + ".kept", path);
    }
}

TEST(MainTest, RedirectedStreamsReceiveTheRunsOutput) {
    test::TempDir dir;
    auto env = headless;
    env["HalvaneStreamRedirect"] = dir.file("run");
    ChildResult run = runHalvane({"-bogus"}, env);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "");
    std::ifstream err(dir.file("run-stderr.txt"));
    std::stringstream text;
    text << err.rdbuf();
    EXPECT_EQ(text.str(), "fatal: do not understand argument '-bogus'\n");
    std::ifstream out(dir.file("run-stdout.txt"));
    EXPECT_TRUE(out.good());
}

TEST(MainTest, AFileSizeLimitFailsTheWriteInsteadOfEndingTheRun) {
    test::TempDir dir;
    auto env = headless;
    env["HalvaneStreamRedirect"] = dir.file("run");
    EXPECT_EQ(runHalvane({"-bogus"}, env, nullptr, 10).exitStatus, 1) << "ended by SIGXFSZ";
    std::ifstream err(dir.file("run-stderr.txt"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(err), {}), "fatal: do ")
        << "the line as far as the limit lets it";
}

// An X server of the test's own on the first free display of :91 to :94, stopped by its pid;
// `display` stays empty when none would start.
struct Xvfb {
    pid_t pid = -1;
    std::string display;
    Xvfb() {
        for (int n = 91; n <= 94 && display.empty(); ++n) {
            std::string number = std::to_string(n);
            if (access(("/tmp/.X" + number + "-lock").c_str(), F_OK) == 0) continue;
            if ((pid = fork()) == 0) {
                freopen("/dev/null", "w", stderr);
                execlp("Xvfb", "Xvfb", (":" + number).c_str(), "-screen", "0", "1280x800x24", nullptr);
                _exit(127);
            }
            // Ready once its socket is there; one that ended (the display taken meanwhile) is done.
            for (int wait = 0; wait < 50 && display.empty() && waitpid(pid, nullptr, WNOHANG) == 0; ++wait) {
                usleep(100000);
                if (access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) == 0) display = ":" + number;
            }
            if (display.empty() && pid > 0 && kill(pid, SIGTERM) == 0) waitpid(pid, nullptr, 0);
        }
    }
    ~Xvfb() {
        if (!display.empty() && kill(pid, SIGTERM) == 0) waitpid(pid, nullptr, 0);
    }
};

TEST(MainTest, AnX11DisplayWithoutVsyncRunsPacedToSixtyFrames) {
    if (system("command -v Xvfb >/dev/null") != 0) GTEST_SKIP() << "Xvfb is not installed";
    Xvfb server;
    ASSERT_FALSE(server.display.empty()) << "no Xvfb would start on :91 to :94";
    test::TempDir dir;
    auto env = headlessWindow();
    env["SDL_VIDEODRIVER"] = "x11";
    env["DISPLAY"] = server.display;
    const std::string log = dir.file("fps.txt");
    // Ended once the first frame-rate sample, of 240 frames, is written.
    auto sampled = [&](const ChildResult&) { return std::ifstream(log).peek() != EOF; };
    ChildResult run = runHalvane({"-small", "-fpslogpath", log}, env, sampled);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.err.find("warning: failed to set vsync: "), std::string::npos) << run.err;
    int sample = 0;
    char comma = 0;
    double fps = 0.0;
    std::ifstream(log) >> sample >> comma >> fps;
    EXPECT_EQ(sample, 1);
    EXPECT_GT(fps, 20.0);
    EXPECT_LT(fps, 66.0) << "frames not paced";
}

} // namespace
} // namespace hv
