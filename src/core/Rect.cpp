#include "core/Rect.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace hv {

bool Rect::contains(const Vec2& point) const {
    if (point.x < minX()) return false;
    if (point.y < minY()) return false;
    if (point.x > maxX()) return false;
    if (point.y > maxY()) return false;
    return true;
}

Rect Rect::intersection(const Rect& a, const Rect& b) {
    double left = std::max(a.minX(), b.minX());
    double top = std::max(a.minY(), b.minY());
    double right = std::min(a.maxX(), b.maxX());
    double bottom = std::min(a.maxY(), b.maxY());
    return Rect(left, top, right - left, bottom - top);
}

Circle Rect::boundingCircle() const {
    return Circle(Vec2(x + 0.5 * w, y + 0.5 * h), 0.5 * std::sqrt(w * w + h * h));
}

bool Rect::clampPoint(const Vec2& point, Vec2& out) const {
    bool inside = true;
    out = point;
    if (point.x > maxX()) {
        out.x = maxX();
        inside = false;
    } else if (point.x < minX()) {
        out.x = minX();
        inside = false;
    }
    if (point.y > maxY()) {
        out.y = maxY();
        inside = false;
    } else if (point.y < minY()) {
        out.y = minY();
        inside = false;
    }
    return inside;
}

std::ostream& operator<<(std::ostream& out, const Rect& r) {
    return out << "Rect(" << r.x << ", " << r.y << ", " << r.w << ", " << r.h << ")";
}

} // namespace hv
