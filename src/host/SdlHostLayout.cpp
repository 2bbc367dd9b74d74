// The host's calculations that need no SDL state: frame pacing from the display's refresh
// rate, the window and content layout, the pixel scale and the wait after a buffer swap.
#include "host/SdlHost.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace hv {

SdlHost::FramePacing SdlHost::framePacing(int refreshRate, uint64_t framerate, std::ostream& out, std::ostream& err) {
    FramePacing pacing;
    if (refreshRate <= 0) {
        err << "warning: did not get refresh rate from display" << std::endl;
        // The step assumes 60 frames a second, so the configuration says so too (the GIF
        // frame delay reads it).
        pacing.dt = 1.0 / 60.0;
        pacing.tickMultiplier = 1;
        pacing.framerate = 60;
    } else if (framerate == 0) {
        pacing.framerate = uint64_t(refreshRate);
        pacing.dt = 1.0 / double(refreshRate);
    } else {
        pacing.framerate = framerate;
        pacing.dt = 1.0 / double(framerate);
        pacing.tickMultiplier = int32_t(std::lround(double(refreshRate) / double(framerate)));
        if (uint64_t(refreshRate) % framerate != 0) {
            out << "warning: imprecise framerate division, requesting " << framerate << ", trying to fit to "
                << refreshRate << ", dt = " << pacing.dt << ", tickMultiplier = " << pacing.tickMultiplier << std::endl;
        }
    }
    return pacing;
}

void SdlHost::layoutContent(Configuration& c, int displayWidth, int displayHeight) {
    if (c.fullscreen) {
        c.windowWidth = uint64_t(std::max(0, displayWidth));
        c.windowHeight = uint64_t(std::max(0, displayHeight));
        c.aspect = double(displayWidth) / double(displayHeight);
    }
    if (!c.noAspectCap && c.portrait == 0) c.aspect = std::min(1.8, std::max(1.47, c.aspect));
    double ratio = double(c.windowWidth) / double(c.windowHeight);
    c.contentWidth = c.windowWidth;
    c.contentHeight = c.windowHeight;
    if (c.aspect > ratio + 0.01) {
        c.contentHeight = uint64_t(double(c.windowWidth) / c.aspect);
    } else if (c.aspect < ratio - 0.01) {
        c.contentWidth = uint64_t(c.aspect * double(c.windowHeight));
    }
}

bool SdlHost::applyPixelScale(Configuration& c, int drawableWidth, int drawableHeight) {
    int32_t sx = c.windowWidth ? int32_t(drawableWidth / int64_t(c.windowWidth)) : 0;
    int32_t sy = c.windowHeight ? int32_t(drawableHeight / int64_t(c.windowHeight)) : 0;
    if (sx != sy) {
        std::cout << "Scales did not match" << std::endl;
        return false;
    }
    if (sx <= 0) {
        // Zero would collapse every size to nothing and divide by zero further on.
        std::cerr << "Failed to get pixel scale: drawable size " << drawableWidth << "x" << drawableHeight
                  << " is smaller than the window " << c.windowWidth << "x" << c.windowHeight << std::endl;
        return false;
    }
    c.windowWidth *= uint64_t(sx);
    c.windowHeight *= uint64_t(sx);
    c.contentWidth *= uint64_t(sx);
    c.contentHeight *= uint64_t(sx);
    c.pixelScaleX = double(sx);
    c.pixelScaleY = double(sx);
    return true;
}

double SdlHost::swapWait(double sinceLastSwap, double interval, bool vsync) {
    if (!(interval > 0.0) || !(sinceLastSwap >= 0.0)) return 0.0;
    if (sinceLastSwap >= (vsync ? interval / 2 : interval)) return 0.0;
    return interval - sinceLastSwap;
}

uint64_t SdlHost::chooseScreen(uint64_t screen, int displays, std::ostream& err) {
    if (screen != 0) screen -= 1;
    if (screen >= uint64_t(std::max(0, displays))) {
        // Signed, so that -screen -1 names screen -2 rather than a 20-digit number.
        err << "warning: trying to use non-existent screen " << int64_t(screen) << std::endl;
        screen = 0;
    }
    return screen;
}

} // namespace hv
