#pragma once

#include <iosfwd>

namespace hv {

// A point or a vector in whatever space the caller works in.
struct Vec2 {
    double x;
    double y;

    Vec2() : x(0.0), y(0.0) {}
    Vec2(double x_, double y_) : x(x_), y(y_) {}

    double length() const;
    double distanceTo(const Vec2& other) const;

    Vec2 operator-(const Vec2& other) const { return Vec2(x - other.x, y - other.y); }
    Vec2 operator+(const Vec2& other) const { return Vec2(x + other.x, y + other.y); }
    Vec2 operator*(double factor) const { return Vec2(x * factor, y * factor); }
    bool operator==(const Vec2& other) const { return x == other.x && y == other.y; }
};

// Two-double members that start at zero are made with this.
inline Vec2 zeroVec2() { return Vec2(0.0, 0.0); }

std::ostream& operator<<(std::ostream& out, const Vec2& v);

} // namespace hv
