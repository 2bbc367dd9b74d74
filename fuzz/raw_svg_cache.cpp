// Reads arbitrary bytes as a raw-SVG cache file. Whatever reads must resolve, and whatever
// the writer accepts of it must read back the same.
#include "core/Reader.h"
#include "svg/RawSvgCache.h"
#include "svg/SvgManager.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = [] {
        std::cerr.rdbuf(nullptr);
        return true;
    }();
    (void)quiet;
    hv::BlobReader reader(std::make_shared<std::vector<uint8_t>>(data, data + size));
    auto file = hv::readRawSvgFile(reader);
    if (!file) return 0;
    // Nothing the writer would refuse as not finite gets through the reader.
    require(std::isfinite(file->width) && std::isfinite(file->height));
    for (const auto& shape : file->shapes) {
        for (const hv::PathCommand& command : shape.pathCommands) {
            for (int i = 0; i < command.pointCount(); ++i) {
                require(std::isfinite(command.points[i].x) && std::isfinite(command.points[i].y));
            }
        }
    }

    hv::SvgManager manager;
    hv::SvgFile resolved = manager.resolveRawSvg(*file, nullptr);
    require(resolved.shapes.size() == file->shapes.size());

    char* buffer = nullptr;
    size_t length = 0;
    FILE* out = open_memstream(&buffer, &length);
    bool written = hv::writeRawSvgFile(out, *file);
    std::fclose(out);
    if (written) {
        hv::BlobReader again(std::make_shared<std::vector<uint8_t>>(buffer, buffer + length));
        auto reread = hv::readRawSvgFile(again);
        require(reread.has_value());
        require(reread->shapes.size() == file->shapes.size());
        for (size_t i = 0; i < file->shapes.size(); ++i) {
            require(reread->shapes[i].name == file->shapes[i].name);
            require(reread->shapes[i].pathCommands == file->shapes[i].pathCommands);
            require(reread->shapes[i].meshCache->mesh->indices == file->shapes[i].meshCache->mesh->indices);
        }
    }
    std::free(buffer);
    return 0;
}
