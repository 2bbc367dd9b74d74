#pragma once

#include <string>

// Which variant of the product this build is: the desktop build with mouse input. The hooks
// that other variants fill in do nothing here.
namespace hv {

bool hasPointerInput();
bool isMobileBuild();
void variantShutdown();
void triggerAchievement(const std::string& name);
void variantTick();
std::string variantUserDataDirectory();

} // namespace hv
