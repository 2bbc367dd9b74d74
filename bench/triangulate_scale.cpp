// Triangulation at scale: one square with thousands of small square holes (bridging), a
// self-intersecting zig-zag of a million segments, and a path crossing itself everywhere. One
// call each, timed whole.

#include "picture/Path.h"
#include "support/Triangulating.h"

#include <benchmark/benchmark.h>

#include <iostream>
#include <string>

namespace {

// A 1000-unit square with `columns` x `rows` small square holes (clockwise) in a grid.
hv::Path squareWithSquareHoles(int columns, int rows) {
    hv::Path path;
    auto ring = [&](double x0, double y0, double x1, double y1, bool clockwise) {
        path.commands.push_back(hv::PathCommand::moveTo(x0, y0));
        if (clockwise) {
            path.commands.push_back(hv::PathCommand::lineTo(x0, y1));
            path.commands.push_back(hv::PathCommand::lineTo(x1, y1));
            path.commands.push_back(hv::PathCommand::lineTo(x1, y0));
        } else {
            path.commands.push_back(hv::PathCommand::lineTo(x1, y0));
            path.commands.push_back(hv::PathCommand::lineTo(x1, y1));
            path.commands.push_back(hv::PathCommand::lineTo(x0, y1));
        }
    };
    ring(0, 0, 1000, 1000, false);
    double cw = 1000.0 / columns, ch = 1000.0 / rows;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x) {
            ring((x + 0.3) * cw, (y + 0.3) * ch, (x + 0.7) * cw, (y + 0.7) * ch, true);
        }
    }
    return path;
}

// One contour of `segments` edges swinging between x = 0 and x = 1000 while climbing; the
// closing edge runs back down across every one of them.
hv::Path zigZag(int segments) {
    hv::Path path;
    path.commands.push_back(hv::PathCommand::moveTo(0, 0));
    for (int k = 1; k < segments; ++k) path.commands.push_back(hv::PathCommand::lineTo(k % 2 ? 1000 : 0, k * 0.01));
    return path;
}

// One contour of `segments` edges round and round the same hundred points, crossing one
// another all over.
hv::Path crossingsEverywhere(int segments) {
    hv::Path path;
    path.commands.push_back(hv::PathCommand::moveTo(0, 0));
    for (int i = 1; i <= segments; ++i) path.commands.push_back(hv::PathCommand::lineTo(i * 37 % 100, i * 91 % 100));
    return path;
}

void triangulateOnce(benchmark::State& state, const hv::Path& path) {
    std::cerr.setstate(std::ios::badbit);
    hv::bench::triangulateEachIteration(state, path);
    std::cerr.clear();
}

void registerAll() {
    for (int rows : {70, 140}) {
        hv::Path path = squareWithSquareHoles(140, rows);
        benchmark::RegisterBenchmark(("square-with-square-holes/" + std::to_string(140 * rows)).c_str(),
                                     [path](benchmark::State& s) { triangulateOnce(s, path); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(3)
            ->ReportAggregatesOnly(true);
    }
    hv::Path crossings = crossingsEverywhere(100000);
    benchmark::RegisterBenchmark("crossings-everywhere/100000", [crossings](benchmark::State& s) { triangulateOnce(s, crossings); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    hv::Path path = zigZag(1000000);
    benchmark::RegisterBenchmark("zig-zag/1000000", [path](benchmark::State& s) { triangulateOnce(s, path); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
}

const int registered = (registerAll(), 0);

} // namespace
