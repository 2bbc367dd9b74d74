#pragma once

#include "picture/Node.h"
#include "picture/Path.h"

#include <cmath>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace hv {

// Filled paths hung on a tree of nodes. Parent and child links are indices set by scripts,
// so every walk up the tree stops after as many steps as there are nodes.
class Picture {
public:
    void bumpNodeRevision(uint64_t nodeIndex);

    // Stores the value and bumps the node's revisions only when it changed (NaN always counts
    // as a change).
    template <typename T>
    void assignWithNodeRevisionBump(uint64_t nodeIndex, T& field, const T& value) {
        bool changed = !(field == value);
        if constexpr (std::is_floating_point_v<T>) changed = changed || std::isnan(value) || std::isnan(field);
        field = value;
        if (changed) bumpNodeRevision(nodeIndex);
    }

    bool isNodeVisible(uint64_t nodeIndex) const;
    // Inverse local transforms: the node first, then each ancestor up to the root.
    std::vector<Transform> inverseTransformChain(uint64_t nodeIndex) const;
    Vec2 worldToNode(const Vec2& point, uint64_t nodeIndex) const;
    Vec2 nodeToWorld(const Vec2& point, uint64_t nodeIndex) const;
    // The first node holding the path; reports and gives 0 when none does.
    uint64_t nodeIndexForPath(uint64_t pathIndex) const;
    // The path's node and all its ancestors, the node first.
    std::vector<uint64_t> nodeAndAncestorsForPath(uint64_t pathIndex) const;

    std::vector<Path> paths;
    std::vector<Node> nodes;
    int32_t rootNode = 0; // the node that drawing starts from
    double width = 0.0;   // canvas size in script units
    double height = 0.0;

private:
    // The node and its ancestors in order, stopping at a root, a bad index or a cycle.
    std::vector<uint64_t> ancestry(uint64_t nodeIndex) const;
};

} // namespace hv
