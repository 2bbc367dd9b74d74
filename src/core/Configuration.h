#pragma once

#include "core/Rect.h"
#include "core/Vec2.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace hv {

class PaperTexture;

// The options record. `main` fills it from defaults and the command line; the host completes
// its own copy from the display, and each later holder keeps a copy of that.
struct Configuration {
    double scrollBelowFraction = 0.25;
    bool fullscreen = true;
    bool frontToBack = false;
    bool noAspectCap = false;
    bool greyscale = false;
    bool showFps = false;
    bool useCache = true;
    bool mobile = false;
    bool precompiledScripts = true;
    bool logMouse = false;
    bool ignoreMouse = false;
    double activeRectToleranceFraction = 0.014641288433382138;  // 1 / 68.3
    double pointerMoveToleranceFraction = 0.007320644216691069; // 1 / 136.6
    uint64_t windowWidth = 0;
    uint64_t windowHeight = 0;
    int64_t failFramerate = 0;
    double aspect = 0.0;
    double pixelScaleX = 1.0;
    double pixelScaleY = 1.0;
    uint64_t contentWidth = 0;
    uint64_t contentHeight = 0;
    int32_t portrait = 0;
    uint64_t screen = 0;
    std::shared_ptr<PaperTexture> paperTexture;
    uint64_t paperTileSize = 0;
    uint64_t framerate = 0;
    double paperStrength = 0.0;
    bool noTexture = false;
    std::string bookName;
    std::string fpsLogPath;
    std::string longSentenceLogPath;
    std::map<std::string, std::string> env;

    Configuration() = default;

    void setDefaults();
    void applyPlatformDefaults();

    // Offset of the letterboxed content inside the window, in drawable pixels.
    Vec2 centreOffset() const;
    // The content area in normalised device coordinates, centred in the window.
    Rect viewportRect() const;
    double activeRectTolerance() const;
    double pointerMoveTolerance() const;
    // GIF frame delay in hundredths of a second and its remainder; a framerate of 0 (the
    // display's rate, not yet known) counts as 60.
    std::pair<uint64_t, uint64_t> frameDelayCentiseconds() const;
};

// Sets the requested window size and aspect, leaving full screen.
void setWindowSize(Configuration& configuration, double width, double height);

} // namespace hv
