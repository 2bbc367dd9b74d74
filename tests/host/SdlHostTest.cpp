#include "host/Options.h"
#include "host/SDLPlatform.h"
#include "host/SdlHost.h"
#include "render/BookView.h"
#include "render/PaperTexture.h"
#include "render/gl/GLEntryPoints.h"
#include "render/gl/GLRendererBackend.h"
#include "chapter/ChapterController.h"
#include "support/BookHarness.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <SDL.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/stat.h>

namespace hv {
namespace {

size_t countOf(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
    return count;
}

const std::string dropLine = "Dropping event as book controller is not setup yet\n";

// A small paper: quick to generate in every start-up.
const std::string smallPaper = "size 64 base-frequency 4 frequency-multiplier 2 amplitude-count 3 "
                               "attenuation 0.5 intensity 0.3\n";

void writePaperCache(const std::string& path, const PaperTexture& texture) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(texture.writeTo(file));
    std::fclose(file);
}

struct PaperSetup {
    bool ok = false;
    std::string out;
    std::string err;
};

PaperSetup setupPaper(SdlHost& host, Configuration& c, const test::TempDir& story, const std::string& blobs) {
    PaperSetup result;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    result.ok = host.setupPaper(c, PathProvider(story.path()), blobs);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

TEST(PaperSetupTest, CacheOnReadsTheBlobAndTakesStrengthFromThePaperText) {
    test::TempDir story, blobs;
    test::writeFile(story.file("paper.txt"), smallPaper);
    // The cache need not match the text: what it holds is the paper.
    PaperTexture cached;
    cached.dimension = 4;
    for (int i = 0; i < 16; ++i) cached.texels.push_back(i / 15.0);
    writePaperCache(paperCachePath(blobs.path()), cached);

    SdlHost host;
    Configuration c = parseOptions({"-small"}).configuration;
    PaperSetup r = setupPaper(host, c, story, blobs.path());
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    ASSERT_NE(c.paperTexture, nullptr);
    EXPECT_EQ(c.paperTexture->dimension, 4u);
    EXPECT_EQ(c.paperTexture->texels, cached.texels);
    EXPECT_DOUBLE_EQ(c.paperStrength, 0.3);
    EXPECT_EQ(c.paperTileSize, 4u);

    // -notexture keeps the texture but takes its strength away; a pixel scale of 2 halves the tile.
    Configuration off = parseOptions({"-small", "-notexture"}).configuration;
    off.pixelScaleX = off.pixelScaleY = 2.0;
    r = setupPaper(host, off, story, blobs.path());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(off.paperStrength, 0.0);
    ASSERT_NE(off.paperTexture, nullptr);
    EXPECT_EQ(off.paperTileSize, 2u);

    // A texture smaller than the pixel scale still tiles over one pixel, never zero.
    Configuration dense = parseOptions({"-small"}).configuration;
    dense.pixelScaleX = dense.pixelScaleY = 8.0;
    r = setupPaper(host, dense, story, blobs.path());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dense.paperTileSize, 1u);
}

TEST(PaperSetupTest, CacheOffGeneratesAndAMissingCacheEndsStartUp) {
    test::TempDir story, blobs;
    test::writeFile(story.file("paper.txt"), smallPaper);
    PaperParams params;
    ASSERT_TRUE(params.readFrom(story.file("paper.txt")));
    std::vector<double> expected = generatePaperTexture(params)->texels;

    SdlHost host;
    Configuration c = parseOptions({"-small", "-nocache"}).configuration;
    // A cache that is there is not looked at with the cache off.
    test::writeFile(paperCachePath(blobs.path()), "broken");
    PaperSetup r = setupPaper(host, c, story, blobs.path());
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    ASSERT_NE(c.paperTexture, nullptr);
    EXPECT_EQ(c.paperTexture->dimension, 64u);
    EXPECT_EQ(c.paperTexture->texels, expected);
    EXPECT_EQ(c.paperTileSize, 64u);

    // With the cache on and no cache file, start-up ends with the path.
    test::TempDir empty;
    Configuration cached = parseOptions({"-small"}).configuration;
    r = setupPaper(host, cached, story, empty.path());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, "Unable to open texture cache: " + empty.path() + "/paper\n");
}

TEST(PaperSetupTest, UnreadableCacheOrParametersEndStartUp) {
    test::TempDir story, blobs;
    test::writeFile(story.file("paper.txt"), smallPaper);
    // A cache that exists but is cut short is a broken build, not a book without caches.
    test::writeFile(paperCachePath(blobs.path()), std::string("\x02\0\0\0\0\0\0\0", 8));
    SdlHost host;
    Configuration c = parseOptions({"-small"}).configuration;
    PaperSetup r = setupPaper(host, c, story, blobs.path());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, "PaperTexture::readFrom: error reading data\nUnable to read cached texture\n");
    EXPECT_EQ(c.paperTexture, nullptr);

    test::writeFile(story.file("paper.txt"), "size 64 base-frequency 4 frequency-multiplier 2 attenuation 0.5\n");
    r = setupPaper(host, c, story, blobs.path());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, "Missing intensity parameter\n");
    EXPECT_EQ(r.out, "paper fail\n");
}

// A book's file that is no file ends the run with one line naming it and why, without waiting for
// a FIFO's writer or a device's end; only a file that is not there is "missing".
TEST(PaperSetupTest, BookFilesThatCannotBeReadAreNamedWithWhy) {
    const std::pair<void (*)(const std::string&), std::string> files[] = {
        {[](const std::string& path) { mkfifo(path.c_str(), 0600); }, "not a file but a FIFO"},
        {[](const std::string& path) { std::filesystem::create_symlink("/dev/urandom", path); },
         "not a file but a device"},
        {[](const std::string&) {}, ""},
    };
    for (const auto& file : files) {
        const auto& [make, why] = file;
        test::TempDir story;
        const std::string paper = story.file("paper.txt");
        make(paper);
        test::ChildResult child = test::runInChild([&] {
            Configuration c = parseOptions({"-nocache"}).configuration;
            SdlHost().setupPaper(c, PathProvider(story.path()), story.path());
        });
        EXPECT_EQ(child.exitStatus, 1) << why;
        EXPECT_EQ(child.err, why.empty() ? "PaperParams::readFrom: no file at path '" + paper + "'\n"
                                         : "PaperParams::readFrom: cannot read '" + paper + "': " + why + "\n");
        // A picture the book prepares, parsed with -nocache.
        auto picture = [&](test::BookHarness& book) { file.first(book.dir.file("story/h.svg")); };
        EXPECT_EQ(test::fatalLineOfBook("hvkPrepareSvg('h.svg')", 0, picture),
                  why.empty() ? "err: Could not find svg at path: h.svg"
                              : "err: Could not load svg at path: h.svg: cannot read the file: " + why);
    }
}

TEST(SwapPacingTest, OnlySwapsThatComeBackEarlyWait) {
    const double interval = 1.0 / 60.0;
    // Not paced by the display (the offscreen driver): the rest of the interval.
    EXPECT_DOUBLE_EQ(SdlHost::swapWait(0.0, interval), interval);
    EXPECT_DOUBLE_EQ(SdlHost::swapWait(0.002, interval), interval - 0.002);
    // Paced by vsync, a little early or late by the clock: nothing, so pacing is unchanged.
    EXPECT_EQ(SdlHost::swapWait(interval - 0.0005, interval), 0.0);
    EXPECT_EQ(SdlHost::swapWait(interval + 0.0005, interval), 0.0);
    // A slow frame never waits; neither does a host without an interval or a clock that ran back.
    EXPECT_EQ(SdlHost::swapWait(0.1, interval), 0.0);
    EXPECT_EQ(SdlHost::swapWait(0.001, 0.0), 0.0);
    EXPECT_EQ(SdlHost::swapWait(-0.001, interval), 0.0);
    // Without vsync no swap is paced: all of the interval that is left.
    EXPECT_DOUBLE_EQ(SdlHost::swapWait(0.7 * interval, interval, false), 0.3 * interval);
}

TEST(SwapPacingTest, SkippedPassesSpanOneRefreshEach) {
    // With -framerate 30 on a 60 Hz display one pass in two draws; the other has no swap to
    // block on, so without a wait frames would come at 60 a second, each advancing the book by
    // 1/30 s, and the book would play twice as fast.
    SdlHost host;
    host.tickMultiplier = 2;
    host.refreshInterval = 0.005;
    host.lastSwapCounter = SDL_GetPerformanceCounter();
    uint64_t start = host.lastSwapCounter;
    int frames = 0;
    for (int pass = 0; pass < 8; ++pass) {
        if (host.skipFrame()) {
            host.waitForSkippedRefresh();
        } else {
            ++frames;
        }
    }
    EXPECT_EQ(frames, 4);
    double elapsed = double(SDL_GetPerformanceCounter() - start) / double(SDL_GetPerformanceFrequency());
    EXPECT_GE(elapsed, 4 * host.refreshInterval) << "each skipped pass waits a refresh at least";
}

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
    // Written once; the repeats are counted.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), dropLine);
    EXPECT_EQ(host.droppedEvents.count(), 6u);

    // -ignoremouse silences the pointer and the wheel but not Escape.
    host.configuration.ignoreMouse = true;
    for (const SDL_Event& event : pointer) host.handleSdlEvent(event);
    host.handleSdlEvent(escape);
    EXPECT_EQ(host.droppedEvents.count(), 7u);

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
    test::writeFile(story.file("paper.txt"), smallPaper);
    const std::string log = story.file("no/such/fps.txt"); // named, and the run goes on without it
    test::ChildResult child = test::runInChild([&] {
        Configuration options = parseOptions({"-small", "-framerate", "30", "-nocache"}).configuration;
        options.fpsLogPath = log;
        auto host = std::make_shared<SdlHost>();
        auto packin = std::make_shared<PathProvider>(std::string(HV_BINARY_DIR) + "/assets/packin");
        bool ok = host->init(options, std::make_shared<PathProvider>(story.path()), packin);
        std::cout << "init " << ok << "\n";
        if (!ok) return;
        const Configuration& c = host->configuration;
        std::cout << "size " << c.windowWidth << "x" << c.windowHeight << " content " << c.contentWidth << "x"
                  << c.contentHeight << " framerate " << c.framerate << " multiplier " << host->tickMultiplier
                  << " title " << SDL_GetWindowTitle(host->window) << " focused " << host->focused << "\n";
        std::cout << "platform " << (host->platform != nullptr) << " sound " << (host->soundManager != nullptr)
                  << "\n";
        std::cout << "paper " << (c.paperTexture ? c.paperTexture->dimension : 0) << " tile " << c.paperTileSize
                  << " strength " << c.paperStrength << "\n";
        // The entry points were fetched for the host's context: the real renderer starts on it
        // with the host's paper.
        std::cout << "entry points " << glEntryPointsLoaded() << "\n";
        {
            GLRendererBackend renderer;
            std::cout << "renderer " << renderer.init(packin, c) << "\n";
            renderer.shutdown();
        }
        std::cout.flush();
        // The offscreen driver swaps at once; the host waits out the refresh interval instead
        // of spinning, so at least some of these swaps are paced.
        for (int pass = 0; pass < 20; ++pass) {
            if (!host->skipFrame()) host->frame();
        }
        std::cout << "frames " << host->frameCount << " paced " << (host->pacedSwaps > 0) << "\n";

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
    EXPECT_NE(child.err.find("SdlHost::init: cannot write the frame-rate log " + log + ": No such"), std::string::npos);
    EXPECT_NE(child.out.find("platform 1 sound 1\n"), std::string::npos);
    EXPECT_NE(child.out.find("paper 64 tile 64 strength 0.3\n"), std::string::npos) << child.out;
    EXPECT_NE(child.out.find("entry points 1\nrenderer 1\n"), std::string::npos) << child.out << child.err;
    EXPECT_NE(child.out.find("frames 20 paced 1\n"), std::string::npos) << child.out;
    // Twenty ticks, then in the last pass the pushed motion and the last frame's tick: one
    // line, and one count at the tenth.
    EXPECT_EQ(countOf(child.out, dropLine), 1u) << child.out;
    EXPECT_EQ(countOf(child.out, "not setup yet (repeated 10 times)\n"), 1u) << child.out;
    EXPECT_NE(child.out.find("exit 0 window 0\n"), std::string::npos);
}

// GL deletions, and those made while no context was current.
int glDeletions = 0;
int glDeletionsWithoutContext = 0;
decltype(GLEntryPoints::DeleteBuffers) realDeleteBuffers = nullptr;
decltype(GLEntryPoints::DeleteVertexArrays) realDeleteVertexArrays = nullptr;

void noteGLDeletion() {
    ++glDeletions;
    if (!SDL_GL_GetCurrentContext()) ++glDeletionsWithoutContext;
}
void APIENTRY countedDeleteBuffers(GLsizei n, const GLuint* names) {
    noteGLDeletion();
    realDeleteBuffers(n, names);
}
void APIENTRY countedDeleteVertexArrays(GLsizei n, const GLuint* names) {
    noteGLDeletion();
    realDeleteVertexArrays(n, names);
}

TEST(SdlHostTest, ShutdownFreesTheBooksGLObjectsWhileTheContextIsCurrent) {
    test::TempDir story;
    test::writeFile(story.file("paper.txt"), smallPaper);
    test::ChildResult child = test::runInChild([&] {
        Configuration options = parseOptions({"-small", "-nocache"}).configuration;
        auto host = std::make_shared<SdlHost>();
        auto storyPaths = std::make_shared<PathProvider>(story.path());
        auto packin = std::make_shared<PathProvider>(std::string(HV_BINARY_DIR) + "/assets/packin");
        if (!host->init(options, storyPaths, packin)) return;
        // What a hosted book holds at the end: the renderer, and a view whose background
        // buffer lives in GL.
        auto renderer = std::make_shared<GLRendererBackend>();
        std::cout << "renderer " << renderer->init(packin, host->configuration) << "\n";
        host->platform->setRenderer(renderer);
        renderer.reset();
        host->view = std::make_shared<BookView>();
        std::cout << "view " << host->view->init(host->configuration, storyPaths, packin, host->platform) << "\n";

        realDeleteBuffers = gl.DeleteBuffers;
        realDeleteVertexArrays = gl.DeleteVertexArrays;
        gl.DeleteBuffers = countedDeleteBuffers;
        gl.DeleteVertexArrays = countedDeleteVertexArrays;
        SDL_Event quit;
        SDL_zero(quit);
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
        host->run();
        std::cout << "deleted " << (glDeletions > 0) << " without a context " << glDeletionsWithoutContext << "\n";
    });
    ASSERT_EQ(child.exitStatus, 0) << child.err;
    EXPECT_NE(child.out.find("renderer 1\nview 1\n"), std::string::npos) << child.out << child.err;
    EXPECT_NE(child.out.find("deleted 1 without a context 0\n"), std::string::npos) << child.out;
}

TEST(SdlHostTest, StartUpWithoutItsPaperTextEndsTheRun) {
    test::TempDir story;
    test::writeFile(story.file("paper.txt"), "size 64\n");
    test::ChildResult child = test::runInChild([&] {
        Configuration options = parseOptions({"-small", "-nocache"}).configuration;
        SdlHost host;
        auto paths = std::make_shared<PathProvider>(story.path());
        bool ok = host.init(options, paths, paths);
        std::cout << "init " << ok << "\n";
    });
    EXPECT_EQ(child.exitStatus, 0);
    EXPECT_EQ(child.out, "paper fail\ninit 0\n");
    EXPECT_NE(child.err.find("Missing base freq parameter\n"), std::string::npos) << child.err;
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

TEST(IconTest, SizesAreCheckedFromTheHeaderBeforeAnyPixelIsRead) {
    test::TempDir dir;
    const std::string path = dir.file("icon.bmp");
    auto saved = [&](int side) {
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, side, side, 24, SDL_PIXELFORMAT_RGB24);
        SDL_SaveBMP(surface, path.c_str());
        SDL_FreeSurface(surface);
        return getStringAtPath(path).first;
    };
    const std::string small = saved(16);
    ASSERT_GT(small.size(), 26u) << SDL_GetError();
    auto claiming = [&](int32_t width, int32_t height) {
        std::string bytes = small;
        std::memcpy(&bytes[18], &width, 4);
        std::memcpy(&bytes[22], &height, 4);
        return bytes;
    };
    std::string oldest = small; // the 12-byte header of 16-bit sizes
    oldest.replace(14, 8, std::string("\x0c\0\0\0\xff\xff\xff\xff", 8));
    // The side loaded, or 0 when refused.
    const std::pair<std::string, int> cases[] = {
        {small, 16},  {claiming(16, -16), 16},    {saved(1024), 1024}, {claiming(65535, 65535), 0},
        {oldest, 0},  {claiming(16, -65535), 0}, {claiming(0, 16), 0}, {claiming(1025, 16), 0},
        {small.substr(0, 20), 0}};
    for (const auto& [bytes, side] : cases) {
        test::writeFile(path, bytes);
        testing::internal::CaptureStderr();
        SDL_Surface* icon = SdlHost::loadIcon(path);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(icon ? std::make_pair(icon->w, icon->h) : std::make_pair(0, 0), std::make_pair(side, side))
            << bytes.size();
        EXPECT_EQ(err, side ? "" : "Unable to find icon at " + path + "\n") << bytes.size();
        SDL_FreeSurface(icon);
    }
}

TEST(SdlHostTest, PointerMovesAreLoggedBeforeTheirEventAndEvenWhenIgnored) {
    // The book prints "moved" when the move reaches it, so the order shows on the stream.
    for (auto [logMouse, ignoreMouse] : {std::pair{true, false}, {true, true}, {false, false}}) {
        test::BookHarness book(
            "hvkRegisterChapter('a', function() hvkSetCanvasLabel(hvkNewCanvas(0, 6, 1.5, 1, 0), 'door')\n"
            "  while true do hvkWaitMouseEvent() coroutine.yield() print('moved') end\nend)");
        book.start();
        book.tick();
        SdlHost host;
        host.configuration = book.configuration;
        host.configuration.logMouse = logMouse;
        host.configuration.ignoreMouse = ignoreMouse;
        host.controller = book.controller;
        testing::internal::CaptureStdout();
        host.sendMove(Event::Mouse, Vec2(150, 300));
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string(logMouse ? "0.25, 0.75               |'door'(0.25, 0.25), \n" : "") +
                      (ignoreMouse ? "" : "moved\n"))
            << logMouse << ignoreMouse;
    }
}

} // namespace
} // namespace hv
