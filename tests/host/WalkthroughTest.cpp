// The sample book reads itself from the chapter it remembers to its end, headless, records its
// harbour on the way and remembers the chapter chosen at the end.
#include "core/PathProvider.h"
#include "core/ResourcePaths.h"
#include "support/BookHarness.h"
#include "support/ChildProcess.h"
#include "support/GifReading.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace hv {
namespace {

// Runs the walkthrough headless; `extra` are further options.
test::ChildResult runWalkthrough(std::vector<std::string> extra) {
    std::string program = std::string(HV_BINARY_DIR) + "/halvane";
    std::vector<std::string> args = {program, "-small", "-env", "walkthrough", "1"};
    args.insert(args.end(), extra.begin(), extra.end());
    test::ChildWatch watch;
    watch.limit = std::chrono::seconds(90);
    return test::runInChild(
        [&] {
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            setenv("LSAN_OPTIONS", test::leakCheckOptions().c_str(), 1);
            std::vector<char*> argv;
            for (std::string& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        },
        watch);
}

// The book opens at the chapter it remembers; the walkthrough chooses the chapter after the one
// it began with from the plaques at the end, and the book remembers that one.
TEST(WalkthroughTest, TheSampleBookPlaysItselfRecordsItsHarbourAndRemembersTheChapterChosen) {
    test::SaveFileGuard save;
    std::remove((dataDirectory() + "save.txt").c_str());
    test::TempDir dir;
    std::string recording = dir.file("harbour.gif");
    test::ChildResult run = runWalkthrough({"-env", "record", recording});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err.find("err: "), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("error (ignoring and continuing)"), std::string::npos) << run.err;

    test::DecodedGif gif = test::readGif(recording);
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_GE(gif.frames.size(), 60u);
    // The boat sails and the gull flaps: frames a second apart differ.
    EXPECT_NE(gif.frames.front().composited, gif.frames[60].composited);
    EXPECT_NE(gif.frames[60].composited, gif.frames.back().composited);
    // Read from the first chapter, the walkthrough chose the second.
    EXPECT_EQ(getStringAtPath(dataDirectory() + "save.txt"), std::make_pair(std::string("1"), true));

    // The next run opens at the second chapter (so it never records the first one's harbour)
    // and chooses the third.
    std::string second = dir.file("second.gif");
    run = runWalkthrough({"-env", "record", second});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err.find("err: "), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(second));
    EXPECT_EQ(getStringAtPath(dataDirectory() + "save.txt"), std::make_pair(std::string("2"), true));
}

} // namespace
} // namespace hv
