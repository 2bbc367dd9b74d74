#include "render/PaperTexture.h"

#include <benchmark/benchmark.h>

namespace {

// Start-up cost when the book runs without the paper cache: 1024 x 1024 texels, 6 octaves.
void generatePaper1024(benchmark::State& state) {
    hv::PaperParams params;
    params.size = 1024;
    params.baseFrequency = 4;
    params.frequencyMultiplier = 2;
    params.amplitudeCount = 6;
    params.attenuation = 0.5;
    params.intensity = 0.3;
    for (auto _ : state) {
        auto texture = hv::generatePaperTexture(params);
        benchmark::DoNotOptimize(texture->texels.data());
    }
}
BENCHMARK(generatePaper1024)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
