#pragma once

#include "core/Colour.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>

namespace hv {

// A colour given directly or as a row and tone of the chapter's palette. In text a palette
// colour is "row.tone", with the tone counted from 1.
struct PaletteColour {
    enum Kind : int32_t { Invalid = 0, Direct = 1, Palette = 2 };

    Colour rgba;          // Direct only
    int32_t colour = 0;   // palette row
    int32_t tone = 0;     // zero-based tone
    double opacity = 1.0; // multiplies the palette entry's alpha
    int32_t kind = Invalid;

    PaletteColour() = default;
    PaletteColour(int32_t row, int32_t tone_) : colour(row), tone(tone_), opacity(1.0), kind(Palette) {}

    static PaletteColour fromColour(const Colour& c);

    // "3.1" is row 3, tone 0. Fails silently without a dot between other characters;
    // blank text fails with a message.
    static std::pair<PaletteColour, bool> parse(const std::string& text);

    std::string toString() const;
};

std::ostream& operator<<(std::ostream& out, const PaletteColour& c);

// Six or eight hexadecimal digits, no "#": red, green, blue and optionally alpha.
// Failure gives the fallback colour and false.
std::pair<Colour, bool> colourFromHex(const std::string& text);

} // namespace hv
