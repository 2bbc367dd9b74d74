// The chapter's rows: script and view units, opening and raising rows, the content height and
// the rows the viewport shows.
#include "chapter/ChapterController.h"

#include "core/Fatal.h"
#include "core/PlatformBackend.h"
#include "core/TypesetterBackend.h"
#include "render/BookView.h"

#include <algorithm>

namespace hv {

double ChapterController::scriptToViewUnits(double x) const { return x * viewWidth() / double(unitsPerViewWidth); }

double ChapterController::viewToScriptUnits(double x) const { return x * double(unitsPerViewWidth) / viewWidth(); }

void ChapterController::newRow(int32_t mode) { rows.addRow(mode); }

void ChapterController::setRowHeight(double height) {
    if (height < 0) fatalError("setting negative row height is deprecated");
    raiseRowHeight(scriptToViewUnits(height));
}

void ChapterController::raiseRowHeight(double viewHeightValue) {
    rows.pendingHeight = std::max(viewHeightValue, rows.pendingHeight);
    updateContentHeight();
}

double ChapterController::rowHeight(int64_t rowsBack) const { return viewToScriptUnits(rows.heightFromEnd(rowsBack)); }

int32_t ChapterController::currentRowIndex() const { return int32_t(rows.size() - 1); }

double ChapterController::viewportHeight() const { return viewHeight() * double(unitsPerViewWidth) / viewWidth(); }

double ChapterController::scrollBelowMargin() const { return viewHeight() * scrollBelowFraction; }

void ChapterController::setScrollBelowMargin(double fraction) {
    scrollBelowFraction = fraction < 0 ? configuration.scrollBelowFraction : fraction;
}

void ChapterController::updateContentHeight() {
    contentHeight = std::max(rows.total() + scrollBelowMargin(), contentHeight);
    bookView->setContentHeight(contentHeight);
}

void ChapterController::extendCanvas(double length) {
    contentHeight = std::max(rows.lastBoundary() + scriptToViewUnits(length), contentHeight);
    updateContentHeight();
}

Range ChapterController::visibleRowRange() const {
    return rows.visibleRowRange(rows.position, rows.position + viewHeight());
}

bool ChapterController::rowIsVisible(int64_t row) const {
    Range range = visibleRowRange();
    return row >= int64_t(range.start) && row < int64_t(range.start + range.count);
}

double ChapterController::getLineHeight() {
    std::shared_ptr<TypesetterBackend> typesetter = platform ? platform->typesetter() : nullptr;
    if (!typesetter) return 0.0;
    // No typeface chosen (or one that failed to load) measures font 0, as typesetting does.
    int32_t font = contexts.currentFrame().typeface;
    if (font < 0) font = 0;
    return viewToScriptUnits(typesetter->lineMetrics(font).second);
}

} // namespace hv
