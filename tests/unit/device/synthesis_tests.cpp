#include <gtest/gtest.h>

#include "device/Synthesis.h"

namespace {
SampleBlock Synthesize(int32_t code1, int32_t periods1, int32_t code2, int32_t periods2) {
    SineOscillator a, b;
    a.Prepare(code1, periods1);
    b.Prepare(code2, periods2);
    SampleBlock block;
    std::fill(std::begin(block.values), std::end(block.values), int16_t{0x5555});
    SynthesizeBlock(a, b, block);
    return block;
}
}  // namespace

TEST(Synthesis, HalfScaleOnePeriodHitsNamedSamples) {
    const SampleBlock block = Synthesize(0x4000, 1, 0, 1);
    const struct { int k; int16_t value; } cases[] = {
        {0, 0}, {1, 103}, {2, 206}, {125, 11585}, {250, 16384}, {500, 0}, {750, -16384}, {999, -103},
    };
    for (const auto& c : cases) EXPECT_EQ(block.values[2 * c.k], c.value) << "k=" << c.k;
}
