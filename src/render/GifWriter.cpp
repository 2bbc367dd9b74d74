// The writer itself: header and trailer, each frame's passes over its pixels, and the buffers kept from frame to frame.
#include "render/GifWriter.h"

#include "render/GifWriterParts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace hv {

using gif::buildColourTable;
using gif::channelOf;
using gif::ColourCounts;
using gif::ColourMapper;
using gif::ExactColours;
using gif::GifColourTable;
using gif::LzwDictionary;
using gif::NearestColourGrid;
using gif::nearestEntry;
using gif::packPixel;
using gif::WeightedColour;
using gif::writeImageBlock;

namespace {

// Gathers the pixels whose colour differs from the previous frame's, with their places, and
// marks every pixel of `frame` (the previous frame, about to become this one) transparent:
// the changed ones get their entries afterwards, the others already show the same colour.
uint64_t gatherChangedPixels(uint8_t* frame, const uint8_t* image, uint64_t pixelCount, uint32_t* pixels,
                             uint32_t* places) {
    uint64_t kept = 0;
    for (uint64_t i = 0; i < pixelCount; ++i) {
        uint32_t p = packPixel(image + i * 4);
        pixels[kept] = p;
        places[kept] = uint32_t(i);
        kept += p != packPixel(frame + i * 4);
        frame[i * 4 + 3] = 0;
    }
    return kept;
}

// Gives each pixel at `places` (every pixel when there are none) its entry and that entry's
// colour in `out`.
void thresholdFrame(const uint8_t* image, uint8_t* out, const uint32_t* places, uint64_t count,
                    const GifColourTable& table, ColourMapper& mapper) {
    int lastR = -1, lastG = -1, lastB = -1, lastEntry = 1;
    for (uint64_t k = 0; k < count; ++k) {
        const uint64_t i = places ? places[k] : k;
        const uint8_t* p = image + i * 4;
        uint8_t* o = out + i * 4;
        // Runs of one colour are common; the search would give the same entry.
        if (p[0] != lastR || p[1] != lastG || p[2] != lastB) {
            lastR = p[0], lastG = p[1], lastB = p[2];
            lastEntry = mapper.find(lastR, lastG, lastB);
        }
        o[0] = table.r[lastEntry];
        o[1] = table.g[lastEntry];
        o[2] = table.b[lastEntry];
        o[3] = uint8_t(lastEntry);
    }
}

// thresholdFrame with every colour's entry found beforehand.
void thresholdByColour(const uint8_t* image, uint8_t* out, const uint32_t* places, uint64_t count,
                       const GifColourTable& table, const ColourCounts& counts) {
    uint32_t lastColour = 0xffffffffu;
    int lastEntry = 1;
    for (uint64_t k = 0; k < count; ++k) {
        const uint64_t i = places ? places[k] : k;
        const uint32_t colour = packPixel(image + i * 4);
        if (colour != lastColour) {
            lastColour = colour;
            lastEntry = counts.entryOf(colour);
        }
        uint8_t* o = out + i * 4;
        o[0] = table.r[lastEntry];
        o[1] = table.g[lastEntry];
        o[2] = table.b[lastEntry];
        o[3] = uint8_t(lastEntry);
    }
}

void ditherFrame(const uint8_t* previous, const uint8_t* image, uint8_t* out, uint64_t width, uint64_t height,
                 const GifColourTable& table, ColourMapper& mapper, std::vector<int32_t>& work) {
    uint64_t pixelCount = width * height;
    work.resize(pixelCount * 4);
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
            // Spread error can push a channel past 255; the search takes it as it is.
            int entry = r <= 255 && g <= 255 && b <= 255 ? mapper.find(r, g, b) : nearestEntry(table, r, g, b);
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

} // namespace

struct GifWriter::Workspace {
    // Counting colours pays for frames that hold a quarter as many colours as pixels or fewer.
    explicit Workspace(uint64_t pixelCount)
        : pixels(pixelCount), spare(pixelCount), places(pixelCount),
          counts(uint32_t(std::clamp<uint64_t>(pixelCount / 4, 255, ColourCounts::most))),
          items(counts.capacity() + 256), itemSpare(counts.capacity() + 256) {}

    std::vector<uint32_t> pixels; // the colours that enter the split
    std::vector<uint32_t> spare;  // the split moves them back and forth between the two
    std::vector<uint32_t> places; // where the changed pixels are
    ColourCounts counts;
    std::vector<WeightedColour> items; // the weighted split's colours, back and forth
    std::vector<WeightedColour> itemSpare;
    ExactColours exact;
    NearestColourGrid grid;
    LzwDictionary dictionary;
    std::vector<uint8_t> codes;
    std::vector<uint8_t> output; // one frame's bytes, written at once
    std::vector<int32_t> ditherWork;
};

GifWriter::GifWriter() = default;

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
        std::cerr << "GifWriter::begin: unable to open " << fileName << ": " << std::strerror(errno) << std::endl;
        return false;
    }
    path_ = fileName;
    struct stat info;
    ownFile_ = fstat(fileno(file_), &info) == 0 && S_ISREG(info.st_mode);
    device_ = ownFile_ ? uint64_t(info.st_dev) : 0;
    inode_ = ownFile_ ? uint64_t(info.st_ino) : 0;
    firstFrame_ = true;
    framePending_ = false;
    width_ = width;
    height_ = height;
    previousFrame_.assign(uint64_t(width) * height * 4, 0);
    work_ = std::make_unique<Workspace>(uint64_t(width) * height);

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
    return checkStream(true);
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

    const bool hasPrevious = !firstFrame_;
    firstFrame_ = false;
    const uint64_t pixelCount = uint64_t(width) * height;
    Workspace& work = *work_;
    uint8_t* frame = previousFrame_.data();

    // Dithering spreads error into unchanged pixels too, so its table covers every pixel.
    uint64_t count = pixelCount;
    if (hasPrevious && !dither) {
        count = gatherChangedPixels(frame, image, pixelCount, work.pixels.data(), work.places.data());
    } else {
        for (uint64_t i = 0; i < pixelCount; ++i) work.pixels[i] = packPixel(image + i * 4);
    }
    GifColourTable table;
    const bool counted = buildColourTable(work.pixels.data(), work.spare.data(), count, bitDepth, dither, table,
                                          work.counts, work.items.data(), work.itemSpare.data());
    if (dither) {
        ColourMapper mapper(table, work.exact, work.grid, pixelCount);
        ditherFrame(hasPrevious ? frame : nullptr, image, frame, width, height, table, mapper, work.ditherWork);
    } else if (counted) {
        // Each colour is searched for once.
        ColourMapper mapper(table, work.exact, work.grid, work.counts.size());
        for (uint32_t i = 0; i < work.counts.size(); ++i) {
            const uint32_t colour = work.counts.colour(i);
            work.counts.setEntry(i, mapper.find(int(channelOf(colour, 0)), int(channelOf(colour, 1)),
                                                int(channelOf(colour, 2))));
        }
        thresholdByColour(image, frame, hasPrevious ? work.places.data() : nullptr, count, table, work.counts);
    } else {
        ColourMapper mapper(table, work.exact, work.grid, count);
        thresholdFrame(image, frame, hasPrevious ? work.places.data() : nullptr, count, table, mapper);
    }
    if (!flushPendingFrame()) return false;
    work.output.clear();
    // Longer delays than 16 bits hold are clamped: wrapped, they would come out short.
    writeImageBlock(work.output, work.codes, work.dictionary, frame, width, height,
                    std::min<uint32_t>(delay, 0xffff), table);
    framePending_ = true;
    return true;
}

bool GifWriter::flushPendingFrame() {
    if (!framePending_) return true;
    framePending_ = false;
    return checkStream(std::fwrite(work_->output.data(), 1, work_->output.size(), file_) == work_->output.size());
}

bool GifWriter::checkStream(bool wrote) { return (wrote && !std::ferror(file_)) || abandon(errno); }

bool GifWriter::abandon(int error) {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    // Only the file this recording made goes, not whatever has taken its name since.
    struct stat info;
    const bool removed = ownFile_ && stat(path_.c_str(), &info) == 0 && uint64_t(info.st_dev) == device_ &&
                         uint64_t(info.st_ino) == inode_ && unlink(path_.c_str()) == 0;
    std::cerr << "GifWriter: cannot write the recording " << path_ << ": "
              << (error != 0 ? std::strerror(error) : "the write failed")
              << (removed ? "; the recording is abandoned and its unfinished file removed"
                          : "; the recording is abandoned")
              << std::endl;
    release();
    return false;
}

void GifWriter::release() {
    framePending_ = false;
    previousFrame_.clear();
    previousFrame_.shrink_to_fit();
    work_.reset();
}

bool GifWriter::setLastFrameDelay(uint32_t delay) {
    if (!file_ || !framePending_) return false;
    // The graphic control extension leads the frame's bytes; its delay follows the 4 bytes
    // of introducer, label, size and flags.
    const uint32_t clamped = std::min<uint32_t>(delay, 0xffff);
    work_->output[4] = uint8_t(clamped & 0xff);
    work_->output[5] = uint8_t(clamped >> 8);
    return true;
}

bool GifWriter::end() {
    if (!file_ || !flushPendingFrame()) return false;
    if (!checkStream(std::fputc(0x3b, file_) != EOF && std::fflush(file_) == 0)) return false;
    FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) return abandon(errno);
    release();
    return true;
}

} // namespace hv
