#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

namespace hv {

struct BakeSummary {
    size_t baked = 0;
    size_t partly = 0; // written, but some shape's mesh lacks part of its outline
    size_t failed = 0;
};

// Converts every SVG file under ASSETS/story with the SVG manager's conversion, triangulates
// each shape into its mesh-cache entry and writes the raw-SVG cache file that the engine
// looks for in ASSETS/blobs, each through a temporary file and a rename. A file that cannot
// be baked gives one line on `errors` naming it and the reason; the others are still written.
// A shape whose contours still could not all be drawn once their crossings were resolved
// (some dropped, holes touching their outer ring left out, part not triangulated), or that
// has too many crossings to resolve, is named on `errors` and its file counted as partly
// converted. A shape whose box has no height or width is named too, as a warning: it is baked
// whole.
// Unnamed shapes are numbered from auto-1 in each file, whatever else the book holds.
BakeSummary bakeSvgCaches(const std::string& assetsDirectory, std::ostream& errors);

} // namespace hv
