#pragma once

#include "core/Configuration.h"
#include "core/Event.h"
#include "core/PathProvider.h"
#include "core/Vec2.h"
#include "host/RepeatedLine.h"

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <string>

struct SDL_Surface;
struct SDL_Window;
union SDL_Event;

namespace hv {

class BookController;
class BookView;
class SDLPlatform;
class SDLSoundManager;

// Owns the window and drives everything else: start-up of SDL, audio, fonts, OpenGL and the
// window; the main loop that turns SDL events into engine events and paces frames to the
// display; the frame-rate sample; shutdown.
class SdlHost {
public:
    // Display refresh rate and requested frame rate turned into the frame step.
    struct FramePacing {
        double dt = 0.0;
        int32_t tickMultiplier = 0; // 0 and 1 both run a frame on every pass
        uint64_t framerate = 0;     // what the configuration records
    };
    // Warnings go to `out` (imprecise division) and `err` (no refresh rate).
    static FramePacing framePacing(int refreshRate, uint64_t framerate, std::ostream& out, std::ostream& err);
    // Window size (from the display when full screen), aspect clamp and letterboxed content.
    static void layoutContent(Configuration& configuration, int displayWidth, int displayHeight);
    // Turns every size into drawable pixels; false after a line when the scale is unusable.
    static bool applyPixelScale(Configuration& configuration, int drawableWidth, int drawableHeight);
    // How long to wait after a buffer swap that came back `sinceLastSwap` seconds after the
    // previous one. A swap paced by the display comes back about one refresh interval after
    // the last; one back in under half of that was not paced (a driver without vsync, such
    // as the offscreen one), and the rest of the interval is waited out so the loop does not
    // spin. Paced swaps and slow frames wait for nothing. Without vsync every swap comes back
    // unpaced, and the whole rest of the interval is waited out.
    static double swapWait(double sinceLastSwap, double refreshInterval, bool vsync = true);
    // The 0-based display for the 1-based `-screen` option (0 the default); a display that
    // does not exist is named in a warning and the first is used.
    static uint64_t chooseScreen(uint64_t screen, int displays, std::ostream& err);

    SdlHost() = default;
    SdlHost(const SdlHost&) = delete;
    SdlHost& operator=(const SdlHost&) = delete;
    ~SdlHost();

    bool init(const Configuration& options, std::shared_ptr<PathProvider> story, std::shared_ptr<PathProvider> packin);
    int run();

    int mainLoop();
    void handleSdlEvent(const SDL_Event& event);
    bool skipFrame();
    void frame();
    void tick();
    void sendTick();
    void render();
    // Waits out the rest of the refresh interval after a swap that was not paced.
    void paceSwap();
    // A pass that skips its frame stands for one display refresh, but has no swap to block
    // on: it waits out the interval since the last swap, so m passes span m refreshes and a
    // lower requested frame rate does not play the book faster.
    void waitForSkippedRefresh();
    // Counts one rendered frame; every 240 frames, measures the rate up to `now` (SDL ticks).
    void countFrame(uint32_t now);
    void idleDelay();
    void shutdown();

    // The scroll amount of one wheel notch, in window points.
    double wheelNotch() const;
    Vec2 windowToBook(double x, double y) const;
    void sendEvent(const Event& event);
    void sendPress(int32_t source, Vec2 point);
    void sendMove(int32_t source, Vec2 point);
    void sendRelease(int32_t source, Vec2 point);
    void sendScroll(double amount);

    // Start-up steps that stand on their own.
    // Opens the audio device; a failure is reported and start-up goes on without sound.
    bool openAudio();
    // Reads the story's "paper.txt" and fills the configuration's paper texture, tile size and
    // strength: the texture from the cache in `blobs` when the cache is on, else generated.
    bool setupPaper(Configuration& local, const PathProvider& story, const std::string& blobs);
    // Fetches the renderer's OpenGL entry points for the new context; true when all were found.
    // A missing one does not stop start-up: the renderer backend refuses to start and says so.
    bool loadGLEntryPoints();
    // The window icon from a BMP file, or null after "Unable to find icon at PATH" (start-up
    // goes on without it). Icons over 1,024 pixels a side are refused from their header.
    static SDL_Surface* loadIcon(const std::string& path);

    // The book's part of the host: nothing until a book can be hosted.
    void setupBook();
    void deliverEvent(const Event& event);
    void drawBook();

    bool running = false;
    bool focused = false;
    uint32_t lastFpsTicks = 0;
    int32_t frameCount = 0;
    int32_t tickMultiplier = 0;
    int32_t skipCounter = 0;
    SDL_Window* window = nullptr;
    void* glContext = nullptr;
    std::shared_ptr<BookView> view;
    std::shared_ptr<BookController> controller;
    Vec2 centreOffset; // in window points
    double dt = 0.0;
    Configuration configuration;
    int32_t exitCode = 0;
    std::shared_ptr<SDLPlatform> platform;
    bool framerateReached = false;
    FILE* fpsLog = nullptr;
    int32_t fpsSampleCount = 0;
    std::shared_ptr<PathProvider> storyPaths;
    std::shared_ptr<PathProvider> packinPaths;
    std::shared_ptr<SDLSoundManager> soundManager; // also the platform's; kept to drive it
    std::string audioError; // why the audio device did not open, empty when it did
    double refreshInterval = 0.0; // seconds between display refreshes (1/60 when unknown)
    uint64_t lastSwapCounter = 0; // performance counter after the last swap (and its wait)
    uint64_t pacedSwaps = 0;      // swaps that came back early and were waited out
    bool vsync = false;           // the swap interval could be set
    RepeatedLine droppedEvents{"Dropping event as book controller is not setup yet"};
    RepeatedLine rendererFailures{"Failed to init renderer"};
};

// Creates the resource roots and the host, and runs it: 0 after the window was closed, the
// book's stop code after a script ended the book, 1 when start-up failed.
int runHost(const Configuration& configuration);

} // namespace hv
