#include "render/GifWriter.h"
#include "support/GifReading.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <set>

namespace hv {
namespace {

using Image = std::vector<uint8_t>;

Image solid(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b) {
    Image image(size_t(w) * h * 4);
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        image[i * 4] = r;
        image[i * 4 + 1] = g;
        image[i * 4 + 2] = b;
        image[i * 4 + 3] = 255;
    }
    return image;
}

void setPixel(Image& image, uint32_t w, uint32_t x, uint32_t y, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = &image[(size_t(y) * w + x) * 4];
    p[0] = r;
    p[1] = g;
    p[2] = b;
}

// Random pixels drawn from `colours` distinct colours (at most 256).
Image fromPalette(uint32_t w, uint32_t h, uint32_t colours, uint32_t seed) {
    std::mt19937 random{seed};
    std::vector<uint32_t> palette;
    std::set<uint32_t> used;
    while (palette.size() < colours) {
        uint32_t c = random() & 0xffffff;
        if (used.insert(c).second) palette.push_back(c);
    }
    Image image(size_t(w) * h * 4, 255);
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        uint32_t c = palette[random() % colours];
        image[i * 4] = uint8_t(c);
        image[i * 4 + 1] = uint8_t(c >> 8);
        image[i * 4 + 2] = uint8_t(c >> 16);
    }
    return image;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// RGB of the source against a composited frame: the largest channel difference.
int largestDifference(const Image& source, const std::vector<uint8_t>& composited) {
    int worst = 0;
    for (size_t i = 0; i < composited.size() / 3; ++i) {
        for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(int(source[i * 4 + size_t(k)]) - composited[i * 3 + size_t(k)]));
    }
    return worst;
}

// Reads image data the way a strict decoder does: every code must be one the decoder can
// know, the stream must reach its end code, and only padding may follow it.
struct StrictResult {
    bool ok = false;
    std::string error;
    std::vector<uint8_t> indices;
    bool widenedOnLastCode = false; // the code before the final clear filled the width
    int clears = 0;
};

StrictResult strictDecode(const std::string& file, size_t imageIndex) {
    StrictResult result;
    auto bytes = reinterpret_cast<const uint8_t*>(file.data());
    size_t pos = 13;
    if (file.size() < 13 || file.compare(0, 6, "GIF89a") != 0) {
        result.error = "no header";
        return result;
    }
    if (bytes[10] & 0x80) pos += 3u << ((bytes[10] & 7) + 1);
    size_t image = 0;
    while (pos < file.size()) {
        uint8_t introducer = bytes[pos++];
        if (introducer == 0x3b) break;
        if (introducer == 0x21) {
            ++pos;
            while (pos < file.size() && bytes[pos]) pos += bytes[pos] + 1u;
            ++pos;
            continue;
        }
        if (introducer != 0x2c) {
            result.error = "unknown block";
            return result;
        }
        uint32_t width = bytes[pos + 4] | bytes[pos + 5] << 8;
        uint32_t height = bytes[pos + 6] | bytes[pos + 7] << 8;
        uint8_t packed = bytes[pos + 8];
        pos += 9;
        if (packed & 0x80) pos += 3u << ((packed & 7) + 1);
        uint32_t minCodeSize = bytes[pos++];
        std::vector<uint8_t> data;
        const bool wanted = image++ == imageIndex;
        while (pos < file.size() && bytes[pos]) {
            if (wanted) data.insert(data.end(), bytes + pos + 1, bytes + pos + 1 + bytes[pos]);
            pos += bytes[pos] + 1u;
        }
        ++pos;
        if (!wanted) continue;

        uint64_t bit = 0;
        auto readCode = [&](uint32_t width_, uint32_t& code) {
            if (bit + width_ > data.size() * 8) return false;
            code = 0;
            for (uint32_t i = 0; i < width_; ++i, ++bit) code |= uint32_t((data[bit / 8] >> (bit % 8)) & 1) << i;
            return true;
        };
        const uint32_t clear = 1u << minCodeSize, end = clear + 1;
        uint32_t codeWidth = minCodeSize + 1, next = clear + 2;
        int32_t previous = -1;
        std::vector<int32_t> prefix(4096, -1);
        std::vector<uint8_t> suffix(4096, 0);
        for (uint32_t i = 0; i < clear; ++i) suffix[i] = uint8_t(i);
        std::vector<uint8_t> out; // one code's string, reused
        auto expand = [&](uint32_t code) {
            out.clear();
            for (int32_t c = int32_t(code); c >= 0; c = prefix[size_t(c)]) out.push_back(suffix[size_t(c)]);
            std::reverse(out.begin(), out.end());
        };
        bool widenedByLast = false;
        while (true) {
            uint32_t code;
            if (!readCode(codeWidth, code)) {
                result.error = "ran out of data before the end code";
                return result;
            }
            if (code == clear) {
                result.widenedOnLastCode = widenedByLast;
                ++result.clears;
                codeWidth = minCodeSize + 1;
                next = clear + 2;
                previous = -1;
                continue;
            }
            if (code == end) break;
            widenedByLast = false;
            if (previous < 0) {
                if (code >= clear) {
                    result.error = "bad first code " + std::to_string(code);
                    return result;
                }
                expand(code);
            } else {
                if (code < next && code != clear && code != end) {
                    expand(code);
                } else if (code == next) {
                    expand(uint32_t(previous));
                    out.push_back(out[0]);
                } else {
                    result.error = "bad code " + std::to_string(code) + " with next " + std::to_string(next);
                    return result;
                }
                if (next < 4096) {
                    prefix[next] = previous;
                    suffix[next] = out[0];
                    ++next;
                    if (next == (1u << codeWidth) && codeWidth < 12) {
                        ++codeWidth;
                        widenedByLast = true;
                    }
                }
            }
            result.indices.insert(result.indices.end(), out.begin(), out.end());
            previous = int32_t(code);
        }
        if (data.size() * 8 - bit >= 8) {
            result.error = "data after the end code";
            return result;
        }
        if (result.indices.size() != size_t(width) * height) {
            result.error = "wrong pixel count " + std::to_string(result.indices.size());
            return result;
        }
        result.ok = true;
        return result;
    }
    result.error = "no such image";
    return result;
}

struct GifFixture : ::testing::Test {
    test::TempDir dir;
    GifWriter writer;
    std::string path = dir.file("out.gif");
};

// Writes the frames and reads them back; every frame must also decode strictly to its end
// code with the same indices.
test::DecodedGif writeAndRead(const std::string& file, const std::vector<Image>& frames, uint32_t w, uint32_t h,
                              uint32_t delay, int depth = 8) {
    GifWriter writer;
    bool written = writer.begin(file, w, h, delay);
    for (const Image& f : frames) written = written && writer.writeFrame(f.data(), w, h, delay, depth);
    test::DecodedGif gif;
    gif.error = "not written";
    if (written && writer.end()) gif = test::readGif(file);
    const std::string bytes = readFile(file);
    for (size_t f = 0; gif.ok && f < gif.frames.size(); ++f) {
        StrictResult strict = strictDecode(bytes, f);
        EXPECT_TRUE(strict.ok) << "frame " << f << ": " << strict.error;
        EXPECT_EQ(strict.indices, gif.frames[f].indices) << "frame " << f;
    }
    if (gif.ok && gif.frames.size() != frames.size()) gif.ok = false, gif.error = "wrong frame count";
    return gif;
}

TEST_F(GifFixture, FileLayoutFramesDelaysAndLooping) {
    ASSERT_TRUE(writer.begin(path, 16, 8, 4));
    Image a = solid(16, 8, 200, 10, 10);
    Image b = a;
    setPixel(b, 16, 3, 2, 0, 0, 255);
    ASSERT_TRUE(writer.writeFrame(a.data(), 16, 8, 4));
    ASSERT_TRUE(writer.writeFrame(b.data(), 16, 8, 7));
    ASSERT_TRUE(writer.writeFrame(b.data(), 16, 8, 4));
    ASSERT_TRUE(writer.end());
    EXPECT_FALSE(writer.isOpen());

    std::string file = readFile(path);
    ASSERT_GT(file.size(), 40u);
    EXPECT_EQ(file.substr(0, 6), "GIF89a");
    EXPECT_EQ(uint8_t(file[10]), 0xf0);
    EXPECT_EQ(file.substr(13, 6), std::string(6, '\0')) << "a two-entry global table, both black";
    EXPECT_EQ(file.substr(19, 3), "\x21\xff\x0b");
    EXPECT_EQ(file.substr(22, 11), "NETSCAPE2.0");
    EXPECT_EQ(file.substr(38, 4), std::string("\x21\xf9\x04\x05", 4));
    EXPECT_EQ(uint8_t(file[38 + 8 + 9]), 0x87) << "local table of 256 entries";
    EXPECT_EQ(file.back(), '\x3b');

    test::DecodedGif gif = test::readGif(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.width, 16);
    EXPECT_EQ(gif.height, 8);
    EXPECT_TRUE(gif.loops);
    EXPECT_EQ(gif.loopCount, 0) << "for ever";
    ASSERT_EQ(gif.frames.size(), 3u);
    EXPECT_EQ(gif.frames[0].delay, 4);
    EXPECT_EQ(gif.frames[1].delay, 7);
    for (const auto& frame : gif.frames) {
        EXPECT_EQ(frame.transparent, 0);
        EXPECT_EQ(frame.disposal, 1);
        EXPECT_EQ(frame.palette.size(), 768u);
    }

    // The first frame has nothing to show through; later ones only where pixels changed.
    for (uint8_t index : gif.frames[0].indices) EXPECT_NE(index, 0);
    for (size_t i = 0; i < gif.frames[1].indices.size(); ++i) {
        EXPECT_EQ(gif.frames[1].indices[i] != 0, i == 2 * 16 + 3) << i;
    }
    for (uint8_t index : gif.frames[2].indices) EXPECT_EQ(index, 0) << "nothing changed";
    EXPECT_EQ(largestDifference(a, gif.frames[0].composited), 0);
    EXPECT_EQ(largestDifference(b, gif.frames[2].composited), 0);
}

TEST_F(GifFixture, NoLoopingWithoutADelay) {
    ASSERT_TRUE(writer.begin(path, 4, 4, 0));
    Image a = solid(4, 4, 1, 2, 3);
    ASSERT_TRUE(writer.writeFrame(a.data(), 4, 4, 0));
    ASSERT_TRUE(writer.end());
    test::DecodedGif gif = test::readGif(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_FALSE(gif.loops);
    EXPECT_EQ(readFile(path).substr(19, 2), std::string("\x21\xf9", 2));
}

TEST_F(GifFixture, FewColoursAreReproducedExactly) {
    // A large background with a few rare colours: a split by pixel count alone would blend the
    // rare ones into their neighbours.
    const uint32_t w = 120, h = 90;
    ASSERT_TRUE(writer.begin(path, w, h, 2));
    std::vector<Image> frames;
    Image page = solid(w, h, 240, 236, 220);
    setPixel(page, w, 5, 5, 10, 10, 10);
    setPixel(page, w, 6, 5, 200, 20, 20);
    setPixel(page, w, 100, 80, 20, 20, 200);
    frames.push_back(page);
    frames.push_back(fromPalette(w, h, 255, 1));
    Image changed = frames.back();
    for (uint32_t y = 10; y < 20; ++y) {
        for (uint32_t x = 10; x < 60; ++x) setPixel(changed, w, x, y, uint8_t(x / 10 * 40), uint8_t(y / 5 * 90), 7);
    }
    frames.push_back(changed);
    frames.push_back(fromPalette(w, h, 3, 2));
    for (const Image& f : frames) ASSERT_TRUE(writer.writeFrame(f.data(), w, h, 2));
    ASSERT_TRUE(writer.end());

    test::DecodedGif gif = test::readGif(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_EQ(gif.frames.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(largestDifference(frames[i], gif.frames[i].composited), 0) << "frame " << i;
    }
    // Only the changed block is drawn in the third frame.
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            bool inside = x >= 10 && x < 60 && y >= 10 && y < 20;
            if (!inside) {
                ASSERT_EQ(gif.frames[2].indices[y * w + x], 0) << x << ", " << y;
            }
        }
    }

    // A tenth of a large frame changed to 255 other colours, scattered.
    std::mt19937 random{4};
    Image bigPage = fromPalette(400, 300, 200, 5), palette = fromPalette(400, 300, 255, 3), scattered = bigPage;
    for (size_t i = 0; i < 400 * 300; i += 1 + random() % 19) std::copy_n(&palette[i * 4], 4, &scattered[i * 4]);
    test::DecodedGif big = writeAndRead(path, {bigPage, scattered}, 400, 300, 2);
    ASSERT_TRUE(big.ok) << big.error;
    EXPECT_EQ(largestDifference(scattered, big.frames[1].composited), 0);
}

TEST_F(GifFixture, ManyColoursComeClose) {
    const uint32_t w = 64, h = 64;
    ASSERT_TRUE(writer.begin(path, w, h, 2));
    Image gradient(size_t(w) * h * 4, 255);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) setPixel(gradient, w, x, y, uint8_t(x * 4), uint8_t(y * 4), uint8_t((x + y) * 2));
    }
    std::mt19937 random{3};
    Image noise(size_t(w) * h * 4, 255);
    for (uint8_t& v : noise) v = uint8_t(random());
    ASSERT_TRUE(writer.writeFrame(gradient.data(), w, h, 2));
    ASSERT_TRUE(writer.writeFrame(noise.data(), w, h, 2));
    ASSERT_TRUE(writer.writeFrame(noise.data(), w, h, 2));
    ASSERT_TRUE(writer.writeFrame(gradient.data(), w, h, 2, 8, true));
    ASSERT_TRUE(writer.end());

    test::DecodedGif gif = test::readGif(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_EQ(gif.frames.size(), 4u);
    EXPECT_LE(largestDifference(gradient, gif.frames[0].composited), 24);
    EXPECT_LE(largestDifference(noise, gif.frames[1].composited), 96);
    // Given again, the noise is redrawn wherever its table colour was not its own colour, and
    // the result is at least as close.
    EXPECT_LE(largestDifference(noise, gif.frames[2].composited), largestDifference(noise, gif.frames[1].composited));
    size_t redrawn = 0;
    for (uint8_t index : gif.frames[2].indices) redrawn += index != 0;
    EXPECT_GT(redrawn, w * h / 2);
    EXPECT_LE(largestDifference(gradient, gif.frames[3].composited), 48) << "dithered";
}

TEST_F(GifFixture, TableEntriesThatTheSplitDoesNotReachAreBlack) {
    ASSERT_TRUE(writer.begin(path, 8, 8, 1));
    Image one = solid(8, 8, 90, 120, 150);
    ASSERT_TRUE(writer.writeFrame(one.data(), 8, 8, 1));
    Image other = one;
    setPixel(other, 8, 1, 1, 1, 2, 3);
    ASSERT_TRUE(writer.writeFrame(other.data(), 8, 8, 1));
    ASSERT_TRUE(writer.end());
    test::DecodedGif gif = test::readGif(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    for (const auto& frame : gif.frames) {
        int coloured = 0;
        for (size_t e = 0; e < 256; ++e) {
            if (frame.palette[e * 3] || frame.palette[e * 3 + 1] || frame.palette[e * 3 + 2]) ++coloured;
        }
        EXPECT_EQ(coloured, 1);
    }
    EXPECT_EQ(largestDifference(other, gif.frames[1].composited), 0);
}

TEST_F(GifFixture, SmallerBitDepth) {
    ASSERT_TRUE(writer.begin(path, 20, 10, 3));
    Image image = fromPalette(20, 10, 15, 9);
    ASSERT_TRUE(writer.writeFrame(image.data(), 20, 10, 3, 4));
    ASSERT_TRUE(writer.end());
    std::string file = readFile(path);
    EXPECT_EQ(uint8_t(file[38 + 8 + 9]), 0x83);
    test::DecodedGif gif = test::readGif(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.frames[0].palette.size(), 48u);
    EXPECT_EQ(largestDifference(image, gif.frames[0].composited), 0);
    EXPECT_TRUE(strictDecode(file, 0).ok) << strictDecode(file, 0).error;
}

TEST_F(GifFixture, StrictDecoderReadsEveryStreamToItsEndCode) {
    // Streams of every length up to a few table growths: the number of codes assigned grows
    // by at most one per pixel, so some lengths end right as the table fills a code width.
    int endsOnWidening = 0;
    Image source = fromPalette(700, 1, 200, 5);
    for (uint32_t length = 1; length <= 700; ++length) {
        GifWriter w;
        std::string file = dir.file("strict.gif");
        ASSERT_TRUE(w.begin(file, length, 1, 0));
        ASSERT_TRUE(w.writeFrame(source.data(), length, 1, 0));
        ASSERT_TRUE(w.end());
        std::string bytes = readFile(file);
        StrictResult result = strictDecode(bytes, 0);
        ASSERT_TRUE(result.ok) << "length " << length << ": " << result.error;
        endsOnWidening += result.widenedOnLastCode;
    }
    EXPECT_GT(endsOnWidening, 0) << "no length reached the case";

    // Long enough for the table to fill and start over.
    GifWriter w;
    std::string file = dir.file("long.gif");
    Image big = fromPalette(200, 100, 250, 6);
    ASSERT_TRUE(w.begin(file, 200, 100, 0));
    ASSERT_TRUE(w.writeFrame(big.data(), 200, 100, 0));
    ASSERT_TRUE(w.end());
    StrictResult result = strictDecode(readFile(file), 0);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_GT(result.clears, 2) << "the dictionary started over";
    test::DecodedGif gif = test::readGif(file);
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(result.indices, gif.frames[0].indices);
    EXPECT_EQ(largestDifference(big, gif.frames[0].composited), 0);

    // Mostly unchanged frames: long runs of the transparent index, through several fillings
    // of the dictionary, then one that changes everywhere.
    for (uint32_t every : {97u, 5u, 1000000u}) {
        SCOPED_TRACE(every);
        Image base = fromPalette(800, 240, 250, 8), changed = base;
        std::mt19937 random{every};
        for (size_t i = 0; i < 800 * 240; i += every + random() % 3) {
            setPixel(changed, 800, uint32_t(i % 800), uint32_t(i / 800), uint8_t(random()), 3, 9);
        }
        test::DecodedGif runs = writeAndRead(file, {base, changed, changed, base}, 800, 240, 0);
        ASSERT_TRUE(runs.ok) << runs.error;
        for (size_t f : {1, 3}) {
            EXPECT_TRUE(every > 100 || strictDecode(readFile(file), f).clears >= 2) << "frame " << f << " started over";
        }
        EXPECT_EQ(largestDifference(changed, runs.frames[2].composited), 0);
        EXPECT_EQ(largestDifference(base, runs.frames[3].composited), 0);
    }

    // A busy start and then nothing changed: with the busy parts of growing length, the
    // dictionary fills up at every point of the transparent run that follows.
    Image base = solid(1000, 12, 10, 20, 30), busy = fromPalette(1000, 12, 250, 9);
    std::vector<Image> written;
    for (uint32_t length = 3000; length < 4400; length += 20) {
        written.push_back(base);
        std::copy_n(busy.begin(), size_t(length) * 4, written.back().begin());
        written.push_back(base);
    }
    test::DecodedGif decoded = writeAndRead(file, written, 1000, 12, 0);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    for (size_t f = 0; f < written.size(); ++f) {
        ASSERT_EQ(largestDifference(written[f], decoded.frames[f].composited), 0) << "frame " << f;
    }
}

// The L1 distance from a source pixel to the colour it was drawn in must be the least over
// the frame's table (entry 0 is the transparent one). Frames of noise, of crowded colours and
// of a few thousand colours take the writer's different ways of finding entries.
TEST_F(GifFixture, EveryChangedPixelTakesANearestTableColour) {
    auto noise = [](Image& image, std::mt19937& random) {
        for (uint8_t& v : image) v = uint8_t(random());
    };
    // Most pixels within a small box of colour space, a few anywhere.
    auto crowded = [](Image& image, std::mt19937& random) {
        for (size_t i = 0; i < image.size(); i += 4) {
            bool far = random() % 50 == 0;
            for (size_t k = 0; k < 3; ++k) image[i + k] = uint8_t(far ? random() : 180 + random() % 30);
        }
    };
    // Grained paper: 2,000 colours, each on a few dozen pixels.
    auto grained = [](Image& image, std::mt19937& random) {
        for (size_t i = 0; i < image.size() / 4; ++i) {
            uint32_t v = random() % 2000;
            uint8_t* p = &image[i * 4];
            p[0] = uint8_t(200 + v % 20), p[1] = uint8_t(190 + v / 20 % 10), p[2] = uint8_t(40 + v / 200 * 9);
        }
    };
    const struct {
        const char* name;
        uint32_t w, h;
        int bitDepth;
        std::function<void(Image&, std::mt19937&)> fill;
    } cases[] = {
        {"small noise", 30, 30, 8, noise}, {"noise", 200, 100, 8, noise},     {"large noise", 420, 320, 8, noise},
        {"noise at depth 5", 100, 60, 5, noise}, {"crowded", 300, 200, 8, crowded}, {"large crowded", 420, 320, 8, crowded},
        {"grained", 200, 150, 8, grained},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 random{c.w * 31 + c.h};
        std::vector<Image> frames(2, Image(size_t(c.w) * c.h * 4, 255));
        for (Image& f : frames) c.fill(f, random);
        test::DecodedGif gif = writeAndRead(path, frames, c.w, c.h, 2, c.bitDepth);
        ASSERT_TRUE(gif.ok) << gif.error;
        for (size_t f = 0; f < 2; ++f) {
            const test::DecodedFrame& frame = gif.frames[f];
            // The L1 distance to the colour drawn must be the least over the table (entry 0 is
            // the transparent one); a sample of the large frames keeps the check quick.
            auto distance = [&](size_t i, const uint8_t* colour) {
                const uint8_t* p = &frames[f][i * 4];
                return std::abs(p[0] - colour[0]) + std::abs(p[1] - colour[1]) + std::abs(p[2] - colour[2]);
            };
            int wrong = 0;
            for (size_t i = 0; i < frame.indices.size(); i += std::max<size_t>(1, frame.indices.size() / 20000) | 1) {
                if (frame.indices[i] == 0) {
                    ASSERT_EQ(distance(i, &frame.composited[i * 3]), 0) << "transparent where the colour changed";
                    continue;
                }
                int least = 1 << 20;
                for (size_t e = 1; e < frame.palette.size() / 3; ++e) least = std::min(least, distance(i, &frame.palette[e * 3]));
                wrong += distance(i, &frame.palette[size_t(frame.indices[i]) * 3]) != least;
            }
            EXPECT_EQ(wrong, 0) << "frame " << f;
        }
    }
}

TEST_F(GifFixture, DelaysBeyondSixteenBitsAreClamped) {
    // Given, written.
    const std::pair<uint32_t, int> delays[] = {{0, 0},         {1, 1},         {65535, 65535},
                                               {65536, 65535}, {70000, 65535}, {0xffffffffu, 65535}};
    ASSERT_TRUE(writer.begin(path, 4, 4, 5));
    for (size_t i = 0; i < std::size(delays); ++i) {
        ASSERT_TRUE(writer.writeFrame(solid(4, 4, uint8_t(i * 40), 0, 0).data(), 4, 4, delays[i].first));
    }
    ASSERT_TRUE(writer.end());
    test::DecodedGif gif = test::readGif(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_EQ(gif.frames.size(), std::size(delays));
    for (size_t i = 0; i < std::size(delays); ++i) EXPECT_EQ(gif.frames[i].delay, delays[i].second) << delays[i].first;
}

TEST_F(GifFixture, RefusesWhatItCannotWrite) {
    Image image = solid(4, 4, 1, 1, 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writer.writeFrame(image.data(), 4, 4, 1)) << "not begun";
    EXPECT_FALSE(writer.end());
    EXPECT_FALSE(writer.begin(path, 0, 4, 1));
    EXPECT_FALSE(writer.begin(path, 4, 0, 1));
    EXPECT_FALSE(writer.begin(path, 70000, 4, 1));
    EXPECT_FALSE(writer.begin(dir.file("no/such/dir.gif"), 4, 4, 1));
    EXPECT_FALSE(writer.isOpen());

    ASSERT_TRUE(writer.begin(path, 4, 4, 1));
    Image larger = solid(5, 4, 1, 1, 1);
    EXPECT_FALSE(writer.writeFrame(larger.data(), 5, 4, 1)) << "another size than begun with";
    EXPECT_FALSE(writer.writeFrame(image.data(), 4, 4, 1, 9));
    EXPECT_FALSE(writer.writeFrame(image.data(), 4, 4, 1, 1));
    EXPECT_TRUE(writer.writeFrame(image.data(), 4, 4, 1));
    EXPECT_TRUE(writer.end());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("GifWriter::begin: unusable size 0x4"), std::string::npos) << err;
    EXPECT_NE(err.find("GifWriter::writeFrame: frame of 5x4 in a recording of 4x4"), std::string::npos) << err;

    test::DecodedGif gif = test::readGif(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.frames.size(), 1u);
}

TEST_F(GifFixture, WriteFailureMakesEndFail) {
    std::ifstream probe("/dev/full");
    if (!probe) GTEST_SKIP() << "no /dev/full";
    Image image = fromPalette(64, 64, 200, 4);
    ASSERT_TRUE(writer.begin("/dev/full", 64, 64, 1));
    testing::internal::CaptureStderr();
    writer.writeFrame(image.data(), 64, 64, 1);
    EXPECT_FALSE(writer.end());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "GifWriter: cannot write the recording /dev/full: No space left on device; the recording is abandoned\n");
    EXPECT_FALSE(writer.isOpen());
}

} // namespace
} // namespace hv
