// The reader's hand: pointer events over a page of waiting rects, and the wheel with inertia.
#include "chapter/ChapterController.h"
#include "script/BookController.h"
#include "support/BenchBook.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace hv::bench {
namespace {

// 20 canvases, 3 by 1.5 script units, two to a row (the 1280 x 800 view shows five of them),
// each with ten rects in a 5 x 2 grid: every other rect waits for a click, the rest for a drag,
// each held by a context of its own.
const char* rectsBook = R"(
hvkRegisterChapter('rects', function()
  for c = 1, 20 do
    local left = (c % 2) * 3
    local canvas, root = hvkNewCanvas(left, left + 3, 2, 1, c % 3)
    for i = 0, 9 do
      local r = hvkCreateActiveRect(canvas, root, 0.1 + 0.6 * (i % 5), 0.2 + 0.7 * (i // 5), 0.5, 0.5, true)
      if i % 2 == 0 then
        spawn(function() hvkActivateRectClick(r) coroutine.yield() end)
      else
        spawn(function() hvkActivateRectDrag(r) coroutine.yield() end)
      end
    end
    if c % 2 == 0 then hvkNewRow(false) end
  end
  -- Held for good: no context runs in a pass, so the figures are the pointer's own.
  waitForSignal()
end)
)";

Event pointerEvent(int32_t kind, double x, double y) {
    Event event;
    event.source = Event::Mouse;
    event.kind = kind;
    event.point = Vec2(x, y);
    return event;
}

// Points over rects, between rects and between canvases.
const std::vector<Vec2> movePoints = {{100, 100}, {420, 250}, {700, 180}, {1000, 600}, {640, 330}, {75, 700}};

// Target: under 50 µs a move (a hover list and a cursor list; the press below adds the third).
void BM_PointerMoveOver20CanvasesWith200Rects(benchmark::State& state) {
    BenchBook book(rectsBook);
    book.start();
    book.tick();
    size_t i = 0;
    for (auto _ : state) {
        const Vec2& p = movePoints[i++ % movePoints.size()];
        benchmark::DoNotOptimize(book.controller->tick(pointerEvent(Event::PointerMove, p.x, p.y)));
    }
    state.counters["rects"] = double(book.controller->chapterController()->activeRects.size());
}
BENCHMARK(BM_PointerMoveOver20CanvasesWith200Rects)->Unit(benchmark::kMicrosecond);

// The first move of a press builds all three lists (drag start, hover, cursor). Measured per
// press, first move and release, on a point between rects so that nothing completes.
void BM_PressFirstMoveAndReleaseOver200Rects(benchmark::State& state) {
    BenchBook book(rectsBook);
    book.start();
    book.tick();
    for (auto _ : state) {
        book.controller->tick(pointerEvent(Event::PointerDown, 420, 250));
        book.controller->tick(pointerEvent(Event::PointerMove, 421, 262));
        benchmark::DoNotOptimize(book.controller->tick(pointerEvent(Event::PointerUp, 421, 262)));
    }
}
BENCHMARK(BM_PressFirstMoveAndReleaseOver200Rects)->Unit(benchmark::kMicrosecond);

// Target: under 5 µs a tick. A wheel turn, then the ticks of its coast; the turns alternate in
// direction so the page stays inside its bounds. The figure is per event.
void BM_WheelWithInertiaTicks(benchmark::State& state) {
    BenchBook book(rectsBook);
    book.start();
    book.tick();
    ChapterController& chapter = *book.controller->chapterController();
    chapter.scrollTo(1000);
    constexpr int ticksPerTurn = 30;
    Event tick;
    tick.kind = Event::Tick;
    tick.point = Vec2(1.0 / 60.0, 0);
    double amount = -40;
    for (auto _ : state) {
        Event wheel;
        wheel.kind = Event::Wheel;
        wheel.point = Vec2(0, amount);
        amount = -amount;
        book.controller->tick(wheel);
        for (int t = 0; t < ticksPerTurn; ++t) benchmark::DoNotOptimize(book.controller->tick(tick));
    }
    state.counters["per_event"] =
        benchmark::Counter(double(state.iterations()) * (ticksPerTurn + 1), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WheelWithInertiaTicks)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace hv::bench
