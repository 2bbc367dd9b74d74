// Style of the SVG parser: the level stack, lengths in context, attributes, style lists, transforms.
#include "svg/SvgParserParts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace hv::svgparser {

namespace {

constexpr int maxStyleItemLength = 511;

} // namespace

void SvgDocumentParser::push() {
    ++depth;
    if (depth < maxStyleLevels) levels[depth] = levels[depth - 1];
}

void SvgDocumentParser::pop() {
    if (depth > 0) --depth;
}

float SvgDocumentParser::convert(const Length& length, float origin, float reference) const {
    double v = length.value;
    switch (length.units) {
    case Units::User:
    case Units::Px: return float(v);
    case Units::Pt: return float(v / 72.0 * dpi);
    case Units::Pc: return float(v / 6.0 * dpi);
    case Units::Mm: return float(v / 25.4 * dpi);
    case Units::Cm: return float(v / 2.54 * dpi);
    case Units::In: return float(v * dpi);
    case Units::Percent: return float(origin + v / 100.0 * reference);
    case Units::Em: return float(v * levels[std::min(depth, maxStyleLevels - 1)].fontSize);
    case Units::Ex: return float(v * levels[std::min(depth, maxStyleLevels - 1)].fontSize * 0.52);
    }
    return float(v);
}

namespace {

// A fill or stroke: "none", a gradient named by url(#id), or a colour.
void parsePaint(const char* value, int32_t& kind, uint32_t& colour, char (&gradient)[svgTextCapacity]) {
    if (equalsTrimmed(value, "none")) {
        kind = SvgPaint::None;
    } else if (startsWith(skipSpace(value), "url(")) {
        const char* p = skipSpace(value) + 4;
        if (*p == '#') ++p;
        char id[svgTextCapacity];
        size_t n = 0;
        while (p[n] && p[n] != ')' && n < svgTextCapacity - 1) id[n] = p[n], ++n;
        id[n] = '\0';
        copyText(gradient, id);
        kind = SvgPaint::LinearGradient;
    } else {
        colour = parseColour(value);
        kind = SvgPaint::Colour;
    }
}

} // namespace

bool SvgDocumentParser::applyAttribute(SvgStyleLevel& style, const char* name, char* value, Context context) {
    switch (name[0]) {
    case 's':
        if (std::strcmp(name, "style") == 0) {
            applyStyle(style, value, context);
        } else if (std::strcmp(name, "stroke") == 0) {
            parsePaint(value, style.strokeKind, style.strokeColour, style.strokeGradient);
        } else if (std::strcmp(name, "stroke-width") == 0) {
            style.strokeWidth = convert(parseLength(value), 0, actualLength());
        } else if (std::strcmp(name, "stroke-dashoffset") == 0) {
            style.dashOffset = convert(parseLength(value), 0, actualLength());
        } else if (std::strcmp(name, "stroke-dasharray") == 0) {
            style.dashCount = 0;
            if (!equalsTrimmed(value, "none")) {
                const char* p = value;
                float total = 0;
                while (*p && style.dashCount < 8) {
                    while (*p && (isSpace(*p) || *p == ',')) ++p;
                    if (!*p) break;
                    const char* itemStart = p;
                    while (*p && !isSpace(*p) && *p != ',') ++p;
                    char item[64];
                    size_t n = std::min<size_t>(size_t(p - itemStart), sizeof(item) - 1);
                    std::memcpy(item, itemStart, n);
                    item[n] = '\0';
                    float dash = std::fabs(convert(parseLength(item), 0, actualLength()));
                    style.dashes[style.dashCount++] = dash;
                    total += dash;
                }
                if (!(total > 1e-6f)) style.dashCount = 0;
            }
        } else if (std::strcmp(name, "stroke-opacity") == 0) {
            style.strokeOpacity = clamp01(firstNumber(value));
        } else if (std::strcmp(name, "stop-opacity") == 0) {
            style.stopOpacity = clamp01(firstNumber(value));
        } else if (std::strcmp(name, "stroke-linecap") == 0) {
            if (equalsTrimmed(value, "butt")) style.lineCap = 0;
            else if (equalsTrimmed(value, "round")) style.lineCap = 1;
            else if (equalsTrimmed(value, "square")) style.lineCap = 2;
        } else if (std::strcmp(name, "stroke-linejoin") == 0) {
            if (equalsTrimmed(value, "miter")) style.lineJoin = 0;
            else if (equalsTrimmed(value, "round")) style.lineJoin = 1;
            else if (equalsTrimmed(value, "bevel")) style.lineJoin = 2;
        } else if (std::strcmp(name, "stroke-miterlimit") == 0) {
            style.miterLimit = std::max(0.0f, firstNumber(value));
        } else if (std::strcmp(name, "stop-color") == 0) {
            style.stopColour = parseColour(value);
        } else {
            return false;
        }
        return true;
    case 'f':
        if (std::strcmp(name, "fill") == 0) {
            parsePaint(value, style.fillKind, style.fillColour, style.fillGradient);
        } else if (std::strcmp(name, "fill-opacity") == 0) {
            style.fillOpacity = clamp01(firstNumber(value));
        } else if (std::strcmp(name, "fill-rule") == 0) {
            style.fillRule = equalsTrimmed(value, "evenodd") ? 1 : 0;
        } else if (std::strcmp(name, "font-size") == 0) {
            style.fontSize = convert(parseLength(value), 0, actualLength());
        } else {
            return false;
        }
        return true;
    case 'o':
        if (std::strcmp(name, "opacity") == 0) {
            style.opacity = clamp01(firstNumber(value));
        } else if (std::strcmp(name, "offset") == 0) {
            style.stopOffset = convert(parseLength(value), 0, 1);
        } else {
            return false;
        }
        return true;
    case 'd':
        if (std::strcmp(name, "display") != 0) return false;
        if (equalsTrimmed(value, "none")) style.visible = false;
        return true;
    case 't':
        if (std::strcmp(name, "transform") != 0) return false;
        applyTransform(style, value);
        return true;
    case 'i':
        if (std::strcmp(name, "id") == 0) {
            copyText(style.id, value);
            return true;
        }
        if (std::strcmp(name, "inkscape:label") == 0) {
            if (context == Context::Root || context == Context::Drawable) copyText(style.label, value);
            else if (context == Context::Group && depth >= 2) copyText(style.groupLabel, value);
            return true;
        }
        return false;
    default:
        return false;
    }
}

void SvgDocumentParser::applyStyle(SvgStyleLevel& style, char* value, Context context) {
    char* s = value;
    while (*s) {
        char* item = s;
        while (*s && *s != ';') ++s;
        if (*s) *s++ = '\0';
        char* colon = std::strchr(item, ':');
        if (!colon) continue;
        *colon = '\0';
        char* name = item;
        char* itemValue = colon + 1;
        // Trim both, and cut each to the longest the style syntax allows.
        while (isSpace(*name)) ++name;
        char* e = colon;
        while (e > name && isSpace(e[-1])) --e;
        *e = '\0';
        while (isSpace(*itemValue)) ++itemValue;
        e = itemValue + std::strlen(itemValue);
        while (e > itemValue && isSpace(e[-1])) --e;
        *e = '\0';
        if (std::strlen(name) > size_t(maxStyleItemLength)) name[maxStyleItemLength] = '\0';
        if (std::strlen(itemValue) > size_t(maxStyleItemLength)) itemValue[maxStyleItemLength] = '\0';
        if (std::strcmp(name, "style") == 0) continue; // no nesting
        applyAttribute(style, name, itemValue, context);
    }
}

namespace {

// Numbers between the '(' after s and the next ')'; at most `max` kept.
const char* parseTransformArguments(const char* s, float* args, int max, int& count) {
    count = 0;
    while (*s && *s != '(') ++s;
    if (!*s) return s;
    ++s;
    while (*s && *s != ')') {
        if (startsNumber(*s)) {
            double v;
            s = scanNumber(s, v);
            if (count < max) args[count++] = float(v);
        } else {
            ++s;
        }
    }
    if (*s == ')') ++s;
    return s;
}

} // namespace

void SvgDocumentParser::applyTransform(SvgStyleLevel& style, const char* s) {
    Affine list;
    while (*s) {
        float a[6];
        int n = 0;
        Affine t;
        bool have = false;
        if (startsWith(s, "matrix")) {
            s = parseTransformArguments(s + 6, a, 6, n);
            if (n == 6) t = Affine::of(a[0], a[1], a[2], a[3], a[4], a[5]), have = true;
        } else if (startsWith(s, "translate")) {
            s = parseTransformArguments(s + 9, a, 2, n);
            if (n >= 1) t = Affine::of(1, 0, 0, 1, a[0], n > 1 ? a[1] : 0), have = true;
        } else if (startsWith(s, "scale")) {
            s = parseTransformArguments(s + 5, a, 2, n);
            if (n >= 1) t = Affine::of(a[0], 0, 0, n > 1 ? a[1] : a[0], 0, 0), have = true;
        } else if (startsWith(s, "rotate")) {
            s = parseTransformArguments(s + 6, a, 3, n);
            if (n >= 1) {
                float angle = a[0] * pi / 180.0f;
                float c = std::cos(angle);
                float sn = std::sin(angle);
                t = Affine::of(c, sn, -sn, c, 0, 0);
                if (n >= 3) {
                    t = Affine::of(1, 0, 0, 1, a[1], a[2]).after(t).after(Affine::of(1, 0, 0, 1, -a[1], -a[2]));
                }
                have = true;
            }
        } else if (startsWith(s, "skewX")) {
            s = parseTransformArguments(s + 5, a, 1, n);
            if (n >= 1) t = Affine::of(1, 0, std::tan(a[0] * pi / 180.0f), 1, 0, 0), have = true;
        } else if (startsWith(s, "skewY")) {
            s = parseTransformArguments(s + 5, a, 1, n);
            if (n >= 1) t = Affine::of(1, std::tan(a[0] * pi / 180.0f), 0, 1, 0, 0), have = true;
        } else {
            ++s;
            continue;
        }
        if (have) list = list.after(t);
    }
    style.transform = style.transform.after(list);
}

} // namespace hv::svgparser
