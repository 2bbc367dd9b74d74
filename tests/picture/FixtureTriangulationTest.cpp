#include "ReferenceTriangulator.h"
#include "picture/EarClipperTriangulator.h"
#include "support/FillCoverage.h"
#include "support/PolygonFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace hv {
namespace {

using test::Ring;

// Fixtures whose rings are all simple, none touching another, holes inside the outer ring and
// outside each other (checked once with exact arithmetic on the single-precision coordinates
// the engine works with). These must triangulate, covering exactly their area.
const std::set<std::string> simpleFixtures = {"building", "dude",    "earcut",  "eberly-6", "filtered-bridge-jhl",
                                              "hilbert",  "issue16", "issue17", "issue29",  "issue34",
                                              "issue35",  "issue52"};

// Fixtures whose drawing is not their even-odd fill, and why.
const std::map<std::string, std::string> unlikeTheirFill = {
    {"issue149", "the outer ring runs round a square twice, touching itself at the square's corners, and the hole is "
                 "that square: the nesting takes the ring as it stands"},
};
struct Outcome {
    bool ok = false;
    Range range;
    std::shared_ptr<Mesh> mesh;
};

Outcome triangulateFixture(const std::string& name, std::vector<Ring>& rings) {
    EXPECT_TRUE(test::loadPolygonFixture(name, rings)) << name;
    EarClipperTriangulator t;
    t.init();
    testing::internal::CaptureStderr();
    auto [range, ok] = t.triangulate(test::pathFromRings(rings), 1.0);
    testing::internal::GetCapturedStderr();
    return Outcome{ok, range, t.mesh()};
}

// Areas in double precision over the single-precision coordinates the mesh holds, so that
// only the triangulation itself can make them differ.
double ringArea(const Ring& ring) {
    double s = 0;
    for (size_t k = 0; k < ring.size(); ++k) {
        const Vec2& a = ring[k];
        const Vec2& b = ring[(k + 1) % ring.size()];
        s += double(float(a.x)) * double(float(b.y)) - double(float(b.x)) * double(float(a.y));
    }
    return std::fabs(s) / 2;
}

double trianglesArea(const Mesh& mesh, Range range, double* mostNegative) {
    double s = 0;
    *mostNegative = 0;
    const float* v = mesh.vertices.data();
    for (uint64_t t = range.start; t + 2 < range.end(); t += 3) {
        uint32_t a = mesh.indices[t], b = mesh.indices[t + 1], c = mesh.indices[t + 2];
        double signedArea = ((double(v[2 * b]) - v[2 * a]) * (double(v[2 * c + 1]) - v[2 * a + 1]) -
                             (double(v[2 * b + 1]) - v[2 * a + 1]) * (double(v[2 * c]) - v[2 * a])) / 2;
        *mostNegative = std::min(*mostNegative, signedArea);
        s += std::fabs(signedArea);
    }
    return s;
}

TEST(FixtureTriangulationTest, FixturesAreAllPresent) {
    std::vector<std::string> names = test::polygonFixtureNames();
    EXPECT_EQ(names.size(), 59u);
    for (const std::string& name : simpleFixtures) EXPECT_TRUE(std::count(names.begin(), names.end(), name)) << name;
    for (const auto& [name, reason] : unlikeTheirFill) EXPECT_TRUE(std::count(names.begin(), names.end(), name)) << name;
}

TEST(FixtureTriangulationTest, SimpleFixturesCoverTheirAreaExactly) {
    auto bounds = test::polygonFixtureAreaBounds();
    for (const std::string& name : simpleFixtures) {
        std::vector<Ring> rings;
        Outcome out = triangulateFixture(name, rings);
        ASSERT_TRUE(out.ok) << name;
        double expected = ringArea(rings[0]);
        for (size_t k = 1; k < rings.size(); ++k) expected -= ringArea(rings[k]);
        double mostNegative = 0;
        double deviation = std::fabs(trianglesArea(*out.mesh, out.range, &mostNegative) - expected) / expected;
        double bound = bounds.count(name) ? bounds[name] : 1e-6;
        EXPECT_LE(deviation, bound) << name;
        EXPECT_GE(mostNegative, 0) << name;
    }
}

// Every fixture, however broken (rings crossing and touching themselves and each other, points
// repeated, rings doubling back), is drawn whole as its even-odd fill, with indices that stay
// inside the mesh; the sanitizer build checks the memory on the way.
TEST(FixtureTriangulationTest, EveryFixtureIsDrawnAsItsEvenOddFill) {
    for (const std::string& name : test::polygonFixtureNames()) {
        std::vector<Ring> rings;
        Outcome out = triangulateFixture(name, rings);
        EXPECT_TRUE(out.ok) << name;
        EXPECT_EQ(out.range.count % 3, 0u) << name;
        EXPECT_LE(out.range.end(), out.mesh->indices.size()) << name;
        for (uint32_t i : out.mesh->indices) ASSERT_LT(i, out.mesh->vertexCount()) << name;
        if (unlikeTheirFill.count(name)) continue;
        auto fill = test::compareMeshWithFill(test::pathFromRings(rings), 1.0, *out.mesh, out.range, 128);
        EXPECT_LT(fill.mismatch(), 0.01) << name << ": " << fill.different << " of " << fill.filled << " samples differ";
    }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool underSanitizers = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool underSanitizers = true;
#else
constexpr bool underSanitizers = false;
#endif
#else
constexpr bool underSanitizers = false;
#endif

// The indexed nesting, bridging and clipping choose exactly what the plain scans choose, for
// every fixture the plain scans draw without a fault.
TEST(FixtureTriangulationTest, SameTrianglesAsThePlainScans) {
    for (const std::string& name : test::polygonFixtureNames()) {
        // With its 1,443 holes the plain reference takes minutes under the sanitizers; the
        // release build compares it, and the sanitizers see the engine on it above.
        if (underSanitizers && name == "water-huge3") continue;
        std::vector<Ring> rings;
        ASSERT_TRUE(test::loadPolygonFixture(name, rings));
        Path path = test::pathFromRings(rings);
        testing::internal::CaptureStderr();
        test::ReferenceResult expected = test::referenceTriangulate(path, 1.0);

        auto mesh = std::make_shared<Mesh>();
        std::vector<IndexPolygon> polygons;
        bool bridged = test::engineBridge(path, 1.0, mesh, polygons);
        EarClipperTriangulator t;
        t.init();
        auto [range, ok] = t.triangulate(path, 1.0);
        testing::internal::GetCapturedStderr();

        EXPECT_EQ(mesh->vertices, expected.vertices) << name;
        if (bridged) {
            EXPECT_EQ(polygons, expected.polygons) << name;
        }
        // A fixture with a fault is drawn anew from its contours resolved at their crossings.
        if (!expected.clean) continue;
        EXPECT_TRUE(ok && expected.ok) << name;
        EXPECT_EQ(t.mesh()->indices, expected.indices) << name;
    }
}

} // namespace
} // namespace hv
