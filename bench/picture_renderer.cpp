// The book view's draw pass over a static page: 50 pictures of 40 paths each.
#include "render/BookView.h"
#include "support/BenchPlatform.h"
#include "support/NullBackend.h"
#include "support/StaticPage.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace hv;

void staticPage(benchmark::State& state, bool frontToBack) {
    Configuration configuration = bench::pageConfiguration(frontToBack);
    auto backend = std::make_shared<bench::NullBackend>();
    auto platform = std::make_shared<bench::BenchPlatform>(backend);
    BookView view;
    if (!view.init(configuration, nullptr, nullptr, platform)) {
        state.SkipWithError("init failed");
        return;
    }
    bench::addPagePictures(view);
    view.draw(false, true); // the first frame triangulates and uploads everything

    uint64_t uploadsBefore = backend->uploads;
    uint64_t drawsBefore = backend->draws;
    uint64_t frames = 0;
    for (auto _ : state) {
        view.draw(false, true);
        ++frames;
    }
    if (backend->uploads != uploadsBefore) state.SkipWithError("a static frame uploaded");
    state.counters["draws/frame"] = double(backend->draws - drawsBefore) / double(frames);
    state.counters["uploads"] = double(backend->uploads - uploadsBefore);
}

void BM_StaticPage2000Paths(benchmark::State& state) { staticPage(state, false); }
void BM_StaticPage2000PathsFrontToBack(benchmark::State& state) { staticPage(state, true); }

BENCHMARK(BM_StaticPage2000Paths)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StaticPage2000PathsFrontToBack)->Unit(benchmark::kMicrosecond);

} // namespace
