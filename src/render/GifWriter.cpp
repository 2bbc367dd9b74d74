#include "render/GifWriter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

namespace hv {

namespace {

// Entry 0 is the transparent colour; the k-d tree over the other entries is a heap whose
// inner nodes 1 .. 2^bitDepth - 1 hold a split channel and value, and whose node
// 2^bitDepth + k is the leaf of entry k.
struct GifColourTable {
    int bitDepth = 8;
    uint8_t r[256] = {};
    uint8_t g[256] = {};
    uint8_t b[256] = {};
    uint8_t treeSplitChannel[256] = {};
    uint8_t treeSplit[256] = {};
};

struct GifBitWriter {
    uint8_t bitIndex = 0;
    uint8_t byte = 0;
    uint32_t chunkIndex = 0;
    uint8_t chunk[256] = {};

    void writeBit(uint32_t bit) {
        byte = uint8_t(byte | ((bit & 1u) << bitIndex));
        if (++bitIndex > 7) {
            chunk[chunkIndex++] = byte;
            bitIndex = 0;
            byte = 0;
        }
    }

    void writeChunk(FILE* f) {
        std::fputc(int(chunkIndex), f);
        std::fwrite(chunk, 1, chunkIndex, f);
        bitIndex = 0;
        byte = 0;
        chunkIndex = 0;
    }

    void writeCode(FILE* f, uint32_t code, uint32_t length) {
        for (uint32_t i = 0; i < length; ++i) {
            writeBit(code);
            code >>= 1;
            if (chunkIndex == 255) writeChunk(f);
        }
    }
};

inline void swapPixels(uint8_t* pixels, uint64_t a, uint64_t b) {
    uint32_t pa, pb;
    std::memcpy(&pa, pixels + 4 * a, 4);
    std::memcpy(&pb, pixels + 4 * b, 4);
    std::memcpy(pixels + 4 * a, &pb, 4);
    std::memcpy(pixels + 4 * b, &pa, 4);
}

// Partitions [left, right) around the pivot pixel's value in the channel; equal values go,
// every second one, to the lower side, so that runs of equal values spread over both.
uint64_t partitionPixels(uint8_t* pixels, uint64_t left, uint64_t right, int channel, uint64_t pivot) {
    uint8_t pivotValue = pixels[pivot * 4 + uint64_t(channel)];
    swapPixels(pixels, pivot, right - 1);
    uint64_t store = left;
    bool split = false;
    for (uint64_t i = left; i + 1 < right; ++i) {
        uint8_t value = pixels[i * 4 + uint64_t(channel)];
        if (value < pivotValue) {
            swapPixels(pixels, i, store);
            ++store;
        } else if (value == pivotValue) {
            if (split) {
                swapPixels(pixels, i, store);
                ++store;
            }
            split = !split;
        }
    }
    swapPixels(pixels, store, right - 1);
    return store;
}

// Reorders so that position `wanted` holds what a sort by the channel would put there.
void medianPartition(uint8_t* pixels, uint64_t left, uint64_t right, int channel, uint64_t wanted) {
    while (right - left > 1) {
        uint64_t p = partitionPixels(pixels, left, right, channel, left + (right - left) / 2);
        if (p > wanted) {
            right = p;
        } else if (p < wanted) {
            left = p + 1;
        } else {
            return;
        }
    }
}

void splitColourRange(uint8_t* pixels, uint64_t count, int first, int last, int split, int step, int node,
                      bool dither, GifColourTable& table) {
    if (last <= first || count == 0) return;

    if (last == first + 1) {
        int entries = 1 << table.bitDepth;
        if (dither && first == 1) {
            // The darkest colour, so that dithering can reach it.
            uint8_t r = 255, g = 255, b = 255;
            for (uint64_t i = 0; i < count; ++i) {
                r = std::min(r, pixels[i * 4]);
                g = std::min(g, pixels[i * 4 + 1]);
                b = std::min(b, pixels[i * 4 + 2]);
            }
            table.r[first] = r;
            table.g[first] = g;
            table.b[first] = b;
        } else if (dither && first == entries - 1) {
            uint8_t r = 0, g = 0, b = 0;
            for (uint64_t i = 0; i < count; ++i) {
                r = std::max(r, pixels[i * 4]);
                g = std::max(g, pixels[i * 4 + 1]);
                b = std::max(b, pixels[i * 4 + 2]);
            }
            table.r[first] = r;
            table.g[first] = g;
            table.b[first] = b;
        } else {
            uint64_t r = 0, g = 0, b = 0;
            for (uint64_t i = 0; i < count; ++i) {
                r += pixels[i * 4];
                g += pixels[i * 4 + 1];
                b += pixels[i * 4 + 2];
            }
            r += count / 2;
            g += count / 2;
            b += count / 2;
            table.r[first] = uint8_t(r / count);
            table.g[first] = uint8_t(g / count);
            table.b[first] = uint8_t(b / count);
        }
        return;
    }

    uint8_t minR = 255, maxR = 0, minG = 255, maxG = 0, minB = 255, maxB = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint8_t r = pixels[i * 4], g = pixels[i * 4 + 1], b = pixels[i * 4 + 2];
        minR = std::min(minR, r), maxR = std::max(maxR, r);
        minG = std::min(minG, g), maxG = std::max(maxG, g);
        minB = std::min(minB, b), maxB = std::max(maxB, b);
    }
    int rangeR = maxR - minR, rangeG = maxG - minG, rangeB = maxB - minB;
    int channel = 1;
    if (rangeB > rangeG) channel = 2;
    if (rangeR > rangeB && rangeR > rangeG) channel = 0;

    uint64_t leftCount = count * uint64_t(split - first) / uint64_t(last - first);
    medianPartition(pixels, 0, count, channel, leftCount);
    table.treeSplitChannel[node] = uint8_t(channel);
    // With every pixel on the left there is no pixel at leftCount; the split value then
    // stays as it was.
    if (leftCount < count) table.treeSplit[node] = pixels[leftCount * 4 + uint64_t(channel)];

    splitColourRange(pixels, leftCount, first, split, split - step, step / 2, node * 2, dither, table);
    splitColourRange(pixels + leftCount * 4, count - leftCount, split, last, split + step, step / 2, node * 2 + 1,
                     dither, table);
}

// Packs the pixels whose colour differs from the previous frame's to the front.
uint64_t keepChangedPixels(const uint8_t* previous, uint8_t* pixels, uint64_t count) {
    uint64_t kept = 0;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* p = pixels + i * 4;
        const uint8_t* q = previous + i * 4;
        if (p[0] != q[0] || p[1] != q[1] || p[2] != q[2]) {
            std::memcpy(pixels + kept * 4, p, 4);
            ++kept;
        }
    }
    return kept;
}

// When the pixels hold no more distinct colours than the table has entries, packs each
// colour once to the front and gives their number; otherwise gives 0 and leaves the order
// alone. Splitting the distinct colours gives every one of them an entry of its own, where a
// split by pixel counts would blend a rare colour into a frequent neighbour.
uint64_t packDistinctColours(uint8_t* pixels, uint64_t count, uint64_t limit) {
    constexpr uint64_t slots = 1024; // over twice the largest limit
    uint32_t seen[slots] = {};       // colour + 1; 0 is empty
    std::vector<uint32_t> distinct;
    distinct.reserve(limit);
    uint32_t lastColour = 0xFFFFFFFFu;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* p = pixels + i * 4;
        uint32_t colour = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        if (colour == lastColour) continue;
        lastColour = colour;
        uint64_t h = (uint64_t(colour) * 0x9E3779B1u >> 7) & (slots - 1);
        while (seen[h] != 0 && seen[h] != colour + 1) h = (h + 1) & (slots - 1);
        if (seen[h] != 0) continue;
        if (distinct.size() == limit) return 0;
        seen[h] = colour + 1;
        distinct.push_back(colour);
    }
    for (uint64_t i = 0; i < distinct.size(); ++i) {
        uint8_t* p = pixels + i * 4;
        p[0] = uint8_t(distinct[i]);
        p[1] = uint8_t(distinct[i] >> 8);
        p[2] = uint8_t(distinct[i] >> 16);
    }
    return distinct.size();
}

void buildColourTable(const uint8_t* previous, const uint8_t* image, uint64_t pixelCount, int bitDepth, bool dither,
                      GifColourTable& table) {
    table.bitDepth = bitDepth;
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[pixelCount * 4]);
    std::memcpy(pixels.get(), image, pixelCount * 4);
    uint64_t count = pixelCount;
    if (previous) count = keepChangedPixels(previous, pixels.get(), count);

    int entries = 1 << bitDepth;
    if (uint64_t distinct = packDistinctColours(pixels.get(), count, uint64_t(entries - 1))) count = distinct;
    splitColourRange(pixels.get(), count, 1, entries, entries / 2, entries / 4, 1, dither, table);

    table.treeSplitChannel[entries / 2] = 0;
    table.treeSplit[entries / 2] = 0;
    table.r[0] = table.g[0] = table.b[0] = 0;
}

void nearestTableColour(const GifColourTable& table, int r, int g, int b, int& bestEntry, int& bestDistance,
                        int node) {
    int entries = 1 << table.bitDepth;
    if (node >= entries) {
        int entry = node - entries;
        if (entry == 0) return; // the transparent colour is never a match
        int distance = std::abs(r - table.r[entry]) + std::abs(g - table.g[entry]) + std::abs(b - table.b[entry]);
        if (distance < bestDistance) {
            bestDistance = distance;
            bestEntry = entry;
        }
        return;
    }
    int channel = table.treeSplitChannel[node];
    int split = table.treeSplit[node];
    int value = channel == 0 ? r : channel == 1 ? g : b;
    if (value < split) {
        nearestTableColour(table, r, g, b, bestEntry, bestDistance, node * 2);
        if (bestDistance > split - value) nearestTableColour(table, r, g, b, bestEntry, bestDistance, node * 2 + 1);
    } else {
        nearestTableColour(table, r, g, b, bestEntry, bestDistance, node * 2 + 1);
        if (bestDistance > value - split) nearestTableColour(table, r, g, b, bestEntry, bestDistance, node * 2);
    }
}

int nearestEntry(const GifColourTable& table, int r, int g, int b) {
    int best = 1;
    int bestDistance = 1000000;
    nearestTableColour(table, r, g, b, best, bestDistance, 1);
    return best;
}

// `out` may be `previous`: each pixel is read before it is overwritten.
void thresholdFrame(const uint8_t* previous, const uint8_t* image, uint8_t* out, uint64_t pixelCount,
                    const GifColourTable& table) {
    int lastR = -1, lastG = -1, lastB = -1, lastEntry = 1;
    for (uint64_t i = 0; i < pixelCount; ++i) {
        const uint8_t* p = image + i * 4;
        uint8_t* o = out + i * 4;
        if (previous && previous[i * 4] == p[0] && previous[i * 4 + 1] == p[1] && previous[i * 4 + 2] == p[2]) {
            o[0] = p[0];
            o[1] = p[1];
            o[2] = p[2];
            o[3] = 0;
            continue;
        }
        // Runs of one colour are common; the search would give the same entry.
        if (p[0] != lastR || p[1] != lastG || p[2] != lastB) {
            lastR = p[0], lastG = p[1], lastB = p[2];
            lastEntry = nearestEntry(table, lastR, lastG, lastB);
        }
        o[0] = table.r[lastEntry];
        o[1] = table.g[lastEntry];
        o[2] = table.b[lastEntry];
        o[3] = uint8_t(lastEntry);
    }
}

void ditherFrame(const uint8_t* previous, const uint8_t* image, uint8_t* out, uint64_t width, uint64_t height,
                 const GifColourTable& table) {
    uint64_t pixelCount = width * height;
    std::vector<int32_t> work(pixelCount * 4);
    for (uint64_t i = 0; i < pixelCount * 4; ++i) work[i] = int32_t(image[i]) * 256;

    auto spread = [&](uint64_t n, int32_t errorR, int32_t errorG, int32_t errorB, int32_t weight) {
        if (n >= pixelCount) return;
        int32_t* q = &work[n * 4];
        q[0] += std::max(-q[0], errorR * weight / 16);
        q[1] += std::max(-q[1], errorG * weight / 16);
        q[2] += std::max(-q[2], errorB * weight / 16);
    };

    for (uint64_t y = 0; y < height; ++y) {
        for (uint64_t x = 0; x < width; ++x) {
            uint64_t n = y * width + x;
            int32_t* p = &work[n * 4];
            int32_t r = (p[0] + 127) / 256, g = (p[1] + 127) / 256, b = (p[2] + 127) / 256;
            if (previous && previous[n * 4] == r && previous[n * 4 + 1] == g && previous[n * 4 + 2] == b) {
                p[0] = r;
                p[1] = g;
                p[2] = b;
                p[3] = 0;
                continue;
            }
            int entry = nearestEntry(table, r, g, b);
            int32_t errorR = p[0] - int32_t(table.r[entry]) * 256;
            int32_t errorG = p[1] - int32_t(table.g[entry]) * 256;
            int32_t errorB = p[2] - int32_t(table.b[entry]) * 256;
            p[0] = table.r[entry];
            p[1] = table.g[entry];
            p[2] = table.b[entry];
            p[3] = entry;
            spread(n + 1, errorR, errorG, errorB, 7);
            spread(n + width - 1, errorR, errorG, errorB, 3);
            spread(n + width, errorR, errorG, errorB, 5);
            spread(n + width + 1, errorR, errorG, errorB, 1);
        }
    }
    for (uint64_t i = 0; i < pixelCount * 4; ++i) out[i] = uint8_t(work[i] & 0xff);
}

void writeLittle16(FILE* f, uint32_t value) {
    std::fputc(int(value & 0xff), f);
    std::fputc(int((value >> 8) & 0xff), f);
}

void writeImageBlock(FILE* f, const uint8_t* frame, uint32_t width, uint32_t height, uint32_t delay,
                     const GifColourTable& table) {
    const int bitDepth = table.bitDepth;

    // Graphic control: leave the frame in place, transparency on with index 0.
    std::fputc(0x21, f);
    std::fputc(0xf9, f);
    std::fputc(0x04, f);
    std::fputc(0x05, f);
    writeLittle16(f, delay);
    std::fputc(0, f);
    std::fputc(0, f);

    std::fputc(0x2c, f);
    writeLittle16(f, 0);
    writeLittle16(f, 0);
    writeLittle16(f, width);
    writeLittle16(f, height);
    std::fputc(0x80 + bitDepth - 1, f);

    std::fputc(0, f);
    std::fputc(0, f);
    std::fputc(0, f);
    for (int i = 1; i < (1 << bitDepth); ++i) {
        std::fputc(table.r[i], f);
        std::fputc(table.g[i], f);
        std::fputc(table.b[i], f);
    }

    const uint32_t minCodeSize = uint32_t(bitDepth);
    const uint32_t clearCode = 1u << bitDepth;
    std::fputc(int(minCodeSize), f);

    // Child codes of every code by index; 0 is none.
    std::vector<uint16_t> dictionary(4096 * 256, 0);
    int32_t currentCode = -1;
    uint32_t codeSize = minCodeSize + 1;
    uint32_t maxCode = clearCode + 1;

    GifBitWriter stream;
    stream.writeCode(f, clearCode, codeSize);

    uint64_t pixelCount = uint64_t(width) * height;
    for (uint64_t i = 0; i < pixelCount; ++i) {
        uint8_t nextValue = frame[i * 4 + 3];
        if (currentCode < 0) {
            currentCode = nextValue;
        } else if (uint16_t child = dictionary[uint64_t(currentCode) * 256 + nextValue]) {
            currentCode = child;
        } else {
            stream.writeCode(f, uint32_t(currentCode), codeSize);
            dictionary[uint64_t(currentCode) * 256 + nextValue] = uint16_t(++maxCode);
            if (maxCode >= (1u << codeSize)) ++codeSize;
            if (maxCode == 4095) {
                stream.writeCode(f, clearCode, codeSize);
                std::fill(dictionary.begin(), dictionary.end(), uint16_t(0));
                codeSize = minCodeSize + 1;
                maxCode = clearCode + 1;
            }
            currentCode = nextValue;
        }
    }

    stream.writeCode(f, uint32_t(currentCode), codeSize);
    // Reading that last code, a decoder adds one more entry to its table; when that entry
    // fills the current width, the decoder reads the next code one bit wider.
    if (maxCode + 1 >= (1u << codeSize) && codeSize < 12) ++codeSize;
    stream.writeCode(f, clearCode, codeSize);
    stream.writeCode(f, clearCode + 1, minCodeSize + 1);

    while (stream.bitIndex) stream.writeBit(0);
    if (stream.chunkIndex) stream.writeChunk(f);
    std::fputc(0, f);
}

} // namespace

GifWriter::~GifWriter() {
    if (file_) std::fclose(file_);
}

bool GifWriter::begin(const std::string& fileName, uint32_t width, uint32_t height, uint32_t delay, int32_t) {
    if (file_) {
        std::cerr << "GifWriter::begin: a recording is already open" << std::endl;
        return false;
    }
    if (width == 0 || height == 0 || width > 0xffff || height > 0xffff) {
        std::cerr << "GifWriter::begin: unusable size " << width << "x" << height << std::endl;
        return false;
    }
    file_ = std::fopen(fileName.c_str(), "wb");
    if (!file_) {
        std::cerr << "GifWriter::begin: unable to open " << fileName << std::endl;
        return false;
    }
    firstFrame_ = true;
    width_ = width;
    height_ = height;
    previousFrame_.assign(uint64_t(width) * height * 4, 0);

    std::fputs("GIF89a", file_);
    writeLittle16(file_, width);
    writeLittle16(file_, height);
    std::fputc(0xf0, file_); // a global table of two entries
    std::fputc(0, file_);
    std::fputc(0, file_);
    for (int i = 0; i < 6; ++i) std::fputc(0, file_);

    if (delay != 0) {
        std::fputc(0x21, file_);
        std::fputc(0xff, file_);
        std::fputc(11, file_);
        std::fputs("NETSCAPE2.0", file_);
        std::fputc(3, file_);
        std::fputc(1, file_);
        std::fputc(0, file_); // loop for ever
        std::fputc(0, file_);
        std::fputc(0, file_);
    }
    return true;
}

bool GifWriter::writeFrame(const uint8_t* image, uint32_t width, uint32_t height, uint32_t delay, int32_t bitDepth,
                           bool dither) {
    if (!file_) return false;
    if (width != width_ || height != height_) {
        std::cerr << "GifWriter::writeFrame: frame of " << width << "x" << height << " in a recording of " << width_
                  << "x" << height_ << std::endl;
        return false;
    }
    if (bitDepth < 2 || bitDepth > 8) {
        std::cerr << "GifWriter::writeFrame: unsupported bit depth " << bitDepth << std::endl;
        return false;
    }

    const uint8_t* previous = firstFrame_ ? nullptr : previousFrame_.data();
    firstFrame_ = false;
    uint64_t pixelCount = uint64_t(width) * height;

    // Dithering spreads error into unchanged pixels too, so its table covers every pixel.
    GifColourTable table;
    buildColourTable(dither ? nullptr : previous, image, pixelCount, bitDepth, dither, table);
    if (dither) {
        ditherFrame(previous, image, previousFrame_.data(), width, height, table);
    } else {
        thresholdFrame(previous, image, previousFrame_.data(), pixelCount, table);
    }
    writeImageBlock(file_, previousFrame_.data(), width, height, delay, table);
    return true;
}

bool GifWriter::end() {
    if (!file_) return false;
    std::fputc(0x3b, file_);
    bool ok = !std::ferror(file_);
    if (std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    previousFrame_.clear();
    previousFrame_.shrink_to_fit();
    if (!ok) std::cerr << "GifWriter::end: the recording could not be written" << std::endl;
    return ok;
}

} // namespace hv
