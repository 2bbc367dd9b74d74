// Canvases, pictures, nodes, paths and paragraph lines of a chapter, and the page queries.
#include "chapter/ChapterController.h"

#include "core/Fatal.h"

#include <iostream>

namespace hv {

void ChapterController::placeStickyCanvases() {}

bool ChapterController::revealIndicatorIsShowing() const { return false; }

void ChapterController::reportError(const std::string& message) {
    std::cerr << "err: " << message << std::endl;
    fatalError("lua sourced error, aborting");
}

} // namespace hv
