#include "core/Configuration.h"
#include "core/PathProvider.h"
#include "render/gl/ShaderLoader.h"
#include "support/CaptureStream.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

namespace hv::test {
namespace {

TEST(ShaderSourceTest, DefinesComeInFrontOfTheCommonFragmentTextInTheirOrder) {
    Configuration configuration;
    configuration.greyscale = true;
    configuration.paperStrength = 0.25;
    EXPECT_EQ(prefixedCommonFragment("TEXT", false, configuration),
              "#define PAPER_TEXTURE_STRENGTH 0.250000\n#define GRAYSCALE_BUILD\n\nTEXT");
    EXPECT_EQ(prefixedCommonFragment("TEXT", true, configuration),
              "#define PAPER_TEXTURE_STRENGTH 0.250000\n#define APPLY_PAPER\n\n#define GRAYSCALE_BUILD\n\nTEXT");
    configuration.greyscale = false;
    configuration.paperStrength = 0.0;
    EXPECT_EQ(prefixedCommonFragment("", true, configuration), "#define PAPER_TEXTURE_STRENGTH 0.000000\n#define APPLY_PAPER\n\n");
}

class ShaderFilesTest : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.file("shaders-gl3"));
        std::filesystem::create_directories(dir.file("shaders-gl-common"));
        writeFile(dir.file("shaders-gl3/thing.vsh"), "[thing vsh]");
        writeFile(dir.file("shaders-gl3/thing.fsh"), "[thing fsh]");
        writeFile(dir.file("shaders-gl3/common.vsh"), "[common vsh]");
        writeFile(dir.file("shaders-gl3/common.fsh"), "[common fsh]");
        writeFile(dir.file("shaders-gl-common/common.fsh"), "[gl common]");
    }

    std::string missingReport(const std::string& file) {
        std::filesystem::remove(dir.file(file));
        CaptureStream capture(std::cerr);
        EXPECT_FALSE(assembleShaderSources(provider, "thing", true, configuration).has_value());
        return capture.text();
    }

    TempDir dir;
    PathProvider provider{dir.path()};
    Configuration configuration;
};

TEST_F(ShaderFilesTest, SourcesJoinWithNothingInBetween) {
    configuration.paperStrength = 0.5;
    auto sources = assembleShaderSources(provider, "thing", true, configuration);
    ASSERT_TRUE(sources.has_value());
    EXPECT_EQ(sources->vertex, "[common vsh][thing vsh]");
    EXPECT_EQ(sources->fragment,
              "[common fsh]#define PAPER_TEXTURE_STRENGTH 0.500000\n#define APPLY_PAPER\n\n[gl common][thing fsh]");
}

TEST_F(ShaderFilesTest, EachMissingFileHasItsOwnLine) {
    EXPECT_EQ(missingReport("shaders-gl-common/common.fsh"), "Could not find gl common fsh\n");
    EXPECT_EQ(missingReport("shaders-gl3/common.fsh"), "Could not find common fsh\n");
    EXPECT_EQ(missingReport("shaders-gl3/common.vsh"), "Could not find common vsh\n");
    EXPECT_EQ(missingReport("shaders-gl3/thing.fsh"), "Could not find shader: shaders-gl3/thing.fsh\n");
    EXPECT_EQ(missingReport("shaders-gl3/thing.vsh"), "Could not find shader: shaders-gl3/thing.vsh\n");
}

TEST(ShaderSourceTest, PackinShaderFilesEndWithALineEnd) {
    // The sources, not the build copy: the files as committed.
    const auto root = std::filesystem::path(HV_TEST_DATA_DIR).parent_path().parent_path() / "assets" / "packin";
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string name = entry.path().string();
        if (!entry.is_regular_file() || (name.find(".vsh") == std::string::npos && name.find(".fsh") == std::string::npos)) {
            continue;
        }
        auto [text, ok] = getStringAtPath(name);
        ASSERT_TRUE(ok) << name;
        ASSERT_FALSE(text.empty()) << name;
        EXPECT_EQ(text.back(), '\n') << name;
        ++files;
    }
    EXPECT_EQ(files, 11);
}

} // namespace
} // namespace hv::test
