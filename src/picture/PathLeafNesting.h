// Contour nesting: which contour of the tree lies inside which, and where a new one goes.
#pragma once

#include "picture/ContourSiblings.h"
#include "picture/PathLeaf.h"
#include "picture/PolygonMath.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace hv {

// Whether P lies on the segment from A to B, ends included; exact for tame coordinates.
inline bool liesOnEdge(polygon::Point p, polygon::Point a, polygon::Point b) {
    if (!(p.x >= std::min(a.x, b.x) && p.x <= std::max(a.x, b.x) && p.y >= std::min(a.y, b.y) &&
          p.y <= std::max(a.y, b.y))) {
        return false;
    }
    return polygon::orientSign(a, b, p) == 0;
}

// Nests contours by even-odd tests of their vertices. Every answer is the one the plain scan
// over all edges gives; the bounds and a band index over each contour's edges only skip edges
// and points that cannot change it.
//
// A vertex that lies exactly on the other contour's boundary says nothing about which side
// its contour is on (contours that touch at a vertex or along an edge share such points), so
// only vertices off the boundary decide. A contour with every vertex on the other is probed
// at the middles of its edges instead; two contours lying wholly on each other's boundaries
// are duplicates, and the second nests inside the first, as the even-odd fill has it. Two
// contours taken as disjoint that touch are looked at once more: when they share an edge and
// one reaches into the other, they cross.
class ContourNester {
public:
    ContourNester() = default;
    explicit ContourNester(const std::shared_ptr<Mesh>& mesh) : vertices_(mesh->vertices.data()) {}

    // Starts over on another mesh, keeping the memory it has.
    void reset(const std::shared_ptr<Mesh>& mesh);

    bool add(PathLeaf& root, PathLeaf leaf);

    // After an add that failed, the contours the new one was refused against.
    const std::vector<Range>& conflicts() const { return conflicts_; }

private:
    struct Contour {
        uint64_t start = 0;
        uint64_t count = 0;
        polygon::Bounds bounds;
        bool indexed = false;
        uint32_t bands = 0;
        double lastBand = 0.0; // bands - 1, as a double for the mapping
        double bandScale = 0.0;
        std::vector<uint32_t> bandStart; // edges of band b: bandEdges[bandStart[b] .. bandStart[b + 1])
        std::vector<uint32_t> bandEdges; // edge k joins vertex k - 1 (wrapping) to vertex k
    };

    // Below this many edges a contour is scanned whole.
    static constexpr uint64_t indexThreshold = 24;

    Contour& contourOf(const Range& range);
    void buildIndex(Contour& c);
    uint32_t bandOf(const Contour& c, double y) const {
        double b = (y - c.bounds.minY) * c.bandScale; // truncating a positive value is its floor
        return !(b > 0) ? 0 : b >= c.lastBand ? c.bands - 1 : uint32_t(b);
    }
    enum class Place { Outside, Inside, OnBoundary };
    // Walks one contour's probe points against another contour, giving the place of each
    // point that is not on that contour's boundary.
    class Probes;

    bool inside(polygon::Point p, Contour& c);
    Place locate(polygon::Point p, Contour& c);
    // `touched` tells whether a point of either lay on the other's boundary.
    int classify(const Range& b, const Range& a, bool& touched);
    int decide(Probes& b, Probes& a);
    struct Overlap {
        bool enters = false;
        bool sharesEdge = false;
        void add(Overlap other) {
            enters = enters || other.enters;
            sharesEdge = sharesEdge || other.sharesEdge;
        }
    };
    Overlap overlapWhereTouching(const Contour& of, Contour& against);

    // One step of the walk down the tree.
    struct Level {
        std::vector<size_t> moved;      // children that go inside the new contour
        std::vector<char> movedTouches; // and whether they touch it
        size_t candidate = size_t(-1);
        bool candidateTouches = false;
    };

    const float* vertices_ = nullptr;
    std::vector<Level> levels_;
    std::vector<Contour> contours_; // sorted by start
    size_t recent_[2] = {size_t(-1), size_t(-1)}; // the last two looked up
    SiblingFilter siblings_;
    std::vector<uint32_t> vertexBands_, bandFill_; // working lists of buildIndex
    struct Cut {
        double along;
        polygon::Point at;
    };
    std::vector<Cut> cuts_;      // working lists of overlapWhereTouching
    std::vector<uint64_t> near_;
    std::vector<Range> conflicts_;
};

} // namespace hv
