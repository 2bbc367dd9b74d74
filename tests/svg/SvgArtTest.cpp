#include "core/PathProvider.h"
#include "support/FillCoverage.h"
#include "support/TempDir.h"
#include "svg/ShapeMesh.h"
#include "svg/SvgManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace hv {
namespace {

// Drawings baked the way the bake tool bakes them, each shape's mesh compared with its path's
// even-odd fill. The drawings in tests/data/svg-art are checked on every run; HV_SVG_CORPUS
// may name more files or folders (separated by ':') to measure a corpus, whose figures are
// printed.
struct ShapeOutcome {
    std::string label; // file and shape
    double mismatch = 0;
    bool complete = true;
    ContourCount contours;
    std::string said; // what its triangulation wrote
};

struct ArtFigures {
    size_t files = 0, unconverted = 0;
    std::vector<ShapeOutcome> shapes;
};

void measureFile(const std::string& file, ArtFigures& figures) {
    ++figures.files;
    auto [text, readable] = getStringAtPath(file);
    testing::internal::CaptureStderr();
    auto converted = readable ? convertSvgText(std::move(text), file) : std::nullopt;
    testing::internal::GetCapturedStderr();
    figures.unconverted += !converted;
    for (const RawSvgShape& shape : converted ? converted->shapes : std::vector<RawSvgShape>{}) {
        Path path;
        path.commands = shape.pathCommands;
        auto mesh = std::make_shared<Mesh>();
        ShapeOutcome s;
        s.label = file + ": shape " + shape.name;
        testing::internal::CaptureStderr();
        auto [range, ok] = triangulatePathInto(mesh, path, bakeCurveTolerance, &s.contours);
        s.said = testing::internal::GetCapturedStderr();
        s.complete = ok;
        // A failed path keeps the triangles of the polygons before the failing one.
        Range drawn = ok ? range : Range(0, mesh->indices.size());
        s.mismatch = test::compareMeshWithFill(path, bakeCurveTolerance, *mesh, drawn).mismatch();
        figures.shapes.push_back(s);
    }
}

void measure(const std::string& root, ArtFigures& figures) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_regular_file(root, error)) return measureFile(root, figures);
    std::vector<std::string> files;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file() && it->path().extension() == ".svg") files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) measureFile(file, figures);
}

std::string describe(const ShapeOutcome& s) {
    std::ostringstream out;
    out << s.label << ": ";
    if (std::isinf(s.mismatch)) out << "triangles where nothing is filled";
    else out << int(s.mismatch * 100 + 0.5) << "% differs";
    if (!s.complete) out << ", triangulation failed";
    if (s.contours.dropped) out << ", " << s.contours.dropped << " of " << s.contours.total << " contours dropped";
    return out.str();
}

TEST(SvgArtTest, MeshesCoverTheirEvenOddFill) {
    ArtFigures figures;
    measure(test::testDataPath("svg-art"), figures);
    EXPECT_EQ(figures.unconverted, 0u);
    EXPECT_GE(figures.shapes.size(), 10u);
    for (const ShapeOutcome& s : figures.shapes) {
        EXPECT_TRUE(s.complete && s.contours.dropped == 0 && s.mismatch < 0.02) << describe(s);
    }
}

// Drawings from Debian's icon themes and card decks whose shapes the triangulation lost or drew
// wrongly, with the flaw each one has (tests/data/editor-art holds them with their licences).
// Every shape is drawn whole, as its even-odd fill, and nothing is said about it; flaws
// within one outline are cured where they are, crossings are resolved.
TEST(SvgArtTest, EditorArtIsDrawnWholeAsItsEvenOddFill) {
    // The file, its flaw, and whether contours are resolved at their crossings.
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"papirus-citra.svg", "pie slices whose outline has a cusp near a corner: no ear either way", false},
        {"papirus-org.gnome.Photos.svg", "outlines crossing themselves: no ear either way", true},
        {"papirus-portal-reloaded.svg", "27 and 49 outlines with small loops: blades over the icon", false},
        {"gnome-cards-ancient_french-path17112.svg", "one of 123 outlines crossing another: holes turned solid", true},
        {"adwaita-power-profile-power-saver-symbolic.svg", "a needle reaching into its ring: the ring dropped", true},
    };
    for (const auto& [file, flaw, resolves] : cases) {
        ArtFigures figures;
        measureFile(test::testDataPath("editor-art/") + file, figures);
        ASSERT_EQ(figures.unconverted, 0u) << file;
        uint64_t resolved = 0;
        for (const ShapeOutcome& s : figures.shapes) {
            EXPECT_TRUE(s.complete && s.said.empty() && s.contours.dropped + s.contours.leftOut == 0 &&
                        s.mismatch < 0.01)
                << describe(s) << ", " << s.contours.leftOut << " left out (" << flaw << ")\n" << s.said;
            resolved += s.contours.resolved;
        }
        EXPECT_EQ(resolved > 0, resolves) << file << ": " << resolved << " contours resolved";
    }
}

TEST(SvgArtTest, CorpusFigures) {
    const char* corpus = std::getenv("HV_SVG_CORPUS");
    if (!corpus || !*corpus) GTEST_SKIP() << "HV_SVG_CORPUS names no corpus";
    ArtFigures figures;
    std::stringstream roots(corpus);
    for (std::string root; std::getline(roots, root, ':');) {
        if (!root.empty()) measure(root, figures);
    }
    std::sort(figures.shapes.begin(), figures.shapes.end(), [](auto& a, auto& b) { return a.mismatch > b.mismatch; });
    size_t failed = 0, dropped = 0, quarter = 0;
    for (const ShapeOutcome& s : figures.shapes) {
        failed += !s.complete;
        dropped += s.contours.dropped > 0;
        if (s.mismatch <= 0.25) continue;
        ++quarter;
        std::printf("  %s\n", describe(s).c_str());
    }
    std::printf("%zu files (%zu not converted), %zu shapes: %zu failed to triangulate, %zu dropped contours, "
                "%zu differ from their even-odd fill over more than a quarter of it\n",
                figures.files, figures.unconverted, figures.shapes.size(), failed, dropped, quarter);
}

} // namespace
} // namespace hv
