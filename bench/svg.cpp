// SVG import speed on drawings shaped like an editor's output: layers and nested groups with
// transforms and labels, paths of relative cubic segments with inline styles.
#include "svg/ShapeMesh.h"
#include "svg/SvgManager.h"
#include "svg/SvgParser.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

class Random {
public:
    explicit Random(uint64_t seed) : state(seed) {}
    double next() { // 0..1
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return double(state >> 11) / double(uint64_t(1) << 53);
    }
    double between(double lo, double hi) { return lo + (hi - lo) * next(); }

private:
    uint64_t state;
};

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.2f", v);
    return text;
}

// One closed wobbly loop of `segments` cubic segments around (cx, cy), written the way
// editors write paths: a relative move and relative cubics.
std::string loopPath(Random& random, double cx, double cy, double radius, int segments) {
    std::string d = "m " + number(cx + radius) + "," + number(cy);
    double x = cx + radius, y = cy;
    double step = 2 * M_PI / segments;
    for (int i = 1; i <= segments; ++i) {
        double a0 = step * (i - 1), a1 = step * i;
        double r1 = radius * random.between(0.9, 1.1), r2 = radius * random.between(0.9, 1.1);
        double ex = i == segments ? cx + radius : cx + radius * std::cos(a1) * random.between(0.95, 1.05);
        double ey = i == segments ? cy : cy + radius * std::sin(a1) * random.between(0.95, 1.05);
        double c1x = cx + r1 * std::cos(a0 + step / 3), c1y = cy + r1 * std::sin(a0 + step / 3);
        double c2x = cx + r2 * std::cos(a1 - step / 3), c2y = cy + r2 * std::sin(a1 - step / 3);
        d += (i == 1 ? " c " : " ") + number(c1x - x) + "," + number(c1y - y) + " " + number(c2x - x) + "," +
             number(c2y - y) + " " + number(ex - x) + "," + number(ey - y);
        x = ex;
        y = ey;
    }
    return d + " z";
}

std::string makeDrawing(int paths, int segmentsPerPath, uint64_t seed) {
    Random random(seed);
    std::string svg = R"(<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<!-- Created with a vector editor -->
<svg width="1000" height="1000" viewBox="0 0 1000 1000" version="1.1" id="svg8"
   xmlns="http://www.w3.org/2000/svg" xmlns:inkscape="http://www.inkscape.org/namespaces/inkscape">
  <defs id="defs2"><linearGradient id="sky"><stop offset="0" stop-color="#88aaff"/></linearGradient></defs>
  <g inkscape:label="Layer 1" inkscape:groupmode="layer" id="layer1">
)";
    for (int i = 0; i < paths; ++i) {
        if (i % 10 == 0) {
            if (i > 0) svg += "    </g>\n";
            svg += "    <g id=\"g" + std::to_string(i) + "\" inkscape:label=\"group" + std::to_string(i / 10) +
                   "\" transform=\"matrix(0.9,0.1,-0.1,0.9," + number(random.between(-5, 5)) + "," +
                   number(random.between(-5, 5)) + ")\">\n";
        }
        char colour[8];
        std::snprintf(colour, sizeof(colour), "%06x", unsigned(random.next() * 0xFFFFFF));
        svg += "      <path style=\"fill:#" + std::string(colour) +
               ";fill-opacity:1;stroke:none;stroke-width:0.264583px\" id=\"path" + std::to_string(i) + "\"";
        if (i % 3 == 0) svg += " inkscape:label=\"shape" + std::to_string(i) + "\"";
        svg += " d=\"" +
               loopPath(random, random.between(80, 920), random.between(80, 920), random.between(15, 60),
                        segmentsPerPath) +
               "\"/>\n";
    }
    svg += "    </g>\n  </g>\n</svg>\n";
    return svg;
}

void BM_ParseLargeDrawing(benchmark::State& state) {
    // About 1 MB: 1300 paths of 20 cubic segments each.
    const std::string drawing = makeDrawing(1300, 20, 7);
    std::string buffer;
    size_t shapes = 0;
    for (auto _ : state) {
        buffer = drawing; // the parser writes into its text
        auto picture = hv::parseSvgDocument(buffer.data(), 96.0f);
        shapes = picture->shapes.size();
        benchmark::DoNotOptimize(picture);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(drawing.size()));
    state.counters["bytes"] = double(drawing.size());
    state.counters["shapes"] = double(shapes);
}
BENCHMARK(BM_ParseLargeDrawing)->Unit(benchmark::kMillisecond);

void BM_ParseConvertTriangulate(benchmark::State& state) {
    // About 100 KB: 250 paths of 9 cubic segments, 28 points each, 7,000 in all.
    const std::string drawing = makeDrawing(250, 9, 11);
    std::cerr.setstate(std::ios::badbit);
    size_t indices = 0;
    for (auto _ : state) {
        auto file = hv::convertSvgText(drawing, "bench.svg");
        indices = 0;
        for (hv::RawSvgShape& shape : file->shapes) {
            hv::buildShapeMeshCache(shape, hv::bakeCurveTolerance);
            indices += shape.meshCache->mesh->indices.size();
        }
        benchmark::DoNotOptimize(file);
    }
    std::cerr.clear();
    state.counters["bytes"] = double(drawing.size());
    state.counters["triangles"] = double(indices / 3);
}
BENCHMARK(BM_ParseConvertTriangulate)->Unit(benchmark::kMillisecond);

} // namespace
