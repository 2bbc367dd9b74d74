#pragma once

#include <string>

namespace hv {

// The fixed layout below the application's resource directory. Paths are joined with "/"
// and never normalised.
std::string assetsDirectory(); // computed once, thread-safe
std::string storyDirectory();
std::string packinDirectory();
std::string blobsDirectory();
std::string appIconPath();

// The user's home followed by the engine's data suffix, with a trailing separator.
std::string userDataDirectory();

// Where scripts save; created with its parents on first use (failure is not reported).
std::string dataDirectory();

bool initCocoaApplication();
double mouseWheelScale();
std::string shaderDirectoryName();

std::string joinPath(const std::string& a, const std::string& b);

} // namespace hv
