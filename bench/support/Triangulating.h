#pragma once

#include "picture/EarClipperTriangulator.h"
#include "picture/Path.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace hv::bench {

// Each iteration triangulates the path into a fresh mesh, as the picture renderer rebuilds a
// path's mesh; the last result's triangle count and success are reported.
inline void triangulateEachIteration(benchmark::State& state, const Path& path) {
    size_t triangles = 0;
    bool ok = false;
    for (auto _ : state) {
        EarClipperTriangulator triangulator;
        triangulator.init(std::make_shared<Mesh>());
        auto [range, success] = triangulator.triangulate(path, 1.0);
        benchmark::DoNotOptimize(range);
        triangles = range.count / 3;
        ok = success;
    }
    state.counters["triangles"] = double(triangles);
    state.counters["ok"] = ok ? 1 : 0;
}

} // namespace hv::bench
