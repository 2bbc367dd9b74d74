#pragma once

#include "core/Colour.h"
#include "core/Configuration.h"

#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace hv {

class GifWriter;
class PictureBuffer;
class PlatformBackend;
class Picture;
class Canvas;
struct CoreRenderer;
struct PathProvider;

// The drawing side of the page: the canvas of placed pictures, the typeset paragraphs, the
// background, the scroll offset and an optional GIF recording. `draw` makes one frame.
class BookView {
public:
    BookView();
    // Finishes a running recording, so that no file is left without its end.
    ~BookView();
    BookView(const BookView&) = delete;
    BookView& operator=(const BookView&) = delete;

    bool init(const Configuration& configuration, std::shared_ptr<PathProvider> storyPaths,
              std::shared_ptr<PathProvider> packinPaths, std::shared_ptr<PlatformBackend> platform);

    void setContentHeight(double height) { contentHeight_ = height; }
    // The colour's alpha is ignored: the background is opaque.
    void setBackgroundColour(const Colour& colour);
    // Empties the canvas and the paragraphs (deleting their textures) and stops the recording of
    // a picture instance; a recording of the whole window goes on.
    void reset();
    void draw(bool revealIndicatorShowing, bool drawBackground);

    // View width, page height, view height.
    std::tuple<double, double, double> viewMetrics() const;
    std::shared_ptr<Canvas> canvas() const { return canvas_; }
    double maxScroll() const;
    void setScrollY(double scrollY) { scrollY_ = scrollY; }
    double scrollY() const { return scrollY_; }
    double contentHeight() const { return contentHeight_; }

    // Records the whole window (index below 0) or one picture instance into a GIF, one frame
    // per draw, each draw a frame period of the configuration's frame rate. The frame delays add
    // up to the time recorded; none is under 2 cs, so frames drawn sooner are left out. A
    // recording already running is finished first. False, with a line on the error stream, for
    // an unknown instance or a file that cannot be begun.
    bool startRecording(const std::string& path, int32_t instanceIndex);
    void stopRecording();
    bool isRecording() const { return gifWriter_ != nullptr; }

    // The paragraph id (1-based) and the paragraph's aspect; id 0 when there is none, with the
    // typesetter's reason in `refusal` when it refused the text.
    std::pair<uint32_t, double> addParagraph(const std::string& text, int32_t alignment, int32_t fontId,
                                             double wrapWidth, std::string* refusal = nullptr);
    uint64_t addPictureInstance(std::shared_ptr<Picture> picture);
    // The instance goes with all it held; its handle is not given again in this chapter. A
    // recording of it ends.
    void hidePictureInstance(uint64_t index);

    const std::shared_ptr<CoreRenderer>& coreRenderer() const { return coreRenderer_; }
    const Configuration& configuration() const { return configuration_; }
    const std::shared_ptr<PictureBuffer>& backgroundBuffer() const { return backgroundBuffer_; }

private:
    void captureFrame();
    void writeHeldFrame(uint64_t delay);
    // Centiseconds from the start of the recording to the start of a frame, rounded.
    uint64_t recordingTimeAt(uint64_t frame) const;

    Configuration configuration_;
    double contentHeight_ = 0.0;
    double scrollY_ = 0.0;
    std::shared_ptr<PathProvider> storyPaths_;
    std::shared_ptr<PathProvider> packinPaths_;
    std::unique_ptr<GifWriter> gifWriter_;
    int32_t recordedInstance_ = -1;
    // The size the recording began with; every frame must keep it.
    uint32_t recordWidth_ = 0;
    uint32_t recordHeight_ = 0;
    // A frame's delay is known only when the next frame that is kept comes, or the recording
    // stops; until then its pixels wait here.
    uint64_t recordedFrames_ = 0;
    std::vector<uint32_t> heldFrame_;
    bool frameHeld_ = false;
    uint64_t heldFrameTime_ = 0;
    uint64_t lastWrittenDelay_ = 0; // 0 until a frame is written
    std::shared_ptr<CoreRenderer> coreRenderer_;
    std::shared_ptr<PlatformBackend> platform_;
    std::shared_ptr<PictureBuffer> backgroundBuffer_;
    uint64_t backgroundRegion_ = 0;
    std::shared_ptr<Canvas> canvas_;
};

} // namespace hv
