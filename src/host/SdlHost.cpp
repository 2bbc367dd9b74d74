#include "host/SdlHost.h"

#include "chapter/ChapterController.h"
#include "core/Failure.h"
#include "core/ResourcePaths.h"
#include "core/Variant.h"
#include "host/SDLPlatform.h"
#include "host/SDLSoundManager.h"
#include "host/SDLTypesetter.h"
#include "host/StopSignals.h"
#include "render/BookView.h"
#include "render/PaperTexture.h"
#include "render/RendererBackend.h"
#include "render/gl/GLEntryPoints.h"
#include "render/gl/GLRendererBackend.h"
#include "script/BookController.h"
#include "script/Interrupt.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define HV_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HV_LEAK_CHECKED 1
#endif
#endif
#ifdef HV_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

namespace hv {

namespace {

constexpr int samplesPerFrameRate = 240;
constexpr int64_t largestIconSide = 1024;

// A BMP file's width and height from its headers (a negative height, for rows stored top
// down, gives its size); false when the headers do not hold them.
bool bmpSize(const std::vector<uint8_t>& bytes, int64_t& width, int64_t& height) {
    auto u16 = [&](size_t at) { return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    uint32_t infoSize = u32(14);
    if (infoSize == 12) { // the oldest header, of 16-bit sizes
        width = u16(18);
        height = u16(20);
        return true;
    }
    if (infoSize < 16) return false;
    width = int32_t(u32(18));
    height = std::abs(int64_t(int32_t(u32(22))));
    return true;
}

bool failSdl(const char* what) { return failure(std::string(what) + SDL_GetError()); }

// Runs a step of the GL set-up, what SDL and the driver allocate in it being theirs to the end of
// the process, as the leak checker of a sanitizer build is told. The library stays loaded for the
// whole run: SDL frees its record of the load only by unloading the library, which would take the
// driver with it before the check; and X11 unloads the driver anyway when SDL closes the display.
// The blocks of a library gone by then have no name a suppression could match.
template <typename Step>
auto driversOwn(Step step) {
#ifdef HV_LEAK_CHECKED
    __lsan::ScopedDisabler disabled;
#endif
    return step();
}

} // namespace

SdlHost::~SdlHost() {
    if (fpsLog) std::fclose(fpsLog);
}

bool SdlHost::openAudio() {
    if (Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024) < 0) {
        audioError = SDL_GetError();
        if (audioError.empty()) audioError = "(no error description returned)";
        std::cerr << "SDL mixer failed to open audio: " << audioError << std::endl;
        return false;
    }
    Mix_AllocateChannels(1024);
    return true;
}

bool SdlHost::setupPaper(Configuration& local, const PathProvider& story, const std::string& blobs) {
    PaperParams params;
    if (!params.readFrom(joinPath(story.root, "paper.txt"))) {
        std::cout << "paper fail" << std::endl;
        return false;
    }
    local.paperStrength = local.noTexture ? 0.0 : params.intensity;

    std::shared_ptr<PaperTexture> texture;
    if (local.useCache) {
        // The build bakes the cache; without it the run ends here (-nocache generates instead).
        std::string path = paperCachePath(blobs);
        Blob blob = getBlobAtPath(path);
        if (!blob) return failure("Unable to open texture cache: " + path);
        texture = std::make_shared<PaperTexture>();
        std::shared_ptr<Reader> reader = makeBlobReader(blob);
        if (!texture->readFrom(*reader)) return failure("Unable to read cached texture");
    } else {
        texture = generatePaperTexture(params);
    }
    local.paperTexture = texture;
    // A texture smaller than the pixel scale would give a tile of 0 pixels, which the
    // renderer divides by.
    uint64_t scale = uint64_t(std::max(1.0, local.pixelScaleX));
    local.paperTileSize = std::max<uint64_t>(1, texture->dimension / scale);
    return true;
}

SDL_Surface* SdlHost::loadIcon(const std::string& path) {
    // Read through the engine's own reader rather than SDL's: a FIFO is refused instead of
    // waited on, and the header's claim is checked before the decoder allocates its pixels.
    Blob blob = getBlobAtPath(path);
    int64_t width = 0, height = 0;
    SDL_Surface* icon = nullptr;
    if (blob && blob->size() <= size_t(INT32_MAX) && bmpSize(*blob, width, height) && width > 0 &&
        width <= largestIconSide && height > 0 && height <= largestIconSide) {
        icon = SDL_LoadBMP_RW(SDL_RWFromConstMem(blob->data(), int(blob->size())), 1);
    }
    if (!icon) std::cerr << "Unable to find icon at " << path << std::endl;
    return icon;
}

bool SdlHost::loadGLEntryPoints() { return hv::loadGLEntryPoints(); }

bool SdlHost::init(const Configuration& options, std::shared_ptr<PathProvider> story,
                   std::shared_ptr<PathProvider> packin) {
    Configuration local = options;

    if (!local.fpsLogPath.empty()) {
        fpsLog = std::fopen(local.fpsLogPath.c_str(), "wb");
        // The book runs on without its log, but the reader who asked for one is told.
        if (!fpsLog) {
            writeFailureLine("SdlHost::init: cannot write the frame-rate log " + local.fpsLogPath + ": " +
                             std::strerror(errno));
        }
    }
    // SDL's own handlers only queue a quit event, which a script that never yields never lets
    // the loop see; ours also stop the script.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    installStopSignals();
    // The threads SDL and the GL driver start (audio, rasterisers) must not take the stop
    // signals: only the main thread can stop the running script.
    std::optional<StopSignalsBlocked> driverThreadsBlocked(std::in_place);
    if (SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO) < 0) return failSdl("SDL failed to init:");
    if (TTF_Init() < 0) return failSdl("SDL ttf failed to init:");
    if (Mix_Init(MIX_INIT_OGG) != MIX_INIT_OGG) return failSdl("SDL mixer failed to init:");
    openAudio();

    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    if (driversOwn([] { return SDL_GL_LoadLibrary(nullptr); }) != 0) return failSdl("Failed to load gl library: ");
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 4);

    local.screen = chooseScreen(local.screen, SDL_GetNumVideoDisplays(), std::cerr);
    SDL_DisplayMode mode;
    if (SDL_GetCurrentDisplayMode(int(local.screen), &mode) != 0) return failSdl("Failed to get display size: ");

    FramePacing pacing = framePacing(mode.refresh_rate, local.framerate, std::cout, std::cerr);
    dt = pacing.dt;
    tickMultiplier = pacing.tickMultiplier;
    local.framerate = pacing.framerate;
    skipCounter = tickMultiplier;
    refreshInterval = mode.refresh_rate > 0 ? 1.0 / double(mode.refresh_rate) : pacing.dt;

    layoutContent(local, mode.w, mode.h);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI;
    if (local.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN;
    SDL_Rect bounds{0, 0, 0, 0};
    SDL_GetDisplayBounds(int(local.screen), &bounds);
    int width = int(local.windowWidth);
    int height = int(local.windowHeight);
    window = SDL_CreateWindow("Loading...", bounds.x + (bounds.w - width) / 2, bounds.y + (bounds.h - height) / 2,
                              width, height, flags);
    if (!window) return failSdl("Failed to create window: ");

    if (SDL_Surface* icon = loadIcon(appIconPath())) {
        SDL_SetWindowIcon(window, icon);
        SDL_FreeSurface(icon);
    }

    glContext = driversOwn([&] { return SDL_GL_CreateContext(window); });
    if (!glContext) return failSdl("Failed to create gl context: ");
    driverThreadsBlocked.reset();
    loadGLEntryPoints();

    int drawableWidth = 0;
    int drawableHeight = 0;
    SDL_GL_GetDrawableSize(window, &drawableWidth, &drawableHeight);
    if (!applyPixelScale(local, drawableWidth, drawableHeight)) return false;

    if (!setupPaper(local, *story, blobsDirectory())) return false;

    // Displays that cannot set a swap interval (Xvfb, remote X) still run: the host then
    // waits out each refresh interval after the swap itself.
    vsync = SDL_GL_SetSwapInterval(1) >= 0;
    if (!vsync) {
        std::cerr << "warning: failed to set vsync: " << SDL_GetError() << "; pacing frames without it" << std::endl;
    }

    platform = std::make_shared<SDLPlatform>();
    auto typesetter = std::make_shared<SDLTypesetter>();
    if (!typesetter->init(story)) return failure("Failed to init typesetter");
    platform->setTypesetter(typesetter);
    soundManager = std::make_shared<SDLSoundManager>();
    platform->setSoundManager(soundManager);
    soundManager->init();
    if (!audioError.empty()) soundManager->setAudioUnavailable(audioError);
    auto table = std::make_shared<SoundTable>();
    soundManager->setSoundTable(table);
    soundManager->setPaths(story);
    table->masterVolume = 1.0;
    platform->setWindow(window);

    storyPaths = std::move(story);
    packinPaths = std::move(packin);
    focused = true;
    // Pointer positions arrive in window points; the content's margin is kept in the same units.
    Vec2 margin = local.centreOffset();
    centreOffset = Vec2(margin.x / local.pixelScaleX, margin.y / local.pixelScaleY);
    configuration = local;
    framerateReached = true;
    return true;
}

int SdlHost::run() {
    running = true;
    lastFpsTicks = SDL_GetTicks();
    frameCount = 0;
    exitCode = 0;
    lastSwapCounter = SDL_GetPerformanceCounter();
    mainLoop();
    shutdown();
    noteRunEnded();
    return exitCode;
}

int SdlHost::mainLoop() {
    while (running) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) handleSdlEvent(event);
        // Ctrl-C or SIGTERM: the run ends as when the window is closed.
        if (interruptRequested()) {
            running = false;
            break;
        }
        if (skipFrame()) {
            waitForSkippedRefresh();
        } else {
            frame();
        }
        idleDelay();
    }
    return exitCode;
}

bool SdlHost::skipFrame() {
    if (skipCounter < 2) {
        skipCounter = tickMultiplier;
        return false;
    }
    --skipCounter;
    return true;
}

void SdlHost::frame() {
    if (!focused && isMobileBuild()) return;
    setupBook();
    tick();
    render();
}

void SdlHost::tick() {
    sendTick();
    variantTick();
}

void SdlHost::render() {
    drawBook();
    SDL_GL_SwapWindow(window);
    paceSwap();
    if (soundManager) soundManager->updateSources();
    countFrame(SDL_GetTicks());
}

void SdlHost::paceSwap() {
    uint64_t now = SDL_GetPerformanceCounter();
    if (lastSwapCounter != 0 && now >= lastSwapCounter) {
        double since = double(now - lastSwapCounter) / double(SDL_GetPerformanceFrequency());
        double wait = swapWait(since, refreshInterval, vsync);
        if (wait > 0.0) {
            ++pacedSwaps;
            std::this_thread::sleep_for(std::chrono::duration<double>(wait));
            now = SDL_GetPerformanceCounter();
        }
    }
    lastSwapCounter = now;
}

void SdlHost::waitForSkippedRefresh() {
    uint64_t now = SDL_GetPerformanceCounter();
    if (lastSwapCounter != 0 && now >= lastSwapCounter) {
        double since = double(now - lastSwapCounter) / double(SDL_GetPerformanceFrequency());
        if (since < refreshInterval) {
            std::this_thread::sleep_for(std::chrono::duration<double>(refreshInterval - since));
            now = SDL_GetPerformanceCounter();
        }
    }
    lastSwapCounter = now;
}

void SdlHost::countFrame(uint32_t now) {
    if (++frameCount < samplesPerFrameRate) return;
    uint32_t elapsed = now - lastFpsTicks;
    // 240 frames inside one millisecond (a display that does not pace swaps) give no rate.
    if (elapsed > 0) {
        double fps = samplesPerFrameRate * 1000.0 / double(elapsed);
        if (configuration.showFps) {
            std::cout << "fps = " << fps << std::endl;
            if (platform) {
                if (auto renderer = platform->renderer()) renderer->printStatistics(std::cout);
            }
        }
        if (fpsLog) {
            ++fpsSampleCount;
            std::fprintf(fpsLog, "%i, %f\n", fpsSampleCount, fps);
            std::fflush(fpsLog);
        }
        if (configuration.failFramerate != 0) {
            framerateReached = uint64_t(fps) >= uint64_t(configuration.failFramerate);
        }
    }
    lastFpsTicks = now;
    frameCount = 0;
}

void SdlHost::idleDelay() {
    if (!focused) SDL_Delay(16);
}

void SdlHost::handleSdlEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT: running = false; break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) focused = true;
        if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) focused = false;
        break;
    case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_ESCAPE) {
            Event key;
            key.kind = Event::Key;
            key.key = Event::escapeKey;
            sendEvent(key);
        }
        break;
    case SDL_MOUSEMOTION:
        if (hasPointerInput()) sendMove(Event::Mouse, windowToBook(event.motion.x, event.motion.y));
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (hasPointerInput()) sendPress(Event::Mouse, windowToBook(event.button.x, event.button.y));
        break;
    case SDL_MOUSEBUTTONUP:
        if (hasPointerInput()) sendRelease(Event::Mouse, windowToBook(event.button.x, event.button.y));
        break;
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
        if (!hasPointerInput()) {
            float x = event.tfinger.x * float(configuration.windowWidth);
            float y = event.tfinger.y * float(configuration.windowHeight);
            if (event.type == SDL_FINGERDOWN) {
                sendPress(Event::NotPointer, windowToBook(x, y));
            } else {
                sendMove(Event::NotPointer, windowToBook(x, y));
            }
        }
        break;
    case SDL_FINGERUP:
        if (!hasPointerInput()) {
            float x = event.tfinger.x * float(configuration.windowWidth);
            float y = event.tfinger.y * float(configuration.windowHeight);
            sendRelease(Event::NotPointer, windowToBook(x, y));
        }
        break;
    case SDL_MOUSEWHEEL: sendScroll(wheelNotch() * double(event.wheel.y)); break;
    default: break;
    }
}

double SdlHost::wheelNotch() const {
    // The chapter moves the page by a notch's amount at once and coasts as far again, so a notch
    // scrolls twice this. A short view takes a share of its height instead, which keeps the
    // notch under a quarter of it: the reader's line stays in sight.
    double viewPoints = double(configuration.contentHeight) / std::max(1.0, configuration.pixelScaleY);
    return std::min(5.0 * mouseWheelScale(), 0.115 * viewPoints);
}

Vec2 SdlHost::windowToBook(double x, double y) const {
    return Vec2(configuration.pixelScaleX * (x - centreOffset.x), configuration.pixelScaleY * (y - centreOffset.y));
}

void SdlHost::sendEvent(const Event& event) {
    if (exitCode != 0 || interruptRequested()) return;
    if (!controller) {
        droppedEvents.write(std::cout);
        return;
    }
    deliverEvent(event);
    if (exitCode != 0) running = false;
}

void SdlHost::sendPress(int32_t source, Vec2 point) {
    if (configuration.ignoreMouse) return;
    Event event;
    event.source = source;
    event.kind = Event::PointerDown;
    event.point = point;
    sendEvent(event);
}

void SdlHost::sendMove(int32_t source, Vec2 point) {
    // Logged before the event is made, and also when the pointer is otherwise ignored.
    if (configuration.logMouse && controller) {
        if (std::shared_ptr<ChapterController> chapter = controller->chapterController()) {
            chapter->printCursorPosition(point);
        }
    }
    if (configuration.ignoreMouse) return;
    Event event;
    event.source = source;
    event.kind = Event::PointerMove;
    event.point = point;
    sendEvent(event);
}

void SdlHost::sendRelease(int32_t source, Vec2 point) {
    if (configuration.ignoreMouse) return;
    Event event;
    event.source = source;
    event.kind = Event::PointerUp;
    // The release carries where it happened, so the last pointer event stays where the pointer is.
    event.point = point;
    sendEvent(event);
}

void SdlHost::sendScroll(double amount) {
    if (configuration.ignoreMouse) return;
    Event event;
    event.kind = Event::Wheel;
    event.point = Vec2(0.0, amount * configuration.pixelScaleY);
    sendEvent(event);
}

void SdlHost::sendTick() {
    Event event;
    event.kind = Event::Tick;
    event.point = Vec2(dt, 0.0);
    sendEvent(event);
}

void SdlHost::setupBook() {
    if (!platform || platform->renderer() || !running) return;
    auto renderer = std::make_shared<GLRendererBackend>();
    if (!renderer->init(packinPaths, configuration)) {
        rendererFailures.write(std::cerr);
        return;
    }
    platform->setRenderer(renderer);
    SDL_Cursor* arrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
    SDL_Cursor* hand = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_HAND);
    platform->setCursors(arrow, hand, 0);
    if (arrow) SDL_SetCursor(arrow);
    renderer->setMultisample(true);

    // A book that cannot be set up ends the run with its line rather than leaving a blank
    // window that reports success when closed.
    view = std::make_shared<BookView>();
    if (!view->init(configuration, storyPaths, packinPaths, platform)) {
        exitCode = 1;
        running = false;
        return;
    }
    controller = std::make_shared<BookController>();
    if (!controller->init(configuration, view, storyPaths, packinPaths, platform)) {
        std::cerr << "Failed to init book controller" << std::endl;
        exitCode = 1;
        running = false;
        return;
    }
    // hvkExit in the start-up scripts ends the run before any chapter starts.
    if (controller->stopCode() != 0) {
        exitCode = controller->stopCode();
        running = false;
        return;
    }
    // A chapter the book script chose is the first one; otherwise chapter 0.
    if (controller->pendingChapter() < 0) controller->setPendingChapter(0);
}

void SdlHost::deliverEvent(const Event& event) { exitCode = controller->tick(event); }

void SdlHost::drawBook() {
    if (controller) controller->draw();
}

void SdlHost::shutdown() {
    if (platform) {
        if (auto renderer = platform->renderer()) renderer->shutdown();
    }
    // The renderer's shutdown has freed the GL objects of every picture buffer still held, so
    // releasing the book's pictures after the context is gone makes no GL call.
    if (glContext) SDL_GL_DeleteContext(glContext);
    glContext = nullptr;
    if (window) SDL_DestroyWindow(window);
    window = nullptr;
    controller.reset();
    view.reset();
    // Loaders finish and channels stop before the mixer closes under them; one left behind
    // while it decodes keeps the mixer open, for it goes on using it.
    bool mixerIdle = !soundManager || soundManager->shutdown();
    soundManager.reset();
    platform.reset();
    if (mixerIdle) {
        Mix_CloseAudio();
        Mix_Quit();
    }
    TTF_Quit();
    SDL_Quit();
}

int runHost(const Configuration& configuration) {
    if (!initCocoaApplication()) return 1;
    std::string story = storyDirectory();
    if (story.empty()) return 1;
    auto storyPaths = std::make_shared<PathProvider>(story);
    std::string packin = packinDirectory();
    if (packin.empty()) return 1;
    auto packinPaths = std::make_shared<PathProvider>(packin);
    auto host = std::make_shared<SdlHost>();
    if (!host->init(configuration, storyPaths, packinPaths)) return 1;
    return host->run();
}

} // namespace hv
