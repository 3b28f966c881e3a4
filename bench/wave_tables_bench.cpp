// Start-up cost of the waveform bank: the whole generation, filter pass included.
#include <benchmark/benchmark.h>

#include <memory>

#include "ahx/wave_tables.h"

namespace {

void BM_WaveTablesGeneration(benchmark::State& state) {
    for (auto _ : state) {
        auto tables = std::make_unique<ahx::WaveTables>();
        benchmark::DoNotOptimize(tables->samples);
    }
    state.SetLabel("one 410760-sample bank");
}
BENCHMARK(BM_WaveTablesGeneration)->Unit(benchmark::kMillisecond);

}  // namespace
