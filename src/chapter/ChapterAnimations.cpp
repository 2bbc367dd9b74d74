// Animation targets: starting, reading, applying and chaining a chapter's animations.
#include "chapter/ChapterController.h"

namespace hv {

void ChapterController::animationPass(double, double) {}

} // namespace hv
