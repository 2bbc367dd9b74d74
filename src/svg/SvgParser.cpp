#include "svg/SvgParser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace hv {

namespace {

constexpr int maxStyleLevels = 128;
constexpr int maxAttributes = 127;
constexpr int maxStyleItemLength = 511;
constexpr float pi = 3.1415927f;
constexpr float twoPi = 6.2831855f;
constexpr float nanValue = std::numeric_limits<float>::quiet_NaN();
constexpr uint32_t black = 0x000000;
constexpr uint32_t grey = 0x808080;

inline bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool startsNumber(char c) { return isDigit(c) || c == '-' || c == '+' || c == '.'; }

inline const char* skipSpace(const char* s) {
    while (isSpace(*s)) ++s;
    return s;
}

inline bool startsWith(const char* s, const char* prefix) {
    while (*prefix) {
        if (*s++ != *prefix++) return false;
    }
    return true;
}

// Equal to `word` once surrounding white space is ignored.
bool equalsTrimmed(const char* s, const char* word) {
    s = skipSpace(s);
    size_t n = std::strlen(word);
    if (std::strncmp(s, word, n) != 0) return false;
    return *skipSpace(s + n) == '\0';
}

void copyText(char (&destination)[svgTextCapacity], const char* source) {
    size_t n = 0;
    while (n < svgTextCapacity - 1 && source[n]) {
        destination[n] = source[n];
        ++n;
    }
    destination[n] = '\0';
}

const double exactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// One number token: an optional sign, digits, an optional point and digits, and an exponent
// only when digits follow its letter, so "2em" reads as 2 with the unit "em". Words such as
// "nan" or "inf" and hexadecimal are not numbers here. A token without any digit is 0.
// Returns the position after the token.
const char* scanNumber(const char* s, double& value) {
    bool negative = false;
    if (*s == '+' || *s == '-') {
        negative = *s == '-';
        ++s;
    }
    uint64_t mantissa = 0;
    int significant = 0;
    int64_t exponent = 0;
    for (; isDigit(*s); ++s) {
        if (significant < 19) {
            mantissa = mantissa * 10 + uint64_t(*s - '0');
            if (mantissa != 0) ++significant;
        } else {
            ++exponent;
        }
    }
    if (*s == '.') {
        for (++s; isDigit(*s); ++s) {
            if (significant < 19) {
                mantissa = mantissa * 10 + uint64_t(*s - '0');
                if (mantissa != 0) ++significant;
                --exponent;
            }
        }
    }
    if (*s == 'e' || *s == 'E') {
        const char* p = s + 1;
        bool negativeExponent = false;
        if (*p == '+' || *p == '-') {
            negativeExponent = *p == '-';
            ++p;
        }
        if (isDigit(*p)) {
            int64_t e = 0;
            for (; isDigit(*p); ++p) {
                if (e < 100000) e = e * 10 + (*p - '0');
            }
            exponent += negativeExponent ? -e : e;
            s = p;
        }
    }
    double v = double(mantissa);
    if (mantissa == 0) {
        v = 0.0;
    } else if (exponent >= 0 && exponent <= 22) {
        v *= exactPowersOfTen[exponent];
    } else if (exponent < 0 && exponent >= -22) {
        v /= exactPowersOfTen[-exponent];
    } else {
        v *= std::pow(10.0, double(std::clamp<int64_t>(exponent, -100000, 100000)));
    }
    value = negative ? -v : v;
    return s;
}

// Reads the number at the next position that can start one; other characters are stepped over.
float firstNumber(const char* s) {
    while (*s && !startsNumber(*s)) ++s;
    double v = 0.0;
    if (*s) scanNumber(s, v);
    return float(v);
}

enum class Units { User, Px, Pt, Pc, Mm, Cm, In, Percent, Em, Ex };

struct Length {
    double value = 0.0;
    Units units = Units::User;
};

// A number and then a unit of which the first two characters decide.
Length parseLength(const char* s) {
    Length length;
    s = skipSpace(s);
    if (startsNumber(*s)) s = scanNumber(s, length.value);
    s = skipSpace(s);
    if (s[0] == '%') {
        length.units = Units::Percent;
    } else if (s[0] && s[1]) {
        char a = s[0];
        char b = s[1];
        if (a == 'p' && b == 'x') length.units = Units::Px;
        else if (a == 'p' && b == 't') length.units = Units::Pt;
        else if (a == 'p' && b == 'c') length.units = Units::Pc;
        else if (a == 'm' && b == 'm') length.units = Units::Mm;
        else if (a == 'c' && b == 'm') length.units = Units::Cm;
        else if (a == 'i' && b == 'n') length.units = Units::In;
        else if (a == 'e' && b == 'm') length.units = Units::Em;
        else if (a == 'e' && b == 'x') length.units = Units::Ex;
    }
    return length;
}

// A 2x3 affine map [a b c d e f]: (x, y) -> (a x + c y + e, b x + d y + f).
struct Affine {
    float m[6] = {1, 0, 0, 1, 0, 0};

    static Affine of(float a, float b, float c, float d, float e, float f) {
        Affine t;
        t.m[0] = a;
        t.m[1] = b;
        t.m[2] = c;
        t.m[3] = d;
        t.m[4] = e;
        t.m[5] = f;
        return t;
    }

    // this, applied after `first`.
    Affine after(const Affine& first) const {
        const float* a = m;
        const float* b = first.m;
        return of(a[0] * b[0] + a[2] * b[1], a[1] * b[0] + a[3] * b[1], a[0] * b[2] + a[2] * b[3],
                  a[1] * b[2] + a[3] * b[3], a[0] * b[4] + a[2] * b[5] + a[4], a[1] * b[4] + a[3] * b[5] + a[5]);
    }

    void apply(float& x, float& y) const {
        float nx = m[0] * x + m[2] * y + m[4];
        float ny = m[1] * x + m[3] * y + m[5];
        x = nx;
        y = ny;
    }
};

struct SvgStyleLevel {
    char id[svgTextCapacity];
    Affine transform;
    uint32_t fillColour;
    int32_t fillKind;
    float fillOpacity;
    uint32_t strokeColour;
    int32_t strokeKind;
    float strokeOpacity;
    float opacity;
    float strokeWidth;
    float dashOffset;
    float dashes[8];
    int32_t dashCount;
    int32_t lineJoin;
    int32_t lineCap;
    float miterLimit;
    int32_t fillRule;
    float fontSize;
    uint32_t stopColour;
    float stopOpacity;
    float stopOffset;
    bool visible;
    char fillGradient[svgTextCapacity];
    char strokeGradient[svgTextCapacity];
    char label[svgTextCapacity];
    char groupLabel[svgTextCapacity];

    void setDefaults() {
        *this = SvgStyleLevel{};
        fillColour = black;
        fillKind = SvgPaint::Colour;
        fillOpacity = 1;
        strokeColour = black;
        strokeKind = SvgPaint::None;
        strokeOpacity = 1;
        opacity = 1;
        strokeWidth = 1;
        lineJoin = 0;
        lineCap = 0;
        miterLimit = 4;
        fillRule = 0;
        fontSize = 0;
        stopColour = black;
        stopOpacity = 1;
        stopOffset = 0;
        visible = true;
    }
};

struct SvgGradientStop {
    uint32_t colour;
    float offset;
};

// Only what a shape's paint needs: the stops and where to find them.
struct SvgGradientRecord {
    char id[svgTextCapacity] = {};
    char href[svgTextCapacity] = {};
    int32_t kind = SvgPaint::LinearGradient;
    std::vector<SvgGradientStop> stops;
};

// Which element an attribute sits on; labels mean different things on each.
enum class Context { Root, Group, Drawable, Other };

struct Attribute {
    const char* name;
    char* value;
};

float clamp01(double v) {
    if (!(v > 0.0)) return 0.0f; // NaN too
    if (v > 1.0) return 1.0f;
    return float(v);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

uint32_t packRgb(int r, int g, int b) { return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16); }

int clampComponent(double v) {
    if (!(v > 0.0)) return 0;
    if (v > 255.0) return 255;
    return int(v);
}

uint32_t parseHexColour(const char* s) {
    size_t n = 0;
    while (s[n] && !isSpace(s[n])) ++n;
    int digits[6];
    if (n != 6 && n != 3) return black;
    for (size_t i = 0; i < n; ++i) {
        digits[i] = hexValue(s[i]);
        if (digits[i] < 0) return black;
    }
    if (n == 3) return packRgb(digits[0] * 17, digits[1] * 17, digits[2] * 17);
    return packRgb(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3], digits[4] * 16 + digits[5]);
}

// rgb(r, g, b) with plain values or, when a percent sign follows the first, percentages.
// Components are clamped to 0..255; a missing one is 0.
uint32_t parseRgbColour(const char* s) {
    double values[3] = {0, 0, 0};
    bool percent = false;
    for (int i = 0; i < 3; ++i) {
        while (*s == ' ' || *s == '\t' || *s == ',' || *s == '%') ++s;
        if (!startsNumber(*s)) break;
        s = scanNumber(s, values[i]);
        if (i == 0) percent = *skipSpace(s) == '%';
    }
    int c[3];
    for (int i = 0; i < 3; ++i) c[i] = clampComponent(percent ? values[i] * 255.0 / 100.0 : values[i]);
    return packRgb(c[0], c[1], c[2]);
}

struct NamedColour {
    const char* name;
    uint32_t colour;
};

const NamedColour namedColours[] = {
    {"red", packRgb(255, 0, 0)},      {"green", packRgb(0, 128, 0)},     {"blue", packRgb(0, 0, 255)},
    {"yellow", packRgb(255, 255, 0)}, {"cyan", packRgb(0, 255, 255)},    {"magenta", packRgb(255, 0, 255)},
    {"black", packRgb(0, 0, 0)},      {"grey", packRgb(128, 128, 128)},  {"gray", packRgb(128, 128, 128)},
    {"white", packRgb(255, 255, 255)},
};

uint32_t parseColour(const char* s) {
    while (*s == ' ') ++s;
    if (*s == '#') return parseHexColour(s + 1);
    if (startsWith(s, "rgb(")) return parseRgbColour(s + 4);
    for (const NamedColour& named : namedColours) {
        if (equalsTrimmed(s, named.name)) return named.colour;
    }
    return grey;
}

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

// Writes the UTF-8 form of a code point; at most 4 bytes.
int encodeUtf8(uint32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = char(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = char(0xC0 | (cp >> 6));
        out[1] = char(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = char(0xE0 | (cp >> 12));
        out[1] = char(0x80 | ((cp >> 6) & 0x3F));
        out[2] = char(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (cp >> 18));
    out[1] = char(0x80 | ((cp >> 12) & 0x3F));
    out[2] = char(0x80 | ((cp >> 6) & 0x3F));
    out[3] = char(0x80 | (cp & 0x3F));
    return 4;
}

// Decodes the predefined entities and numeric character references of an attribute value
// in place; the decoded form is never longer. A reference that is not one is kept as text.
void decodeEntities(char* value) {
    char* in = value;
    char* out = value;
    while (*in) {
        if (*in != '&') {
            *out++ = *in++;
            continue;
        }
        struct Named {
            const char* text;
            char c;
        };
        static const Named named[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
        bool done = false;
        for (const Named& n : named) {
            if (startsWith(in, n.text)) {
                *out++ = n.c;
                in += std::strlen(n.text);
                done = true;
                break;
            }
        }
        if (!done && in[1] == '#') {
            const char* p = in + 2;
            bool hex = *p == 'x' || *p == 'X';
            if (hex) ++p;
            uint32_t cp = 0;
            int digits = 0;
            for (;; ++p) {
                int d = hex ? hexValue(*p) : (isDigit(*p) ? *p - '0' : -1);
                if (d < 0) break;
                if (cp <= 0x10FFFF) cp = cp * (hex ? 16 : 10) + uint32_t(d);
                ++digits;
            }
            bool valid = digits > 0 && *p == ';' && cp != 0 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
            if (valid) {
                out += encodeUtf8(cp, out);
                in = const_cast<char*>(p) + 1;
                done = true;
            }
        }
        if (!done) *out++ = *in++;
    }
    *out = '\0';
}

class SvgDocumentParser {
public:
    explicit SvgDocumentParser(float dpi_) : dpi(dpi_) { levels[0].setDefaults(); }

    void parse(char* text);

    std::unique_ptr<SvgPictureRecord> picture;

private:
    SvgStyleLevel& level() { return levels[std::min(depth, maxStyleLevels - 1)]; }
    void push();
    void pop();

    void handleTag(char* s, char* end);
    void startElement(const char* name, Attribute* attributes, int count);
    void endElement(const char* name);

    bool applyAttribute(SvgStyleLevel& style, const char* name, char* value, Context context);
    void applyStyle(SvgStyleLevel& style, char* value, Context context);
    void applyTransform(SvgStyleLevel& style, const char* value);

    float convert(const Length& length, float origin, float reference) const;
    float actualOriginX() const { return viewBox[0]; }
    float actualOriginY() const { return viewBox[1]; }
    float actualWidth() const { return viewBox[2]; }
    float actualHeight() const { return viewBox[3]; }
    float actualLength() const {
        float w = actualWidth();
        float h = actualHeight();
        return std::sqrt(w * w + h * h) / 1.4142135f;
    }

    void svgElement(Attribute* attributes, int count);
    void pathElement(Attribute* attributes, int count);
    void rectElement(Attribute* attributes, int count);
    void ellipseElement(Attribute* attributes, int count, bool circle);
    void lineElement(Attribute* attributes, int count);
    void polyElement(Attribute* attributes, int count, bool closed);
    void gradientElement(Attribute* attributes, int count, int32_t kind);
    void stopElement(Attribute* attributes, int count);

    // Subpath building, in the element's own coordinates.
    void moveTo(float x, float y);
    void lineTo(float x, float y);
    void cubicTo(float x1, float y1, float x2, float y2, float x, float y);
    void arcTo(float rx, float ry, float angle, bool largeArc, bool sweep, float x, float y);
    void closePath();
    void finishSubpath(bool closed);
    void parsePathData(const char* d);
    void runPathCommand(char command, const float* args);
    void addShape();
    void dropElementGeometry();
    SvgPaint resolvePaint(int32_t kind, uint32_t colour, float opacity, const char* gradientId) const;
    const SvgGradientRecord* findGradient(const char* id) const;

    SvgStyleLevel levels[maxStyleLevels];
    int depth = 0;     // logical nesting; may pass the deepest level, which then stays in use
    int defsDepth = 0; // nested "defs"
    float viewBox[4] = {0, 0, 0, 0};
    char aspectRatio[svgTextCapacity] = {};
    float dpi;

    std::vector<float> subpath;
    std::vector<SvgOutline> outlines; // of the current element, in finishing order
    float currentX = 0, currentY = 0;
    float lastControlX = 0, lastControlY = 0; // the last cubic's second or quadratic's control
    char lastCommand = 0;
    std::vector<SvgGradientRecord> gradients; // the most recent last
};

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

// Skips to just after `pattern`, or to the end of the text.
char* skipPast(char* s, const char* pattern) {
    char* found = std::strstr(s, pattern);
    return found ? found + std::strlen(pattern) : s + std::strlen(s);
}

// A declaration may carry quoted text and a bracketed internal subset.
char* skipDeclaration(char* s) {
    int brackets = 0;
    while (*s) {
        char c = *s;
        if (c == '"' || c == '\'') {
            char* close = std::strchr(s + 1, c);
            if (!close) return s + std::strlen(s);
            s = close + 1;
            continue;
        }
        if (c == '[') ++brackets;
        else if (c == ']' && brackets > 0) --brackets;
        else if (c == '>' && brackets == 0) return s + 1;
        ++s;
    }
    return s;
}

// The '>' that ends a tag; one inside a quoted value does not count.
char* findTagEnd(char* s) {
    while (*s && *s != '>') {
        if (*s == '"' || *s == '\'') {
            char* close = std::strchr(s + 1, *s);
            if (!close) return s + std::strlen(s);
            s = close;
        }
        ++s;
    }
    return s;
}

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
    if (closed) lineTo(subpath[0], subpath[1]);
    SvgOutline outline;
    outline.points = std::move(subpath);
    outline.closed = closed;
    subpath = std::vector<float>();
    const Affine& t = level().transform;
    for (size_t i = 0; i + 1 < outline.points.size(); i += 2) t.apply(outline.points[i], outline.points[i + 1]);
    outlines.push_back(std::move(outline));
}

double vectorAngle(double ux, double uy, double vx, double vy) {
    double r = (ux * vx + uy * vy) / (std::sqrt(ux * ux + uy * uy) * std::sqrt(vx * vx + vy * vy));
    // Rounding can push the cosine just outside its range, where acos gives NaN.
    if (r < -1.0) r = -1.0;
    if (r > 1.0) r = 1.0;
    double angle = std::acos(r);
    return (ux * vy - uy * vx < 0.0) ? -angle : angle;
}

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
            s = scanNumber(s, v);
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

} // namespace

std::unique_ptr<SvgPictureRecord> parseSvgDocument(char* text, float dpi) {
    std::unique_ptr<SvgDocumentParser> parser(new (std::nothrow) SvgDocumentParser(dpi));
    if (!parser) return nullptr;
    parser->picture.reset(new (std::nothrow) SvgPictureRecord);
    if (!parser->picture) return nullptr;
    if (text) parser->parse(text);
    return std::move(parser->picture);
}

void releaseSvgPicture(std::unique_ptr<SvgPictureRecord>& picture) { picture.reset(); }

} // namespace hv
