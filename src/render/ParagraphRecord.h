#pragma once

#include <cstdint>

namespace hv {

// One typeset paragraph: its texture and where the text sits across the wrap width.
struct ParagraphRecord {
    uint32_t textureId = 0;
    double offsetFraction = 0.0; // left edge of the text as a fraction of the wrap width
    double widthFraction = 1.0;  // the text's width as a fraction of the wrap width
    double aspect = 1.0;         // wrap width over the text's height
};

} // namespace hv
