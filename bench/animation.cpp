// The animation pass and a whole frame of a chapter whose pictures move.
#include "chapter/ChapterController.h"
#include "script/BookController.h"
#include "support/BenchBook.h"

#include <benchmark/benchmark.h>

#include <string>

namespace hv::bench {
namespace {

// 50 canvases in ten columns, all in view, of 40 static square paths on 10 nodes each; `moving`
// node animations of an hour spread over them, so none ends while measured.
std::string movingBook(int moving) {
    return R"(
hvkRegisterChapter('moving', function()
  local nodes = {}
  for c = 1, 50 do
    local left = (c % 10) * 0.6
    local canvas, root = hvkNewCanvas(left, left + 0.55, 1.5, 1, 0)
    for n = 1, 10 do
      local node = hvkCreateChildNode(canvas, root)
      nodes[#nodes + 1] = {canvas, node}
      for p = 1, 4 do
        local path = hvkNewPath(canvas, node)
        local x, y = n * 0.05, p * 0.08
        hvkNewPathCommand(canvas, path, 10, x, y)
        hvkNewPathCommand(canvas, path, 0, x + 0.04, y)
        hvkNewPathCommand(canvas, path, 0, x + 0.04, y + 0.04)
        hvkNewPathCommand(canvas, path, 0, x, y + 0.04)
      end
    end
    if c % 10 == 0 then hvkNewRow(false) end
  end
  hvkSetAnimationDuration(3600)
  for i = 1, )" + std::to_string(moving) + R"( do
    local target = nodes[i]
    spawn(function() hvkSetNodeRotation(target[1], target[2], 6) coroutine.yield() end)
  end
  while true do coroutine.yield() end
end)
)";
}

// Target: under 100 µs a tick.
void BM_AnimationPass500AnimationsOver50Canvases(benchmark::State& state) {
    BenchBook book(movingBook(500));
    book.start();
    book.tick(); // the contexts start their animations
    ChapterController& chapter = *book.controller->chapterController();
    for (auto _ : state) chapter.animationPass(1.0 / 60.0, 800);
    state.counters["animations"] = double(chapter.animations.size());
}
BENCHMARK(BM_AnimationPass500AnimationsOver50Canvases)->Unit(benchmark::kMicrosecond);

// Target: under 1 ms for the event and the draw together (null backend: no GL driver work).
void BM_FrameWith2000StaticPathsAnd50MovingNodes(benchmark::State& state) {
    BenchBook book(movingBook(50));
    book.start();
    book.tick();
    book.controller->draw();
    for (auto _ : state) {
        book.tick();
        book.controller->draw();
    }
    state.counters["animations"] = double(book.controller->chapterController()->animations.size());
}
BENCHMARK(BM_FrameWith2000StaticPathsAnd50MovingNodes)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace hv::bench
