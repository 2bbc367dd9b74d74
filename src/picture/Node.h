#pragma once

#include "core/Transform.h"
#include "core/Vec2.h"
#include "picture/Paragraph.h"

#include <cstdint>
#include <vector>

namespace hv {

// One node of a picture's tree. Paths and children are held by index.
struct Node {
    double scaleX = 1.0;
    double scaleY = 1.0;
    double rotation = 0.0; // radians
    Vec2 translation;
    bool visible = true;
    int32_t parent = -1; // -1 for a root
    Vec2 pivot;
    std::vector<uint64_t> children;
    std::vector<uint64_t> paths;
    std::vector<Paragraph> lines;
    // Bumped when the node's own transform values change, and then on all its descendants.
    int32_t revision = 1;

    // T(translation) * S(scale) * R(rotation) * T(-pivot).
    Transform localTransform() const;
};

} // namespace hv
