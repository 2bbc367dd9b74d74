#include "render/PaperTexture.h"

#include <benchmark/benchmark.h>

namespace {

// Start-up cost when the book runs without the paper cache: 1024 x 1024 texels, 6 octaves.
void generatePaper1024(benchmark::State& state) {
    hv::PaperParams params{.size = 1024, .baseFrequency = 4, .frequencyMultiplier = 2, .amplitudeCount = 6,
                           .attenuation = 0.5, .intensity = 0.3};
    for (auto _ : state) {
        auto texture = hv::generatePaperTexture(params);
        benchmark::DoNotOptimize(texture->texels.data());
    }
}
BENCHMARK(generatePaper1024)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
