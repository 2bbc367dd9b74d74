// Feeds arbitrary bytes to the SVG parser and to the shape conversion, and checks what they
// promise: outlines of a start point and whole segments, and converted shapes that are
// finite, shifted to the origin and of at least two commands.
#include "svg/SvgManager.h"
#include "svg/SvgParser.h"

#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = [] {
        std::cerr.rdbuf(nullptr); // conversion warnings would drown the fuzzer's output
        return true;
    }();
    (void)quiet;
    std::string text(reinterpret_cast<const char*>(data), size);

    std::string copy = text;
    auto picture = hv::parseSvgDocument(copy.data(), 96.0f);
    require(picture != nullptr);
    for (const hv::SvgShapeRecord& shape : picture->shapes) {
        require(!shape.outlines.empty());
        for (const hv::SvgOutline& outline : shape.outlines) {
            require(outline.points.size() % 2 == 0);
            require(outline.pointCount() >= 4 && (outline.pointCount() - 1) % 3 == 0);
        }
    }

    auto file = hv::convertSvgText(text, "fuzz.svg");
    if (file) {
        require(!file->shapes.empty());
        require(std::isfinite(file->width) && std::isfinite(file->height));
        require(file->width >= 0 && file->height >= 0);
        for (const hv::RawSvgShape& shape : file->shapes) {
            require(shape.pathCommands.size() >= 2);
            require(shape.colour.size() == 8);
            for (const hv::PathCommand& command : shape.pathCommands) {
                for (int i = 0; i < command.pointCount(); ++i) {
                    require(std::isfinite(command.points[i].x) && std::isfinite(command.points[i].y));
                }
                require(command.endPoint().x >= 0 && command.endPoint().y >= 0);
            }
        }
    }
    return 0;
}
