#pragma once

#include "core/Circle.h"
#include "core/Vec2.h"

#include <iosfwd>
#include <vector>

namespace hv {


// A 2-D affine transform as a 3x3 matrix in row order. The identity is not stored as a
// matrix: DBL_MAX in the first entry marks a trivial transform, and every operation takes a
// short cut for it, because most nodes and paths are never transformed.
class Transform {
public:
    static constexpr double trivialMark = 1.7976931348623157e308;

    // Trivial. The other entries hold the identity too, so nothing reads uninitialised memory.
    Transform() : m{trivialMark, 0, 0, 0, 1, 0, 0, 0, 1} {}

    static Transform translation(const Vec2& t);
    static Transform scale(double sx, double sy);
    static Transform rotation(double angle);
    // All nine entries as given; never trivial.
    static Transform fromEntries(const double (&entries)[9]);

    bool _isTrivial() const { return m[0] == trivialMark; }

    double element(unsigned row, unsigned column) const;
    double determinant() const;
    Transform inverse() const;

    // a * b: b applies first, then a.
    static Transform multiply(const Transform& a, const Transform& b);
    Transform& operator*=(const Transform& other);

    Vec2 apply(const Vec2& point) const;

    // A circle that covers the transformed circle: the radius grows by the largest singular
    // value of the linear part, the most any direction is stretched.
    Circle applyToCircle(const Circle& circle) const;

    // The largest factor by which the transform stretches any vector; 1 when trivial.
    double maximumScale() const;

    // Equal within 1e-7 per entry; a trivial side compares with the identity.
    bool operator==(const Transform& other) const;
    bool operator!=(const Transform& other) const { return !(*this == other); }

    double m[9];
};

std::ostream& operator<<(std::ostream& out, const Transform& t);

} // namespace hv
