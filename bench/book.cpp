// The sample book: from process start to its first frame, and the engine's work per frame on
// its first chapter's page.
#include "host/SDLTypesetter.h"
#include "script/BookController.h"
#include "support/BenchBook.h"

#include "core/PathProvider.h"

#include <benchmark/benchmark.h>

#include <SDL_ttf.h>

#include <chrono>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace hv::bench {
namespace {

std::string buildDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path().string();
}

// Target: under 300 ms from the start of the process to the first drawn frame of chapter 0,
// headless, from the baked caches. The book ends itself right after that frame ("-env quit
// first-frame"), so the figure also holds the shutdown: it is an upper bound.
void BM_SampleBookStartToFirstFrame(benchmark::State& state) {
    std::string program = buildDirectory() + "/halvane";
    for (auto _ : state) {
        pid_t pid = fork();
        if (pid == 0) {
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
            execl(program.c_str(), program.c_str(), "-small", "-env", "quit", "first-frame",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("halvane did not end with status 0");
    }
}
BENCHMARK(BM_SampleBookStartToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// The engine's own share of that start: the book set up (scripts run, pictures read from the
// baked caches, paragraphs typeset), chapter 0 started and its first frame drawn, on the null
// backend.
void BM_SampleBookSetUpToFirstFrameWithoutTheGLDriver(benchmark::State& state) {
    TTF_Init();
    auto [source, found] = getStringAtPath(std::string(HV_SOURCE_DIR) + "/assets/story/book.lua");
    for (auto _ : state) {
        auto typesetter = std::make_shared<SDLTypesetter>();
        typesetter->init(std::make_shared<PathProvider>(std::string(HV_SOURCE_DIR) + "/assets/story"));
        BenchBook book(source, true, typesetter);
        book.start();
        book.controller->draw();
        state.PauseTiming();
        book.controller.reset();
        state.ResumeTiming();
    }
    TTF_Quit();
}
BENCHMARK(BM_SampleBookSetUpToFirstFrameWithoutTheGLDriver)->Unit(benchmark::kMillisecond);

// Target: under 1 ms a frame (the event and the draw) on the first chapter's page, which holds
// the harbour, the boat, the flapping gull, the sticky lighthouse and its paragraphs.
void BM_SampleBookFrame(benchmark::State& state) {
    TTF_Init();
    {
        auto typesetter = std::make_shared<SDLTypesetter>();
        typesetter->init(std::make_shared<PathProvider>(std::string(HV_SOURCE_DIR) + "/assets/story"));
        auto [source, found] = getStringAtPath(std::string(HV_SOURCE_DIR) + "/assets/story/book.lua");
        BenchBook book(source, true, typesetter);
        book.start();
        for (int i = 0; i < 30; ++i) book.tick(); // the page is built and moving
        for (auto _ : state) {
            book.tick();
            book.controller->draw();
        }
    }
    TTF_Quit();
}
BENCHMARK(BM_SampleBookFrame)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace hv::bench
