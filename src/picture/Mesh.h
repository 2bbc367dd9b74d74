#pragma once

#include "core/Range.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace hv {

class Reader;

// Triangles of one or more paths: x, y float pairs and three indices per triangle.
struct Mesh {
    std::vector<float> vertices;
    std::vector<uint32_t> indices;

    uint64_t vertexCount() const { return vertices.size() / 2; }

    bool serialiseTo(FILE* file) const;
    // Refuses counts the remaining bytes cannot hold, an odd float count and indices that
    // point past the vertices.
    bool readFrom(Reader& reader);
};

// A prebuilt, possibly animated mesh: one mesh and the index range of each frame.
struct MeshWrapper {
    std::shared_ptr<Mesh> mesh;
    std::vector<Range> frameRanges;
};

// How long one frame of a cached mesh animation lasts.
constexpr double meshCacheFrameDuration = 1.0 / 60.0;

namespace MeshCache {
bool writeTo(const MeshWrapper& entry, FILE* file);
// Frame ranges must lie within the mesh's indices.
bool readFrom(MeshWrapper& entry, Reader& reader);
} // namespace MeshCache

} // namespace hv
