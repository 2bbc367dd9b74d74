#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace hv {

// Texts copied from the file (ids and labels) keep at most this many bytes plus a NUL.
constexpr int svgTextCapacity = 64;

struct SvgPaint {
    enum Kind : int32_t { None = 0, Colour = 1, LinearGradient = 2, RadialGradient = 3 };

    int32_t kind = None;
    // Red in bits 0..7, green 8..15, blue 16..23, alpha 24..31. A gradient paint carries its
    // first stop's colour, so that whoever reads only a colour gets a stable one.
    uint32_t colour = 0;
};

// One subpath: x, y pairs of the start point and then three points per segment (first
// control, second control, end). A straight segment has NaN in both control points.
struct SvgOutline {
    std::vector<float> points;
    bool closed = false;

    size_t pointCount() const { return points.size() / 2; }
};

// One drawable element, its outlines already in the document's root coordinates.
struct SvgShapeRecord {
    char id[svgTextCapacity] = {};
    char label[svgTextCapacity] = {};
    char groupLabel[svgTextCapacity] = {};
    SvgPaint fill;
    SvgPaint stroke;
    float opacity = 1.0f;
    float strokeWidth = 1.0f;
    float strokeDashOffset = 0.0f;
    float strokeDashArray[8] = {};
    int32_t strokeDashCount = 0;
    int32_t strokeLineJoin = 0;
    int32_t strokeLineCap = 0;
    float miterLimit = 4.0f;
    int32_t fillRule = 0; // 0 nonzero, 1 even-odd
    bool visible = true;
    float bounds[4] = {}; // min x, min y, max x, max y over the finite outline points
    // The most recently finished subpath first.
    std::vector<SvgOutline> outlines;
};

struct SvgPictureRecord {
    float width = 0.0f;
    float height = 0.0f;
    std::vector<SvgShapeRecord> shapes; // document order
};

// Parses a whole SVG file held in a writable NUL-terminated buffer, which it overwrites as it
// goes. What it cannot understand it skips; it reports nothing and never fails on input.
// Null only when the parser's own state cannot be allocated.
std::unique_ptr<SvgPictureRecord> parseSvgDocument(char* text, float dpi);

void releaseSvgPicture(std::unique_ptr<SvgPictureRecord>& picture);

} // namespace hv
