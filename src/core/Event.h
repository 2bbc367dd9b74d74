#pragma once

#include "core/Vec2.h"

#include <cstdint>

namespace hv {

// One input or tick event. Fields a kind does not use stay zero.
struct Event {
    enum Kind : int32_t { Tick = 0, PointerDown = 1, PointerMove = 2, PointerUp = 3, Wheel = 4, Screenshot = 5, Key = 6 };
    enum Source : int32_t { NotPointer = 0, Mouse = 1 };
    static constexpr uint64_t escapeKey = 0;

    int32_t source = NotPointer;
    int32_t kind = Tick;
    // Press, move and release: the pointer in view units. Tick: x is the time step in seconds.
    // Wheel: y is the scroll amount, already scaled to drawable pixels.
    Vec2 point;
    uint64_t key = 0;

    Vec2 pt() const { return point; }
};

} // namespace hv
