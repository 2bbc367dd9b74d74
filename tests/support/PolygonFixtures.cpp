#include "support/PolygonFixtures.h"

#include "support/Json.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>

namespace hv::test {

std::vector<std::string> polygonFixtureNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(testDataPath("polygons"))) {
        std::filesystem::path p = entry.path();
        if (p.extension() == ".json" && p.stem() != "expected") names.push_back(p.stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool loadPolygonFixture(const std::string& name, std::vector<Ring>& rings) {
    JsonValue doc;
    if (!readJsonFile(testDataPath("polygons/" + name + ".json"), doc) || doc.kind != JsonValue::Array) return false;
    rings.clear();
    for (const JsonValue& ring : doc.items) {
        if (ring.kind != JsonValue::Array) return false;
        rings.emplace_back();
        for (const JsonValue& point : ring.items) {
            if (point.kind != JsonValue::Array || point.items.size() < 2) return false;
            rings.back().emplace_back(point.items[0].number, point.items[1].number);
        }
    }
    return true;
}

std::map<std::string, double> polygonFixtureAreaBounds() {
    std::map<std::string, double> bounds;
    JsonValue doc;
    if (!readJsonFile(testDataPath("polygons/expected.json"), doc)) return bounds;
    if (const JsonValue* errors = doc.member("errors")) {
        for (const auto& [name, value] : errors->members) bounds[name] = value.number;
    }
    return bounds;
}

Path pathFromRings(const std::vector<Ring>& rings) {
    Path path;
    for (const Ring& ring : rings) {
        for (size_t k = 0; k < ring.size(); ++k) {
            path.commands.push_back(k == 0 ? PathCommand::moveTo(ring[k].x, ring[k].y)
                                           : PathCommand::lineTo(ring[k].x, ring[k].y));
        }
    }
    return path;
}

Ring squareRing(double x, double y, double side) {
    return {Vec2(x, y), Vec2(x + side, y), Vec2(x + side, y + side), Vec2(x, y + side)};
}

} // namespace hv::test
