#pragma once

#include "core/Range.h"
#include "picture/Mesh.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace hv {

class Path;

// Vertex numbers of the mesh; consecutive entries are joined by edges, the last to the first.
using IndexPolygon = std::vector<uint32_t>;

// The contours one path was flattened into, how many of them the contour tree refused (one
// that crosses another), and how many holes the triangulation left out because they touch
// their outer ring; how many were redrawn from their crossings resolved, and whether the path
// had too many crossings for that.
struct ContourCount {
    uint64_t total = 0;
    uint64_t dropped = 0;
    uint64_t leftOut = 0;
    uint64_t resolved = 0;
    bool refused = false;
};

// One node of the contour tree. The root stands for the whole plane (range (0, 0)); its
// children are outermost contours (solids), theirs holes, theirs solids again, by depth.
// Only vertex ranges are stored: the contours' points live once in the shared mesh.
struct PathLeaf {
    std::shared_ptr<Mesh> mesh;
    Range range;
    std::vector<PathLeaf> children;
    // A vertex of this contour lies on its parent's boundary (or one of the parent's on its
    // own): only then can it touch the parent inside an edge.
    bool touchesParent = false;

    PathLeaf() = default;
    PathLeaf(const PathLeaf&) = default;
    PathLeaf(PathLeaf&&) = default;
    PathLeaf& operator=(const PathLeaf&) = default;
    PathLeaf& operator=(PathLeaf&&) = default;
    // Takes the tree down without recursion: contours nested a few hundred thousand deep
    // would otherwise overflow the stack.
    ~PathLeaf();

    // Keeps the mesh, or makes an empty one when none is given.
    void init(const std::shared_ptr<Mesh>& mesh = nullptr);

    // Flattens the path's commands into closed contours appended to the mesh and nests them
    // under this leaf. Failures are reported, and counted in the result.
    ContourCount dumpPathIntoLeaf(const Path& path, double tolerance);

    // The two halves of that: the contours' vertices appended to the mesh, one range each;
    // and the contours nested under this leaf in place of its children. `troubled`, when
    // given, receives each refused contour with the ones it was refused against.
    void flattenPath(const Path& path, double tolerance, std::vector<Range>& ranges);
    ContourCount nestRanges(const std::vector<Range>& ranges, std::vector<Range>* troubled = nullptr);

    // Inserts one contour leaf into the tree under this leaf. Fails, with a report, when the
    // contour crosses another or would lie inside two siblings.
    bool addRange(PathLeaf leaf);

    // One simple index polygon per solid, with its holes bridged in. `solids`, when given,
    // receives for each polygon the solid it was made from.
    bool getSubtractedIndices(std::vector<IndexPolygon>& out, std::vector<const PathLeaf*>* solids = nullptr) const;

    // The same into out[count], out[count + 1], ..., reusing the memory of entries already
    // there; `count` ends past the last polygon made. `unbridged`, when given, receives the
    // solids whose holes could not be bridged; a solid that `known` says is drawn already is
    // not bridged, and its polygon left empty.
    bool subtractedIndicesInto(std::vector<IndexPolygon>& out, size_t& count, std::vector<const PathLeaf*>* solids = nullptr,
                               std::vector<const PathLeaf*>* unbridged = nullptr,
                               const std::function<bool(const PathLeaf&)>& known = {}) const;

    // This solid's cleaned polygon with its holes bridged in, but for the holes marked in
    // `leaveOut` (one entry per child, when given).
    bool bridgedPolygon(IndexPolygon& out, const std::vector<char>* leaveOut = nullptr) const;

    // Of this solid's holes (children), those that touch it: one entry per child.
    std::vector<char> touchingHoles() const;

    // This leaf's vertex numbers without repeated neighbours or a repeated closing point.
    IndexPolygon cleanedIndexPolygon() const;
    void cleanedIndexPolygon(IndexPolygon& into) const;
};

// Where a hole's vertex touches its outer ring inside an edge, that point becomes a vertex of
// the edge, each point once: the bridge to it then has zero length instead of running along
// the edge. A ring with a point out of the tame range is left as it is.
void joinTouchingPoints(const float* vertices, IndexPolygon& outer, std::vector<IndexPolygon>& holes);

// Which holes touch the outer ring: a vertex of either lies on the other's boundary, at a
// vertex or inside an edge. Rings with a point out of the tame range touch nothing.
std::vector<char> holesTouchingRing(const float* vertices, const IndexPolygon& outer,
                                    const std::vector<IndexPolygon>& holes);

// Joins every hole into the outer polygon through a zero-width bridge of two duplicated
// vertices, nearest visible vertex pair first. The leaf gives the mesh.
bool subtractPolygons(const PathLeaf& leaf, IndexPolygon& outer, const std::vector<IndexPolygon>& holes);

// The most segments one curve is flattened into, whatever the tolerance.
constexpr uint32_t maxCurveSegments = 1024;

// Segments for a curve of this chord length: the chord over the tolerance, at least 3 and at
// most maxCurveSegments, also for a tolerance of zero, a negative or an undefined one.
uint32_t curveSegmentCount(double chordLength, double tolerance);

} // namespace hv
