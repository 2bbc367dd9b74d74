#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

namespace hv {

struct BakeSummary {
    size_t baked = 0;
    size_t failed = 0;
};

// Converts every SVG file under ASSETS/story with the SVG manager's conversion, triangulates
// each shape into its mesh-cache entry and writes the raw-SVG cache file that the engine
// looks for in ASSETS/blobs, each through a temporary file and a rename. A file that cannot
// be baked gives one line on `errors` naming it and the reason; the others are still written.
// Unnamed shapes are numbered from auto-1 in each file, whatever else the book holds.
BakeSummary bakeSvgCaches(const std::string& assetsDirectory, std::ostream& errors);

} // namespace hv
