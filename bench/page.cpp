// Building a page from baked SVG caches, and the per-frame sticky placement.
#include "chapter/ChapterController.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"
#include "script/BookController.h"
#include "support/BenchBook.h"

#include <benchmark/benchmark.h>

namespace hv::bench {
namespace {

// 50 canvases in rows of two, each holding every shape of the sample book's harbour three times
// over (2,000 paths in all), from the build's baked cache.
const char* pageBook = R"(
local file = hvkPrepareSvg('pictures/harbour.svg')
local shapes = {}
for _, entry in ipairs(hvkListSvgShapeNamesAndGroups(file)) do shapes[#shapes + 1] = hvkPrepareSvgShape(file, entry[1]) end
hvkRegisterChapter('page', function()
  local paths = 0
  for c = 1, 50 do
    local left = (c % 2) * 3
    local canvas, root = hvkNewCanvas(left, left + 3, 1.5, 1, 0)
    local i = 0
    while i < 40 do
      local shape = shapes[i % #shapes + 1]
      local x, y, w, h = hvkSvgShapeInfo(shape)
      hvkSvgInsertShape(shape, canvas, root, w / 200, h / 200)
      i = i + 1
    end
    paths = paths + i
    if c % 2 == 0 then hvkNewRow(false) end
  end
  pathCount = paths
  while true do coroutine.yield() end
end)
)";

// Target: under 20 ms from the chapter's first engine function to the first drawn frame.
void BM_BuildPageOf50CanvasesAnd2000PathsToFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        BenchBook book(pageBook, true);
        state.ResumeTiming();
        book.start();
        book.controller->draw();
        state.PauseTiming();
        benchmark::DoNotOptimize(book.view->canvas()->instances().size());
        book.controller.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BuildPageOf50CanvasesAnd2000PathsToFirstFrame)->Unit(benchmark::kMillisecond);

// Target: under 10 µs a frame.
void BM_StickyPlacementOf50Canvases(benchmark::State& state) {
    BenchBook book(R"(
        hvkRegisterChapter('sticky', function()
          for c = 1, 50 do
            hvkSetRowHeight(2)
            local canvas = hvkNewCanvas(0, 6, 6, 2, 0)
            hvkSetCanvasSlideDistance(canvas, 2)
            hvkNewRow(false)
          end
          while true do coroutine.yield() end
        end)
    )");
    book.start();
    ChapterController& chapter = *book.controller->chapterController();
    double scroll = 0;
    for (auto _ : state) {
        chapter.rows.position = scroll;
        scroll = scroll > 5000 ? 0 : scroll + 7;
        chapter.placeStickyCanvases();
    }
}
BENCHMARK(BM_StickyPlacementOf50Canvases)->Unit(benchmark::kMicrosecond);

// Each pass makes 20 canvases, each with a node, an SVG shape, a path and an active rect, and
// removes the 20 of the pass before. Target: a pass (event and draw) costs the same after 10^5
// canvases came and went as at the start.
void BM_PassMaking20CanvasesAfterRemovals(benchmark::State& state) {
    BenchBook book(R"(
        local shape = hvkPrepareSvgShape(hvkPrepareSvg('pictures/harbour.svg'), 'tower')
        hvkRegisterChapter('churn', function()
          local made = {}
          while true do
            for i = 1, #made do hvkRemoveCanvas(made[i]) end
            for i = 1, 20 do
              local canvas, root = hvkNewCanvas(0, 1, 1, 3, 0)
              local node = hvkCreateChildNode(canvas, root)
              hvkSvgInsertShape(shape, canvas, node, 1, 1)
              local path = hvkNewPath(canvas, node)
              hvkNewPathCommand(canvas, path, 10, 0, 0) hvkNewPathCommand(canvas, path, 0, 1, 0)
              hvkNewPathCommand(canvas, path, 0, 1, 1)
              hvkCreateActiveRect(canvas, node, 0, 0, 1, 1, true)
              made[i] = canvas
            end
            coroutine.yield()
          end
        end)
    )",
                   true);
    book.start();
    for (int64_t pass = 0; pass < state.range(0) / 20; ++pass) book.tick();
    for (auto _ : state) {
        book.tick();
        book.controller->draw();
    }
    state.counters["canvases on the page"] = double(book.view->canvas()->instances().size());
}
BENCHMARK(BM_PassMaking20CanvasesAfterRemovals)->Arg(0)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace hv::bench
