#include "svg/SvgParser.h"
#include "SvgTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace hv {
namespace {

using test::parseSvgText;

uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return r | (g << 8) | (b << 16) | (a << 24); }

const char* const triangle = "d=\"M0 0 L1 0 L1 1 z\"";

std::string withPath(const std::string& attributes) { return "<svg><path " + attributes + " " + triangle + "/></svg>"; }

// The end points of a shape's first outline.
std::vector<float> endPoints(const SvgShapeRecord& shape) {
    std::vector<float> points;
    const auto& all = shape.outlines.at(0).points;
    for (size_t i = 0; i < all.size(); i += 6) {
        points.push_back(all[i]);
        points.push_back(all[i + 1]);
    }
    return points;
}

void expectPoints(const std::vector<float>& expected, const std::vector<float>& actual) {
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(expected[i], actual[i], 1e-4) << "float " << i;
}

TEST(SvgMarkupTest, CommentsCdataInstructionsAndDeclarationsAreSkipped) {
    auto picture = parseSvgText(R"SVG(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN" "x.dtd" [
  <!ENTITY hidden "<path d='M0 0 L5 0 L5 5 z'/>">
  <!ELEMENT svg ANY>
]>
<svg>
  <!-- <path id="commented" d="M0 0 L5 0 L5 5 z"/> -- with > and < inside -->
  <style><![CDATA[ path { fill: red } <path id="cdata" d="M0 0 L5 0 L5 5 z"/> ]]></style>
  <?editor <path id="instruction" d="M0 0 L5 0 L5 5 z"/> ?>
  <path id="real" d="M0 0 L5 0 L5 5 z"/>
</svg>)SVG");
    ASSERT_EQ(picture->shapes.size(), 1u);
    EXPECT_STREQ(picture->shapes[0].id, "real");
}

TEST(SvgMarkupTest, GreaterThanInsideQuotedValueDoesNotEndTheTag) {
    auto picture = parseSvgText(R"SVG(<svg><path inkscape:label='a>b' id="x>y" d="M0 0 L5 0 L5 5 z"/></svg>)SVG");
    ASSERT_EQ(picture->shapes.size(), 1u);
    EXPECT_STREQ(picture->shapes[0].label, "a>b");
    EXPECT_STREQ(picture->shapes[0].id, "x>y");
}

TEST(SvgMarkupTest, EntitiesAndCharacterReferencesAreDecodedInValues) {
    auto picture = parseSvgText(
        R"SVG(<svg><path inkscape:label="a &amp; b &lt;1&gt; &#65;&#x42;&#X43; &quot;q&quot; &apos;s &#233;" )SVG"
        R"SVG(id="&bogus; &#xZZ; &#0; &amp" d="M0&#32;0 L5&#x20;0 L5 5 z"/></svg>)SVG");
    ASSERT_EQ(picture->shapes.size(), 1u);
    EXPECT_STREQ(picture->shapes[0].label, "a & b <1> ABC \"q\" 's \xC3\xA9");
    EXPECT_STREQ(picture->shapes[0].id, "&bogus; &#xZZ; &#0; &amp");
    expectPoints({0, 0, 5, 0, 5, 5, 0, 0}, endPoints(picture->shapes[0]));
}

TEST(SvgMarkupTest, MalformedMarkupNeverFails) {
    const char* inputs[] = {
        "",
        "<",
        "<svg",
        "<svg><path d=\"M0 0 L5 5 L5 0z\"",
        "<svg><path d=M0 0 L5 5/></svg>",
        "<svg></g></g></defs></svg><path d=\"M0 0 L5 0 L5 5 z\"/>",
        "<!-- never closed <path d=\"M0 0 L1 1 L1 0z\"/>",
        "<![CDATA[ never closed",
        "<?never closed",
        "<!DOCTYPE [[[ >",
        "<svg><path d=\"M0 0 L5 5 L5 0z\" fill=\"url(\" stroke=\"url(#\"/></svg>",
        "<svg><path style=\";;:;fill:;:red;fill\" d=\"M0 0 L5 5 L5 0z\"/></svg>",
        "<svg><path d='M0 0 L5 5 L5 0z' transform='matrix(1 2 3) rotate( scale(' /></svg>",
        "<svg viewBox='0 0'><rect width='50%' height='10' rx='-3' ry='nan'/></svg>",
    };
    for (const char* input : inputs) {
        auto picture = parseSvgText(input);
        EXPECT_TRUE(picture) << input;
    }
}

TEST(SvgMarkupTest, OnlyTheFirst127AttributesAreRead) {
    std::string many;
    for (int i = 0; i < 127; ++i) many += " a" + std::to_string(i) + "=\"0\"";
    auto picture = parseSvgText("<svg><path" + many + " id=\"late\" " + triangle + "/></svg>");
    EXPECT_TRUE(picture->shapes.empty()); // "d" came after the limit
    picture = parseSvgText("<svg><path id=\"early\" " + std::string(triangle) + many + "/></svg>");
    ASSERT_EQ(picture->shapes.size(), 1u);
    EXPECT_STREQ(picture->shapes[0].id, "early");
}

TEST(SvgStyleTest, StyleAndTransformAreInheritedFromGroups) {
    auto picture = parseSvgText(R"SVG(<svg>
  <g id="door" style="fill:#ff0000 ; fill-opacity : 0.5" transform="translate(10,0)">
    <g transform="scale(2)"><path d="M0 0 L1 0 L1 1 z"/></g>
    <path id="own" fill="blue" d="M0 0 L1 0 L1 1 z"/>
  </g>
  <path d="M0 0 L1 0 L1 1 z"/>
</svg>)SVG");
    ASSERT_EQ(picture->shapes.size(), 3u);
    EXPECT_STREQ(picture->shapes[0].id, "door");
    EXPECT_EQ(picture->shapes[0].fill.kind, SvgPaint::Colour);
    EXPECT_EQ(picture->shapes[0].fill.colour, rgba(255, 0, 0, 127));
    expectPoints({10, 0, 12, 0, 12, 2, 10, 0}, endPoints(picture->shapes[0]));
    EXPECT_STREQ(picture->shapes[1].id, "own");
    EXPECT_EQ(picture->shapes[1].fill.colour, rgba(0, 0, 255, 127));
    expectPoints({10, 0, 11, 0, 11, 1, 10, 0}, endPoints(picture->shapes[1]));
    // Outside the group the defaults are back: black, opaque, untransformed, no id.
    EXPECT_STREQ(picture->shapes[2].id, "");
    EXPECT_EQ(picture->shapes[2].fill.colour, rgba(0, 0, 0, 255));
    expectPoints({0, 0, 1, 0, 1, 1, 0, 0}, endPoints(picture->shapes[2]));
}

TEST(SvgStyleTest, Transforms) {
    struct Case {
        const char* transform;
        std::vector<float> points; // the triangle (0,0) (1,0) (1,1) (0,0)
    };
    const Case cases[] = {
        {"translate(10 0) scale(2)", {10, 0, 12, 0, 12, 2, 10, 0}},
        {"scale(2) translate(10 0)", {20, 0, 22, 0, 22, 2, 20, 0}},
        {"translate(3)", {3, 0, 4, 0, 4, 1, 3, 0}},
        {"scale(3)", {0, 0, 3, 0, 3, 3, 0, 0}},
        {"rotate(90)", {0, 0, 0, 1, -1, 1, 0, 0}},
        {"rotate(90, 1, 0)", {1, -1, 1, 0, 0, 0, 1, -1}},
        {"matrix(1,0,0,1,5,6)", {5, 6, 6, 6, 6, 7, 5, 6}},
        {"matrix(1 0 0 1 5)", {0, 0, 1, 0, 1, 1, 0, 0}},
        {"skewX(45)", {0, 0, 1, 0, 2, 1, 0, 0}},
        {"skewY(45)", {0, 0, 1, 1, 1, 2, 0, 0}},
        {"nonsense(4) translate(1,1)", {1, 1, 2, 1, 2, 2, 1, 1}},
    };
    for (const Case& c : cases) {
        auto picture = parseSvgText(withPath(std::string("transform=\"") + c.transform + "\""));
        ASSERT_EQ(picture->shapes.size(), 1u) << c.transform;
        SCOPED_TRACE(c.transform);
        expectPoints(c.points, endPoints(picture->shapes[0]));
    }
    // Written after the path data, the transform still applies.
    auto picture = parseSvgText(std::string("<svg><path ") + triangle + " transform=\"translate(5,5)\"/></svg>");
    expectPoints({5, 5, 6, 5, 6, 6, 5, 5}, endPoints(picture->shapes.at(0)));
}

TEST(SvgStyleTest, Colours) {
    struct Case {
        const char* fill;
        uint32_t colour;
    };
    const Case cases[] = {
        {"#ff8000", rgba(255, 128, 0, 255)},
        {"  #F80", rgba(255, 136, 0, 255)},
        {"#ff", rgba(0, 0, 0, 255)},
        {"#ff00", rgba(0, 0, 0, 255)},
        {"#gg0000", rgba(0, 0, 0, 255)},
        {"rgb(10, 20, 30)", rgba(10, 20, 30, 255)},
        {"rgb(100%, 50%, 0%)", rgba(255, 127, 0, 255)},
        {"rgb(300, -5, 20)", rgba(255, 0, 20, 255)},
        {"rgb(150%, 0%, -20%)", rgba(255, 0, 0, 255)},
        {"rgb(7)", rgba(7, 0, 0, 255)},
        {"green", rgba(0, 128, 0, 255)},
        {"gray", rgba(128, 128, 128, 255)},
        {"white", rgba(255, 255, 255, 255)},
        {"transparent", rgba(128, 128, 128, 255)},
        {"currentColor", rgba(128, 128, 128, 255)},
    };
    for (const Case& c : cases) {
        auto picture = parseSvgText(withPath(std::string("fill=\"") + c.fill + "\""));
        ASSERT_EQ(picture->shapes.size(), 1u);
        EXPECT_EQ(picture->shapes[0].fill.kind, SvgPaint::Colour) << c.fill;
        EXPECT_EQ(picture->shapes[0].fill.colour, c.colour) << c.fill;
    }
    auto none = parseSvgText(withPath("fill=\"none\" stroke=\"red\" stroke-opacity=\"2\""));
    EXPECT_EQ(none->shapes.at(0).fill.kind, SvgPaint::None);
    EXPECT_EQ(none->shapes.at(0).stroke.colour, rgba(255, 0, 0, 255));
    auto faint = parseSvgText(withPath("style=\"fill:#ffffff;fill-opacity:0.25\""));
    EXPECT_EQ(faint->shapes.at(0).fill.colour, rgba(255, 255, 255, 63));
    auto clamped = parseSvgText(withPath("fill-opacity=\"-3\""));
    EXPECT_EQ(clamped->shapes.at(0).fill.colour, rgba(0, 0, 0, 0));
}

TEST(SvgStyleTest, LengthsAndUnits) {
    struct Case {
        const char* width;
        float pixels;
    };
    const Case cases[] = {
        {"120", 120},  {"120px", 120}, {"1in", 96},     {"72pt", 96}, {"6pc", 96},  {"2.54cm", 96},
        {"25.4mm", 96}, {" 3 px", 3},  {"50%", 0},      {"1e2", 100}, {"1e2px", 100}, {"2e", 2},
        {"nan", 0},    {"inf", 0},     {"0x10", 0},     {"-2.5", -2.5},
    };
    for (const Case& c : cases) {
        auto picture = parseSvgText(std::string("<svg width=\"") + c.width + "\"/>");
        EXPECT_FLOAT_EQ(picture->width, c.pixels) << c.width;
    }
    // Font-relative units read the number first, then the unit.
    auto picture = parseSvgText(R"SVG(<svg><g style="font-size:10px"><rect width="2em" height="1.5ex"/></g></svg>)SVG");
    ASSERT_EQ(picture->shapes.size(), 1u);
    expectPoints({0, 0, 20, 0, 20, 7.8f, 0, 7.8f, 0, 0}, endPoints(picture->shapes[0]));
    // Percentages are of the view box, horizontal ones from its x, vertical ones from its y.
    picture = parseSvgText(R"SVG(<svg viewBox="100,50 200%100"><rect x="10%" y="50%" width="25%" height="10%"/></svg>)SVG");
    ASSERT_EQ(picture->shapes.size(), 1u);
    expectPoints({120, 100, 170, 100, 170, 110, 120, 110, 120, 100}, endPoints(picture->shapes[0]));
}

TEST(SvgStyleTest, LabelsAndGroupLabelsFromEditorLayers) {
    auto picture = parseSvgText(R"SVG(<svg inkscape:label="drawing">
  <g inkscape:groupmode="layer" inkscape:label="Layer 1" id="layer1">
    <path inkscape:label="door" d="M0 0 L1 0 L1 1 z"/>
    <path d="M0 0 L1 0 L1 1 z"/>
    <g inkscape:label="window">
      <path d="M0 0 L1 0 L1 1 z"/>
      <g inkscape:label="pane"><path d="M0 0 L1 0 L1 1 z"/></g>
      <g id="plain"><path inkscape:label="frame" d="M0 0 L1 0 L1 1 z"/></g>
    </g>
  </g>
  <g inkscape:label="top"><path d="M0 0 L1 0 L1 1 z"/></g>
</svg>)SVG");
    ASSERT_EQ(picture->shapes.size(), 6u);
    const char* expected[][3] = {
        {"door", "", "layer1"},       {"drawing", "", "layer1"},        {"drawing", "window", "layer1"},
        {"drawing", "pane", "layer1"}, {"frame", "window", "plain"},     {"drawing", "", ""},
    };
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_STREQ(picture->shapes[i].label, expected[i][0]) << i;
        EXPECT_STREQ(picture->shapes[i].groupLabel, expected[i][1]) << i;
        EXPECT_STREQ(picture->shapes[i].id, expected[i][2]) << i;
    }
    std::string longLabel(100, 'x');
    auto cut = parseSvgText(withPath("inkscape:label=\"" + longLabel + "\""));
    EXPECT_EQ(std::string(cut->shapes.at(0).label), std::string(63, 'x'));
}

TEST(SvgStyleTest, DeepNestingKeepsLevelsBalanced) {
    std::string open, close;
    for (int i = 0; i < 200; ++i) {
        open += "<g>";
        close += "</g>";
    }
    auto picture = parseSvgText("<svg><g id=\"outer\" fill=\"red\">" + open + "<path " + triangle + "/>" + close +
                                "<path " + triangle + "/></g><path " + triangle + "/></svg>");
    ASSERT_EQ(picture->shapes.size(), 3u);
    EXPECT_STREQ(picture->shapes[0].id, "outer");
    EXPECT_EQ(picture->shapes[0].fill.colour, rgba(255, 0, 0, 255));
    // Every push beyond the stack was matched by its pop: after the deep groups the outer
    // group is still open, and after it the last path is back at the root.
    EXPECT_STREQ(picture->shapes[1].id, "outer");
    EXPECT_EQ(picture->shapes[1].fill.colour, rgba(255, 0, 0, 255));
    EXPECT_STREQ(picture->shapes[2].id, "");
    EXPECT_EQ(picture->shapes[2].fill.colour, rgba(0, 0, 0, 255));
}

TEST(SvgStyleTest, DisplayNoneKeepsTheShape) {
    auto picture = parseSvgText(withPath("style=\"display:none\""));
    ASSERT_EQ(picture->shapes.size(), 1u);
    EXPECT_FALSE(picture->shapes[0].visible);
}

TEST(SvgDefinitionsTest, ShapesInsideDefinitionsAreNotDrawn) {
    auto picture = parseSvgText(R"SVG(<svg>
  <defs><rect width="5" height="5"/><defs><circle r="3"/></defs><rect id="stillInside" width="5" height="5"/></defs>
  <defs/>
  <rect id="drawn" width="5" height="5"/>
</svg>)SVG");
    ASSERT_EQ(picture->shapes.size(), 1u);
    EXPECT_STREQ(picture->shapes[0].id, "drawn");
}

TEST(SvgDefinitionsTest, GradientFillTakesItsFirstStopColour) {
    auto picture = parseSvgText(R"SVG(<svg>
  <stop offset="0" stop-color="#123456"/>
  <defs>
    <linearGradient id="base">
      <stop offset="1" stop-color="#0000ff"/>
      <stop offset="0.2" style="stop-color:#00ff00;stop-opacity:0.5"/>
    </linearGradient>
    <radialGradient id="linked" xlink:href="#base"/>
    <linearGradient id="self" xlink:href="#self"/>
    <linearGradient id="a" xlink:href="#b"/>
    <linearGradient id="b" xlink:href="#a"/>
  </defs>
  <g id="group">
    <path fill="url(#base)" d="M0 0 L1 0 L1 1 z"/>
    <path style="fill:url(linked)" d="M0 0 L1 0 L1 1 z"/>
    <path fill="url(#self)" d="M0 0 L1 0 L1 1 z"/>
    <path fill="url(#a)" d="M0 0 L1 0 L1 1 z"/>
    <path fill="url(#missing)" d="M0 0 L1 0 L1 1 z"/>
  </g>
</svg>)SVG");
    ASSERT_EQ(picture->shapes.size(), 5u);
    EXPECT_EQ(picture->shapes[0].fill.kind, SvgPaint::LinearGradient);
    EXPECT_EQ(picture->shapes[0].fill.colour, rgba(0, 255, 0, 127));
    EXPECT_EQ(picture->shapes[1].fill.kind, SvgPaint::RadialGradient);
    EXPECT_EQ(picture->shapes[1].fill.colour, rgba(0, 255, 0, 127));
    for (size_t i = 2; i < 5; ++i) EXPECT_EQ(picture->shapes[i].fill.kind, SvgPaint::None) << i;
    // A gradient's own id stays with the gradient.
    for (const SvgShapeRecord& shape : picture->shapes) EXPECT_STREQ(shape.id, "group");
}

TEST(SvgBasicShapesTest, RectanglesCirclesLinesAndPolygons) {
    auto picture = parseSvgText(R"SVG(<svg>
  <rect x="1" y="2" width="4" height="3"/>
  <rect x="0" y="0" width="10" height="10" rx="2"/>
  <circle cx="5" cy="5" r="2"/>
  <ellipse cx="0" cy="0" rx="3" ry="1"/>
  <line x1="0" y1="0" x2="4" y2="4"/>
  <polyline points="0,0 1,0 1,1 0.5"/>
  <polygon points="0 0, 2 0, 2 2"/>
  <rect width="0" height="5"/><rect width="5" height="-1"/><circle r="0"/><ellipse rx="3"/>
</svg>)SVG");
    ASSERT_EQ(picture->shapes.size(), 7u);
    const auto& shapes = picture->shapes;
    expectPoints({1, 2, 5, 2, 5, 5, 1, 5, 1, 2}, endPoints(shapes[0]));
    EXPECT_TRUE(shapes[0].outlines[0].closed);
    // A rounded corner: its control points 0.4477 of the radius from the corner.
    const auto& rounded = shapes[1].outlines[0].points;
    ASSERT_EQ(rounded.size(), 2u + 6u * 9u);
    EXPECT_FLOAT_EQ(rounded[0], 2);
    EXPECT_NEAR(rounded[8], 10 - 2 * 0.44771522f, 1e-5);
    EXPECT_NEAR(rounded[11], 2 * 0.44771522f, 1e-5);
    expectPoints({7, 5, 5, 7, 3, 5, 5, 3, 7, 5, 7, 5}, endPoints(shapes[2]));
    EXPECT_NEAR(shapes[2].outlines[0].points[3], 5 + 2 * 0.5522848f, 1e-5);
    expectPoints({3, 0, 0, 1, -3, 0, 0, -1, 3, 0, 3, 0}, endPoints(shapes[3]));
    expectPoints({0, 0, 4, 4}, endPoints(shapes[4]));
    EXPECT_FALSE(shapes[4].outlines[0].closed);
    expectPoints({0, 0, 1, 0, 1, 1}, endPoints(shapes[5]));
    EXPECT_FALSE(shapes[5].outlines[0].closed);
    expectPoints({0, 0, 2, 0, 2, 2, 0, 0}, endPoints(shapes[6]));
    EXPECT_TRUE(shapes[6].outlines[0].closed);
}

TEST(SvgBasicShapesTest, PictureSizeComesFromTheRoot) {
    auto picture = parseSvgText(R"SVG(<svg width="210mm" height="3in" viewBox="0 0 10 10"/>)SVG");
    EXPECT_NEAR(picture->width, 210 / 25.4 * 96, 1e-3);
    EXPECT_FLOAT_EQ(picture->height, 288);
    EXPECT_TRUE(picture->shapes.empty());
}

} // namespace
} // namespace hv
