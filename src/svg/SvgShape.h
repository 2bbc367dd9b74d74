#pragma once

#include "core/PaletteColour.h"
#include "picture/Mesh.h"
#include "picture/PathCommand.h"

#include <memory>
#include <string>
#include <vector>

namespace hv {

// One named shape of a converted SVG file. C is the colour type: the colour text before
// resolution (eight lower-case hexadecimal digits, red, green, blue, alpha), a palette colour
// after it. Coordinates have y up.
template <typename C>
struct BaseSvgShape {
    std::vector<PathCommand> pathCommands; // move, line and cubic only
    std::string elementId;                 // for warnings; not kept by resolution or the cache
    std::string name;
    std::string group;
    C colour{};
    std::shared_ptr<MeshWrapper> meshCache;
};

// The shapes of one SVG file in document order, with the extent of their end points after
// the origin shift.
template <typename C>
struct BaseSvgFile {
    std::vector<BaseSvgShape<C>> shapes;
    double width = 0.0;
    double height = 0.0;
};

using RawSvgShape = BaseSvgShape<std::string>;
using RawSvgFile = BaseSvgFile<std::string>;
using SvgShape = BaseSvgShape<PaletteColour>;
using SvgFile = BaseSvgFile<PaletteColour>;

} // namespace hv
