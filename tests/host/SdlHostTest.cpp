#include "host/Options.h"
#include "host/SdlHost.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <SDL.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace hv {
namespace {

size_t countOf(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
    return count;
}

const std::string dropLine = "Dropping event as book controller is not setup yet\n";

TEST(FramePacingTest, RefreshRateAndRequestedRateGiveStepAndMultiplier) {
    std::ostringstream out, err;
    SdlHost::FramePacing p = SdlHost::framePacing(60, 30, out, err);
    EXPECT_DOUBLE_EQ(p.dt, 1.0 / 30.0);
    EXPECT_EQ(p.tickMultiplier, 2);
    EXPECT_EQ(p.framerate, 30u);
    EXPECT_EQ(out.str(), "");

    p = SdlHost::framePacing(60, 25, out, err);
    EXPECT_DOUBLE_EQ(p.dt, 0.04);
    EXPECT_EQ(p.tickMultiplier, 2);
    EXPECT_EQ(out.str(), "warning: imprecise framerate division, requesting 25, trying to fit to 60, dt = 0.04, "
                         "tickMultiplier = 2\n");
    EXPECT_EQ(err.str(), "");

    // The display's own rate: the multiplier stays 0, which the gate treats like 1.
    p = SdlHost::framePacing(144, 0, out, err);
    EXPECT_DOUBLE_EQ(p.dt, 1.0 / 144.0);
    EXPECT_EQ(p.tickMultiplier, 0);
    EXPECT_EQ(p.framerate, 144u);

    // Halves round away from zero: 90 / 60 = 1.5 -> 2.
    EXPECT_EQ(SdlHost::framePacing(90, 60, out, err).tickMultiplier, 2);
}

TEST(FramePacingTest, NoRefreshRateMeansSixtyFramesEvenWithARequest) {
    for (uint64_t requested : {uint64_t(0), uint64_t(30)}) {
        std::ostringstream out, err;
        SdlHost::FramePacing p = SdlHost::framePacing(0, requested, out, err);
        EXPECT_EQ(err.str(), "warning: did not get refresh rate from display\n");
        EXPECT_DOUBLE_EQ(p.dt, 0.016666666666666666);
        EXPECT_EQ(p.tickMultiplier, 1);
        // The recorded rate agrees with the step, not 0 and not the ignored request.
        EXPECT_EQ(p.framerate, 60u);
    }
}

TEST(LayoutTest, FullScreenClampsTheAspectAndLetterboxes) {
    Configuration c = parseOptions({}).configuration;
    SdlHost::layoutContent(c, 2560, 1080);
    EXPECT_EQ(c.windowWidth, 2560u);
    EXPECT_EQ(c.windowHeight, 1080u);
    EXPECT_DOUBLE_EQ(c.aspect, 1.8);
    EXPECT_EQ(c.contentWidth, 1944u);
    EXPECT_EQ(c.contentHeight, 1080u);
    EXPECT_EQ(c.centreOffset(), Vec2(308, 0));

    Configuration square = parseOptions({"-instagram"}).configuration;
    SdlHost::layoutContent(square, 1024, 768);
    EXPECT_EQ(square.windowWidth, 1080u);
    EXPECT_EQ(square.contentWidth, 1080u);
    EXPECT_EQ(square.contentHeight, 734u);

    Configuration uncapped = parseOptions({"-instagram", "-noaspectcap"}).configuration;
    SdlHost::layoutContent(uncapped, 1024, 768);
    EXPECT_EQ(uncapped.contentWidth, 1080u);
    EXPECT_EQ(uncapped.contentHeight, 1080u);

    // Portrait layouts are never clamped.
    Configuration phone = parseOptions({"-iphone8"}).configuration;
    SdlHost::layoutContent(phone, 1024, 768);
    EXPECT_EQ(phone.contentWidth, 750u);
    EXPECT_EQ(phone.contentHeight, 1334u);
}

TEST(PixelScaleTest, ScalesEverySizeOrFailsWithALine) {
    Configuration c = parseOptions({"-small"}).configuration;
    SdlHost::layoutContent(c, 1024, 768);
    ASSERT_TRUE(SdlHost::applyPixelScale(c, 1280, 720));
    EXPECT_EQ(c.windowWidth, 1280u);
    EXPECT_EQ(c.contentHeight, 720u);
    EXPECT_EQ(c.pixelScaleX, 2.0);
    EXPECT_EQ(c.pixelScaleY, 2.0);

    Configuration mismatched = parseOptions({"-small"}).configuration;
    SdlHost::layoutContent(mismatched, 1024, 768);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(SdlHost::applyPixelScale(mismatched, 1280, 360));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Scales did not match\n");

    // A drawable smaller than the window would make every size 0.
    Configuration shrunk = parseOptions({"-small"}).configuration;
    SdlHost::layoutContent(shrunk, 1024, 768);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SdlHost::applyPixelScale(shrunk, 320, 180));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to get pixel scale: drawable size 320x180 is smaller than the window 640x360\n");
    EXPECT_EQ(shrunk.windowWidth, 640u);
}

TEST(SdlHostTest, FrameGateRunsOneFrameInEveryMultiplierPasses) {
    SdlHost host;
    host.tickMultiplier = 3;
    host.skipCounter = 3;
    std::string pattern;
    for (int i = 0; i < 9; ++i) pattern += host.skipFrame() ? 's' : 'F';
    EXPECT_EQ(pattern, "ssFssFssF");
    for (int multiplier : {0, 1}) {
        host.tickMultiplier = multiplier;
        host.skipCounter = multiplier;
        for (int i = 0; i < 4; ++i) EXPECT_FALSE(host.skipFrame());
    }
}

TEST(SdlHostTest, FrameRateSampleEvery240FramesSkipsZeroElapsedTime) {
    test::TempDir dir;
    SdlHost host;
    host.configuration.failFramerate = 50;
    host.fpsLog = std::fopen(dir.file("fps.txt").c_str(), "wb");
    ASSERT_NE(host.fpsLog, nullptr);
    host.framerateReached = true;

    host.lastFpsTicks = 1000;
    for (int i = 0; i < 239; ++i) host.countFrame(1000);
    EXPECT_EQ(host.frameCount, 239);
    // 240 frames inside the same millisecond: no rate, no division by zero, a new sample.
    host.countFrame(1000);
    EXPECT_EQ(host.frameCount, 0);
    EXPECT_EQ(host.fpsSampleCount, 0);
    EXPECT_TRUE(host.framerateReached);

    for (int i = 0; i < 240; ++i) host.countFrame(1000 + 8000); // 30 frames a second
    EXPECT_EQ(host.fpsSampleCount, 1);
    EXPECT_FALSE(host.framerateReached);
    EXPECT_EQ(host.lastFpsTicks, 9000u);

    host.configuration.showFps = true;
    testing::internal::CaptureStdout();
    for (int i = 0; i < 240; ++i) host.countFrame(9000 + 4000); // 60 frames a second
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "fps = 60\n");
    EXPECT_TRUE(host.framerateReached);

    std::ifstream log(dir.file("fps.txt"));
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_EQ(text.str(), "1, 30.000000\n2, 60.000000\n");
}

TEST(SdlHostTest, PointerPositionsBecomeBookPointsInsideTheContent) {
    SdlHost host;
    host.configuration.pixelScaleX = 2.0;
    host.configuration.pixelScaleY = 2.0;
    host.centreOffset = Vec2(100, 0);
    EXPECT_EQ(host.windowToBook(150, 40), Vec2(100, 80));
    EXPECT_EQ(host.windowToBook(100, 0), Vec2(0, 0));
}

SDL_Event sdlEvent(Uint32 type) {
    SDL_Event event;
    SDL_zero(event);
    event.type = type;
    return event;
}

TEST(SdlHostTest, WithoutABookEveryEventIsDroppedWithItsMessage) {
    SdlHost host;
    SDL_Event escape = sdlEvent(SDL_KEYDOWN);
    escape.key.keysym.sym = SDLK_ESCAPE;
    SDL_Event otherKey = sdlEvent(SDL_KEYDOWN);
    otherKey.key.keysym.sym = SDLK_a;
    SDL_Event wheel = sdlEvent(SDL_MOUSEWHEEL);
    wheel.wheel.y = 1;
    SDL_Event pointer[] = {sdlEvent(SDL_MOUSEMOTION), sdlEvent(SDL_MOUSEBUTTONDOWN), sdlEvent(SDL_MOUSEBUTTONUP), wheel};

    testing::internal::CaptureStdout();
    for (const SDL_Event& event : pointer) host.handleSdlEvent(event);
    host.handleSdlEvent(escape);
    host.handleSdlEvent(otherKey);
    host.handleSdlEvent(sdlEvent(SDL_KEYUP));
    host.handleSdlEvent(sdlEvent(SDL_FINGERDOWN)); // touch is not this build's pointer
    host.sendTick();
    EXPECT_EQ(countOf(testing::internal::GetCapturedStdout(), dropLine), 6u);

    // -ignoremouse silences the pointer and the wheel but not Escape.
    host.configuration.ignoreMouse = true;
    testing::internal::CaptureStdout();
    for (const SDL_Event& event : pointer) host.handleSdlEvent(event);
    host.handleSdlEvent(escape);
    EXPECT_EQ(countOf(testing::internal::GetCapturedStdout(), dropLine), 1u);

    // Once the book has stopped, events are dropped silently.
    host.exitCode = 2;
    testing::internal::CaptureStdout();
    host.handleSdlEvent(escape);
    host.sendTick();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// Start-up on the offscreen driver, in a child so SDL's global state stays out of the other
// tests. What the child saw comes back as lines on its standard output.
TEST(SdlHostTest, HeadlessStartUpRunsFramesDropsAPushedMouseEventAndQuits) {
    test::TempDir story;
    test::ChildResult child = test::runInChild([&] {
        Configuration options = parseOptions({"-small", "-framerate", "30"}).configuration;
        auto host = std::make_shared<SdlHost>();
        bool ok = host->init(options, std::make_shared<PathProvider>(story.path()),
                             std::make_shared<PathProvider>(story.path()));
        std::cout << "init " << ok << "\n";
        if (!ok) return;
        const Configuration& c = host->configuration;
        std::cout << "size " << c.windowWidth << "x" << c.windowHeight << " content " << c.contentWidth << "x"
                  << c.contentHeight << " framerate " << c.framerate << " multiplier " << host->tickMultiplier
                  << " title " << SDL_GetWindowTitle(host->window) << " focused " << host->focused << "\n";
        std::cout << "platform " << (host->platform != nullptr) << " sound " << (host->soundManager != nullptr)
                  << "\n";
        std::cout.flush();
        for (int pass = 0; pass < 5; ++pass) {
            if (!host->skipFrame()) host->frame();
        }
        std::cout << "frames " << host->frameCount << "\n";

        SDL_Event motion;
        SDL_zero(motion);
        motion.type = SDL_MOUSEMOTION;
        motion.motion.x = 10;
        motion.motion.y = 20;
        SDL_PushEvent(&motion);
        SDL_Event quit;
        SDL_zero(quit);
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
        int code = host->run();
        std::cout << "exit " << code << " window " << (host->window != nullptr) << "\n";
    });
    ASSERT_EQ(child.exitStatus, 0) << child.err;
    EXPECT_NE(child.out.find("init 1\n"), std::string::npos) << child.err;
    // The offscreen display reports no refresh rate: 60 frames a second, every pass a frame.
    EXPECT_NE(child.out.find("size 640x360 content 640x360 framerate 60 multiplier 1 title Loading... focused 1\n"),
              std::string::npos)
        << child.out;
    EXPECT_NE(child.err.find("warning: did not get refresh rate from display\n"), std::string::npos);
    EXPECT_NE(child.out.find("platform 1 sound 1\n"), std::string::npos);
    EXPECT_NE(child.out.find("frames 5\n"), std::string::npos);
    // Five ticks, then in the last pass the pushed motion and the last frame's tick.
    EXPECT_EQ(countOf(child.out, dropLine), 7u) << child.out;
    EXPECT_NE(child.out.find("exit 0 window 0\n"), std::string::npos);
}

TEST(SdlHostTest, FailedAudioDeviceIsReportedAndStartUpGoesOn) {
    test::ChildResult child = test::runInChild([] {
        setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
        SDL_Init(0);
        SdlHost host;
        std::cout << "opened " << host.openAudio() << " reason " << !host.audioError.empty() << "\n";
    });
    EXPECT_EQ(child.exitStatus, 0);
    EXPECT_EQ(child.out, "opened 0 reason 1\n");
    EXPECT_EQ(child.err.rfind("SDL mixer failed to open audio: ", 0), 0u) << child.err;
}

} // namespace
} // namespace hv
