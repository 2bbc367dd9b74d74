// Lexical values of the SVG parser: numbers, lengths, colours, entities and tag tokenising.
#include "svg/SvgParserParts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace hv::svgparser {

namespace {

constexpr uint32_t grey = 0x808080;

} // namespace

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

namespace {

const double exactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

} // namespace

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

float clamp01(double v) {
    if (!(v > 0.0)) return 0.0f; // NaN too
    if (v > 1.0) return 1.0f;
    return float(v);
}

namespace {

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

} // namespace

uint32_t parseColour(const char* s) {
    while (*s == ' ') ++s;
    if (*s == '#') return parseHexColour(s + 1);
    if (startsWith(s, "rgb(")) return parseRgbColour(s + 4);
    for (const NamedColour& named : namedColours) {
        if (equalsTrimmed(s, named.name)) return named.colour;
    }
    return grey;
}

namespace {

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

} // namespace

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

} // namespace hv::svgparser
