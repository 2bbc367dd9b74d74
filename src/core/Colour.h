#pragma once

#include <cstdint>
#include <iosfwd>

namespace hv {

// RGBA with components meant to lie in 0..1.
struct Colour {
    double r;
    double g;
    double b;
    double a;

    Colour() : r(1.0), g(1.0), b(1.0), a(1.0) {}
    Colour(double r_, double g_, double b_, double a_) : r(r_), g(g_), b(b_), a(a_) {}

    // Components outside 0..1 are clamped and NaN reads as 0, so animation overshoot
    // never wraps a byte around.
    uint8_t redByte() const;
    uint8_t greenByte() const;
    uint8_t blueByte() const;
    uint8_t alphaByte() const;

    bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const Colour& o) const { return !(*this == o); }
};

// 0..1 to 0..255, truncated toward zero after clamping.
uint8_t colourComponentByte(double component);

// Opaque red: what failed colour lookups and conversions give.
const Colour& fallbackColour();

// Transparent black: the colour of a new path.
const Colour& transparentBlack();

std::ostream& operator<<(std::ostream& out, const Colour& c);

} // namespace hv
