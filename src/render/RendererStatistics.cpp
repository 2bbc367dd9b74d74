#include "render/RendererStatistics.h"

#include <algorithm>
#include <ostream>

namespace hv {

void RendererStatistics::endFrame() {
    for (Counter* c : {&drawRangeCalls, &drawRecolouredRangeCalls, &trianglesDrawn, &drawRecolouredTextureCalls,
                       &drawTextureCalls, &bufferUpdates, &textureUpdates}) {
        c->total += c->current;
        c->maximum = std::max(c->maximum, c->current);
        c->current = 0;
    }
    ++frameCount;
}

void RendererStatistics::printCounter(std::ostream& out, const Counter& counter, uint64_t frames) {
    out << double(counter.total) / double(frames) << " (" << counter.maximum << ")";
}

void RendererStatistics::print(std::ostream& out) {
    const std::pair<const char*, const Counter*> lines[] = {
        {"  draw range calls: ", &drawRangeCalls},
        {"  draw recoloured range calls: ", &drawRecolouredRangeCalls},
        {"  draw recoloured texture calls: ", &drawRecolouredTextureCalls},
        {"  draw texture calls: ", &drawTextureCalls},
        {"  buffer updates: ", &bufferUpdates},
        {"  texture updates: ", &textureUpdates},
        {"  triangles drawn: ", &trianglesDrawn},
    };
    for (const auto& [label, counter] : lines) {
        out << label;
        printCounter(out, *counter, frameCount);
        out << std::endl;
    }
    *this = RendererStatistics();
}

} // namespace hv
