// The frame's blocks: the LZW dictionary and the code stream, after the graphic control and image descriptor.
#include "render/GifWriterParts.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace hv::gif {

inline void LzwDictionary::clear() {
    for (uint32_t i = 0; i < usedCount_; ++i) slots_[used_[i]] = 0;
    usedCount_ = 0;
    std::memset(transparentChild_, 0, sizeof transparentChild_);
    longestZeros_ = 1;
}

// Gives the string one longer than the longest its code.
inline void LzwDictionary::addLongerZeros(uint32_t child) {
    transparentChild_[zerosCode(longestZeros_)] = uint16_t(child);
    zerosCode_[++longestZeros_] = uint16_t(child);
}

// The child of `code` for `index`, or 0 with `slot` where it goes.
inline uint32_t LzwDictionary::child(uint32_t code, uint32_t index, uint32_t& slot) const {
    if (index == 0) return transparentChild_[code];
    const uint32_t key = code << 8 | index;
    uint32_t h = (key * 0x9E3779B1u) >> (32 - sizeBits);
    while (true) {
        const uint32_t s = slots_[h];
        if (s == 0 || (s >> 12) == key) {
            slot = h;
            return s & 0xfffu;
        }
        h = (h + 1) & (size - 1);
    }
}

inline void LzwDictionary::add(uint32_t slot, uint32_t code, uint32_t index, uint32_t child) {
    if (index == 0) {
        transparentChild_[code] = uint16_t(child);
    } else {
        slots_[slot] = (code << 8 | index) << 12 | child;
        used_[usedCount_++] = uint16_t(slot);
    }
}

namespace {

// How many index bytes of 0 follow from pixel `from` on.
uint64_t transparentRun(const uint8_t* frame, uint64_t from, uint64_t pixelCount) {
    uint64_t i = from;
    if constexpr (std::endian::native == std::endian::little) {
        // Two pixels at a time: their index bytes are the top byte of each half.
        for (; i + 2 <= pixelCount; i += 2) {
            uint64_t pair;
            std::memcpy(&pair, frame + i * 4, sizeof pair);
            if (pair & 0xff000000ff000000ull) break;
        }
    }
    while (i < pixelCount && frame[i * 4 + 3] == 0) ++i;
    return i - from;
}

void putByte(std::vector<uint8_t>& out, uint32_t value) { out.push_back(uint8_t(value)); }

void putLittle16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value & 0xff));
    out.push_back(uint8_t((value >> 8) & 0xff));
}

} // namespace

// Appends the frame's blocks to `out`; `codes` is scratch for the code stream.
void writeImageBlock(std::vector<uint8_t>& out, std::vector<uint8_t>& codes, LzwDictionary& dictionary,
                     const uint8_t* frame, uint32_t width, uint32_t height, uint32_t delay,
                     const GifColourTable& table) {
    const int bitDepth = table.bitDepth;

    // Graphic control: leave the frame in place, transparency on with index 0.
    for (uint32_t byte : {0x21u, 0xf9u, 0x04u, 0x05u}) putByte(out, byte);
    putLittle16(out, delay);
    putByte(out, 0);
    putByte(out, 0);

    putByte(out, 0x2c);
    putLittle16(out, 0);
    putLittle16(out, 0);
    putLittle16(out, width);
    putLittle16(out, height);
    putByte(out, uint32_t(0x80 + bitDepth - 1));

    for (int c = 0; c < 3; ++c) putByte(out, 0);
    for (int i = 1; i < (1 << bitDepth); ++i) {
        putByte(out, table.r[i]);
        putByte(out, table.g[i]);
        putByte(out, table.b[i]);
    }

    const uint32_t minCodeSize = uint32_t(bitDepth);
    const uint32_t clearCode = 1u << bitDepth;
    putByte(out, minCodeSize);

    // At most one code a pixel, a clear code every 3838 codes and three at the end, of at
    // most 12 bits each, written four bytes at a time.
    const uint64_t pixelCount = uint64_t(width) * height;
    const uint64_t mostCodes = pixelCount + pixelCount / 3838 + 4;
    codes.resize(std::max<size_t>(codes.size(), mostCodes * 12 / 8 + 8));
    uint8_t* stream = codes.data();
    uint64_t bits = 0;     // pending bits, the oldest lowest
    uint32_t bitCount = 0; // fewer than 32 between codes
    auto writeCode = [&](uint32_t code, uint32_t length) {
        bits |= uint64_t(code & ((1u << length) - 1)) << bitCount;
        bitCount += length;
        if (bitCount >= 32) {
            stream[0] = uint8_t(bits);
            stream[1] = uint8_t(bits >> 8);
            stream[2] = uint8_t(bits >> 16);
            stream[3] = uint8_t(bits >> 24);
            stream += 4;
            bits >>= 32;
            bitCount -= 32;
        }
    };

    dictionary.clear();
    uint32_t codeSize = minCodeSize + 1;
    uint32_t maxCode = clearCode + 1;
    writeCode(clearCode, codeSize);

    // Called after each code assigned.
    auto assigned = [&] {
        if (maxCode >= (1u << codeSize)) ++codeSize;
        if (maxCode == 4095) {
            writeCode(clearCode, codeSize);
            dictionary.clear();
            codeSize = minCodeSize + 1;
            maxCode = clearCode + 1;
        }
    };

    uint32_t currentCode = frame[3];
    // The length of the current string when it holds index 0 only, else 0. A run of 0 after
    // such a string is coded at once: it takes the longest string of 0 with a code as long
    // as the run is longer, each time giving the string one longer a code, exactly as pixel
    // by pixel, without a step for every pixel of the large unchanged parts.
    uint64_t zeros = currentCode == 0 ? 1 : 0;
    for (uint64_t i = 1; i < pixelCount;) {
        const uint32_t nextValue = frame[i * 4 + 3];
        if (nextValue == 0 && zeros != 0) {
            const uint64_t run = transparentRun(frame, i, pixelCount);
            i += run;
            zeros += run;
            while (zeros > dictionary.longestZeros()) {
                const uint32_t longest = dictionary.longestZeros();
                writeCode(dictionary.zerosCode(longest), codeSize);
                zeros -= longest;
                dictionary.addLongerZeros(++maxCode);
                assigned();
            }
            currentCode = dictionary.zerosCode(uint32_t(zeros));
            continue;
        }
        ++i;
        uint32_t slot = 0;
        if (uint32_t child = dictionary.child(currentCode, nextValue, slot)) {
            currentCode = child;
            zeros = 0;
            continue;
        }
        writeCode(currentCode, codeSize);
        dictionary.add(slot, currentCode, nextValue, ++maxCode);
        assigned();
        currentCode = nextValue;
        zeros = nextValue == 0 ? 1 : 0;
    }

    writeCode(currentCode, codeSize);
    // Reading that last code, a decoder adds one more entry to its table; when that entry
    // fills the current width, the decoder reads the next code one bit wider.
    if (maxCode + 1 >= (1u << codeSize) && codeSize < 12) ++codeSize;
    writeCode(clearCode, codeSize);
    writeCode(clearCode + 1, minCodeSize + 1);
    // The last byte is padded with zero bits.
    for (; bitCount > 0; bitCount = bitCount > 8 ? bitCount - 8 : 0, bits >>= 8) *stream++ = uint8_t(bits);

    // Sub-blocks of up to 255 bytes, each after its length, and an empty one to end.
    const size_t length = size_t(stream - codes.data());
    for (size_t at = 0; at < length; at += 255) {
        const size_t part = std::min<size_t>(255, length - at);
        putByte(out, uint32_t(part));
        out.insert(out.end(), codes.data() + at, codes.data() + at + part);
    }
    putByte(out, 0);
}

} // namespace hv::gif
