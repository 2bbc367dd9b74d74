#include "picture/PathCommand.h"

#include "core/Reader.h"
#include "core/Transform.h"

#include <cstring>
#include <iostream>

namespace hv {

PathCommand PathCommand::moveTo(double x, double y) {
    PathCommand c;
    c.type = Move;
    c.points[0] = Vec2(x, y);
    return c;
}

PathCommand PathCommand::lineTo(double x, double y) {
    PathCommand c;
    c.type = Line;
    c.points[0] = Vec2(x, y);
    return c;
}

PathCommand PathCommand::cubicTo(double x1, double y1, double x2, double y2, double x, double y) {
    PathCommand c;
    c.type = Cubic;
    c.points[0] = Vec2(x1, y1);
    c.points[1] = Vec2(x2, y2);
    c.points[2] = Vec2(x, y);
    return c;
}

int PathCommand::pointCountForType(int32_t type) {
    switch (type) {
    case Quadratic: return 2;
    case Cubic: return 3;
    default: return 1;
    }
}

bool PathCommand::operator==(const PathCommand& other) const {
    if (type != other.type) return false;
    for (int i = 0; i < pointCount(); ++i) {
        if (!(points[i] == other.points[i])) return false;
    }
    return true;
}

bool PathCommand::writeTo(FILE* file) const {
    uint8_t header[16] = {};
    uint64_t n = uint64_t(pointCount());
    std::memcpy(header, &type, 4);
    std::memcpy(header + 8, &n, 8);
    if (std::fwrite(header, sizeof(header), 1, file) != 1) {
        std::cerr << "PathCommand::writeTo: unable to write header" << std::endl;
        return false;
    }
    double coordinates[6];
    for (uint64_t i = 0; i < n; ++i) {
        coordinates[2 * i] = points[i].x;
        coordinates[2 * i + 1] = points[i].y;
    }
    if (std::fwrite(coordinates, size_t(16 * n), 1, file) != 1) {
        std::cerr << "PathCommand::writeTo: unable to write points" << std::endl;
        return false;
    }
    return true;
}

bool PathCommand::readFrom(Reader& reader) {
    uint8_t header[16];
    if (!reader.read(header, sizeof(header))) {
        std::cerr << "PathCommand::readFrom: unable to read header" << std::endl;
        return false;
    }
    int32_t t;
    uint64_t n;
    std::memcpy(&t, header, 4);
    std::memcpy(&n, header + 8, 8);
    double coordinates[6];
    // A command holds three points at most; a larger count is a broken record.
    if (n > 3 || !reader.read(coordinates, 16 * n)) {
        std::cerr << "PathCommand::writeTo: unable to read points" << std::endl;
        return false;
    }
    type = t;
    for (uint64_t i = 0; i < n; ++i) points[i] = Vec2(coordinates[2 * i], coordinates[2 * i + 1]);
    return true;
}

PathSegment::PathSegment(const Vec2& start_, const PathCommand& command)
    : start(start_), end(command.endPoint()) {
    switch (command.type) {
    case PathCommand::Quadratic:
        kind = Quadratic;
        control1 = command.points[0];
        break;
    case PathCommand::Cubic:
        kind = Cubic;
        control1 = command.points[0];
        control2 = command.points[1];
        break;
    case PathCommand::Move:
        std::cerr << "Can't make a line segment out of a move command" << std::endl;
        kind = Line;
        break;
    default:
        kind = Line;
        break;
    }
}

Vec2 PathSegment::pointAt(double t) const {
    double u = 1.0 - t;
    switch (kind) {
    case Quadratic:
        return start * (u * u) + control1 * (2.0 * u * t) + end * (t * t);
    case Cubic:
        return start * (u * u * u) + control1 * (3.0 * u * u * t) + control2 * (3.0 * u * t * t) +
               end * (t * t * t);
    default:
        return start + (end - start) * t;
    }
}

void transformPathCommands(const Transform& transform, std::vector<PathCommand>& commands) {
    if (transform._isTrivial()) return;
    for (PathCommand& command : commands) {
        int n = command.pointCount();
        for (int j = 0; j < n; ++j) command.points[j] = transform.apply(command.points[j]);
    }
}

} // namespace hv
