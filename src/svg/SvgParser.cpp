// The SVG document walk: tags and elements, gradients, shape records and the public entry points.
#include "svg/SvgParser.h"

#include "svg/SvgParserParts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace hv {

namespace svgparser {

namespace {

constexpr int maxAttributes = 127;

} // namespace

void SvgDocumentParser::parse(char* s) {
    while (*s) {
        if (*s != '<') {
            s = std::strchr(s, '<');
            if (!s) return;
        }
        ++s;
        if (startsWith(s, "!--")) {
            s = skipPast(s + 3, "-->");
        } else if (startsWith(s, "![CDATA[")) {
            s = skipPast(s + 8, "]]>");
        } else if (*s == '?') {
            s = skipPast(s + 1, "?>");
        } else if (*s == '!') {
            s = skipDeclaration(s + 1);
        } else {
            char* end = findTagEnd(s);
            if (!*end) return; // a tag cut off by the end of the file
            *end = '\0';
            handleTag(s, end);
            s = end + 1;
        }
    }
}

void SvgDocumentParser::handleTag(char* s, char* end) {
    bool selfClosing = false;
    char* last = end - 1;
    while (last >= s && isSpace(*last)) --last;
    if (last >= s && *last == '/') {
        selfClosing = true;
        *last = '\0';
    }
    while (isSpace(*s)) ++s;
    bool endTag = false;
    if (*s == '/') {
        endTag = true;
        ++s;
    }
    const char* name = s;
    while (*s && !isSpace(*s)) ++s;
    if (*s) *s++ = '\0';
    if (!*name) return;
    if (endTag) {
        endElement(name);
        return;
    }

    Attribute attributes[maxAttributes];
    int count = 0;
    while (count < maxAttributes) {
        while (isSpace(*s)) ++s;
        if (!*s) break;
        char* attributeName = s;
        while (*s && !isSpace(*s) && *s != '=') ++s;
        char* nameEnd = s;
        while (*s && *s != '"' && *s != '\'') ++s;
        if (!*s) break;
        char quote = *s++;
        char* value = s;
        bool hasEntity = false;
        while (*s && *s != quote) {
            hasEntity |= *s == '&';
            ++s;
        }
        if (*s) *s++ = '\0';
        *nameEnd = '\0';
        if (hasEntity) decodeEntities(value);
        attributes[count++] = Attribute{attributeName, value};
    }
    startElement(name, attributes, count);
    if (selfClosing) endElement(name);
}

void SvgDocumentParser::startElement(const char* name, Attribute* attributes, int count) {
    if (defsDepth > 0) {
        if (std::strcmp(name, "linearGradient") == 0) gradientElement(attributes, count, SvgPaint::LinearGradient);
        else if (std::strcmp(name, "radialGradient") == 0) gradientElement(attributes, count, SvgPaint::RadialGradient);
        else if (std::strcmp(name, "stop") == 0) stopElement(attributes, count);
        else if (std::strcmp(name, "defs") == 0) ++defsDepth;
        return;
    }
    try {
        if (std::strcmp(name, "g") == 0) {
            push();
            for (int i = 0; i < count; ++i) applyAttribute(level(), attributes[i].name, attributes[i].value, Context::Group);
        } else if (std::strcmp(name, "path") == 0) {
            pathElement(attributes, count);
        } else if (std::strcmp(name, "rect") == 0) {
            rectElement(attributes, count);
        } else if (std::strcmp(name, "circle") == 0) {
            ellipseElement(attributes, count, true);
        } else if (std::strcmp(name, "ellipse") == 0) {
            ellipseElement(attributes, count, false);
        } else if (std::strcmp(name, "line") == 0) {
            lineElement(attributes, count);
        } else if (std::strcmp(name, "polyline") == 0) {
            polyElement(attributes, count, false);
        } else if (std::strcmp(name, "polygon") == 0) {
            polyElement(attributes, count, true);
        } else if (std::strcmp(name, "linearGradient") == 0) {
            gradientElement(attributes, count, SvgPaint::LinearGradient);
        } else if (std::strcmp(name, "radialGradient") == 0) {
            gradientElement(attributes, count, SvgPaint::RadialGradient);
        } else if (std::strcmp(name, "stop") == 0) {
            stopElement(attributes, count);
        } else if (std::strcmp(name, "defs") == 0) {
            ++defsDepth;
        } else if (std::strcmp(name, "svg") == 0) {
            svgElement(attributes, count);
        }
    } catch (const std::bad_alloc&) {
        // Out of memory while building this element: drop its geometry, keep the rest.
        dropElementGeometry();
    }
}

void SvgDocumentParser::endElement(const char* name) {
    if (defsDepth > 0) {
        if (std::strcmp(name, "defs") == 0) --defsDepth;
        return;
    }
    if (std::strcmp(name, "g") == 0) pop();
}

void SvgDocumentParser::dropElementGeometry() {
    subpath.clear();
    outlines.clear();
}

void SvgDocumentParser::svgElement(Attribute* attributes, int count) {
    for (int i = 0; i < count; ++i) {
        const char* name = attributes[i].name;
        char* value = attributes[i].value;
        if (applyAttribute(level(), name, value, Context::Root)) continue;
        if (std::strcmp(name, "width") == 0) {
            picture->width = convert(parseLength(value), 0, 0);
        } else if (std::strcmp(name, "height") == 0) {
            picture->height = convert(parseLength(value), 0, 0);
        } else if (std::strcmp(name, "viewBox") == 0) {
            float box[4];
            int n = 0;
            const char* p = value;
            while (n < 4) {
                while (*p == ' ' || *p == '\t' || *p == ',' || *p == '%' || *p == '\n' || *p == '\r') ++p;
                if (!startsNumber(*p)) break;
                double v;
                p = scanNumber(p, v);
                box[n++] = float(v);
            }
            if (n == 4) std::memcpy(viewBox, box, sizeof(box));
        } else if (std::strcmp(name, "preserveAspectRatio") == 0) {
            copyText(aspectRatio, value); // kept; it has no effect on the shapes
        }
    }
}

void SvgDocumentParser::gradientElement(Attribute* attributes, int count, int32_t kind) {
    // Presentation attributes of a gradient go to a scratch copy, so they cannot leak into
    // the enclosing group (its id above all).
    SvgStyleLevel scratch = level();
    SvgGradientRecord gradient;
    gradient.kind = kind;
    for (int i = 0; i < count; ++i) {
        const char* name = attributes[i].name;
        if (std::strcmp(name, "id") == 0) {
            copyText(gradient.id, attributes[i].value);
        } else if (std::strcmp(name, "xlink:href") == 0) {
            const char* href = attributes[i].value;
            if (*href) ++href; // the '#'
            copyText(gradient.href, href);
            gradient.href[svgTextCapacity - 2] = '\0';
        } else {
            applyAttribute(scratch, name, attributes[i].value, Context::Other);
        }
    }
    gradients.push_back(std::move(gradient));
}

void SvgDocumentParser::stopElement(Attribute* attributes, int count) {
    if (gradients.empty()) return; // a stop outside any gradient
    SvgStyleLevel scratch = level();
    scratch.stopColour = black;
    scratch.stopOpacity = 1;
    scratch.stopOffset = 0;
    for (int i = 0; i < count; ++i) applyAttribute(scratch, attributes[i].name, attributes[i].value, Context::Other);
    SvgGradientStop stop;
    stop.colour = (scratch.stopColour & 0xFFFFFFu) | (uint32_t(scratch.stopOpacity * 255.0f) << 24);
    stop.offset = scratch.stopOffset;
    std::vector<SvgGradientStop>& stops = gradients.back().stops;
    auto at = std::find_if(stops.begin(), stops.end(), [&](const SvgGradientStop& s) { return s.offset > stop.offset; });
    stops.insert(at, stop);
}

const SvgGradientRecord* SvgDocumentParser::findGradient(const char* id) const {
    if (!*id) return nullptr;
    for (auto it = gradients.rbegin(); it != gradients.rend(); ++it) {
        if (std::strcmp(it->id, id) == 0) return &*it;
    }
    return nullptr;
}

SvgPaint SvgDocumentParser::resolvePaint(int32_t kind, uint32_t colour, float opacity, const char* gradientId) const {
    SvgPaint paint;
    if (kind == SvgPaint::Colour) {
        paint.kind = SvgPaint::Colour;
        paint.colour = (colour & 0xFFFFFFu) | (uint32_t(opacity * 255.0f) << 24);
    } else if (kind != SvgPaint::None) {
        const SvgGradientRecord* gradient = findGradient(gradientId);
        if (!gradient) return paint;
        // Follow references for the stops; a chain longer than the list is a cycle.
        const SvgGradientRecord* withStops = gradient;
        size_t steps = 0;
        while (withStops && withStops->stops.empty()) {
            if (++steps > gradients.size()) return paint;
            withStops = findGradient(withStops->href);
        }
        if (!withStops) return paint;
        paint.kind = gradient->kind;
        paint.colour = withStops->stops.front().colour;
    }
    return paint;
}

void SvgDocumentParser::addShape() {
    if (outlines.empty()) {
        subpath.clear();
        return;
    }
    const SvgStyleLevel& style = level();
    SvgShapeRecord shape;
    copyText(shape.id, style.id);
    copyText(shape.label, style.label);
    copyText(shape.groupLabel, style.groupLabel);
    shape.fill = resolvePaint(style.fillKind, style.fillColour, style.fillOpacity, style.fillGradient);
    shape.stroke = resolvePaint(style.strokeKind, style.strokeColour, style.strokeOpacity, style.strokeGradient);
    shape.opacity = style.opacity;
    shape.strokeWidth = style.strokeWidth;
    shape.strokeDashOffset = style.dashOffset;
    shape.strokeDashCount = style.dashCount;
    std::memcpy(shape.strokeDashArray, style.dashes, sizeof(style.dashes));
    shape.strokeLineJoin = style.lineJoin;
    shape.strokeLineCap = style.lineCap;
    shape.miterLimit = style.miterLimit;
    shape.fillRule = style.fillRule;
    shape.visible = style.visible;

    float lo[2] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
    float hi[2] = {-std::numeric_limits<float>::max(), -std::numeric_limits<float>::max()};
    for (const SvgOutline& outline : outlines) {
        for (size_t i = 0; i < outline.points.size(); ++i) {
            float v = outline.points[i];
            if (!std::isfinite(v)) continue;
            lo[i & 1] = std::min(lo[i & 1], v);
            hi[i & 1] = std::max(hi[i & 1], v);
        }
    }
    if (lo[0] <= hi[0] && lo[1] <= hi[1]) {
        shape.bounds[0] = lo[0];
        shape.bounds[1] = lo[1];
        shape.bounds[2] = hi[0];
        shape.bounds[3] = hi[1];
    }
    shape.outlines.reserve(outlines.size());
    for (auto it = outlines.rbegin(); it != outlines.rend(); ++it) shape.outlines.push_back(std::move(*it));
    outlines.clear();
    subpath.clear();
    picture->shapes.push_back(std::move(shape));
}

} // namespace svgparser

std::unique_ptr<SvgPictureRecord> parseSvgDocument(char* text, float dpi) {
    std::unique_ptr<svgparser::SvgDocumentParser> parser(new (std::nothrow) svgparser::SvgDocumentParser(dpi));
    if (!parser) return nullptr;
    parser->picture.reset(new (std::nothrow) SvgPictureRecord);
    if (!parser->picture) return nullptr;
    if (text) parser->parse(text);
    return std::move(parser->picture);
}

void releaseSvgPicture(std::unique_ptr<SvgPictureRecord>& picture) { picture.reset(); }

} // namespace hv
