// The sample book reads itself from its first chapter to its end, headless, and records its
// harbour on the way.
#include "core/PathProvider.h"
#include "core/ResourcePaths.h"
#include "support/BookHarness.h"
#include "support/ChildProcess.h"
#include "support/GifReading.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace hv {
namespace {

TEST(WalkthroughTest, TheSampleBookPlaysItselfToTheEndAndRecordsItsHarbour) {
    test::SaveFileGuard save; // the book remembers the chapter reached
    test::TempDir dir;
    std::string recording = dir.file("harbour.gif");
    std::string program = std::string(HV_BINARY_DIR) + "/halvane";
    test::ChildWatch watch;
    watch.limit = std::chrono::seconds(90);
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

    test::DecodedGif gif = test::readGif(recording);
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_GE(gif.frames.size(), 60u);
    // The boat sails and the gull flaps: frames a second apart differ.
    EXPECT_NE(gif.frames.front().composited, gif.frames[60].composited);
    EXPECT_NE(gif.frames[60].composited, gif.frames.back().composited);
    // The walkthrough read the last chapter: the book would start from the beginning next time.
    auto [saved, found] = getStringAtPath(dataDirectory() + "save.txt");
    EXPECT_TRUE(found);
    EXPECT_EQ(saved, "0");
}

} // namespace
} // namespace hv
