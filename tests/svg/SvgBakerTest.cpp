#include "core/PathProvider.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "svg/ShapeMesh.h"
#include "svg/SvgBaker.h"
#include "svg/SvgManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hv {
namespace {

// Signed area of the triangles of a mesh's index range: positive for counter-clockwise.
double triangleArea(const Mesh& mesh, const Range& range) {
    double total = 0;
    for (uint64_t i = range.start; i + 2 < range.end(); i += 3) {
        auto at = [&](uint64_t k) { return Vec2(mesh.vertices[2 * mesh.indices[k]], mesh.vertices[2 * mesh.indices[k] + 1]); };
        Vec2 a = at(i), b = at(i + 1), c = at(i + 2);
        double area = 0.5 * ((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x));
        total += area;
    }
    return total;
}

Path squareWithHole() {
    Path path;
    path.commands = {PathCommand::moveTo(0, 0),  PathCommand::lineTo(10, 0), PathCommand::lineTo(10, 10),
                     PathCommand::lineTo(0, 10), PathCommand::moveTo(3, 3),  PathCommand::lineTo(3, 7),
                     PathCommand::lineTo(7, 7),  PathCommand::lineTo(7, 3)};
    return path;
}

TEST(ShapeMeshTest, ShapeMeshCacheIsAStillMesh) {
    RawSvgShape shape;
    shape.pathCommands = squareWithHole().commands;
    ASSERT_TRUE(buildShapeMeshCache(shape, bakeCurveTolerance));
    ASSERT_TRUE(shape.meshCache && shape.meshCache->mesh);
    EXPECT_TRUE(shape.meshCache->frameRanges.empty());
    const Mesh& mesh = *shape.meshCache->mesh;
    EXPECT_DOUBLE_EQ(triangleArea(mesh, Range(0, mesh.indices.size())), 84.0);
}

class SvgBakerTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(dir.path() + "/story/pics"); }
    void story(const std::string& name, const std::string& text) { test::writeFile(dir.file("story/" + name), text); }

    test::TempDir dir;
};

const char* const goodSvg = R"SVG(<svg><g><g inkscape:label="room">
  <path inkscape:label="door" fill="#804020" d="M10 10 h20 v40 h-20 z"/></g></g>
  <path d="M0 60 C40 50 80 50 120 60 L120 70 L0 70 z"/></svg>)SVG";

TEST_F(SvgBakerTest, BakesEveryConvertibleFileAndNamesTheOthers) {
    story("a.svg", goodSvg);
    story("pics/b.SVG", goodSvg);
    story("bad.svg", R"SVG(<svg><path inkscape:label="door;window" d="M0 0 L1 0 L1 1 z"/></svg>)SVG");
    story("empty.svg", "<svg><!-- nothing --></svg>");
    story("notes.txt", "not a picture");
    std::ostringstream errors;
    ::testing::internal::CaptureStderr();
    BakeSummary summary = bakeSvgCaches(dir.path(), errors);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(summary.baked, 2u);
    EXPECT_EQ(summary.failed, 2u);
    EXPECT_EQ(errors.str(), "halvane-bake: bad.svg: the label 'door;window' names a shape twice\n"
                            "halvane-bake: empty.svg: no shapes left to convert\n");

    std::vector<std::string> blobs;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() + "/blobs")) {
        blobs.push_back(entry.path().filename().string());
    }
    std::sort(blobs.begin(), blobs.end());
    EXPECT_EQ(blobs, (std::vector<std::string>{"mesh-0-612e737667", "mesh-0-706963735c622e535647"}));

    SvgManager manager;
    manager.init(std::make_shared<PathProvider>(dir.path() + "/story"), SvgManager::useCacheFlag, dir.path() + "/blobs");
    for (const char* path : {"a.svg", "pics/b.SVG"}) {
        auto index = manager.loadFile(path, nullptr);
        ASSERT_TRUE(index) << path;
        const SvgFile& file = manager.files[size_t(*index)];
        ASSERT_EQ(file.shapes.size(), 2u);
        EXPECT_EQ(file.shapes[0].name, "door");
        EXPECT_EQ(file.shapes[0].group, "room");
        EXPECT_EQ(file.shapes[1].name, "auto-1"); // numbered within each file
        EXPECT_EQ(file.width, 120);
        for (const SvgShape& shape : file.shapes) {
            const Mesh& mesh = *shape.meshCache->mesh;
            EXPECT_GT(mesh.indices.size(), 0u);
            EXPECT_GT(triangleArea(mesh, Range(0, mesh.indices.size())), 0.0);
        }
    }
}

// A picture of one outline going round and round a hundred points, every edge crossing others.
std::string zigzagSvg() {
    std::string d = "M0 0";
    for (int i = 1; i <= 20000; ++i) d += " L" + std::to_string(i * 37 % 100) + " " + std::to_string(i * 91 % 100);
    return "<svg><path inkscape:label=\"zigzag\" d=\"" + d + " z\"/></svg>";
}

TEST_F(SvgBakerTest, ShapesWhoseContoursCrossAreNamedAndTheirFilesCountAsPartlyConverted) {
    // Crossing contours are resolved by the even-odd rule, the touching ones of the bar all stay
    // and a hole over a notch of its outer ring is drawn with it, saying nothing; only an outline
    // crossing itself too often to resolve is named.
    story("crossing.svg", R"SVG(<svg><path inkscape:label="bar" d="M0 0h4v16h-4z M4 8 L12 0 v16z"/>
      <path inkscape:label="overlap" d="M0 0h10v10h-10z M5 5h10v10h-10z M40 40h5v5h-5z"/></svg>)SVG");
    story("notch.svg", R"SVG(<svg><path inkscape:label="n" d="M0 0L4 0L5 1L6 0L10 0L10 10L0 10Z M2 0V3H8V0Z"/></svg>)SVG");
    story("zigzag.svg", zigzagSvg());
    std::ostringstream errors;
    ::testing::internal::CaptureStderr();
    BakeSummary summary = bakeSvgCaches(dir.path(), errors);
    std::string engine = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(summary.baked, 2u);
    EXPECT_EQ(summary.partly, 1u);
    EXPECT_EQ(summary.failed, 0u);
    EXPECT_EQ(errors.str(), "halvane-bake: zigzag.svg: shape zigzag: more than 4096 crossings, too many to resolve\n");
    EXPECT_EQ(engine, "EarClipperTriangulator::triangulate: more than 4096 crossings, too many to resolve\n");

    SvgManager manager;
    manager.init(std::make_shared<PathProvider>(dir.path() + "/story"), SvgManager::useCacheFlag, dir.path() + "/blobs");
    auto index = manager.loadFile("crossing.svg", nullptr);
    ASSERT_TRUE(index);
    const Mesh& bar = *manager.files[size_t(*index)].shapes[0].meshCache->mesh;
    EXPECT_EQ(bar.indices.size(), 9u);
    EXPECT_DOUBLE_EQ(triangleArea(bar, Range(0, bar.indices.size())), 128.0);
    // The squares' overlap of 25 is left empty; of the hole, the part over the notch is filled.
    const Mesh& overlap = *manager.files[size_t(*index)].shapes[1].meshCache->mesh;
    EXPECT_NEAR(triangleArea(overlap, Range(0, overlap.indices.size())), 175.0, 1e-6);
    index = manager.loadFile("notch.svg", nullptr);
    ASSERT_TRUE(index);
    const Mesh& notch = *manager.files[size_t(*index)].shapes[0].meshCache->mesh;
    EXPECT_NEAR(triangleArea(notch, Range(0, notch.indices.size())), 83.0, 1e-6);
}

TEST_F(SvgBakerTest, MissingStoryDirectoryFails) {
    std::ostringstream errors;
    BakeSummary summary = bakeSvgCaches(dir.path() + "/nowhere", errors);
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_EQ(errors.str(), "halvane-bake: " + dir.path() + "/nowhere/story: no story directory\n");
}

// Runs the bake tool in a child that first calls `prepare` (status 77 when it fails).
const std::string builtTool = std::string(HV_BINARY_DIR) + "/tools/halvane-bake";

test::ChildResult runBakeTool(std::vector<std::string> args, const std::function<bool()>& prepare = [] { return true; },
                              std::string tool = builtTool) {
    return test::runInChild([&] {
        if (!prepare()) std::_Exit(77);
        std::vector<char*> argv = {tool.data()};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(tool.c_str(), argv.data());
        std::_Exit(127);
    });
}

const char* const smallPaper = "size 8 base-frequency 2 frequency-multiplier 2 amplitude-count 1 attenuation 0.5 "
                               "intensity 0.3";

// A flat shape is baked whole and told as a warning: the file counts as baked and the run
// succeeds.
TEST_F(SvgBakerTest, AShapeWithoutHeightIsNamedAndItsFileStillBaked) {
    story("dome.svg", R"SVG(<svg><path inkscape:label="dome" d="M0 10 C0 0 10 0 10 10 Z"/></svg>)SVG");
    story("paper.txt", smallPaper);
    test::ChildResult run = runBakeTool({dir.path()});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "halvane-bake: dome.svg: warning: shape dome: its end points all lie on one level line, so its "
                       "box has no height: inserted, its height is not scaled, one drawing unit to one script unit "
                       "(give it an end point above or below that line)\n");
    EXPECT_EQ(run.out, "halvane-bake: 2 baked, 0 partly converted, 0 failed\n");
}

TEST_F(SvgBakerTest, AnUnreadableFolderIsNamedAndTheRestIsBaked) {
    std::filesystem::create_directories(dir.file("story/more"));
    for (const char* name : {"a.svg", "pics/b.svg", "more/c.svg"}) story(name, goodSvg);
    story("paper.txt", smallPaper);
    std::filesystem::permissions(dir.file("story/pics"), std::filesystem::perms::none);
    // Root reads every folder: the tool runs as a user whom the permission bits hold for, from a
    // copy in a folder that user can enter, as the build tree may not be (a checkout in root's home).
    test::TempDir bin;
    const std::string tool = bin.file("halvane-bake");
    std::filesystem::copy_file(builtTool, tool);
    std::filesystem::permissions(bin.path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_exec |
                                                 std::filesystem::perms::others_exec);
    test::ChildResult run = runBakeTool({dir.path()}, [&] { return test::becomeUnprivileged(dir.path()); }, tool);
    std::filesystem::permissions(dir.file("story/pics"), std::filesystem::perms::owner_all);
    if (run.exitStatus == 77) GTEST_SKIP() << "cannot run as an unprivileged user";
    EXPECT_EQ(run.exitStatus, 1);
    // Named by both passes that list the story: for its pictures and for its scripts.
    const std::string line = "halvane-bake: " + dir.file("story/pics") + ": cannot list the directory: Permission denied\n";
    EXPECT_EQ(run.err, line + line);
    EXPECT_EQ(run.out, "halvane-bake: 3 baked, 0 partly converted, 2 failed\n");
    EXPECT_TRUE(std::filesystem::exists(dir.file("blobs/mesh-0-6d6f72655c632e737667"))) << "more/c.svg";
}

TEST_F(SvgBakerTest, AFileSizeLimitFailsTheWritesAndKeepsTheOldCaches) {
    story("a.svg", goodSvg);
    story("paper.txt", smallPaper);
    ASSERT_EQ(runBakeTool({dir.path()}).exitStatus, 0);
    const std::string svgCache = dir.file("blobs/mesh-0-612e737667"), paperCache = dir.file("blobs/paper");
    const std::string oldCaches = getStringAtPath(svgCache).first + getStringAtPath(paperCache).first;
    story("a.svg", std::string(goodSvg) + "<!-- changed -->");
    test::ChildResult run = runBakeTool({dir.path()}, [] {
        std::signal(SIGXFSZ, SIG_DFL); // the tool has to ignore it itself
        rlimit limit{64, 64};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    });
    EXPECT_EQ(run.exitStatus, 1) << "ended by SIGXFSZ";
    EXPECT_EQ(run.err, "halvane-bake: a.svg: cannot write " + svgCache +
                           ": File too large\nhalvane-bake: paper.txt: cannot write " + paperCache +
                           ": File too large\n");
    EXPECT_EQ(run.out, "halvane-bake: 0 baked, 0 partly converted, 2 failed\n");
    EXPECT_EQ(getStringAtPath(svgCache).first + getStringAtPath(paperCache).first, oldCaches);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("blobs")), {}), 2) << "no temporaries";
}

// What the engine would trip over later is named now and counted as failed, and the summary
// still prints: files too large to hold (sparse, so they cost no disk), things of a picture's
// or script's name that are no file, a script that is not text, and a picture whose cache name
// the file system refuses.
TEST_F(SvgBakerTest, FilesTheEngineCouldNotUseAreNamedAndCounted) {
    story("a.svg", goodSvg);
    const std::string longName = std::string(130, 'p') + ".svg";
    story(longName, goodSvg);
    for (const char* huge : {"huge.svg", "huge.lua", "paper.txt"}) {
        story(huge, "");
        std::filesystem::resize_file(dir.file("story/") + huge, uintmax_t(200) << 30);
    }
    ASSERT_EQ(mkfifo(dir.file("story/pics/fifo.svg").c_str(), 0600), 0);
    std::filesystem::create_directories(dir.file("story/folder.lua"));
    story("binary.lua", "\x1bLua");
    test::ChildResult run = runBakeTool({dir.path()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "halvane-bake: 1 baked, 0 partly converted, 7 failed\n");
    const std::string tooLarge = ": cannot read the file: too large to hold in memory (214748364800 bytes)\n";
    const std::string lines[] = {"huge.svg" + tooLarge, "paper.txt" + tooLarge, "huge.lua" + tooLarge,
                                 "pics/fifo.svg: not a file but a FIFO\n", "folder.lua: not a file but a directory\n",
                                 "binary.lua: attempt to load a binary chunk (mode is 't')\n",
                                 longName + ": cannot write " + svgCachePath(dir.file("blobs"), longName) +
                                     ": File name too long (the cache file's name spells out the picture's path"};
    for (const std::string& line : lines) {
        EXPECT_NE(run.err.find("halvane-bake: " + line), std::string::npos) << line << run.err;
    }
}

// However the folder is spelled, the files below it keep their own names, and a picture named
// in another script than ASCII gets the cache name the engine looks for.
TEST_F(SvgBakerTest, AnySpellingOfTheFolderBakesTheSameFiles) {
    const std::string accented = "pics/\xc3\xa9t\xc3\xa9.svg", book = "blobs/luac-73746f72792f626f6f6b2e6c7561";
    story(accented, goodSvg);
    story("book.lua", "return 1");
    const std::string parent = std::filesystem::path(dir.path()).parent_path(), base = dir.path().substr(parent.size());
    // The folder as given (`base` begins with its slash), and the working directory it is given in.
    for (auto [folder, in] : {std::pair{dir.path() + "/", parent}, {dir.path() + "//", parent},
                              {parent + "/" + base, parent}, {"./", dir.path()}, {".", dir.path()},
                              {"." + base + "/", parent}}) {
        std::filesystem::remove_all(dir.file("blobs"));
        const std::string workingDirectory = in; // a lambda takes no structured binding
        test::ChildResult run = runBakeTool({folder}, [&] { return chdir(workingDirectory.c_str()) == 0; });
        EXPECT_EQ(run.out, "halvane-bake: 2 baked, 0 partly converted, 1 failed\n") << folder << run.err; // no paper
        EXPECT_TRUE(std::filesystem::exists(dir.file(book))) << folder;
        EXPECT_TRUE(std::filesystem::exists(svgCachePath(dir.file("blobs"), accented))) << folder;
    }
}

TEST_F(SvgBakerTest, ToolExitStatus) {
    EXPECT_EQ(runBakeTool({}).exitStatus, 2);
    story("a.svg", goodSvg);
    // The paper cache counts as one more baked file.
    story("paper.txt", smallPaper);
    auto good = runBakeTool({dir.path()});
    EXPECT_EQ(good.exitStatus, 0) << good.err;
    EXPECT_EQ(good.out, "halvane-bake: 2 baked, 0 partly converted, 0 failed\n");
    // Written, though partly: the run still succeeds.
    story("zigzag.svg", zigzagSvg());
    auto partly = runBakeTool({dir.path()});
    EXPECT_EQ(partly.exitStatus, 0) << partly.err;
    EXPECT_EQ(partly.out, "halvane-bake: 2 baked, 1 partly converted, 0 failed\n");
    story("broken.svg", "<svg><path d=\"M0 0 L1e39 0 L1 1 z\"/></svg>");
    auto broken = runBakeTool({dir.path()});
    EXPECT_EQ(broken.exitStatus, 1);
    EXPECT_NE(broken.err.find("halvane-bake: broken.svg: no shapes left to convert\n"), std::string::npos) << broken.err;
}

} // namespace
} // namespace hv
