// The rows of a chapter's page: the top of every row in view units, the height of the row still
// open and the scroll position.
#pragma once

#include "core/Range.h"

#include <cstdint>
#include <vector>

namespace hv {

class RowOffsets {
public:
    RowOffsets() { reset(); }

    void reset();
    // Mode 0 closes the open row below its height; mode 1 starts the next row at the scroll
    // position.
    void addRow(int32_t mode);
    // 0: the open row's height so far; n: the n-th closed row from the end; 0 for n < 0 or
    // n past the first row.
    double heightFromEnd(int64_t n) const;
    double lastBoundary() const { return boundaries.back(); }
    double total() const { return lastBoundary() + pendingHeight; }
    double boundary(uint64_t i) const { return boundaries[i]; }
    uint64_t size() const { return boundaries.size(); }
    // The book y of a fractional row index.
    double positionOfRow(double r) const;
    // Rows the viewport from `top` to `bottom` shows, as (first, count).
    Range visibleRowRange(double top, double bottom) const;
    // Drops the last n boundaries (never the first) and the open row's height.
    void windBack(uint64_t n);

    std::vector<double> boundaries;
    double position = 0.0;
    double pendingHeight = 0.0;
};

} // namespace hv
