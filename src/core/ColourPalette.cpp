#include "core/ColourPalette.h"

#include <iostream>

namespace hv {

ColourPalette::ColourPalette() {
    std::vector<Colour> grey;
    for (int i = 0; i <= 10; ++i) grey.emplace_back(i / 10.0, i / 10.0, i / 10.0, 1.0);
    rows.push_back(std::move(grey));
}

Colour ColourPalette::operator[](const PaletteColour& colour) const {
    switch (colour.kind) {
    case PaletteColour::Invalid:
        return Colour(0, 0, 0, 1);
    case PaletteColour::Direct:
        return colour.rgba;
    case PaletteColour::Palette: {
        if (colour.colour < 0 || size_t(colour.colour) >= rows.size()) {
            std::cerr << "ColourPalette::operator[" << colour << "] colour out of range" << std::endl;
            return fallbackColour();
        }
        const std::vector<Colour>& row = rows[size_t(colour.colour)];
        if (colour.tone < 0 || size_t(colour.tone) >= row.size()) {
            std::cerr << "ColourPalette::operator[] tone out of range" << std::endl;
            return fallbackColour();
        }
        Colour c = row[size_t(colour.tone)];
        c.a *= colour.opacity;
        return c;
    }
    default:
        return Colour(1, 1, 1, 1);
    }
}

} // namespace hv
