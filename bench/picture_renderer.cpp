// The book view's draw pass over a static page: 50 pictures of 40 paths each.
#include "host/PlatformBackend.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"
#include "render/RendererBackend.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace hv;

// Takes every call and does nothing but count draws and uploads.
class NullBackend : public RendererBackend {
public:
    class Target : public PictureBufferTarget {
    public:
        explicit Target(NullBackend* b) : backend(b) {}
        void uploadEntireBuffer(const std::vector<PictureVertex>&, const std::vector<uint32_t>&) override {
            ++backend->uploads;
        }
        void uploadVertexData(uint64_t, uint64_t, const PictureVertex*) override { ++backend->uploads; }
        void uploadIndexData(uint64_t, uint64_t, const uint32_t*) override { ++backend->uploads; }
        NullBackend* backend;
    };

    void printStatistics(std::ostream&) override {}
    void drawRecolouredTexture(const Colour&, uint64_t) override { ++draws; }
    void drawTexture(uint64_t) override { ++draws; }
    void setDrawState(const DrawState&) override { ++states; }
    void drawRange(uint64_t, uint64_t) override { ++draws; }
    void drawRecolouredRange(const Colour&, uint64_t, uint64_t) override { ++draws; }
    std::shared_ptr<PictureBufferTarget> createPictureBufferTarget() override { return std::make_shared<Target>(this); }
    void clearFrame(double) override {}
    void endFrame() override {}
    void clearDepth() override {}
    void readPixels(uint64_t, uint64_t, uint64_t, uint64_t, uint8_t*) override {}
    uint32_t newTexture(const uint8_t*, double, double) override { return 1; }
    void deleteTexture(uint32_t) override {}
    void setClipRect(const Rect&) override {}
    void shutdown() override {}
    void startOffscreenRender(uint32_t) override {}
    void endOffscreenRender() override {}
    void setMultisample(bool) override {}

    uint64_t uploads = 0;
    uint64_t draws = 0;
    uint64_t states = 0;
};

class NullPlatform : public PlatformBackend {
public:
    double getBrightness() override { return 1.0; }
    void setBrightness(double) override {}
    void setTitle(const std::string&) override {}
    void setCursor(int32_t) override {}
    std::shared_ptr<SoundManager> soundManager() override { return nullptr; }
    std::shared_ptr<RendererBackend> renderer() override { return backend; }
    std::shared_ptr<TypesetterBackend> typesetter() override { return nullptr; }
    std::shared_ptr<NullBackend> backend = std::make_shared<NullBackend>();
};

// 40 paths: a square and a curved blob on each of 20 nodes, nested two deep, some translucent.
std::shared_ptr<Picture> makePicture(int seed) {
    auto picture = std::make_shared<Picture>();
    picture->width = 10;
    picture->height = 10;
    picture->nodes.emplace_back();
    for (int n = 0; n < 20; ++n) {
        uint64_t parent = n % 4 == 3 ? picture->nodes.size() - 1 : 0;
        picture->nodes.emplace_back();
        uint64_t node = picture->nodes.size() - 1;
        picture->nodes[node].parent = int32_t(parent);
        picture->nodes[node].rotation = 0.1 * n;
        picture->nodes[parent].children.push_back(node);
        double x = (n % 5) * 2.0, y = (n / 5) * 2.0;
        Path square;
        square.commands = {PathCommand::moveTo(x, y), PathCommand::lineTo(x + 1.5, y), PathCommand::lineTo(x + 1.5, y + 1.5),
                           PathCommand::lineTo(x, y + 1.5)};
        square.colour = Colour(0.1 * (n % 10), 0.5, 0.02 * seed, n % 7 == 0 ? 0.5 : 1.0);
        Path blob;
        blob.commands = {PathCommand::moveTo(x, y), PathCommand::cubicTo(x + 1, y - 0.5, x + 1.5, y + 0.5, x + 1, y + 1),
                         PathCommand::lineTo(x, y + 1)};
        blob.colour = Colour(0.5, 0.1 * (n % 10), 0.3, 1.0);
        picture->paths.push_back(square);
        picture->nodes[node].paths.push_back(picture->paths.size() - 1);
        picture->paths.push_back(blob);
        picture->nodes[node].paths.push_back(picture->paths.size() - 1);
    }
    return picture;
}

void staticPage(benchmark::State& state, bool frontToBack) {
    Configuration configuration;
    configuration.windowWidth = configuration.contentWidth = 1280;
    configuration.windowHeight = configuration.contentHeight = 800;
    configuration.framerate = 60;
    configuration.frontToBack = frontToBack;
    auto platform = std::make_shared<NullPlatform>();
    BookView view;
    if (!view.init(configuration, nullptr, nullptr, platform)) {
        state.SkipWithError("init failed");
        return;
    }
    for (int i = 0; i < 50; ++i) {
        uint64_t index = view.addPictureInstance(makePicture(i));
        view.canvas()->pictureInstances[index].rect = Rect((i % 10) * 128.0, (i / 10) * 160.0, 120, 120);
    }
    view.draw(false, true); // the first frame triangulates and uploads everything

    uint64_t uploadsBefore = platform->backend->uploads;
    uint64_t drawsBefore = platform->backend->draws;
    uint64_t frames = 0;
    for (auto _ : state) {
        view.draw(false, true);
        ++frames;
    }
    if (platform->backend->uploads != uploadsBefore) state.SkipWithError("a static frame uploaded");
    state.counters["draws/frame"] = double(platform->backend->draws - drawsBefore) / double(frames);
    state.counters["uploads"] = double(platform->backend->uploads - uploadsBefore);
}

void BM_StaticPage2000Paths(benchmark::State& state) { staticPage(state, false); }
void BM_StaticPage2000PathsFrontToBack(benchmark::State& state) { staticPage(state, true); }

BENCHMARK(BM_StaticPage2000Paths)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StaticPage2000PathsFrontToBack)->Unit(benchmark::kMicrosecond);

} // namespace
