#include "core/ResourcePaths.h"

#include "core/Platform.h"
#include "core/Variant.h"

#include <mutex>

namespace hv {

std::string assetsDirectory() {
    static std::once_flag once;
    static std::string assets;
    std::call_once(once, [] { assets = joinPath(platform::bundleResourcePath(), "assets"); });
    return assets;
}

std::string storyDirectory() { return assetsDirectory() + "/story"; }
std::string packinDirectory() { return assetsDirectory() + "/packin"; }
std::string blobsDirectory() { return assetsDirectory() + "/blobs"; }
std::string appIconPath() { return blobsDirectory() + "/app-icon.bmp"; }

std::string userDataDirectory() {
    return platform::homeDirectory() + "/Local/Application Support/Brackwater Studios/Halvane/";
}

std::string dataDirectory() {
    static std::once_flag once;
    static std::string data;
    std::call_once(once, [] {
        data = variantUserDataDirectory();
        platform::createDirectoryWithIntermediates(data);
    });
    return data;
}

bool initCocoaApplication() { return platform::sharedApplication(); }

// SDL reports 1 per notch here; five times the factor is a notch's amount in window points, which
// the page moves at once and about as far again coasting: some 85 points a notch on any window
// tall enough (the host takes less on a short one).
double mouseWheelScale() { return 8.8; }

std::string shaderDirectoryName() { return "shaders-gl3"; }

std::string joinPath(const std::string& a, const std::string& b) { return a + "/" + b; }

} // namespace hv
