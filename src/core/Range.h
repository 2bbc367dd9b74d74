#pragma once

#include <cstdint>

namespace hv {

// A span of vertices or indices in a buffer.
struct Range {
    uint64_t start;
    uint64_t count;

    Range() : start(0), count(0) {}
    Range(uint64_t s, uint64_t c) : start(s), count(c) {}

    uint64_t end() const { return start + count; }
    bool operator==(const Range& o) const { return start == o.start && count == o.count; }
};

} // namespace hv
