#include "core/PathProvider.h"
#include "core/Reader.h"
#include "render/PaperTexture.h"
#include "render/PerlinNoise.h"
#include "support/CaptureStream.h"
#include "support/ChildProcess.h"
#include "support/Records.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iostream>
#include <limits>

namespace hv::test {
namespace {

TEST(PerlinNoiseTest, RandomnessStartsTheSequenceOfTheGeneratorSeededWithZero) {
    Randomness randomness;
    randomness.prepare(2, 1);
    ASSERT_EQ(randomness.values.size(), 2u);
    // Low 16 bits of the first two outputs, 2357136044 and 2546248239.
    EXPECT_EQ(randomness.get(0, 0), double(2357136044u & 0xffff) / 65535.0);
    EXPECT_EQ(randomness.get(1, 0), double(2546248239u & 0xffff) / 65535.0);
    EXPECT_DOUBLE_EQ(randomness.get(0, 0), 0.04168764782177462);
}

TEST(PerlinNoiseTest, SingleCellLayerRepeatsItsOneGradient) {
    Perlin2D layer(1, 1);
    ASSERT_EQ(layer.gradients.size(), 4u);
    for (const Vec2& g : layer.gradients) {
        EXPECT_EQ(g, layer.gradients[0]);
        EXPECT_NEAR(g.length(), 1.0, 1e-12);
    }
}

TEST(PerlinNoiseTest, NoiseIsZeroOnTheLatticeAndTheLastColumnAndRowRepeatTheFirst) {
    Perlin2D layer(4, 3);
    ASSERT_EQ(layer.width, 5);
    ASSERT_EQ(layer.height, 4);
    for (int x = -5; x < 9; ++x) {
        for (int y = -4; y < 7; ++y) EXPECT_EQ(layer.value(x, y), 0.0) << x << ", " << y;
    }
    for (int y = 0; y < 4; ++y) EXPECT_EQ(layer.gradients[size_t(4 + 5 * y)], layer.gradients[size_t(5 * y)]) << y;
    for (int x = 0; x < 5; ++x) EXPECT_EQ(layer.gradients[size_t(x + 5 * 3)], layer.gradients[size_t(x)]) << x;
    // So the noise runs on across the texture's seam: the last cell ends where the first begins.
    EXPECT_NEAR(layer.value(3.999999, 0.5), layer.value(4.0, 0.5), 1e-5);
    EXPECT_NEAR(layer.value(4.0, 0.5), layer.value(0.0, 0.5), 1e-12);
    EXPECT_NE(layer.value(0.5, 0.5), 0.0);
}

TEST(PaperTextureTest, GeneratedTextureMatchesGoldenValues) {
    PaperParams params{.size = 8, .baseFrequency = 2, .frequencyMultiplier = 2, .amplitudeCount = 2, .attenuation = 0.5,
                       .intensity = 0.3};
    auto texture = generatePaperTexture(params);
    ASSERT_EQ(texture->dimension, 8u);
    ASSERT_EQ(texture->texels.size(), 64u);
    // Worked out independently from the noise, light and stretch definitions.
    EXPECT_NEAR(texture->texels[0], 0.8051239894671336, 1e-12);
    EXPECT_NEAR(texture->texels[1], 0.5211393887991661, 1e-12);
    EXPECT_NEAR(texture->texels[9], 0.5290089644424544, 1e-12);
    EXPECT_NEAR(texture->texels[27], 0.4684355611644059, 1e-12);
    EXPECT_NEAR(texture->texels[63], 0.2980646110400729, 1e-12);
    auto [low, high] = std::minmax_element(texture->texels.begin(), texture->texels.end());
    EXPECT_EQ(*low, 0.0);
    EXPECT_EQ(*high, 1.0);
    // Deterministic: the same parameters give the same bits.
    EXPECT_EQ(generatePaperTexture(params)->texels, texture->texels);
}

TEST(PaperTextureTest, FlatHeightFieldGivesWhitePaper) {
    PaperParams params{.size = 4, .baseFrequency = 1, .frequencyMultiplier = 1, .amplitudeCount = 0, .attenuation = 0};
    auto texture = generatePaperTexture(params);
    EXPECT_EQ(texture->texels, std::vector<double>(16, 1.0));
}

TEST(PaperTextureTest, NonSquareFillEndsTheProcess) {
    auto result = runInChild([] {
        PaperTexture texture;
        StackedPerlin2D provider({}, 4, 4);
        fillLit(texture, provider, 4, 5, Light{0.1, 0.4, 0.4, -1});
    });
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "fillLit: must be square\n") << "the line as it stands, with no prefix";
}

Blob blobOf(const std::string& bytes) { return std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end()); }

std::string record(uint64_t dimension, const std::vector<double>& texels) {
    std::string bytes(reinterpret_cast<const char*>(&dimension), 8);
    bytes.append(reinterpret_cast<const char*>(texels.data()), texels.size() * 8);
    return bytes;
}

TEST(PaperTextureTest, CacheFileHoldsTheGeneratedTextureBitForBit) {
    PaperParams params{.size = 16, .baseFrequency = 2, .frequencyMultiplier = 3, .amplitudeCount = 2,
                       .attenuation = 0.6};
    auto generated = generatePaperTexture(params);

    TempDir dir;
    std::string path = paperCachePath(dir.path());
    EXPECT_EQ(path, dir.path() + "/paper");
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(generated->writeTo(file));
    std::fclose(file);

    Blob blob = getBlobAtPath(path);
    ASSERT_TRUE(blob);
    EXPECT_EQ(blob->size(), 8u + 16 * 16 * 8);
    EXPECT_EQ(std::string(blob->begin(), blob->end()), record(16, generated->texels));
    PaperTexture read;
    BlobReader reader(blob);
    ASSERT_TRUE(read.readFrom(reader));
    EXPECT_EQ(read.dimension, 16u);
    EXPECT_EQ(std::memcmp(read.texels.data(), generated->texels.data(), 16 * 16 * 8), 0);
}

TEST(PaperTextureTest, ReaderTakesOneRecordAndIgnoresWhatFollows) {
    PaperTexture texture;
    BlobReader reader(blobOf(record(1, {0.25}) + "tail"));
    ASSERT_TRUE(texture.readFrom(reader));
    EXPECT_EQ(texture.texels, std::vector<double>{0.25});
    EXPECT_EQ(reader.remaining(), 4u);
}

TEST(PaperTextureTest, UnusableCacheFilesAreRefusedAndLeaveNoTexture) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* line;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases = {
        {"short dimension", std::string(7, '\0'), "PaperTexture::readFrom: error reading dimension\n"},
        {"dimension 2, no data", record(2, {}), "PaperTexture::readFrom: error reading data\n"},
        {"one texel short", record(2, {0, 0, 0}), "PaperTexture::readFrom: error reading data\n"},
        // 2^32 squared wraps to 0 bytes in 64 bits: it must not pass as an empty texture.
        {"dimension squared overflows", record(uint64_t(1) << 32, {0, 0}), "PaperTexture::readFrom: error reading data\n"},
        {"oversized dimension", record(~uint64_t(0), {0}), "PaperTexture::readFrom: error reading data\n"},
        {"dimension 0", record(0, {}), "PaperTexture::readFrom: dimension is 0\n"},
        {"not a number", record(2, {0, 0.5, nan, 1}), "PaperTexture::readFrom: texel 2 is not a finite number\n"},
    };
    for (const Case& c : cases) {
        PaperTexture texture;
        texture.dimension = 1;
        texture.texels = {0.5};
        BlobReader reader(blobOf(c.bytes));
        CaptureStream capture(std::cerr);
        EXPECT_FALSE(texture.readFrom(reader)) << c.what;
        EXPECT_EQ(capture.text(), c.line) << c.what;
        EXPECT_EQ(texture.dimension, 0u) << c.what;
        EXPECT_TRUE(texture.texels.empty()) << c.what;
    }
}

TEST(PaperTextureTest, WriterRefusesATextureThatDoesNotHoldItsDimension) {
    PaperTexture texture;
    texture.dimension = 3;
    texture.texels = {0, 1};
    CaptureStream capture(std::cerr);
    bool ok = true;
    EXPECT_EQ(writeToMemory([&](FILE* f) { return texture.writeTo(f); }, &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_NE(capture.text().find("PaperTexture::writeTo"), std::string::npos);
}

class PaperParamsTest : public testing::Test {
protected:
    // Reads the text as "paper.txt"; gives the result and what was reported.
    std::pair<bool, std::string> read(const std::string& text) {
        writeFile(dir.file("paper.txt"), text);
        CaptureStream capture(std::cerr);
        bool ok = params.readFrom(dir.file("paper.txt"));
        return {ok, capture.text()};
    }

    TempDir dir;
    PaperParams params;
};

TEST_F(PaperParamsTest, ReadsEveryKeyAndBuildsTheOctaves) {
    auto [ok, report] = read("size 256\nbase-frequency 4 frequency-multiplier 2\n"
                             "amplitude-count 3 attenuation 0.5 intensity 0.3\n");
    ASSERT_TRUE(ok) << report;
    EXPECT_EQ(report, "");
    EXPECT_EQ(params.size, 256u);
    EXPECT_EQ(params.intensity, 0.3);
    using Octave = StackedPerlin2D::Octave;
    EXPECT_EQ(params.octaves(), (std::vector<Octave>{{4, 1.0}, {8, 0.5}, {16, 0.25}}));
}

TEST_F(PaperParamsTest, UnknownWordsAreSkippedAndTheLastValueCounts) {
    auto [ok, report] = read("note size 64 size 128 base-frequency 2 frequency-multiplier 2 attenuation 0 intensity 1");
    ASSERT_TRUE(ok) << report;
    EXPECT_EQ(params.size, 128u);
    EXPECT_EQ(params.amplitudeCount, 0u);
    EXPECT_TRUE(params.octaves().empty());
}

TEST_F(PaperParamsTest, MissingParametersAreNamedFirstOneOnly) {
    EXPECT_EQ(read("base-frequency 4 frequency-multiplier 2 attenuation 0.5"),
              std::make_pair(false, std::string("Missing dimension parameter\n")));
    EXPECT_EQ(read("size 16 frequency-multiplier 2 attenuation 0.5 intensity 1"),
              std::make_pair(false, std::string("Missing base freq parameter\n")));
    EXPECT_EQ(read("size 16 base-frequency 4 frequency-multiplier 0 attenuation 0.5 intensity 1"),
              std::make_pair(false, std::string("Missing frequency-multiplier parameter\n")));
    EXPECT_EQ(read("size 16 base-frequency 4 frequency-multiplier 2 intensity 1"),
              std::make_pair(false, std::string("Missing ampl decrease parameter\n")));
    EXPECT_EQ(read("size 16 base-frequency 4 frequency-multiplier 2 attenuation 0.5"),
              std::make_pair(false, std::string("Missing intensity parameter\n")));
}

TEST_F(PaperParamsTest, ValuesOutOfBoundsFailWithALine) {
    const std::string rest = " attenuation 0.5 intensity 0.3";
    struct Case {
        std::string text;
        const char* line;
    };
    const std::vector<Case> cases = {
        {"size -5 base-frequency 4 frequency-multiplier 2" + rest, "PaperParams::readFrom: size must not be negative, got -5\n"},
        {"size 16 base-frequency 4 frequency-multiplier 2 attenuation -0.5 intensity 1",
         "PaperParams::readFrom: attenuation must not be negative, got -0.5\n"},
        {"size 16 base-frequency 4 frequency-multiplier 2 attenuation nan intensity 1",
         "PaperParams::readFrom: attenuation needs a finite number, got 'nan'\n"},
        {"size 16 base-frequency 4 frequency-multiplier 2 attenuation 1 intensity inf",
         "PaperParams::readFrom: intensity needs a finite number, got 'inf'\n"},
        {"size 99999999999999999999999 base-frequency 4 frequency-multiplier 2" + rest,
         "PaperParams::readFrom: size needs a finite number, got '99999999999999999999999'\n"},
        {"size 16x base-frequency 4 frequency-multiplier 2" + rest, "PaperParams::readFrom: size needs a finite number, got '16x'\n"},
        {"size 1000000 base-frequency 4 frequency-multiplier 2" + rest, "PaperParams::readFrom: size 1000000 is larger than 8192\n"},
        {"size 64 base-frequency 4 frequency-multiplier 2 amplitude-count 100" + rest,
         "PaperParams::readFrom: amplitude-count 100 is larger than 64\n"},
        {"size 64 base-frequency 8193 frequency-multiplier 2 amplitude-count 1" + rest,
         "PaperParams::readFrom: octave 0 has more than 8192 cells\n"},
        // The second octave would ask for 4 * 2^62 cells, which wraps around to 0 in 64 bits.
        {"size 64 base-frequency 4 frequency-multiplier 4611686018427387904 amplitude-count 3" + rest,
         "PaperParams::readFrom: octave 1 has more than 8192 cells\n"},
        {"size 64 base-frequency 1 frequency-multiplier 1 amplitude-count 64 attenuation 1e300 intensity 1",
         "PaperParams::readFrom: octave 2 amplitude overflows; attenuation 1e+300 is too large\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(read(c.text), std::make_pair(false, std::string(c.line))) << c.text;
    // At the bounds all is well.
    EXPECT_TRUE(read("size 8192 base-frequency 8192 frequency-multiplier 1 amplitude-count 2" + rest).first);
    // Octaves finer than the texels still add grain.
    EXPECT_TRUE(read("size 128 base-frequency 16 frequency-multiplier 2 amplitude-count 5" + rest).first);
}

TEST_F(PaperParamsTest, MissingFileEndsTheProcess) {
    std::string path = dir.file("absent.txt");
    auto result = runInChild([&] { params.readFrom(path); });
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "PaperParams::readFrom: no file at path '" + path + "'\n") << "the line as it stands";
}

} // namespace
} // namespace hv::test
