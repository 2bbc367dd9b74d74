#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace hv {

// Writes an animated GIF89a file frame by frame from RGBA images. Each frame gets its own
// colour table, fitted by median splits to the pixels that changed since the previous frame;
// unchanged pixels are transparent so that the previous frame shows through.
class GifWriter {
public:
    GifWriter();
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;
    // Closes a file left open without its trailer.
    ~GifWriter();

    // A delay (hundredths of a second) other than 0 makes the animation loop for ever. Refuses
    // sizes of 0 or beyond the format's 16 bits. The bit depth is taken per frame.
    bool begin(const std::string& fileName, uint32_t width, uint32_t height, uint32_t delay, int32_t bitDepth = 8);
    // `image` is width x height pixels of red, green, blue and an ignored alpha, rows top to
    // bottom, of the size given to begin. Bit depths 2 to 8. A delay beyond the format's 16 bits
    // is written as the longest it can hold.
    bool writeFrame(const uint8_t* image, uint32_t width, uint32_t height, uint32_t delay, int32_t bitDepth = 8,
                    bool dither = false);
    // Sets the delay of the frame written last, which stays in memory until the next frame or
    // the end: a recording knows how long a frame shows only once the next one comes. False
    // when no frame waits.
    bool setLastFrameDelay(uint32_t delay);
    // Writes the trailer and closes the file; false when anything could not be written.
    bool end();

    // False once the recording ends, also when a write failed: a recording that cannot be
    // written whole (a full disk) is abandoned at the first failed write, with one line naming
    // the file and why, and the unfinished file is removed when it is a file of its own.
    bool isOpen() const { return file_ != nullptr; }

private:
    // Buffers kept from frame to frame, so that a recording allocates once.
    struct Workspace;
    bool flushPendingFrame();
    // False, after abandoning the recording, when the stream has failed.
    bool checkStream(bool wrote);
    bool abandon(int error);
    void release();

    FILE* file_ = nullptr;
    std::string path_;
    bool ownFile_ = false; // a regular file, removed when the recording is abandoned
    uint64_t device_ = 0;
    uint64_t inode_ = 0;
    std::unique_ptr<Workspace> work_;
    // The frame as written: table colours, and the table index in the fourth byte.
    std::vector<uint8_t> previousFrame_;
    bool firstFrame_ = true;
    bool framePending_ = false; // the last frame's bytes are still in the workspace
    uint32_t width_ = 0;
    uint32_t height_ = 0;
};

} // namespace hv
