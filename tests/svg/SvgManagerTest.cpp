#include "core/Configuration.h"
#include "core/Reader.h"
#include "support/TempDir.h"
#include "svg/RawSvgCache.h"
#include "svg/ShapeMesh.h"
#include "svg/SvgManager.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace hv {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

std::string svg(const std::string& body) { return "<svg>" + body + "</svg>"; }

// A manager over a fresh story directory, parsing SVG (no cache).
class SvgManagerTest : public ::testing::Test {
protected:
    void SetUp() override { manager.init(std::make_shared<PathProvider>(dir.path()), 0, dir.path() + "/blobs"); }

    void write(const std::string& name, const std::string& text) { test::writeFile(dir.file(name), text); }

    // Converts one file and gives it with what the conversion wrote to stderr.
    std::optional<RawSvgFile> convert(const std::string& text, std::string* err = nullptr) {
        write("t.svg", text);
        CaptureStderr();
        auto file = manager.convertSvgImage("t.svg");
        std::string captured = GetCapturedStderr();
        if (err) *err = captured;
        return file;
    }

    test::TempDir dir;
    SvgManager manager;
};

TEST_F(SvgManagerTest, ClosedOutlineGivesMoveAndLinesShiftedToTheOrigin) {
    std::string err;
    auto file = convert(svg(R"SVG(<path id="p" d="M10 20 L110 20 L110 70 L10 70 Z"/>)SVG"), &err);
    ASSERT_TRUE(file);
    EXPECT_EQ(err, "");
    ASSERT_EQ(file->shapes.size(), 1u);
    const std::vector<PathCommand> expected = {PathCommand::moveTo(0, 50), PathCommand::lineTo(100, 50),
                                               PathCommand::lineTo(100, 0), PathCommand::lineTo(0, 0),
                                               PathCommand::lineTo(0, 50)};
    EXPECT_EQ(file->shapes[0].pathCommands, expected);
    EXPECT_EQ(file->width, 100);
    EXPECT_EQ(file->height, 50);
    EXPECT_EQ(file->shapes[0].elementId, "p");
    ASSERT_TRUE(file->shapes[0].meshCache);
    EXPECT_FALSE(file->shapes[0].meshCache->mesh);
}

TEST_F(SvgManagerTest, CurvesBecomeCubicsWithYNegated) {
    auto file = convert(svg(R"SVG(<path d="M0 0 C1 2 3 4 5 6 L0 0"/>)SVG"));
    ASSERT_TRUE(file);
    const auto& commands = file->shapes.at(0).pathCommands;
    ASSERT_EQ(commands.size(), 3u);
    // Lowest end point is y = -6 before the shift of +6.
    EXPECT_EQ(commands[0], PathCommand::moveTo(0, 6));
    EXPECT_EQ(commands[1], PathCommand::cubicTo(1, 4, 3, 2, 5, 0));
    EXPECT_EQ(commands[2], PathCommand::lineTo(0, 6));
}

TEST_F(SvgManagerTest, OpenOutlinesWarnButStay) {
    std::string err;
    auto file = convert(svg(R"SVG(<path id="open" d="M0 0 L10 0 L10 10 L0 10"/><line id="stroke" x2="5" y2="5"/>)SVG"), &err);
    ASSERT_TRUE(file);
    EXPECT_EQ(err, "  unclosed path open in t.svg\n  unclosed path stroke in t.svg\n");
    ASSERT_EQ(file->shapes.size(), 2u);
    EXPECT_EQ(file->shapes[0].pathCommands.size(), 4u);
    EXPECT_EQ(file->shapes[1].pathCommands.size(), 2u);
}

// A shape whose end points leave its box without height or width is named, since it is
// inserted unscaled on that axis; a slanted line of end points still spans a box.
TEST_F(SvgManagerTest, ShapesWithoutHeightOrWidthAreNamed) {
    struct Case {
        const char* data;
        std::string warning;
    };
    const std::string unit = " not scaled, one drawing unit to one script unit (give it an end point ";
    for (const Case& c :
         {Case{"M0 10 C0 0 10 0 10 10 Z", "on one level line, so its box has no height: inserted, its height is" + unit +
                                              "above or below that line)"},
          Case{"M0 0 C9 0 9 8 0 8 Z", "on one upright line, so its box has no width: inserted, its width is" + unit +
                                          "to one side of that line)"},
          Case{"M0 0 C5 5 9 0 0 0", "at one point, so its box has no width or height: inserted, its width and height "
                                    "are" + unit + "elsewhere)"},
          Case{"M0 0 C0 5 4 9 5 5 L10 10 Z", ""}, Case{"M0 0 C0 5 4 9 5 6 Z", ""}}) {
        std::string err;
        ASSERT_TRUE(convert(svg(std::string(R"(<path inkscape:label="s" d=")") + c.data + "\"/>"), &err)) << c.data;
        EXPECT_EQ(err, c.warning.empty() ? ""
                                         : "SvgManager::convertSvgImage: t.svg: shape s: its end points all lie " +
                                               c.warning + "\n")
            << c.data;
    }
}

TEST_F(SvgManagerTest, ShapesWithCoordinatesThatAreNotFiniteAreDropped) {
    std::string err;
    auto file = convert(svg(R"SVG(<path id="huge" d="M0 0 L1e39 0 L1 1 z"/><path id="scaled" transform="scale(1e30)" )SVG"
                            R"SVG(d="M0 0 C1e10 0 0 1 1 1 z"/><path id="fine" d="M0 0 L4 0 L4 4 z"/>)SVG"
                            R"SVG(<path inkscape:label="mast" d="M0 0 L1e39 0 L1 1 z"/>)SVG"),
                        &err);
    ASSERT_TRUE(file);
    ASSERT_EQ(file->shapes.size(), 1u);
    EXPECT_EQ(file->shapes[0].elementId, "fine");
    EXPECT_NE(err.find("not finite in shape auto-1 (huge) in t.svg"), std::string::npos) << err;
    EXPECT_NE(err.find("not finite in shape auto-2 (scaled) in t.svg"), std::string::npos) << err;
    EXPECT_NE(err.find("not finite in shape mast in t.svg; shape dropped"), std::string::npos) << err;
    EXPECT_EQ(file->width, 4);
    EXPECT_EQ(file->height, 4);
}

TEST_F(SvgManagerTest, LabelsNameShapesAndIgnoreDropsThem) {
    std::string err;
    auto file = convert(svg(R"SVG(
        <path inkscape:label="ignore" d="M0 0 L1 0 L1 1 z"/>
        <path inkscape:label="ignore;note=x" d="M0 0 L1 0 L1 1 z"/>
        <path inkscape:label=" my shape ;layer=2" d="M0 0 L1 0 L1 1 z"/>
        <g><g inkscape:label="windows"><path inkscape:label="pane" d="M0 0 L1 0 L1 1 z"/></g></g>)SVG"),
                        &err);
    ASSERT_TRUE(file);
    EXPECT_EQ(err, "");
    ASSERT_EQ(file->shapes.size(), 2u);
    EXPECT_EQ(file->shapes[0].name, "myshape");
    EXPECT_EQ(file->shapes[1].name, "pane");
    EXPECT_EQ(file->shapes[1].group, "windows");

    file = convert(svg(R"SVG(<path inkscape:label="door;window" d="M0 0 L1 0 L1 1 z"/>)SVG"), &err);
    EXPECT_FALSE(file);
    EXPECT_EQ(err, "Unable to parse tag in image: door;window\n  failed to parse tag: 'door;window'\n");
}

TEST_F(SvgManagerTest, AutomaticNamesCountWithinEachFileAndDroppedShapes) {
    auto first = convert(svg(R"SVG(<path d="M0 0 L1 0 L1 1 z"/><path d="M0 0"/>)SVG"
                             R"SVG(<path d="M0 0 L1e39 0 L1 1 z"/><path d="M0 0 L1 0 L1 1 z"/>)SVG"));
    ASSERT_TRUE(first);
    ASSERT_EQ(first->shapes.size(), 2u);
    EXPECT_EQ(first->shapes[0].name, "auto-1");
    EXPECT_EQ(first->shapes[1].name, "auto-3"); // the dropped shape used auto-2
    // Numbered afresh in every file, as the baked cache numbers them.
    auto second = convert(svg(R"SVG(<path d="M0 0 L1 0 L1 1 z"/>)SVG"));
    EXPECT_EQ(second->shapes.at(0).name, "auto-1");
}

TEST_F(SvgManagerTest, FilesWithoutShapesFail) {
    EXPECT_FALSE(convert(svg(R"SVG(<path d="M0 0"/>)SVG")));
    EXPECT_FALSE(convert(svg(R"SVG(<path inkscape:label="ignore" d="M0 0 L1 0 L1 1 z"/>)SVG")));
    EXPECT_FALSE(convert("not svg at all"));
    EXPECT_FALSE(manager.convertSvgImage("missing.svg"));
}

TEST_F(SvgManagerTest, ColourTextIsRedGreenBlueAlpha) {
    auto file = convert(svg(R"SVG(
        <path fill="red" fill-opacity="0.5" d="M0 0 L1 0 L1 1 z"/>
        <path fill="none" d="M0 0 L1 0 L1 1 z"/>
        <path fill="#0a0b0c" d="M0 0 L1 0 L1 1 z"/>
        <linearGradient id="g"><stop offset="0" stop-color="#102030"/></linearGradient>
        <path fill="url(#g)" d="M0 0 L1 0 L1 1 z"/>)SVG"));
    ASSERT_TRUE(file);
    ASSERT_EQ(file->shapes.size(), 4u);
    EXPECT_EQ(file->shapes[0].colour, "ff00007f");
    EXPECT_EQ(file->shapes[1].colour, "00000000");
    EXPECT_EQ(file->shapes[2].colour, "0a0b0cff");
    EXPECT_EQ(file->shapes[3].colour, "102030ff");
}

TEST_F(SvgManagerTest, ColoursResolveThroughTheMapOrAsHexadecimal) {
    RawSvgFile raw;
    for (const char* colour : {"ff0000ff", "00ff00ff", "0000ffff", "zz"}) {
        RawSvgShape shape;
        shape.colour = colour;
        raw.shapes.push_back(shape);
    }
    ColourTranslationMap map = {{"ff0000", "3.2"}, {"0000ffff", "x"}};
    CaptureStderr();
    SvgFile mapped = manager.resolveRawSvg(raw, &map);
    EXPECT_EQ(GetCapturedStderr(), "unable to parse translation map colour: x\n");
    EXPECT_EQ(mapped.shapes[0].colour.kind, PaletteColour::Palette);
    EXPECT_EQ(mapped.shapes[0].colour.colour, 3);
    EXPECT_EQ(mapped.shapes[0].colour.tone, 1);
    EXPECT_EQ(mapped.shapes[1].colour.kind, PaletteColour::Invalid);
    EXPECT_EQ(mapped.shapes[2].colour.kind, PaletteColour::Invalid);

    CaptureStderr();
    SvgFile direct = manager.resolveRawSvg(raw, nullptr);
    EXPECT_EQ(GetCapturedStderr(), "SvgManager::resolveRawSvg: unable to parse colour 'zz'\n");
    EXPECT_EQ(direct.shapes[1].colour.kind, PaletteColour::Direct);
    EXPECT_EQ(direct.shapes[1].colour.rgba, Colour(0, 1, 0, 1));
    EXPECT_EQ(direct.shapes[3].colour.kind, PaletteColour::Invalid);
}

TEST_F(SvgManagerTest, FilesShapesAndHandles) {
    write("a.svg", svg(R"SVG(<path inkscape:label="door" d="M0 0 L4 0 L4 2 z"/>)SVG"
                       R"SVG(<g><g inkscape:label="wall"><path inkscape:label="brick" d="M0 0 L1 0 L1 1 z"/></g></g>)SVG"
                       R"SVG(<path d="M0 0 L1 0 L1 1 z"/>)SVG"));
    auto first = manager.loadFile("a.svg", nullptr);
    auto second = manager.loadFile("a.svg", nullptr);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, 0);
    EXPECT_EQ(*second, 1);
    EXPECT_FALSE(manager.loadFile("missing.svg", nullptr));
    EXPECT_EQ(manager.files.size(), 2u);

    auto door = manager.loadShape(0, "door");
    ASSERT_TRUE(door);
    EXPECT_EQ(manager.loadShape(0, "door"), door);
    EXPECT_NE(manager.loadShape(1, "door"), door);
    auto [shape, found] = manager.shape(*door);
    EXPECT_TRUE(found);
    EXPECT_EQ(shape.name, "door");
    EXPECT_EQ(shape.pathCommands.size(), 4u);

    // Out-of-range indices, negative ones included, give nothing and say nothing.
    CaptureStderr();
    EXPECT_FALSE(manager.loadShape(2, "door"));
    EXPECT_FALSE(manager.loadShape(-1, "door"));
    EXPECT_FALSE(manager.fileSize(-1));
    EXPECT_FALSE(manager.fileSize(2));
    EXPECT_FALSE(manager.shapeNamesAndGroups(-1));
    EXPECT_EQ(GetCapturedStderr(), "");
    for (int32_t handle : {-1, 99}) {
        auto [missing, present] = manager.shape(handle);
        EXPECT_FALSE(present);
        EXPECT_TRUE(missing.pathCommands.empty());
        EXPECT_EQ(missing.colour.kind, PaletteColour::Invalid);
    }

    CaptureStderr();
    EXPECT_FALSE(manager.loadShape(0, "window"));
    EXPECT_EQ(GetCapturedStderr(),
              "SvgManager::loadShape(): shape not found 'window'\n - 'door'\n - 'brick'\n - 'auto-1'\n");

    EXPECT_EQ(*manager.fileSize(0), Vec2(4, 2));
    auto listing = manager.shapeNamesAndGroups(0);
    ASSERT_TRUE(listing);
    ASSERT_EQ(listing->size(), 3u);
    EXPECT_EQ(std::get<0>((*listing)[1]), "brick");
    EXPECT_EQ(std::get<1>((*listing)[1]), "wall");
    // A colour that is not a palette colour lists the same text every time.
    for (const auto& entry : *listing) EXPECT_EQ(std::get<2>(entry), "0.1");
    auto again = manager.shapeNamesAndGroups(1);
    ASSERT_TRUE(again);
    for (const auto& entry : *again) EXPECT_EQ(std::get<2>(entry), "0.1");
}

TEST_F(SvgManagerTest, ConfigurationCacheFlagTurnsTheCacheOn) {
    Configuration configuration;
    configuration.setDefaults();
    SvgManager cached;
    cached.init(std::make_shared<PathProvider>(dir.path()), SvgManager::flagsFor(configuration), dir.path());
    EXPECT_TRUE(cached.useCache);
    configuration.useCache = false;
    EXPECT_EQ(SvgManager::flagsFor(configuration), 0u);
}

TEST_F(SvgManagerTest, CacheModeNeverFallsBackToTheSvg) {
    write("a.svg", svg(R"SVG(<path d="M0 0 L4 0 L4 2 z"/>)SVG"));
    SvgManager cached;
    cached.init(std::make_shared<PathProvider>(dir.path()), SvgManager::useCacheFlag, dir.path());
    CaptureStderr();
    EXPECT_FALSE(cached.loadFile("a.svg", nullptr));
    EXPECT_EQ(GetCapturedStderr(), "SvgManager::uncachedLoadFromPath: unable to open path " + dir.path() +
                                       "/mesh-0-612e737667, errno = 2\n");
    test::writeFile(svgCachePath(dir.path(), "a.svg"), std::string(30, '\xff'));
    CaptureStderr();
    EXPECT_FALSE(cached.loadFile("a.svg", nullptr));
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("SvgManager::uncachedLoadFromPath: failed to read svg cache " + dir.path() + "/mesh-0-612e737667"),
              std::string::npos)
        << err;
    EXPECT_TRUE(cached.files.empty());
}

TEST_F(SvgManagerTest, RoundTripThroughTheCacheFile) {
    write("pic.svg", svg(R"SVG(
        <g><g inkscape:label="house"><path inkscape:label="door" fill="#804020" d="M10 10 h20 v40 h-20 z"/></g></g>
        <circle inkscape:label="sun" fill="yellow" fill-opacity="0.8" cx="100" cy="20" r="15"/>
        <path d="M0 60 L120 60 L120 70 z m5 2 l3 0 l0 3 z"/>)SVG"));
    auto raw = manager.convertSvgImage("pic.svg");
    ASSERT_TRUE(raw);
    for (RawSvgShape& shape : raw->shapes) ASSERT_TRUE(buildShapeMeshCache(shape, bakeCurveTolerance));
    FILE* out = std::fopen(svgCachePath(dir.path(), "pic.svg").c_str(), "wb");
    ASSERT_TRUE(out);
    ASSERT_TRUE(writeRawSvgFile(out, *raw));
    std::fclose(out);

    SvgManager cached;
    cached.init(std::make_shared<PathProvider>(dir.path() + "/nowhere"), SvgManager::useCacheFlag, dir.path());
    auto index = cached.loadFile("pic.svg", nullptr);
    ASSERT_TRUE(index);
    const SvgFile& loaded = cached.files[size_t(*index)];
    SvgFile expected = manager.resolveRawSvg(*raw, nullptr);
    EXPECT_EQ(loaded.width, expected.width);
    EXPECT_EQ(loaded.height, expected.height);
    ASSERT_EQ(loaded.shapes.size(), 3u);
    for (size_t i = 0; i < loaded.shapes.size(); ++i) {
        const SvgShape& a = loaded.shapes[i];
        const SvgShape& b = expected.shapes[i];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.group, b.group);
        EXPECT_EQ(a.pathCommands, b.pathCommands);
        EXPECT_EQ(a.colour.rgba, b.colour.rgba);
        EXPECT_EQ(a.elementId, "");
        ASSERT_TRUE(a.meshCache && a.meshCache->mesh);
        EXPECT_EQ(a.meshCache->mesh->vertices, b.meshCache->mesh->vertices);
        EXPECT_EQ(a.meshCache->mesh->indices, b.meshCache->mesh->indices);
        EXPECT_TRUE(a.meshCache->frameRanges.empty());
    }
    EXPECT_EQ(loaded.shapes[0].name, "door");
    EXPECT_EQ(loaded.shapes[0].group, "house");
    EXPECT_EQ(loaded.shapes[1].colour.rgba, Colour(1, 1, 0, 204 / 255.0));
    EXPECT_EQ(loaded.shapes[2].name, "auto-1");
}

TEST(SvgShapeTagTest, ItemsNamesAndPairs) {
    struct Case {
        const char* label;
        const char* name;
        size_t pairs;
        bool ok;
    };
    const Case cases[] = {
        {"", "", 0, true},           {" \t\r\n", "", 0, true},    {"door", "door", 0, true},
        {"door;layer=2", "door", 1, true}, {"a=1;door;a=2", "door", 1, true}, {";a", "a", 0, true},
        {"my shape", "myshape", 0, true},  {"=x", "=x", 0, true},            {"x=", "x=", 0, true},
        {"door;window", "", 0, false},     {"door;", "", 0, false},          {"a=1;b=2", "", 2, true},
    };
    for (const Case& c : cases) {
        CaptureStderr();
        auto [name, map, ok] = parseShapeTag(c.label);
        std::string err = GetCapturedStderr();
        EXPECT_EQ(name, c.name) << c.label;
        EXPECT_EQ(map.size(), c.pairs) << c.label;
        EXPECT_EQ(ok, c.ok) << c.label;
        EXPECT_EQ(err, c.ok ? "" : std::string("Unable to parse tag in image: ") + c.label + "\n");
    }
    auto [key, value, pair] = splitTagItem("layer=2=3");
    EXPECT_TRUE(pair);
    EXPECT_EQ(key, "layer");
    EXPECT_EQ(value, "2=3");
}

TEST(SvgCachePathTest, TwoHexadecimalDigitsAByte) {
    EXPECT_EQ(svgCachePath("/b", "a.svg"), "/b/mesh-0-612e737667");
    EXPECT_EQ(svgCachePath("/b", "x/a.svg"), "/b/mesh-0-785c612e737667");
    EXPECT_EQ(svgCachePath("/b", "\n"), "/b/mesh-0-0a");
    EXPECT_EQ(svgCachePath("/b", "\xc3\xa9/\x80\xff"), "/b/mesh-0-c3a95c80ff");
    EXPECT_EQ(svgCachePath("/b", ""), "/b/mesh-0-");
}

} // namespace
} // namespace hv
