#pragma once

#include <string>

// What the engine needs of the desktop platform's application services, written for this
// system: where the bundle's resources are, the temporary and home directories, making
// directories and making sure the application object exists.
namespace hv::platform {

// The environment variable that overrides where the resources live.
inline constexpr const char* resourceDirectoryVariable = "HalvaneResourceDirectory";

// The value of "HalvaneResourceDirectory" when set, else the directory of the executable.
std::string bundleResourcePath();

// TMPDIR when set and non-empty, else "/tmp".
std::string temporaryDirectory();

// The password-database home of the real user, with HOME as the fallback.
std::string homeDirectory();

// Creates the directory and any missing parents; true when it exists afterwards.
bool createDirectoryWithIntermediates(const std::string& path);

// Makes sure the application object exists; always succeeds here.
bool sharedApplication();

} // namespace hv::platform
