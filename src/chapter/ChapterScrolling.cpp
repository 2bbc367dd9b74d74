// Drag catchers, page dragging, wheel scrolling with inertia, and the row and key waiters.
#include "chapter/ChapterController.h"

namespace hv {

std::pair<bool, bool> ChapterController::dragCatchersAt(const Vec2&) { return {false, false}; }

void ChapterController::scrollBy(double) {}

double ChapterController::wheelFactor(double) { return 1.0; }

void ChapterController::keyPressed(KeyCode) {}

void ChapterController::inertiaStep(double) {}

void ChapterController::releaseVisibleRowWaiters() {}

} // namespace hv
