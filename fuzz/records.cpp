// Feeds arbitrary bytes to the binary record readers: the first byte picks the record
// (path command, mesh, mesh-cache entry), the rest is the file. Nothing a file holds may crash,
// read out of bounds or allocate beyond the file's size.
#include "core/Reader.h"
#include "picture/Mesh.h"
#include "picture/PathCommand.h"

#include <cstddef>
#include <cstdint>
#include <iostream>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::cerr.setstate(std::ios::failbit); // the readers' messages are expected noise here
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    auto blob = std::make_shared<std::vector<uint8_t>>(data + 1, data + size);
    hv::BlobReader reader(blob);
    switch (data[0] % 3) {
    case 0:
        while (reader.remaining() > 0) {
            hv::PathCommand command;
            if (!command.readFrom(reader)) break;
        }
        break;
    case 1: {
        hv::Mesh mesh;
        if (mesh.readFrom(reader)) {
            for (uint32_t index : mesh.indices) {
                if (index >= mesh.vertexCount()) __builtin_trap();
            }
        }
        break;
    }
    default: {
        hv::MeshWrapper entry;
        if (hv::MeshCache::readFrom(entry, reader)) {
            for (const hv::Range& range : entry.frameRanges) {
                if (range.end() > entry.mesh->indices.size()) __builtin_trap();
            }
        }
        break;
    }
    }
    return 0;
}
