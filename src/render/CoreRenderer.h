#pragma once

#include "render/ParagraphRecord.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace hv {

class RendererBackend;

// What every picture renderer shares: the typeset paragraphs (id n is entry n - 1) and the
// backend they draw through (the merging cache).
struct CoreRenderer {
    std::vector<ParagraphRecord> paragraphs;
    std::shared_ptr<RendererBackend> backend;
};

} // namespace hv
