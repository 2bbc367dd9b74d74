#include "core/PathProvider.h"
#include "core/Reader.h"
#include "render/PaperBaker.h"
#include "render/PaperTexture.h"
#include "support/CaptureStream.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>

#include <unistd.h>

namespace hv::test {
namespace {

const char* const paperText = "size 32\nbase-frequency 2 frequency-multiplier 3\n"
                              "amplitude-count 3 attenuation 0.5 intensity 0.3\n";

class PaperBakerTest : public testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(dir.file("story")); }

    // The cache file read back the way the host reads it.
    PaperTexture readCache() {
        PaperTexture texture;
        Blob blob = getBlobAtPath(paperCachePath(dir.file("blobs")));
        EXPECT_TRUE(blob) << "no cache file";
        if (!blob) return texture;
        BlobReader reader(blob);
        EXPECT_TRUE(texture.readFrom(reader));
        EXPECT_EQ(reader.remaining(), 0u) << "nothing after the record";
        return texture;
    }

    static PaperParams params() {
        return {.size = 32, .baseFrequency = 2, .frequencyMultiplier = 3, .amplitudeCount = 3, .attenuation = 0.5,
                .intensity = 0.3};
    }

    static void expectSameTexture(const PaperTexture& read, const PaperTexture& generated) {
        ASSERT_EQ(read.dimension, generated.dimension);
        ASSERT_EQ(read.texels.size(), generated.texels.size());
        EXPECT_EQ(std::memcmp(read.texels.data(), generated.texels.data(), read.texels.size() * sizeof(double)), 0)
            << "the cache holds the generated texels bit for bit";
    }

    TempDir dir;
};

TEST_F(PaperBakerTest, CacheFileHoldsTheTextureTheHostWouldGenerate) {
    writeFile(dir.file("story/paper.txt"), paperText);
    std::ostringstream errors;
    ASSERT_TRUE(bakePaperCache(dir.path(), errors)) << errors.str();
    EXPECT_EQ(errors.str(), "");
    expectSameTexture(readCache(), *generatePaperTexture(params()));

    // No temporary file is left beside it.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("blobs"))) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"paper"});
}

TEST_F(PaperBakerTest, RefusalsNameTheCauseAndKeepTheOldCache) {
    std::filesystem::create_directories(dir.file("blobs"));
    writeFile(dir.file("blobs/paper"), "old");
    struct Case {
        const char* what;
        const char* text; // nullptr: no paper.txt
        std::string line;
    };
    const std::vector<Case> cases = {
        {"missing file", nullptr, "halvane-bake: paper.txt: cannot read the file: No such file or directory\n"},
        {"missing intensity", "size 8 base-frequency 2 frequency-multiplier 2 attenuation 0.5",
         "halvane-bake: paper.txt: the paper parameters are not usable\n"},
        {"absurd size", "size 999999999 base-frequency 2 frequency-multiplier 2 attenuation 0.5 intensity 1",
         "halvane-bake: paper.txt: the paper parameters are not usable\n"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(dir.file("story/paper.txt"));
        if (c.text) writeFile(dir.file("story/paper.txt"), c.text);
        std::ostringstream errors;
        CaptureStream capture(std::cerr);
        EXPECT_FALSE(bakePaperCache(dir.path(), errors)) << c.what;
        EXPECT_EQ(errors.str(), c.line) << c.what;
        EXPECT_EQ(getStringAtPath(dir.file("blobs/paper")).first, "old") << c.what;
    }
}

TEST_F(PaperBakerTest, UnwritableBlobsDirectoryIsReported) {
    writeFile(dir.file("story/paper.txt"), paperText);
    writeFile(dir.file("blobs"), "a file where the directory should be");
    std::ostringstream errors;
    EXPECT_FALSE(bakePaperCache(dir.path(), errors));
    EXPECT_NE(errors.str().find("halvane-bake: " + dir.file("blobs") + ": cannot create the directory"),
              std::string::npos)
        << errors.str();

    std::filesystem::remove(dir.file("blobs"));
    std::filesystem::create_directories(dir.file("blobs/paper")); // the file's name is taken
    errors.str("");
    EXPECT_FALSE(bakePaperCache(dir.path(), errors));
    EXPECT_EQ(errors.str(), "halvane-bake: paper.txt: cannot write " + dir.file("blobs/paper") + ": Is a directory\n");
    std::filesystem::remove(dir.file("blobs/paper"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("blobs"))) << "no temporary file is left";
}

TEST_F(PaperBakerTest, ToolWritesThePaperBesideTheSvgCaches) {
    const std::string tool = std::string(HV_BINARY_DIR) + "/tools/halvane-bake";
    auto run = [&] {
        return runInChild([&] {
            std::string assets = dir.path();
            char* argv[] = {const_cast<char*>(tool.c_str()), assets.data(), nullptr};
            execv(tool.c_str(), argv);
            std::_Exit(127);
        });
    };
    auto missing = run();
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.out, "halvane-bake: 0 baked, 0 partly converted, 1 failed\n");
    EXPECT_EQ(missing.err, "halvane-bake: paper.txt: cannot read the file: No such file or directory\n");

    writeFile(dir.file("story/paper.txt"), paperText);
    auto good = run();
    EXPECT_EQ(good.exitStatus, 0) << good.err;
    EXPECT_EQ(good.out, "halvane-bake: 1 baked, 0 partly converted, 0 failed\n");
    expectSameTexture(readCache(), *generatePaperTexture(params()));
}

} // namespace
} // namespace hv::test
