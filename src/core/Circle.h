#pragma once

#include "core/Vec2.h"

namespace hv {

// The cheap visibility-test shape of the renderers.
struct Circle {
    Vec2 centre;
    double radius = 0.0;

    Circle() = default;
    Circle(const Vec2& c, double r) : centre(c), radius(r) {}

    // Touching circles do not overlap.
    bool overlaps(const Circle& other) const {
        return centre.distanceTo(other.centre) < radius + other.radius;
    }
};

} // namespace hv
