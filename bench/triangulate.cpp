// Triangulation speed on real polygons and on generated stars and holed squares: one call
// turns a path of move and line commands into triangles in a fresh mesh, the way the picture
// renderer rebuilds a path's mesh.

#include "picture/Path.h"
#include "support/Triangulating.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Ring = std::vector<hv::Vec2>;

// The fixture files are arrays of rings of [x, y] pairs; brackets at depth 2 open a ring.
std::vector<Ring> loadRings(const std::string& name) {
    std::ifstream in(std::string(HV_TEST_DATA_DIR) + "/polygons/" + name + ".json");
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    std::vector<Ring> rings;
    std::vector<double> numbers;
    int depth = 0;
    for (size_t k = 0; k < s.size(); ++k) {
        char c = s[k];
        if (c == '[') {
            if (++depth == 2) rings.emplace_back();
            numbers.clear();
        } else if (c == ']') {
            if (depth == 3 && numbers.size() >= 2) rings.back().emplace_back(numbers[0], numbers[1]);
            --depth;
        } else if (c == '-' || c == '.' || (c >= '0' && c <= '9')) {
            size_t used = 0;
            numbers.push_back(std::stod(s.substr(k, 40), &used));
            k += used - 1;
        }
    }
    return rings;
}

hv::Path pathOf(const std::vector<Ring>& rings) {
    hv::Path path;
    for (const Ring& ring : rings) {
        for (size_t k = 0; k < ring.size(); ++k) {
            path.commands.push_back(k == 0 ? hv::PathCommand::moveTo(ring[k].x, ring[k].y)
                                           : hv::PathCommand::lineTo(ring[k].x, ring[k].y));
        }
    }
    return path;
}

Ring circle(double cx, double cy, double r, int n, bool clockwise) {
    Ring ring;
    for (int k = 0; k < n; ++k) {
        double a = 2 * M_PI * k / n * (clockwise ? -1 : 1);
        ring.emplace_back(cx + r * std::cos(a), cy + r * std::sin(a));
    }
    return ring;
}

Ring star(int points) {
    Ring ring;
    for (int k = 0; k < points; ++k) {
        double a = 2 * M_PI * k / points;
        double r = k % 2 ? 40 : 100;
        ring.emplace_back(r * std::cos(a), r * std::sin(a));
    }
    return ring;
}

// A 1000-unit square with a grid of round holes of 32 points.
std::vector<Ring> holedSquare(int holes) {
    std::vector<Ring> rings{{hv::Vec2(0, 0), hv::Vec2(1000, 0), hv::Vec2(1000, 1000), hv::Vec2(0, 1000)}};
    int side = int(std::lround(std::sqrt(holes)));
    double cell = 1000.0 / side;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) rings.push_back(circle((x + 0.5) * cell, (y + 0.5) * cell, cell * 0.3, 32, true));
    }
    return rings;
}

// Median microseconds per call of two peers on this machine kind, for the same inputs: a
// widely used z-order ear clipper and a sweep-line tessellator (figures as measured for the
// issue; the peers are not run here). Targets: at most 1.5 times the ear clipper as a
// geometric mean over the inputs both triangulate completely, no input over 2.5 times, none
// slower than the tessellator.
struct PeerFigures {
    const char* name;
    double earClipper;
    double tessellator;
};
constexpr PeerFigures peerFigures[] = {
    {"fixture/building", 0.67, 6.4},   {"fixture/dude", 11.6, 33.2},         {"fixture/water4", 111, 342},
    {"fixture/hilbert", 160, 588},     {"fixture/eberly-6", 458, 616},       {"fixture/rain", 454, 2568},
    {"fixture/issue35", 225, 485},     {"square-with-holes/16", 128, 146},   {"square-with-holes/64", 992, 619},
    {"fixture/touching-holes4", 73, 37.5},
};

void addPeerFigures(benchmark::State& state, const std::string& name) {
    for (const PeerFigures& peer : peerFigures) {
        if (name != peer.name) continue;
        state.counters["earClipper_us"] = peer.earClipper;
        state.counters["tessellator_us"] = peer.tessellator;
    }
}

void triangulate(benchmark::State& state, const hv::Path& path, const std::string& name) {
    hv::bench::triangulateEachIteration(state, path);
    addPeerFigures(state, name);
}

void registerAll() {
    for (const char* name : {"building", "dude", "water3b", "water4", "hilbert", "eberly-6", "rain", "issue35", "touching-holes4"}) {
        hv::Path path = pathOf(loadRings(name));
        std::string label = std::string("fixture/") + name;
        benchmark::RegisterBenchmark(label.c_str(), [path, label](benchmark::State& s) { triangulate(s, path, label); })
            ->Unit(benchmark::kMicrosecond);
    }
    for (int points : {500, 2000}) {
        hv::Path path = pathOf({star(points)});
        std::string label = "star/" + std::to_string(points);
        benchmark::RegisterBenchmark(label.c_str(), [path, label](benchmark::State& s) { triangulate(s, path, label); })
            ->Unit(benchmark::kMicrosecond);
    }
    for (int holes : {16, 64}) {
        hv::Path path = pathOf(holedSquare(holes));
        std::string label = "square-with-holes/" + std::to_string(holes);
        benchmark::RegisterBenchmark(label.c_str(), [path, label](benchmark::State& s) { triangulate(s, path, label); })
            ->Unit(benchmark::kMicrosecond);
    }
}

const int registered = (registerAll(), 0);

} // namespace
