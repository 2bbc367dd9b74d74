// What the SVG parser's parts share: lexical helpers, style levels and the document parser.
#pragma once

#include "svg/SvgParser.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace hv::svgparser {

constexpr int maxStyleLevels = 128;
constexpr float pi = 3.1415927f;
constexpr uint32_t black = 0x000000;

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

enum class Units { User, Px, Pt, Pc, Mm, Cm, In, Percent, Em, Ex };

struct Length {
    double value = 0.0;
    Units units = Units::User;
};

// Lexical values and tag tokenising.
bool equalsTrimmed(const char* s, const char* word);
void copyText(char (&destination)[svgTextCapacity], const char* source);
const char* scanNumber(const char* s, double& value);
float firstNumber(const char* s);
Length parseLength(const char* s);
float clamp01(double v);
uint32_t parseColour(const char* s);
void decodeEntities(char* value);
char* skipPast(char* s, const char* pattern);
char* skipDeclaration(char* s);
char* findTagEnd(char* s);

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

// One document at a time. The walk is in SvgParser.cpp, style in SvgParserStyle.cpp, path data
// and shapes in SvgParserPaths.cpp.
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

} // namespace hv::svgparser
