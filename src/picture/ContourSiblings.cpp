// The grid of a leaf's children by their bounds.
#include "picture/ContourSiblings.h"

namespace hv {

void SiblingFilter::enter(Index& index, size_t child, const polygon::Bounds& b) {
    if (!b.tame || b.empty()) {
        index.wide.push_back(uint32_t(child));
        return;
    }
    index.slack = std::fmax(index.slack, b.slack());
    int64_t cx0 = cellX(index, b.minX), cx1 = cellX(index, b.maxX);
    int64_t cy0 = cellY(index, b.minY), cy1 = cellY(index, b.maxY);
    if (double(cx1 - cx0 + 1) * double(cy1 - cy0 + 1) > 16) {
        index.wide.push_back(uint32_t(child));
        return;
    }
    for (int64_t y = cy0; y <= cy1; ++y) {
        for (int64_t x = cx0; x <= cx1; ++x) {
            auto [at, added] = index.heads.try_emplace(cellKey(x, y), uint32_t(-1));
            index.nodeChild.push_back(uint32_t(child));
            index.nodeNext.push_back(at->second);
            at->second = uint32_t(index.nodeChild.size() - 1);
        }
    }
}

void SiblingFilter::childrenRemoved(const PathLeaf& parent) {
    auto at = indices_.find(keyOf(parent));
    if (at != indices_.end()) at->second.valid = false;
}

} // namespace hv
