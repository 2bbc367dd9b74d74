#pragma once

#include "core/Colour.h"
#include "core/PaletteColour.h"

#include <vector>

namespace hv {

// The chapter's colour table: rows of tones. Row 0 is an 11-tone grey ramp from black to
// white; a story's own rows follow it, so its first colour is row 1.
class ColourPalette {
public:
    ColourPalette();

    // Out-of-range rows and tones are reported and give the fallback colour.
    Colour operator[](const PaletteColour& colour) const;

    std::vector<std::vector<Colour>> rows;
};

} // namespace hv
