// The sample book reads itself from its first chapter to its end, headless, and records its
// harbour on the way; then from the chapter it chose there.
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

// One headless walkthrough of the sample book, recording to `recording`; it must end cleanly.
void walkThrough(const std::string& recording) {
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
}

// Read from the first chapter, the walkthrough chooses the second from the plaques at the end. The
// next run opens at the second (so it never records the first one's harbour) and chooses the third.
TEST(WalkthroughTest, TheSampleBookPlaysItselfRecordsItsHarbourAndRemembersTheChapterChosen) {
    test::SaveFileGuard save; // the book remembers the chapter reached
    std::remove((dataDirectory() + "save.txt").c_str());
    test::TempDir dir;
    std::string recording = dir.file("harbour.gif");
    walkThrough(recording);
    EXPECT_EQ(getStringAtPath(dataDirectory() + "save.txt"), (std::pair<std::string, bool>("1", true)));
    walkThrough(dir.file("second.gif"));
    EXPECT_EQ(getStringAtPath(dataDirectory() + "save.txt"), (std::pair<std::string, bool>("2", true)));
    EXPECT_FALSE(std::filesystem::exists(dir.file("second.gif")));

    test::DecodedGif gif = test::readGif(recording);
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_GE(gif.frames.size(), 60u);
    // The boat sails and the gull flaps: frames a second apart differ.
    EXPECT_NE(gif.frames.front().composited, gif.frames[60].composited);
    EXPECT_NE(gif.frames[60].composited, gif.frames.back().composited);
}

} // namespace
} // namespace hv
