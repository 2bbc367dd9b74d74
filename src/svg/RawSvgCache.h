#pragma once

#include "core/Reader.h"
#include "svg/SvgShape.h"

#include <cstdio>
#include <optional>
#include <string>
#include <utility>

namespace hv {

// The raw-SVG cache file: one converted SVG file with a prebuilt mesh-cache entry for every
// shape, so a picture loads without parsing or triangulating. Little-endian records: a shape
// count, width and height, then per shape its name, group and colour text, its path commands
// and its mesh-cache entry.

bool writeString(FILE* file, const std::string& text);
std::pair<std::string, bool> readString(Reader& reader);

// Refuses, before writing a byte, a shape the reader would refuse or that has no mesh.
bool writeRawSvgShape(FILE* file, const RawSvgShape& shape);
std::pair<RawSvgShape, bool> readRawSvgShape(Reader& reader);

// Checks every shape before writing anything, so a refused file leaves nothing half written.
bool writeRawSvgFile(FILE* file, const RawSvgFile& svgFile);
std::optional<RawSvgFile> readRawSvgFile(Reader& reader);

// Why a shape cannot be stored, or empty when it can.
std::string rawSvgShapeProblem(const RawSvgShape& shape);

} // namespace hv
