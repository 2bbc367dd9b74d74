#include "core/PaletteColour.h"

#include <cctype>
#include <cstdint>
#include <iostream>
#include <limits>

namespace hv {

namespace {

// atoi's grammar (leading blanks, a sign, digits up to the first other character), but
// saturating at the int32 limits where atoi would overflow.
int32_t saturatingAtoi(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    const int64_t limit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) value = std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

PaletteColour PaletteColour::fromColour(const Colour& c) {
    PaletteColour p;
    p.rgba = c;
    p.kind = Direct;
    return p;
}

std::pair<PaletteColour, bool> PaletteColour::parse(const std::string& text) {
    if (text.empty()) {
        std::cerr << "PaletteColour::parse(): blank colour passed" << std::endl;
        return {PaletteColour(), false};
    }
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] != '.') continue;
        int32_t row = saturatingAtoi(text.substr(0, i));
        int32_t tone = saturatingAtoi(text.substr(i + 1));
        if (tone != std::numeric_limits<int32_t>::min()) tone -= 1;
        return {PaletteColour(row, tone), true};
    }
    return {PaletteColour(), false};
}

std::string PaletteColour::toString() const {
    return std::to_string(colour) + "." + std::to_string(int64_t(tone) + 1);
}

std::ostream& operator<<(std::ostream& out, const PaletteColour& c) {
    out << "PaletteColour(";
    switch (c.kind) {
    case PaletteColour::Invalid:
        out << "Invalid" << std::endl;
        break;
    case PaletteColour::Direct:
        out << c.rgba << ")";
        break;
    case PaletteColour::Palette:
        out << c.colour << ", " << c.tone << ", " << c.opacity << ")";
        break;
    default:
        break;
    }
    return out;
}

std::pair<Colour, bool> colourFromHex(const std::string& text) {
    if (text.size() != 6 && text.size() != 8) return {fallbackColour(), false};
    double components[4] = {0, 0, 0, 1};
    for (size_t pair = 0; pair < text.size() / 2; ++pair) {
        int high = hexDigit(text[2 * pair]);
        int low = hexDigit(text[2 * pair + 1]);
        if (high < 0 || low < 0) return {fallbackColour(), false};
        components[pair] = (16 * high + low) / 255.0;
    }
    return {Colour(components[0], components[1], components[2], components[3]), true};
}

} // namespace hv
