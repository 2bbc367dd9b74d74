// The per-event scheduling pass and the Lua memory that contexts leave behind.
#include "script/BookController.h"
#include "support/BenchBook.h"

#include <benchmark/benchmark.h>

#include <lua.hpp>

#include <string>

namespace hv::bench {
namespace {

// `total` contexts besides the chapter's own; all but `runnable` of them wait for a signal
// that never comes, the others yield at once on every pass.
std::string contextsBook(int total, int runnable) {
    return "hvkRegisterChapter('bench', function()\n"
           "  for i = 1, " + std::to_string(total) + " do\n"
           "    hvkNewContext(0, 0, function()\n"
           "      if i > " + std::to_string(runnable) + " then waitForSignal() end\n"
           "      while true do nextEvent() end\n"
           "    end)\n"
           "  end\n"
           "  waitForSignal()\n"
           "end)\n";
}

void runPasses(benchmark::State& state, int total, int runnable) {
    BenchBook book(contextsBook(total, runnable));
    book.start();
    book.tick(); // every context has had its first turn
    for (auto _ : state) benchmark::DoNotOptimize(book.tick());
    state.counters["contexts"] = double(total);
    state.counters["runnable"] = double(runnable);
}

// Target: under 50 µs a pass.
void BM_SchedulingPass100Runnable(benchmark::State& state) { runPasses(state, 100, 100); }
BENCHMARK(BM_SchedulingPass100Runnable)->Unit(benchmark::kMicrosecond);

// Target: under 10 µs a pass.
void BM_SchedulingPass1000Contexts10Runnable(benchmark::State& state) { runPasses(state, 1000, 10); }
BENCHMARK(BM_SchedulingPass1000Contexts10Runnable)->Unit(benchmark::kMicrosecond);

// 100,000 contexts come and go, 1,000 a pass; the counter is how far Lua's memory grew (target:
// within 1 MB, that is 1,024 KiB).
void BM_LuaMemoryAfter100000Contexts(benchmark::State& state) {
    for (auto _ : state) {
        BenchBook book("hvkRegisterChapter('bench', function()\n"
                       "  while true do\n"
                       "    for i = 1, 1000 do hvkNewContext(0, 0, function() local t = {i} end) end\n"
                       "    nextEvent()\n"
                       "  end\n"
                       "end)\n");
        lua_State* lua = book.controller->luaState();
        book.start();
        lua_gc(lua, LUA_GCCOLLECT, 0);
        double before = lua_gc(lua, LUA_GCCOUNT, 0) + lua_gc(lua, LUA_GCCOUNTB, 0) / 1024.0;
        for (int pass = 0; pass < 100; ++pass) book.tick();
        lua_gc(lua, LUA_GCCOLLECT, 0);
        double after = lua_gc(lua, LUA_GCCOUNT, 0) + lua_gc(lua, LUA_GCCOUNTB, 0) / 1024.0;
        state.counters["growth_KiB"] = after - before;
    }
}
BENCHMARK(BM_LuaMemoryAfter100000Contexts)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace hv::bench
