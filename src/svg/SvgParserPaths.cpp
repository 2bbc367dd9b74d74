// Path data, arcs and the basic shapes of the SVG parser, built into subpaths and outlines.
#include "svg/SvgParserParts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace hv::svgparser {

namespace {

constexpr float twoPi = 6.2831855f;
constexpr float nanValue = std::numeric_limits<float>::quiet_NaN();

} // namespace

void SvgDocumentParser::pathElement(Attribute* attributes, int count) {
    push();
    const char* d = nullptr;
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(attributes[i].name, "d") == 0) d = attributes[i].value;
        else applyAttribute(level(), attributes[i].name, attributes[i].value, Context::Drawable);
    }
    if (d) parsePathData(d);
    addShape();
    pop();
}

void SvgDocumentParser::rectElement(Attribute* attributes, int count) {
    push();
    float x = 0, y = 0, w = 0, h = 0, rx = -1, ry = -1;
    for (int i = 0; i < count; ++i) {
        const char* name = attributes[i].name;
        char* value = attributes[i].value;
        if (applyAttribute(level(), name, value, Context::Drawable)) continue;
        if (std::strcmp(name, "x") == 0) x = convert(parseLength(value), actualOriginX(), actualWidth());
        else if (std::strcmp(name, "y") == 0) y = convert(parseLength(value), actualOriginY(), actualHeight());
        else if (std::strcmp(name, "width") == 0) w = convert(parseLength(value), 0, actualWidth());
        else if (std::strcmp(name, "height") == 0) h = convert(parseLength(value), 0, actualHeight());
        else if (std::strcmp(name, "rx") == 0) rx = std::fabs(convert(parseLength(value), 0, actualWidth()));
        else if (std::strcmp(name, "ry") == 0) ry = std::fabs(convert(parseLength(value), 0, actualHeight()));
    }
    if (rx < 0 && ry >= 0) rx = ry;
    if (ry < 0 && rx >= 0) ry = rx;
    if (rx < 0) rx = 0;
    if (ry < 0) ry = 0;
    rx = std::min(rx, w / 2);
    ry = std::min(ry, h / 2);
    // A negative size is as empty as a zero one.
    if (w > 0 && h > 0) {
        if (rx < 1e-5f || ry < 1e-4f) {
            moveTo(x, y);
            lineTo(x + w, y);
            lineTo(x + w, y + h);
            lineTo(x, y + h);
        } else {
            const float k = 0.44771522f; // 1 - the circle's control length
            moveTo(x + rx, y);
            lineTo(x + w - rx, y);
            cubicTo(x + w - rx * k, y, x + w, y + ry * k, x + w, y + ry);
            lineTo(x + w, y + h - ry);
            cubicTo(x + w, y + h - ry * k, x + w - rx * k, y + h, x + w - rx, y + h);
            lineTo(x + rx, y + h);
            cubicTo(x + rx * k, y + h, x, y + h - ry * k, x, y + h - ry);
            lineTo(x, y + ry);
            cubicTo(x, y + ry * k, x + rx * k, y, x + rx, y);
        }
        finishSubpath(true);
    }
    addShape();
    pop();
}

void SvgDocumentParser::ellipseElement(Attribute* attributes, int count, bool circle) {
    push();
    float cx = 0, cy = 0, rx = 0, ry = 0;
    for (int i = 0; i < count; ++i) {
        const char* name = attributes[i].name;
        char* value = attributes[i].value;
        if (applyAttribute(level(), name, value, Context::Drawable)) continue;
        if (std::strcmp(name, "cx") == 0) cx = convert(parseLength(value), actualOriginX(), actualWidth());
        else if (std::strcmp(name, "cy") == 0) cy = convert(parseLength(value), actualOriginY(), actualHeight());
        else if (circle && std::strcmp(name, "r") == 0) rx = ry = std::fabs(convert(parseLength(value), 0, actualLength()));
        else if (!circle && std::strcmp(name, "rx") == 0) rx = std::fabs(convert(parseLength(value), 0, actualWidth()));
        else if (!circle && std::strcmp(name, "ry") == 0) ry = std::fabs(convert(parseLength(value), 0, actualHeight()));
    }
    if (rx > 0 && ry > 0) {
        const float k = 0.5522848f;
        moveTo(cx + rx, cy);
        cubicTo(cx + rx, cy + ry * k, cx + rx * k, cy + ry, cx, cy + ry);
        cubicTo(cx - rx * k, cy + ry, cx - rx, cy + ry * k, cx - rx, cy);
        cubicTo(cx - rx, cy - ry * k, cx - rx * k, cy - ry, cx, cy - ry);
        cubicTo(cx + rx * k, cy - ry, cx + rx, cy - ry * k, cx + rx, cy);
        finishSubpath(true);
    }
    addShape();
    pop();
}

void SvgDocumentParser::lineElement(Attribute* attributes, int count) {
    push();
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    for (int i = 0; i < count; ++i) {
        const char* name = attributes[i].name;
        char* value = attributes[i].value;
        if (applyAttribute(level(), name, value, Context::Drawable)) continue;
        if (std::strcmp(name, "x1") == 0) x1 = convert(parseLength(value), actualOriginX(), actualWidth());
        else if (std::strcmp(name, "y1") == 0) y1 = convert(parseLength(value), actualOriginY(), actualHeight());
        else if (std::strcmp(name, "x2") == 0) x2 = convert(parseLength(value), actualOriginX(), actualWidth());
        else if (std::strcmp(name, "y2") == 0) y2 = convert(parseLength(value), actualOriginY(), actualHeight());
    }
    moveTo(x1, y1);
    lineTo(x2, y2);
    finishSubpath(false);
    addShape();
    pop();
}

void SvgDocumentParser::polyElement(Attribute* attributes, int count, bool closed) {
    push();
    const char* points = nullptr;
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(attributes[i].name, "points") == 0) points = attributes[i].value;
        else applyAttribute(level(), attributes[i].name, attributes[i].value, Context::Drawable);
    }
    if (points) {
        const char* s = points;
        float pair[2];
        int n = 0;
        bool first = true;
        while (*s) {
            if (!startsNumber(*s)) {
                ++s;
                continue;
            }
            double v;
            s = scanNumber(s, v);
            pair[n++] = float(v);
            if (n == 2) {
                if (first) moveTo(pair[0], pair[1]);
                else lineTo(pair[0], pair[1]);
                first = false;
                n = 0;
            }
        }
        finishSubpath(closed);
    }
    addShape();
    pop();
}

void SvgDocumentParser::moveTo(float x, float y) {
    if (!subpath.empty()) finishSubpath(false);
    subpath.push_back(x);
    subpath.push_back(y);
    currentX = x;
    currentY = y;
}

void SvgDocumentParser::lineTo(float x, float y) {
    if (!subpath.empty()) {
        const float segment[6] = {nanValue, nanValue, nanValue, nanValue, x, y};
        subpath.insert(subpath.end(), segment, segment + 6);
    }
    currentX = x;
    currentY = y;
}

void SvgDocumentParser::cubicTo(float x1, float y1, float x2, float y2, float x, float y) {
    if (!subpath.empty()) {
        const float segment[6] = {x1, y1, x2, y2, x, y};
        subpath.insert(subpath.end(), segment, segment + 6);
    }
    currentX = x;
    currentY = y;
}

void SvgDocumentParser::closePath() {
    if (subpath.empty()) return;
    float startX = subpath[0];
    float startY = subpath[1];
    finishSubpath(true);
    subpath.push_back(startX);
    subpath.push_back(startY);
    currentX = startX;
    currentY = startY;
}

void SvgDocumentParser::finishSubpath(bool closed) {
    if (subpath.size() < 8) {
        subpath.clear();
        return;
    }
    if (closed) {
        // Relative path data add up rounding, so a subpath meant to end on its start often
        // ends a few units in the last place beside it, and the closing segment then crosses
        // the first one. An end that close is put on the start. The rounding grows with the
        // coordinates, but a gap of more than a hundredth of the subpath's own size is drawn
        // on purpose, however far from the origin the drawing lies (the near-closures of
        // real drawings stay below half that).
        float scale = 0;
        for (float v : subpath) scale = std::max(scale, std::fabs(v)); // NaN marks lose
        float minX = subpath[0], maxX = minX, minY = subpath[1], maxY = minY;
        for (size_t i = 2; i + 1 < subpath.size(); i += 2) {
            if (std::isnan(subpath[i])) continue; // a straight segment's control points
            minX = std::min(minX, subpath[i]);
            maxX = std::max(maxX, subpath[i]);
            minY = std::min(minY, subpath[i + 1]);
            maxY = std::max(maxY, subpath[i + 1]);
        }
        float extent = std::max(maxX - minX, maxY - minY);
        float tolerance = std::min(scale * 1e-5f, extent * 1e-2f);
        float& endX = subpath[subpath.size() - 2];
        float& endY = subpath[subpath.size() - 1];
        if (std::fabs(endX - subpath[0]) <= tolerance && std::fabs(endY - subpath[1]) <= tolerance) {
            endX = subpath[0];
            endY = subpath[1];
        }
        lineTo(subpath[0], subpath[1]);
    }
    SvgOutline outline;
    outline.points = std::move(subpath);
    outline.closed = closed;
    subpath = std::vector<float>();
    const Affine& t = level().transform;
    for (size_t i = 0; i + 1 < outline.points.size(); i += 2) t.apply(outline.points[i], outline.points[i + 1]);
    outlines.push_back(std::move(outline));
}

namespace {

double vectorAngle(double ux, double uy, double vx, double vy) {
    double r = (ux * vx + uy * vy) / (std::sqrt(ux * ux + uy * uy) * std::sqrt(vx * vx + vy * vy));
    // Rounding can push the cosine just outside its range, where acos gives NaN.
    if (r < -1.0) r = -1.0;
    if (r > 1.0) r = 1.0;
    double angle = std::acos(r);
    return (ux * vy - uy * vx < 0.0) ? -angle : angle;
}

} // namespace

void SvgDocumentParser::arcTo(float rxIn, float ryIn, float angleDegrees, bool largeArc, bool sweep, float x, float y) {
    double x1 = currentX, y1 = currentY, x2 = x, y2 = y;
    double rx = std::fabs(rxIn), ry = std::fabs(ryIn);
    double dx = x1 - x2, dy = y1 - y2;
    double chord = std::sqrt(dx * dx + dy * dy);
    if (!(chord >= 1e-6) || !(rx >= 1e-6) || !(ry >= 1e-6)) {
        lineTo(x, y);
        return;
    }
    double rotation = double(angleDegrees) * pi / 180.0;
    double sinR = std::sin(rotation), cosR = std::cos(rotation);
    double x1p = cosR * dx / 2.0 + sinR * dy / 2.0;
    double y1p = -sinR * dx / 2.0 + cosR * dy / 2.0;
    double d = (x1p * x1p) / (rx * rx) + (y1p * y1p) / (ry * ry);
    if (d > 1.0) {
        d = std::sqrt(d);
        rx *= d;
        ry *= d;
    }
    double sa = rx * rx * ry * ry - rx * rx * y1p * y1p - ry * ry * x1p * x1p;
    double sb = rx * rx * y1p * y1p + ry * ry * x1p * x1p;
    if (sa < 0.0) sa = 0.0; // rounding after the radius correction
    double s = sb > 0.0 ? std::sqrt(sa / sb) : 0.0;
    if (largeArc == sweep) s = -s;
    double cxp = s * rx * y1p / ry;
    double cyp = s * -ry * x1p / rx;
    double cx = (x1 + x2) / 2.0 + cosR * cxp - sinR * cyp;
    double cy = (y1 + y2) / 2.0 + sinR * cxp + cosR * cyp;
    double ux = (x1p - cxp) / rx, uy = (y1p - cyp) / ry;
    double vx = (-x1p - cxp) / rx, vy = (-y1p - cyp) / ry;
    double a1 = vectorAngle(1.0, 0.0, ux, uy);
    double da = vectorAngle(ux, uy, vx, vy);
    if (!sweep && da > 0) da -= twoPi;
    else if (sweep && da < 0) da += twoPi;
    if (!std::isfinite(da) || !std::isfinite(a1) || !std::isfinite(cx) || !std::isfinite(cy)) {
        lineTo(x, y);
        return;
    }
    int pieces = int(std::floor(std::fabs(da) / (pi / 2.0))) + 1;
    double half = da / double(pieces) / 2.0;
    double kappa = std::fabs(4.0 / 3.0 * (1.0 - std::cos(half)) / std::sin(half));
    if (da < 0.0) kappa = -kappa;
    double px = 0, py = 0, ptx = 0, pty = 0;
    for (int i = 0; i <= pieces; ++i) {
        double a = a1 + da * double(i) / double(pieces);
        double ex = std::cos(a), ey = std::sin(a);
        double qx = cx + cosR * rx * ex - sinR * ry * ey;
        double qy = cy + sinR * rx * ex + cosR * ry * ey;
        double tx0 = -ey * rx * kappa, ty0 = ex * ry * kappa;
        double tx = cosR * tx0 - sinR * ty0;
        double ty = sinR * tx0 + cosR * ty0;
        if (i == pieces) {
            qx = x2; // land exactly on the end point the data names
            qy = y2;
        }
        if (i > 0) cubicTo(float(px + ptx), float(py + pty), float(qx - tx), float(qy - ty), float(qx), float(qy));
        px = qx;
        py = qy;
        ptx = tx;
        pty = ty;
    }
    currentX = x;
    currentY = y;
}

namespace {

int argumentCount(char command) {
    switch (command) {
    case 'A': case 'a': return 7;
    case 'C': case 'c': return 6;
    case 'Q': case 'q': case 'S': case 's': return 4;
    case 'M': case 'm': case 'L': case 'l': case 'T': case 't': return 2;
    case 'H': case 'h': case 'V': case 'v': return 1;
    default: return 0;
    }
}

} // namespace

void SvgDocumentParser::runPathCommand(char command, const float* a) {
    bool relative = command >= 'a' && command <= 'z';
    float ox = relative ? currentX : 0.0f;
    float oy = relative ? currentY : 0.0f;
    switch (command) {
    case 'M': case 'm':
        moveTo(ox + a[0], oy + a[1]);
        break;
    case 'L': case 'l':
        lineTo(ox + a[0], oy + a[1]);
        break;
    case 'H': case 'h':
        lineTo(ox + a[0], currentY);
        break;
    case 'V': case 'v':
        lineTo(currentX, oy + a[0]);
        break;
    case 'C': case 'c':
        cubicTo(ox + a[0], oy + a[1], ox + a[2], oy + a[3], ox + a[4], oy + a[5]);
        lastControlX = ox + a[2];
        lastControlY = oy + a[3];
        break;
    case 'S': case 's': {
        float x1 = currentX, y1 = currentY;
        if (lastCommand == 'C' || lastCommand == 'c' || lastCommand == 'S' || lastCommand == 's') {
            x1 = 2 * currentX - lastControlX;
            y1 = 2 * currentY - lastControlY;
        }
        cubicTo(x1, y1, ox + a[0], oy + a[1], ox + a[2], oy + a[3]);
        lastControlX = ox + a[0];
        lastControlY = oy + a[1];
        break;
    }
    case 'Q': case 'q': case 'T': case 't': {
        float qx, qy, x, y;
        if (command == 'Q' || command == 'q') {
            qx = ox + a[0];
            qy = oy + a[1];
            x = ox + a[2];
            y = oy + a[3];
        } else {
            qx = currentX;
            qy = currentY;
            if (lastCommand == 'Q' || lastCommand == 'q' || lastCommand == 'T' || lastCommand == 't') {
                qx = 2 * currentX - lastControlX;
                qy = 2 * currentY - lastControlY;
            }
            x = ox + a[0];
            y = oy + a[1];
        }
        float sx = currentX, sy = currentY;
        cubicTo(sx + 2.0f / 3.0f * (qx - sx), sy + 2.0f / 3.0f * (qy - sy), x + 2.0f / 3.0f * (qx - x),
                y + 2.0f / 3.0f * (qy - y), x, y);
        lastControlX = qx;
        lastControlY = qy;
        break;
    }
    case 'A': case 'a':
        arcTo(a[0], a[1], a[2], std::fabs(a[3]) > 1e-6f, std::fabs(a[4]) > 1e-6f, ox + a[5], oy + a[6]);
        break;
    default:
        break;
    }
    lastCommand = command;
}

void SvgDocumentParser::parsePathData(const char* s) {
    char command = 0;
    int required = 0;
    int have = 0;
    float args[10];
    subpath.clear();
    currentX = currentY = 0;
    lastCommand = 0;
    while (*s) {
        while (*s && (isSpace(*s) || *s == ',')) ++s;
        if (!*s) break;
        if (startsNumber(*s)) {
            double v;
            // An arc's two flags are one character each, so "0120 0" is the flags 0 and 1,
            // then 20 and 0, as minifiers write them.
            bool flag = (command == 'A' || command == 'a') && (have == 3 || have == 4);
            if (flag && (*s == '0' || *s == '1')) v = *s++ - '0';
            else s = scanNumber(s, v);
            if (required == 0) continue; // numbers before any command, or after one without arguments
            if (have < 10) args[have++] = float(v);
            if (have >= required) {
                runPathCommand(command, args);
                have = 0;
                if (command == 'M') command = 'L';
                else if (command == 'm') command = 'l';
            }
            continue;
        }
        command = *s++;
        required = argumentCount(command);
        have = 0;
        if (command == 'M' || command == 'm') {
            if (!subpath.empty()) finishSubpath(false);
        } else if (command == 'Z' || command == 'z') {
            closePath();
            lastCommand = command;
        }
    }
    finishSubpath(false);
}

} // namespace hv::svgparser
