#pragma once

#include "picture/Mesh.h"
#include "picture/Picture.h"

#include <cstdint>
#include <memory>

namespace hv::test {

// A picture of the given size with a root node 0.
inline std::shared_ptr<Picture> makePicture(double width, double height) {
    auto picture = std::make_shared<Picture>();
    picture->width = width;
    picture->height = height;
    picture->nodes.emplace_back();
    return picture;
}

inline uint64_t addNode(Picture& picture, uint64_t parent) {
    picture.nodes.emplace_back();
    picture.nodes.back().parent = int32_t(parent);
    picture.nodes[parent].children.push_back(picture.nodes.size() - 1);
    return picture.nodes.size() - 1;
}

// An axis-aligned square, counter-clockwise, hung on the node; gives the path index.
inline uint64_t addSquare(Picture& picture, uint64_t node, double x, double y, double size, const Colour& colour) {
    Path path;
    path.commands = {PathCommand::moveTo(x, y), PathCommand::lineTo(x + size, y),
                     PathCommand::lineTo(x + size, y + size), PathCommand::lineTo(x, y + size)};
    path.colour = colour;
    picture.paths.push_back(path);
    picture.nodes[node].paths.push_back(picture.paths.size() - 1);
    return picture.paths.size() - 1;
}

// A cached animation: one triangle drawn by `frames` frame ranges of one triangle each.
inline std::shared_ptr<MeshWrapper> makeMeshFrames(uint64_t frames) {
    auto wrapper = std::make_shared<MeshWrapper>();
    wrapper->mesh = std::make_shared<Mesh>();
    wrapper->mesh->vertices = {1, 1, 3, 1, 2, 3};
    for (uint64_t f = 0; f < frames; ++f) {
        wrapper->mesh->indices.insert(wrapper->mesh->indices.end(), {0, 1, 2});
        wrapper->frameRanges.emplace_back(3 * f, 3);
    }
    return wrapper;
}

} // namespace hv::test
