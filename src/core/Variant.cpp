#include "core/Variant.h"

#include "core/ResourcePaths.h"

namespace hv {

bool hasPointerInput() { return true; }
bool isMobileBuild() { return false; }
void variantShutdown() {}
void triggerAchievement(const std::string&) {}
void variantTick() {}
std::string variantUserDataDirectory() { return userDataDirectory(); }

} // namespace hv
