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

namespace hv {
namespace {

// The book opens at the chapter it remembers; the walkthrough chooses the chapter after the one
// it began with from the plaques at the end, and the book remembers that one.
TEST(WalkthroughTest, TheSampleBookPlaysItselfRecordsItsHarbourAndRemembersTheChapterChosen) {
    test::SaveFileGuard save;
    std::remove((dataDirectory() + "save.txt").c_str());
    test::TempDir dir;
    std::string program = std::string(HV_BINARY_DIR) + "/halvane";
    test::ChildWatch watch;
    watch.limit = std::chrono::seconds(90);
    // Read from the first chapter, the walkthrough chooses the second. The next run opens at the
    // second (so it never records the first one's harbour) and chooses the third.
    for (const std::string chosen : {"1", "2"}) {
        const std::string recording = dir.file(chosen + ".gif");
        test::ChildResult run = test::runInChild(
            [&] {
                setenv("SDL_VIDEODRIVER", "offscreen", 1);
                setenv("SDL_AUDIODRIVER", "dummy", 1);
                setenv("LSAN_OPTIONS", test::leakCheckOptions().c_str(), 1);
                execl(program.c_str(), program.c_str(), "-small", "-env", "walkthrough", "1", "-env", "record",
                      recording.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            },
            watch);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.err.find("err: "), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("error (ignoring and continuing)"), std::string::npos) << run.err;
        EXPECT_EQ(getStringAtPath(dataDirectory() + "save.txt"), std::make_pair(chosen, true));
        EXPECT_EQ(std::filesystem::exists(recording), chosen == "1") << recording;
    }

    test::DecodedGif gif = test::readGif(dir.file("1.gif"));
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_GE(gif.frames.size(), 60u);
    // The boat sails and the gull flaps: frames a second apart differ.
    EXPECT_NE(gif.frames.front().composited, gif.frames[60].composited);
    EXPECT_NE(gif.frames[60].composited, gif.frames.back().composited);
}

} // namespace
} // namespace hv
