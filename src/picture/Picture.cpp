#include "picture/Picture.h"

#include <algorithm>
#include <iostream>

namespace hv {

void Picture::bumpNodeRevision(uint64_t nodeIndex) {
    // Depth first in list order, with an explicit stack; a visit count bounds cycles.
    std::vector<uint64_t> stack{nodeIndex};
    size_t visits = 0;
    while (!stack.empty() && visits <= nodes.size() * nodes.size()) {
        uint64_t index = stack.back();
        stack.pop_back();
        if (index >= nodes.size()) continue;
        ++visits;
        Node& node = nodes[index];
        ++node.revision;
        for (auto it = node.children.rbegin(); it != node.children.rend(); ++it) stack.push_back(*it);
    }
}

std::vector<uint64_t> Picture::ancestry(uint64_t nodeIndex) const {
    std::vector<uint64_t> chain;
    int64_t index = int64_t(nodeIndex);
    while (index >= 0 && uint64_t(index) < nodes.size()) {
        if (std::find(chain.begin(), chain.end(), uint64_t(index)) != chain.end()) break; // a cycle
        chain.push_back(uint64_t(index));
        index = nodes[size_t(index)].parent;
    }
    return chain;
}

bool Picture::isNodeVisible(uint64_t nodeIndex) const {
    for (uint64_t index : ancestry(nodeIndex)) {
        if (!nodes[index].visible) return false;
    }
    return true;
}

std::vector<Transform> Picture::inverseTransformChain(uint64_t nodeIndex) const {
    std::vector<Transform> chain;
    for (uint64_t index : ancestry(nodeIndex)) chain.push_back(nodes[index].localTransform().inverse());
    return chain;
}

Vec2 Picture::worldToNode(const Vec2& point, uint64_t nodeIndex) const {
    std::vector<Transform> chain = inverseTransformChain(nodeIndex);
    Vec2 p = point;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) p = it->apply(p);
    return p;
}

Vec2 Picture::nodeToWorld(const Vec2& point, uint64_t nodeIndex) const {
    Vec2 p = point;
    for (uint64_t index : ancestry(nodeIndex)) p = nodes[index].localTransform().apply(p);
    return p;
}

uint64_t Picture::nodeIndexForPath(uint64_t pathIndex) const {
    for (size_t i = 0; i < nodes.size(); ++i) {
        const auto& held = nodes[i].paths;
        if (std::find(held.begin(), held.end(), pathIndex) != held.end()) return i;
    }
    std::cerr << "Picture::nodeIndexForPath: no node found for path " << pathIndex << std::endl;
    return 0;
}

std::vector<uint64_t> Picture::nodeAndAncestorsForPath(uint64_t pathIndex) const {
    std::vector<uint64_t> set{nodeIndexForPath(pathIndex)};
    auto inSet = [](const std::vector<uint64_t>& s, uint64_t v) { return std::find(s.begin(), s.end(), v) != s.end(); };
    for (;;) {
        std::vector<uint64_t> atStart = set;
        for (size_t i = 0; i < nodes.size(); ++i) {
            if (inSet(set, i)) continue;
            for (uint64_t child : nodes[i].children) {
                if (inSet(atStart, child)) {
                    set.push_back(i);
                    break;
                }
            }
        }
        if (set.size() == atStart.size()) break;
    }
    return set;
}

} // namespace hv
