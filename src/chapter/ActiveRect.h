// The regions of pictures that scripts wait on, and the regions that catch the pointer.
#pragma once

#include "core/Rect.h"
#include "core/Vec2.h"

#include <cstdint>
#include <iosfwd>

namespace hv {

struct ActivePictureRect {
    enum State : uint32_t {
        Idle = 0,
        WaitStartDrag = 1,
        WaitContinueDrag = 2,
        DragActive = 3,
        WaitingOnClick = 4,
        WaitingPointerIn = 5,
        WaitPointerOut = 6,
        WaitPointerOutOrMove = 7,
        Dead = 8,
    };

    uint32_t state = Idle;
    int32_t picture = 0; // picture instance
    int32_t node = 0;
    int64_t owner = -1;  // the context waiting on the rect
    uint64_t dragGeneration = 0;
    Vec2 dragOffset;
    Vec2 dragStart;
    Vec2 dragCurrent;
    Rect rect; // in the node's space, script units
    bool handCursor = false;
};

std::ostream& operator<<(std::ostream& out, const ActivePictureRect& rect);

// One point matched against one rect.
struct PointerMatch {
    bool matched = false;
    double distance = 0.0; // script units; 0 inside
    int64_t pictureKey = 0;
    Vec2 point; // in the node's space
};

// One row of a hit list.
struct ActiveRectMatch {
    double x = 0.0;
    double y = 0.0;
    int64_t rect = 0;
    int32_t state = 0;
    double distance = 0.0;
    int64_t pictureKey = 0;
};

struct DragCatcher {
    int32_t picture = 0;
    int32_t node = 0;
    Rect rect;
    bool catchClicks = false;
    bool catchDrags = false;
};

} // namespace hv
