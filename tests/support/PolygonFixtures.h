#pragma once

#include "core/Vec2.h"
#include "picture/Path.h"

#include <map>
#include <string>
#include <vector>

namespace hv::test {

using Ring = std::vector<Vec2>;

// The polygon fixtures in tests/data/polygons: each an array of rings of [x, y] pairs, the
// first ring the outer boundary and the rest holes.
std::vector<std::string> polygonFixtureNames();
bool loadPolygonFixture(const std::string& name, std::vector<Ring>& rings);

// What expected.json gives per fixture: the largest relative area deviation allowed, where
// it gives one.
std::map<std::string, double> polygonFixtureAreaBounds();

// One move and lines per ring.
Path pathFromRings(const std::vector<Ring>& rings);

// The corners of an axis-aligned square, counter-clockwise from its lowest corner.
Ring squareRing(double x, double y, double side);

} // namespace hv::test
