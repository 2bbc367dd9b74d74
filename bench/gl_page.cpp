// A static page drawn on real OpenGL (headless): the frame time, and the draw calls and state
// changes that reach the GL backend per frame, from its renderer statistics.
#include "core/PathProvider.h"
#include "render/BookView.h"
#include "render/CoreRenderer.h"
#include "render/PaperTexture.h"
#include "render/ParagraphRecord.h"
#include "render/gl/GLRendererBackend.h"
#include "support/BenchPlatform.h"
#include "support/StaticPage.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

using namespace hv;

// Forwards everything to the GL backend and keeps the states it was given in the current frame.
class StateCounter : public RendererBackend {
public:
    explicit StateCounter(std::shared_ptr<GLRendererBackend> b) : gl(std::move(b)) {}

    void printStatistics(std::ostream& out) override { gl->printStatistics(out); }
    void drawRecolouredTexture(const Colour& c, uint64_t t) override { gl->drawRecolouredTexture(c, t); }
    void drawTexture(uint64_t t) override { gl->drawTexture(t); }
    void setDrawState(const DrawState& s) override {
        ++stateChanges;
        if (keepStates) frameStates.push_back(s);
        gl->setDrawState(s);
    }
    void drawRange(uint64_t s, uint64_t n) override { gl->drawRange(s, n); }
    void drawRecolouredRange(const Colour& c, uint64_t s, uint64_t n) override { gl->drawRecolouredRange(c, s, n); }
    std::shared_ptr<PictureBufferTarget> createPictureBufferTarget() override { return gl->createPictureBufferTarget(); }
    void clearFrame(double y) override {
        frameStates.clear();
        gl->clearFrame(y);
    }
    void endFrame() override { gl->endFrame(); }
    void clearDepth() override { gl->clearDepth(); }
    void readPixels(uint64_t x, uint64_t y, uint64_t w, uint64_t h, uint8_t* d) override { gl->readPixels(x, y, w, h, d); }
    uint32_t newTexture(const uint8_t* p, double w, double h) override { return gl->newTexture(p, w, h); }
    void deleteTexture(uint32_t t) override { gl->deleteTexture(t); }
    void setClipRect(const Rect& r) override { gl->setClipRect(r); }
    void shutdown() override { gl->shutdown(); }
    void startOffscreenRender(uint32_t t) override { gl->startOffscreenRender(t); }
    void endOffscreenRender() override { gl->endOffscreenRender(); }
    void setMultisample(bool on) override { gl->setMultisample(on); }

    // The different states among those of the last frame.
    size_t distinctStates() const {
        std::vector<const DrawState*> distinct;
        for (const DrawState& s : frameStates) {
            bool seen = false;
            for (const DrawState* d : distinct) seen = seen || *d == s;
            if (!seen) distinct.push_back(&s);
        }
        return distinct.size();
    }

    std::shared_ptr<GLRendererBackend> gl;
    uint64_t stateChanges = 0;
    bool keepStates = false;
    std::vector<DrawState> frameStates;
};

// A hidden window with a current 3.1 core context, made once for the process.
bool makeContext(std::string& whyNot) {
    static std::string reason;
    static bool made = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return reason = SDL_GetError(), false;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        SDL_Window* window = SDL_CreateWindow("bench", 0, 0, bench::pageWidth, bench::pageHeight,
                                              SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window) return reason = SDL_GetError(), false;
        if (!SDL_GL_CreateContext(window)) return reason = SDL_GetError(), false;
        if (!loadGLEntryPoints()) return reason = "GL entry points missing", false;
        return true;
    }();
    whyNot = reason;
    return made;
}

void staticPage(benchmark::State& state, bool frontToBack) {
    std::string whyNot;
    if (!makeContext(whyNot)) {
        state.SkipWithError(("no OpenGL context: " + whyNot).c_str());
        return;
    }
    PaperParams paper{
        .size = 256, .baseFrequency = 4, .frequencyMultiplier = 2, .amplitudeCount = 4, .attenuation = 0.5};
    Configuration configuration = bench::pageConfiguration(frontToBack);
    configuration.paperTexture = generatePaperTexture(paper);
    configuration.paperTileSize = 256;
    configuration.paperStrength = 0.3;

    // The engine's own shaders, copied into the build tree beside the bench folder.
    std::filesystem::path build = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path();
    auto packin = std::make_shared<PathProvider>((build / "assets" / "packin").string());
    auto gl = std::make_shared<GLRendererBackend>();
    if (!gl->init(packin, configuration)) {
        state.SkipWithError("the GL backend did not start");
        return;
    }
    auto counter = std::make_shared<StateCounter>(gl);
    auto platform = std::make_shared<bench::BenchPlatform>(counter);
    {
        BookView view;
        if (!view.init(configuration, nullptr, nullptr, platform)) {
            state.SkipWithError("the book view did not start");
            return;
        }
        std::vector<uint8_t> text(64 * 16 * 4, 200);
        uint32_t texture = counter->newTexture(text.data(), 64, 16);
        view.coreRenderer()->paragraphs.push_back(ParagraphRecord{texture, 0.0, 1.0, 4.0});
        bench::addPagePictures(view, true);
        view.setBackgroundColour(Colour(0.95, 0.93, 0.88, 1));
        uint8_t pixel[4];
        view.draw(false, true); // the first frame triangulates and uploads everything
        gl->statistics = RendererStatistics();
        counter->stateChanges = 0;

        uint64_t frames = 0;
        for (auto _ : state) {
            view.draw(false, true);
            counter->readPixels(0, 0, 1, 1, pixel); // waits for the frame to be drawn
            ++frames;
        }
        const RendererStatistics& s = gl->statistics;
        const double n = double(frames);
        double draws = double(s.drawRangeCalls.total + s.drawRecolouredRangeCalls.total +
                              s.drawRecolouredTextureCalls.total + s.drawTextureCalls.total) /
                       n;
        state.counters["draws/frame"] = draws;
        state.counters["textured/frame"] = double(s.drawRecolouredTextureCalls.total) / n;
        state.counters["states/frame"] = double(counter->stateChanges) / n;
        state.counters["triangles/frame"] = double(s.trianglesDrawn.total) / n;
        state.counters["uploads"] = double(s.bufferUpdates.total);
        counter->keepStates = true;
        view.draw(false, true);
        state.counters["distinct states"] = double(counter->distinctStates());
        view.reset();
    }
    gl->shutdown();
}

void BM_GLStaticPage2000Paths(benchmark::State& state) { staticPage(state, false); }
void BM_GLStaticPage2000PathsFrontToBack(benchmark::State& state) { staticPage(state, true); }

BENCHMARK(BM_GLStaticPage2000Paths)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GLStaticPage2000PathsFrontToBack)->Unit(benchmark::kMillisecond);

} // namespace
