// Block synthesis by the phasor recurrence against the same block computed
// with one std::sin per sample.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "device/Synthesis.h"

namespace {
constexpr int32_t Code1 = 0x4000, Periods1 = 3;
constexpr int32_t Code2 = 32767, Periods2 = 20;

int16_t SineSample(int32_t code, int32_t periods, int k) {
    const double x = code * std::sin(k * (periods * 0.006283185307179587));
    return static_cast<int16_t>(std::lround(x));  // half away from zero
}

void SineBlock(SampleBlock& block) {
    for (int k = 0; k < SamplePairs; ++k) {
        block.values[2 * k] = SineSample(Code1, Periods1, k);
        block.values[2 * k + 1] = SineSample(Code2, Periods2, k);
    }
    std::memset(&block.values[PlayedValues], 0, (SampleBlockValues - PlayedValues) * sizeof(int16_t));
}

void PhasorBlock(SampleBlock& block) {
    SineOscillator channel1, channel2;
    channel1.Prepare(Code1, Periods1);
    channel2.Prepare(Code2, Periods2);
    SynthesizeBlock(channel1, channel2, block);
}

void BM_PhasorBlock(benchmark::State& state) {
    SampleBlock block;
    for (auto _ : state) {
        PhasorBlock(block);
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
    }
}

void BM_SinPerSampleBlock(benchmark::State& state) {
    // Both ways must build the same block (within one code) or the race is void.
    SampleBlock phasor, sine;
    PhasorBlock(phasor);
    SineBlock(sine);
    for (int i = 0; i < SampleBlockValues; ++i) {
        if (std::abs(phasor.values[i] - sine.values[i]) > 1) {
            state.SkipWithError("the two blocks differ");
            return;
        }
    }
    for (auto _ : state) {
        SineBlock(sine);
        benchmark::DoNotOptimize(sine);
        benchmark::ClobberMemory();
    }
}
}  // namespace

BENCHMARK(BM_PhasorBlock);
BENCHMARK(BM_SinPerSampleBlock);
BENCHMARK_MAIN();
