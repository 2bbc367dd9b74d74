#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace hv {

class RendererBackend;

// One typeset paragraph: a texture of white text and where the text sits in its box.
struct ParagraphRecord {
    uint32_t textureId = 0;
    double offsetFraction = 0.0; // left edge of the text as a fraction of the box width
    double widthFraction = 1.0;  // text width over the wrap width
    double aspect = 1.0;         // wrap width over text height
};

// What every picture renderer shares: the typeset paragraphs (id n is entry n - 1) and the
// backend they draw through (the merging cache).
struct CoreRenderer {
    std::vector<ParagraphRecord> paragraphs;
    std::shared_ptr<RendererBackend> backend;
};

} // namespace hv
