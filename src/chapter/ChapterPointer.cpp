// Active rects: matching the pointer against them, their hover, click and drag state machine,
// and the cursor.
#include "chapter/ChapterController.h"

namespace hv {

bool ChapterController::startRectDrag(const Vec2&, uint64_t) { return false; }

void ChapterController::continueDrag(const Vec2&, uint64_t) {}

void ChapterController::endDrag(uint64_t) {}

bool ChapterController::clickAt(const Vec2&) { return false; }

void ChapterController::updatePointerHover(const Vec2&, bool) {}

void ChapterController::updateCursor(const Vec2&) {}

} // namespace hv
