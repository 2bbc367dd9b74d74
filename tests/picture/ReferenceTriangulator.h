#pragma once

#include "picture/Path.h"
#include "picture/PathLeaf.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace hv::test {

// The triangulation pipeline written the plain way, with nothing indexed: every vertex tested
// against every edge, every vertex pair measured, the ear list rescanned from the start after
// every ear. Slow, but obviously what is meant, so the engine's indexed version must give
// exactly the same vertices, polygons and triangles.
struct ReferenceResult {
    bool ok = false;
    // Nothing was refused, left out or retried: the engine then goes exactly this way. Other
    // paths it draws anew from their contours resolved at their crossings.
    bool clean = false;
    std::vector<float> vertices;
    std::vector<IndexPolygon> polygons; // holes bridged in
    std::vector<uint32_t> indices;
};

ReferenceResult referenceTriangulate(const Path& path, double tolerance);

// The single steps, on the same terms as the engine's.
bool referenceSubtract(const std::vector<float>& vertices, IndexPolygon& outer, const std::vector<IndexPolygon>& holes);
bool referenceClip(const std::vector<float>& vertices, const IndexPolygon& polygon, std::vector<uint32_t>& indices,
                   double negligibleArea = 0.0);

// What the engine's nesting and bridging give for the path, to hold against the above; false
// when it could not bridge the holes in.
bool engineBridge(const Path& path, double tolerance, const std::shared_ptr<Mesh>& mesh, std::vector<IndexPolygon>& polygons);

} // namespace hv::test
