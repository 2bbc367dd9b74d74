#include "chapter/RowOffsets.h"

#include <cmath>

namespace hv {

void RowOffsets::reset() {
    boundaries.assign(1, 0.0);
    position = 0.0;
    pendingHeight = 0.0;
}

void RowOffsets::addRow(int32_t mode) {
    if (mode == 0) boundaries.push_back(lastBoundary() + pendingHeight);
    if (mode == 1) boundaries.push_back(position);
    pendingHeight = 0.0;
}

double RowOffsets::heightFromEnd(int64_t n) const {
    if (n == 0) return pendingHeight;
    // Past the first row there is nothing to measure; a script may ask for it.
    if (n < 0 || uint64_t(n) >= boundaries.size()) return 0.0;
    size_t s = boundaries.size();
    return boundaries[s - size_t(n)] - boundaries[s - size_t(n) - 1];
}

double RowOffsets::positionOfRow(double r) const {
    // Decided in doubles first: a NaN, infinite or huge index never reaches a conversion.
    if (!(r >= 0.0)) return 0.0;
    double d = std::floor(r);
    double f = r - d;
    double s = double(boundaries.size());
    if (d + 1 < s) {
        auto i = size_t(d);
        return boundaries[i] * (1 - f) + boundaries[i + 1] * f;
    }
    if (d + 1 == s) return boundaries[size_t(d)] * (1 - f) + total() * f;
    return total();
}

Range RowOffsets::visibleRowRange(double top, double bottom) const {
    uint64_t n = boundaries.size();
    if (n == 1) return Range(0, 0);
    uint64_t start = 0;
    uint64_t count = 0;
    bool found = false;
    for (uint64_t i = 0; i + 1 < n; ++i) {
        if (boundaries[i + 1] > top) {
            start = i;
            found = true;
            break;
        }
    }
    if (!found) {
        start = n - 1;
    } else {
        count = 1;
        while (start + count < n && boundaries[start + count] < bottom) ++count;
    }
    if (start + count + 1 == n) ++count;
    return Range(start, count);
}

void RowOffsets::windBack(uint64_t n) {
    if (n >= boundaries.size()) n = boundaries.size() - 1;
    boundaries.resize(boundaries.size() - size_t(n));
    pendingHeight = 0.0;
}

} // namespace hv
