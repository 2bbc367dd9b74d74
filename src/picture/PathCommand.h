#pragma once

#include "core/Vec2.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace hv {

class Reader;
class Transform;

// One drawing command of a path. Only the first pointCount() points are used: the end point
// for move and line; control and end for quadratic; two controls and end for cubic.
struct PathCommand {
    enum Type : int32_t { Move = 0, Line = 1, Quadratic = 2, Cubic = 3 };

    int32_t type = Move;
    Vec2 points[3];

    static PathCommand moveTo(double x, double y);
    static PathCommand lineTo(double x, double y);
    static PathCommand cubicTo(double x1, double y1, double x2, double y2, double x, double y);

    // Unknown types count as one point.
    static int pointCountForType(int32_t type);
    int pointCount() const { return pointCountForType(type); }
    const Vec2& endPoint() const { return points[pointCount() - 1]; }

    // The 16-byte header (type, padding, point count) and the points as doubles.
    bool writeTo(FILE* file) const;
    // Refuses a record with more points than a command holds.
    bool readFrom(Reader& reader);

    bool operator==(const PathCommand& other) const;
};

// One curve piece from a start point and a command, for flattening.
struct PathSegment {
    enum Kind : int32_t { Line = 0, Quadratic = 1, Cubic = 2 };

    Vec2 start;
    Vec2 end;
    Vec2 control1;
    Vec2 control2;
    int32_t kind = Line;

    PathSegment() = default;
    // A move command is reported and taken as a line to its point.
    PathSegment(const Vec2& start, const PathCommand& command);

    Vec2 pointAt(double t) const;
    // The straight distance from start to end, not the curve's length.
    double chordLength() const { return start.distanceTo(end); }
};

// Maps every used point of every command in place.
void transformPathCommands(const Transform& transform, std::vector<PathCommand>& commands);

} // namespace hv
