#include "picture/Mesh.h"

#include "core/Failure.h"
#include "core/Reader.h"

#include <iostream>

namespace hv {

bool Mesh::serialiseTo(FILE* file) const {
    uint64_t header[2] = {vertices.size(), 1};
    if (std::fwrite(header, sizeof(header), 1, file) != 1) return failure("Mesh::serialiseTo: failed to write header");
    if (vertices.empty()) return failure("Mesh::serialiseTo: zero vertices");
    if (std::fwrite(vertices.data(), vertices.size() * sizeof(float), 1, file) != 1) {
        std::cerr << "Mesh::serialiseTo: failed to write vertices. count = " << vertices.size() << std::endl;
        return false;
    }
    uint64_t n = indices.size();
    if (std::fwrite(&n, sizeof(n), 1, file) != 1) return failure("Mesh::serialiseTo: failed to write index header");
    if (n > 0 && std::fwrite(indices.data(), n * sizeof(uint32_t), 1, file) != 1) {
        std::cerr << "Mesh::serialiseTo: failed to write index set size " << n << std::endl;
        return false;
    }
    return true;
}

bool Mesh::readFrom(Reader& reader) {
    uint64_t header[2];
    if (!reader.read(header, sizeof(header))) return failure("Mesh::readFrom: failed to read header");
    uint64_t v = header[0];
    if (v % 2 != 0 || !reader.canRead(v, sizeof(float))) return failure("Mesh::readFrom: failed to vertices");
    vertices.resize(v);
    if (!reader.read(vertices.data(), v * sizeof(float))) return failure("Mesh::readFrom: failed to vertices");
    if (header[1] != 1) return failure("Mesh::readFrom: only a single index set is supported now");
    uint64_t n;
    if (!reader.read(&n, sizeof(n))) return failure("Mesh::readFrom: failed to read index set header");
    if (n > 0) {
        if (!reader.canRead(n, sizeof(uint32_t))) return failure("Mesh::readFrom: failed to read index set");
        indices.resize(n);
        if (!reader.read(indices.data(), n * sizeof(uint32_t))) return failure("Mesh::readFrom: failed to read index set");
        uint64_t count = vertexCount();
        for (uint32_t index : indices) {
            if (index >= count) return failure("Mesh::readFrom: failed to read index set");
        }
    }
    return true;
}

namespace MeshCache {

bool writeTo(const MeshWrapper& entry, FILE* file) {
    if (!entry.mesh) return failure("MeshCache::writeTo: entry holds no mesh");
    uint64_t r = entry.frameRanges.size();
    if (std::fwrite(&r, sizeof(r), 1, file) != 1) return failure("MeshCache::writeTo: failed to write cache entry header");
    if (!entry.mesh->serialiseTo(file)) return false;
    if (r > 0) {
        std::vector<uint64_t> pairs;
        pairs.reserve(2 * r);
        for (const Range& range : entry.frameRanges) {
            pairs.push_back(range.start);
            pairs.push_back(range.count);
        }
        if (std::fwrite(pairs.data(), pairs.size() * sizeof(uint64_t), 1, file) != 1) {
            return failure("MeshCache::writeTo: failed to write frame ranges");
        }
    }
    return true;
}

bool readFrom(MeshWrapper& entry, Reader& reader) {
    uint64_t r;
    if (!reader.read(&r, sizeof(r))) return failure("MeshCache::writeTo: failed to read cache entry header");
    // Ranges the data cannot hold are not allocated; they fail as a short read after the mesh,
    // so a cut-off entry still reports the record it ends in.
    bool rangesFit = reader.canRead(r, 16);
    entry.frameRanges.resize(rangesFit ? r : 0);
    entry.mesh = std::make_shared<Mesh>();
    if (!entry.mesh->readFrom(reader)) return false;
    if (!rangesFit) return failure("MeshCache::writeTo: failed to read frame ranges");
    uint64_t indexCount = entry.mesh->indices.size();
    for (Range& range : entry.frameRanges) {
        uint64_t pair[2];
        if (!reader.read(pair, sizeof(pair))) return failure("MeshCache::writeTo: failed to read frame ranges");
        range = Range(pair[0], pair[1]);
        if (range.count > indexCount || range.start > indexCount - range.count) {
            return failure("MeshCache::writeTo: failed to read frame ranges");
        }
    }
    return true;
}

} // namespace MeshCache

} // namespace hv
