#include "core/Vec2.h"

#include <cmath>
#include <ostream>

namespace hv {

double Vec2::length() const { return std::sqrt(x * x + y * y); }

double Vec2::distanceTo(const Vec2& other) const { return (*this - other).length(); }

std::ostream& operator<<(std::ostream& out, const Vec2& v) {
    return out << "(" << v.x << ", " << v.y << ")";
}

} // namespace hv
