#pragma once

#include "core/Circle.h"
#include "core/Vec2.h"

#include <iosfwd>

namespace hv {

// An axis-aligned rectangle: the corner with the smallest coordinates, width and height.
struct Rect {
    double x;
    double y;
    double w;
    double h;

    Rect() : x(0.0), y(0.0), w(0.0), h(0.0) {}
    Rect(double x_, double y_, double w_, double h_) : x(x_), y(y_), w(w_), h(h_) {}
    Rect(const Vec2& corner, const Vec2& size) : x(corner.x), y(corner.y), w(size.x), h(size.y) {}

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + w; }
    double maxY() const { return y + h; }

    // Edges belong to the rect.
    bool contains(const Vec2& point) const;

    // Not clamped: rects that do not overlap give a negative width or height.
    static Rect intersection(const Rect& a, const Rect& b);

    Circle boundingCircle() const;

    // Writes the nearest point of the rect into `out`; true when `point` already lay inside.
    bool clampPoint(const Vec2& point, Vec2& out) const;

    bool operator==(const Rect& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

std::ostream& operator<<(std::ostream& out, const Rect& r);

} // namespace hv
