#include "core/Transform.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace hv {

namespace {

constexpr double equalityTolerance = 1e-7;

bool nearIdentity(const Transform& t) {
    static const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) {
        if (!(std::fabs(t.m[i] - identity[i]) < equalityTolerance)) return false;
    }
    return true;
}

} // namespace

Transform Transform::fromEntries(const double (&entries)[9]) {
    Transform t;
    std::copy(entries, entries + 9, t.m);
    return t;
}

Transform Transform::translation(const Vec2& t) {
    return fromEntries({1, 0, t.x, 0, 1, t.y, 0, 0, 1});
}

Transform Transform::scale(double sx, double sy) {
    return fromEntries({sx, 0, 0, 0, sy, 0, 0, 0, 1});
}

Transform Transform::rotation(double angle) {
    double c = std::cos(angle);
    double s = std::sin(angle);
    return fromEntries({c, -s, 0, s, c, 0, 0, 0, 1});
}

double Transform::element(unsigned row, unsigned column) const {
    if (_isTrivial()) return row == column ? 1.0 : 0.0;
    return m[row * 3 + column];
}

double Transform::determinant() const {
    if (_isTrivial()) return 1.0;
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
           m[2] * (m[3] * m[7] - m[4] * m[6]);
}

Transform Transform::inverse() const {
    if (_isTrivial()) return Transform();
    double f = 1.0 / determinant();
    return fromEntries({
        (m[4] * m[8] - m[5] * m[7]) * f, (m[2] * m[7] - m[1] * m[8]) * f, (m[1] * m[5] - m[2] * m[4]) * f,
        (m[5] * m[6] - m[3] * m[8]) * f, (m[0] * m[8] - m[6] * m[2]) * f, (m[2] * m[3] - m[0] * m[5]) * f,
        (m[3] * m[7] - m[4] * m[6]) * f, (m[1] * m[6] - m[0] * m[7]) * f, (m[0] * m[4] - m[1] * m[3]) * f,
    });
}

Transform Transform::multiply(const Transform& a, const Transform& b) {
    if (a._isTrivial()) return b;
    if (b._isTrivial()) return a;
    Transform r;
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            r.m[row * 3 + col] = a.m[row * 3] * b.m[col] + a.m[row * 3 + 1] * b.m[3 + col] +
                                 a.m[row * 3 + 2] * b.m[6 + col];
        }
    }
    return r;
}

Transform& Transform::operator*=(const Transform& other) {
    if (_isTrivial()) {
        *this = other;
    } else if (!other._isTrivial()) {
        *this = multiply(*this, other);
    }
    return *this;
}

Vec2 Transform::apply(const Vec2& point) const {
    if (_isTrivial()) return point;
    return Vec2(m[0] * point.x + m[1] * point.y + m[2], m[3] * point.x + m[4] * point.y + m[5]);
}

double Transform::maximumScale() const {
    if (_isTrivial()) return 1.0;
    // Largest singular value of [[a, b], [c, d]]: sqrt((S + sqrt(S^2 - 4 det^2)) / 2)
    // with S the sum of the squared entries.
    double a = m[0], b = m[1], c = m[3], d = m[4];
    double s = a * a + b * b + c * c + d * d;
    double det = a * d - b * c;
    double disc = s * s - 4.0 * det * det;
    if (disc < 0.0) disc = 0.0; // rounding
    return std::sqrt(0.5 * (s + std::sqrt(disc)));
}

Circle Transform::applyToCircle(const Circle& circle) const {
    if (_isTrivial()) return circle;
    return Circle(apply(circle.centre), circle.radius * maximumScale());
}

bool Transform::operator==(const Transform& other) const {
    if (_isTrivial()) return other._isTrivial() || nearIdentity(other);
    if (other._isTrivial()) return nearIdentity(*this);
    for (int i = 0; i < 9; ++i) {
        if (!(std::fabs(m[i] - other.m[i]) < equalityTolerance)) return false;
    }
    return true;
}

std::ostream& operator<<(std::ostream& out, const Transform& t) {
    out << "[";
    for (unsigned row = 0; row < 3; ++row) {
        if (row > 0) out << "; ";
        for (unsigned col = 0; col < 3; ++col) {
            if (col > 0) out << ", ";
            out << t.element(row, col);
        }
    }
    return out << "]";
}

} // namespace hv
