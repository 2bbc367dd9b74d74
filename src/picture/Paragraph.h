#pragma once

#include "core/Colour.h"
#include "core/Vec2.h"

#include <cstdint>

namespace hv {

// A typeset paragraph placed on a node, in picture space.
struct Paragraph {
    Colour colour;            // opaque white when placed
    int32_t paragraphId = 0;  // 1-based id of a typeset paragraph of the book view
    Vec2 position;
};

} // namespace hv
