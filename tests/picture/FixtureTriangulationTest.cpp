#include "ReferenceTriangulator.h"
#include "picture/EarClipperTriangulator.h"
#include "support/PolygonFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>

namespace hv {
namespace {

using test::Ring;

double ringArea(const Ring& ring) {
    double s = 0;
    for (size_t k = 0; k < ring.size(); ++k) {
        const Vec2& a = ring[k];
        const Vec2& b = ring[(k + 1) % ring.size()];
        s += double(float(a.x)) * double(float(b.y)) - double(float(b.x)) * double(float(a.y));
    }
    return std::fabs(s) / 2;
}

double trianglesArea(const Mesh& mesh, Range range) {
    double s = 0;
    for (uint64_t t = range.start; t + 2 < range.end(); t += 3) {
        const float* v = mesh.vertices.data();
        uint32_t a = mesh.indices[t], b = mesh.indices[t + 1], c = mesh.indices[t + 2];
        double ax = v[2 * a], ay = v[2 * a + 1], bx = v[2 * b], by = v[2 * b + 1], cx = v[2 * c], cy = v[2 * c + 1];
        s += std::fabs((bx - ax) * (cy - ay) - (by - ay) * (cx - ax)) / 2;
    }
    return s;
}

TEST(FixtureExplore, All) {
    auto bounds = test::polygonFixtureAreaBounds();
    for (const std::string& name : test::polygonFixtureNames()) {
        std::vector<Ring> rings;
        ASSERT_TRUE(test::loadPolygonFixture(name, rings)) << name;
        Path path = test::pathFromRings(rings);
        EarClipperTriangulator t;
        t.init();
        auto start = std::chrono::steady_clock::now();
        auto [range, ok] = t.triangulate(path, 1.0);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        double expected = ringArea(rings[0]);
        for (size_t k = 1; k < rings.size(); ++k) expected -= ringArea(rings[k]);
        double got = trianglesArea(*t.mesh(), range);
        double dev = expected != 0 ? std::fabs(got - expected) / expected : got;
        auto ref = test::referenceTriangulate(path, 1.0);
        std::vector<uint32_t> mine(t.mesh()->indices.begin(), t.mesh()->indices.end());
        bool same = ref.ok == ok && (!ok || ref.indices == mine);
        std::printf("%-22s ok=%d tris=%5zu dev=%.3g bound=%g ms=%.3f ref=%s\n", name.c_str(), ok, size_t(range.count / 3),
                    dev, bounds.count(name) ? bounds[name] : 1e-6, ms, same ? "same" : "DIFFERENT");
    }
}

} // namespace
} // namespace hv
