// Paths of any shape, including undefined and enormous coordinates, through flattening,
// nesting, bridging and ear clipping: no crash, no access out of bounds, and every index the
// mesh gets names a vertex it holds.

#include "picture/EarClipperTriangulator.h"
#include "picture/Path.h"

#include <cstdint>
#include <cstring>

namespace {

// Coordinates come mostly from a small grid, so that points repeat and line up; a marker
// byte takes a raw float instead.
double coordinate(const uint8_t*& at, const uint8_t* end) {
    if (at >= end) return 0.0;
    uint8_t b = *at++;
    if (b != 0xff) return double(int(b) - 128) / 4.0;
    float raw = 0.0f;
    if (end - at >= 4) {
        std::memcpy(&raw, at, 4);
        at += 4;
    }
    return raw;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t* at = data;
    const uint8_t* end = data + size;
    static const double tolerances[] = {1.0, 0.25, 0.0, -1.0, 1e-30, 1e30};
    double tolerance = tolerances[*at++ % 6];
    hv::Path path;
    // A curve can become a thousand points; keep each run quick.
    size_t budget = 4000;
    while (at < end && budget > hv::maxCurveSegments) {
        hv::PathCommand command;
        command.type = int32_t(*at++ % 5);
        budget -= command.type == hv::PathCommand::Quadratic || command.type == hv::PathCommand::Cubic ? hv::maxCurveSegments : 1;
        for (int p = 0; p < command.pointCount(); ++p) {
            double x = coordinate(at, end);
            command.points[p] = hv::Vec2(x, coordinate(at, end));
        }
        path.commands.push_back(command);
    }
    hv::EarClipperTriangulator triangulator;
    triangulator.init();
    auto [range, ok] = triangulator.triangulate(path, tolerance);
    const hv::Mesh& mesh = *triangulator.mesh();
    if (range.end() > mesh.indices.size() || mesh.indices.size() % 3 != 0 || (!ok && range.count != 0)) __builtin_trap();
    for (uint32_t index : mesh.indices) {
        if (index >= mesh.vertexCount()) __builtin_trap();
    }
    return 0;
}
