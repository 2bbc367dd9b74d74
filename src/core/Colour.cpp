#include "core/Colour.h"

#include <cmath>
#include <ostream>

namespace hv {

uint8_t colourComponentByte(double component) {
    if (!(component > 0.0)) return 0; // also NaN
    if (component >= 1.0) return 255;
    return static_cast<uint8_t>(component * 255.0);
}

uint8_t Colour::redByte() const { return colourComponentByte(r); }
uint8_t Colour::greenByte() const { return colourComponentByte(g); }
uint8_t Colour::blueByte() const { return colourComponentByte(b); }
uint8_t Colour::alphaByte() const { return colourComponentByte(a); }

const Colour& fallbackColour() {
    static const Colour red(1.0, 0.0, 0.0, 1.0);
    return red;
}

const Colour& transparentBlack() {
    static const Colour clear(0.0, 0.0, 0.0, 0.0);
    return clear;
}

std::ostream& operator<<(std::ostream& out, const Colour& c) {
    return out << "Colour(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
}

} // namespace hv
