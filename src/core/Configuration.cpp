#include "core/Configuration.h"

#include "core/Variant.h"

namespace hv {

void Configuration::setDefaults() {
    showFps = false;
    framerate = 0;
    mobile = isMobileBuild();
    useCache = true;
    greyscale = false;
    screen = 0;
    logMouse = false;
    ignoreMouse = false;
    portrait = 0;
    failFramerate = 0;
    pixelScaleX = 1.0;
    pixelScaleY = 1.0;
    noAspectCap = false;
    noTexture = false;
    frontToBack = false;
    scrollBelowFraction = 0.25;
    activeRectToleranceFraction = 0.014641288433382138;
    pointerMoveToleranceFraction = 0.007320644216691069;
    precompiledScripts = false;
    showFps = true;
    fullscreen = false;
    applyPlatformDefaults();
}

void Configuration::applyPlatformDefaults() {
    precompiledScripts = true;
    fullscreen = true;
}

Vec2 Configuration::centreOffset() const {
    // In doubles, so content larger than the window cannot wrap around.
    return Vec2((double(windowWidth) - double(contentWidth)) * 0.5, (double(windowHeight) - double(contentHeight)) * 0.5);
}

Rect Configuration::viewportRect() const {
    // A window not yet measured counts as filled by the content.
    double a = windowWidth ? double(contentWidth) * 2.0 / double(windowWidth) : 2.0;
    double b = windowHeight ? double(contentHeight) * 2.0 / double(windowHeight) : 2.0;
    return Rect(0.5 * (2.0 - a) - 1.0, 0.5 * (2.0 - b) - 1.0, a, b);
}

double Configuration::activeRectTolerance() const { return activeRectToleranceFraction * double(contentWidth); }

double Configuration::pointerMoveTolerance() const { return pointerMoveToleranceFraction * double(contentWidth); }

std::pair<uint64_t, uint64_t> Configuration::frameDelayCentiseconds() const {
    uint64_t rate = framerate ? framerate : 60;
    return {100 / rate, 100 % rate};
}

void setWindowSize(Configuration& configuration, double width, double height) {
    configuration.windowWidth = uint64_t(width);
    configuration.windowHeight = uint64_t(height);
    configuration.aspect = width / height;
    configuration.fullscreen = false;
}

} // namespace hv
