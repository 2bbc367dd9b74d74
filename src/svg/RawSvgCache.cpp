#include "svg/RawSvgCache.h"

#include "core/Failure.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>

namespace hv {

namespace {

// The smallest records a count can stand for: a command header, and a shape of three empty
// strings, a command count and a mesh-cache entry holding an empty mesh. A count is trusted
// only this far for reserving memory; a count beyond the data fails as a short read of the
// record where the data ends, with that record's own message.
constexpr uint64_t minimumCommandBytes = 16;
constexpr uint64_t minimumShapeBytes = 8 * 3 + 8 + 8 + 16 + 8;

size_t reservable(const Reader& reader, uint64_t count, uint64_t minimumBytes) {
    return size_t(std::min(count, reader.remaining() / minimumBytes));
}

bool finitePoints(const PathCommand& command) {
    for (int i = 0; i < command.pointCount(); ++i) {
        if (!std::isfinite(command.points[i].x) || !std::isfinite(command.points[i].y)) return false;
    }
    return true;
}

} // namespace

bool writeString(FILE* file, const std::string& text) {
    uint64_t count = text.size();
    if (std::fwrite(&count, sizeof(count), 1, file) != 1) return failure("writeString: failed to write length");
    if (count > 0 && std::fwrite(text.data(), count, 1, file) != 1) return failure("writeString: failed: failed to write data");
    return true;
}

std::pair<std::string, bool> readString(Reader& reader) {
    uint64_t count;
    if (!reader.read(&count, sizeof(count))) {
        failure("readString: failed to read length");
        return {"", false};
    }
    if (!reader.canRead(count, 1)) {
        failure("readString: failed: failed to read data");
        return {"", false};
    }
    std::string text(count, '\0');
    if (!reader.read(text.data(), count)) {
        failure("readString: failed: failed to read data");
        return {"", false};
    }
    return {std::move(text), true};
}

std::string rawSvgShapeProblem(const RawSvgShape& shape) {
    for (const PathCommand& command : shape.pathCommands) {
        if (command.type < PathCommand::Move || command.type > PathCommand::Cubic) return "has a command of unknown type";
        if (!finitePoints(command)) return "has a coordinate that is not finite";
    }
    if (!shape.meshCache || !shape.meshCache->mesh) return "has no mesh";
    const Mesh& mesh = *shape.meshCache->mesh;
    if (mesh.vertices.empty()) return "has a mesh without vertices";
    if (mesh.vertices.size() % 2 != 0) return "has a mesh with an odd number of vertex floats";
    uint64_t vertexCount = mesh.vertexCount();
    for (uint32_t index : mesh.indices) {
        if (index >= vertexCount) return "has a mesh index past its vertices";
    }
    uint64_t indexCount = mesh.indices.size();
    for (const Range& range : shape.meshCache->frameRanges) {
        if (range.count > indexCount || range.start > indexCount - range.count) return "has a frame range past its indices";
    }
    return "";
}

bool writeRawSvgShape(FILE* file, const RawSvgShape& shape) {
    std::string problem = rawSvgShapeProblem(shape);
    if (!problem.empty()) return failure("writeRawSvgShape: shape '" + shape.name + "' " + problem);
    if (!writeString(file, shape.name)) return failure("writeRawSvgShape failed: failed to write name");
    if (!writeString(file, shape.group)) return failure("writeRawSvgShape failed: failed to write group");
    if (!writeString(file, shape.colour)) return failure("writeRawSvgShape failed: failed to write colour");
    uint64_t count = shape.pathCommands.size();
    if (std::fwrite(&count, sizeof(count), 1, file) != 1) return failure("writeRawSvgShape: failed to write pathCommands count");
    for (const PathCommand& command : shape.pathCommands) {
        if (!command.writeTo(file)) return false;
    }
    return MeshCache::writeTo(*shape.meshCache, file);
}

std::pair<RawSvgShape, bool> readRawSvgShape(Reader& reader) {
    RawSvgShape shape;
    bool ok;
    std::tie(shape.name, ok) = readString(reader);
    if (!ok) return {RawSvgShape(), failure("readRawSvgShape failed: failed to read name")};
    std::tie(shape.group, ok) = readString(reader);
    if (!ok) return {RawSvgShape(), failure("readRawSvgShape failed: failed to read group")};
    std::tie(shape.colour, ok) = readString(reader);
    if (!ok) return {RawSvgShape(), failure("readRawSvgShape failed: failed to read colour")};
    uint64_t count;
    if (!reader.read(&count, sizeof(count))) return {RawSvgShape(), failure("readRawSvgShape: failed to read pathCommands count")};
    shape.pathCommands.reserve(reservable(reader, count, minimumCommandBytes));
    for (uint64_t i = 0; i < count; ++i) {
        PathCommand command;
        if (!command.readFrom(reader)) return {RawSvgShape(), false};
        // What the writer refuses is refused here too, as the command's broken points.
        if (!finitePoints(command)) return {RawSvgShape(), failure("PathCommand::writeTo: unable to read points")};
        shape.pathCommands.push_back(command);
    }
    auto entry = std::make_shared<MeshWrapper>();
    if (!MeshCache::readFrom(*entry, reader)) return {RawSvgShape(), false};
    shape.meshCache = std::move(entry);
    return {std::move(shape), true};
}

bool writeRawSvgFile(FILE* file, const RawSvgFile& svgFile) {
    if (!std::isfinite(svgFile.width) || !std::isfinite(svgFile.height)) {
        return failure("writeRawSvgFile: the picture size is not finite");
    }
    for (const RawSvgShape& shape : svgFile.shapes) {
        std::string problem = rawSvgShapeProblem(shape);
        if (!problem.empty()) return failure("writeRawSvgFile: shape '" + shape.name + "' " + problem);
    }
    struct {
        uint64_t count;
        double width;
        double height;
    } header{svgFile.shapes.size(), svgFile.width, svgFile.height};
    static_assert(sizeof(header) == 24);
    if (std::fwrite(&header, sizeof(header), 1, file) != 1) return failure("writeRawSvgFile: failed to write header");
    for (const RawSvgShape& shape : svgFile.shapes) {
        if (!writeRawSvgShape(file, shape)) return false;
    }
    return true;
}

std::optional<RawSvgFile> readRawSvgFile(Reader& reader) {
    uint8_t header[24];
    if (!reader.read(header, sizeof(header))) {
        failure("readRawSvgFile: failed to read header");
        return std::nullopt;
    }
    uint64_t count;
    RawSvgFile svgFile;
    std::memcpy(&count, header, 8);
    std::memcpy(&svgFile.width, header + 8, 8);
    std::memcpy(&svgFile.height, header + 16, 8);
    if (!std::isfinite(svgFile.width) || !std::isfinite(svgFile.height)) {
        failure("readRawSvgFile: failed to read header");
        return std::nullopt;
    }
    svgFile.shapes.reserve(reservable(reader, count, minimumShapeBytes));
    for (uint64_t i = 0; i < count; ++i) {
        auto [shape, ok] = readRawSvgShape(reader);
        if (!ok) return std::nullopt;
        svgFile.shapes.push_back(std::move(shape));
    }
    return svgFile;
}

} // namespace hv
