#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "RequestBlockSize.h"
#include "device/Synthesis.h"

namespace {
// Synthesises into a block that held garbage, so every value must be written.
SampleBlock Synthesize(int32_t code1, int32_t periods1, int32_t code2, int32_t periods2) {
    SineOscillator a, b;
    a.Prepare(code1, periods1);
    b.Prepare(code2, periods2);
    SampleBlock block;
    std::fill(std::begin(block.values), std::end(block.values), int16_t{0x5555});
    SynthesizeBlock(a, b, block);
    return block;
}

std::vector<int16_t> Channel(const SampleBlock& block, int channel) {
    std::vector<int16_t> samples;
    for (int k = 0; k < SamplePairs; ++k) samples.push_back(block.values[2 * k + channel]);
    return samples;
}
}  // namespace

TEST(Synthesis, HalfScaleOnePeriodHitsNamedSamples) {
    const SampleBlock block = Synthesize(0x4000, 1, 0, 1);
    const struct {
        int k;
        int16_t value;
    } cases[] = {
        {0, 0}, {1, 103}, {2, 206}, {125, 11585}, {250, 16384}, {500, 0}, {750, -16384}, {999, -103},
    };
    for (const auto& c : cases) EXPECT_EQ(block.values[2 * c.k], c.value) << "k=" << c.k;
}

TEST(Synthesis, FullScaleStaysWithinSixteenBits) {
    const SampleBlock block = Synthesize(32767, 1, 32767, 1);
    for (int channel : {0, 1}) {
        const auto samples = Channel(block, channel);
        EXPECT_EQ(*std::max_element(samples.begin(), samples.end()), 32767) << "channel " << channel;
        EXPECT_EQ(*std::min_element(samples.begin(), samples.end()), -32767) << "channel " << channel;
    }
}

TEST(Synthesis, FullScaleTwentyPeriodsPeaksBetweenSamples) {
    // 50 samples a period: the crest falls between samples 12 and 13.
    const SampleBlock block = Synthesize(32767, 20, 1000, 7);
    EXPECT_EQ(block.values[2 * 12], 32702);
    EXPECT_EQ(block.values[2 * 13], 32702);
    EXPECT_EQ(*std::max_element(std::begin(block.values), std::end(block.values)), 32702);
}

TEST(Synthesis, ZeroAmplitudeGivesSilence) {
    const SampleBlock block = Synthesize(0, 5, 0, 20);
    EXPECT_TRUE(
        std::all_of(std::begin(block.values), std::end(block.values), [](int16_t v) { return v == 0; }));
}

TEST(Synthesis, TrailingValuesAreZeroWhateverTheBlockHeld) {
    for (const int32_t code : {0x4000, 32767}) {
        const SampleBlock block = Synthesize(code, 3, code, 17);
        for (int i = PlayedValues; i < SampleBlockValues; ++i) EXPECT_EQ(block.values[i], 0) << "value " << i;
    }
}

TEST(Synthesis, ChannelsAreInterleavedAndIndependent) {
    const SampleBlock both = Synthesize(0x4000, 1, 0x2000, 2);
    const SampleBlock first = Synthesize(0x4000, 1, 0x4000, 1);
    const SampleBlock second = Synthesize(0x2000, 2, 0x2000, 2);
    EXPECT_EQ(Channel(both, 0), Channel(first, 0));
    EXPECT_EQ(Channel(both, 1), Channel(second, 1));
    // Two periods: channel 2's crest is at k = 125, where channel 1 is at 45°.
    EXPECT_EQ(both.values[2 * 125 + 1], 8192);
    EXPECT_EQ(both.values[2 * 125], 11585);
}

TEST(Synthesis, RecurrenceFollowsTheSineWithinOneCode) {
    const struct {
        int32_t code, periods;
    } cases[] = {{32767, 1}, {32767, 20}, {12345, 7}, {1, 13}, {0x4000, 19}};
    for (const auto& c : cases) {
        const SampleBlock block = Synthesize(c.code, c.periods, 0, 1);
        for (int k = 0; k < SamplePairs; ++k) {
            const double ideal = c.code * std::sin(k * c.periods * 0.006283185307179587);
            ASSERT_LE(std::abs(block.values[2 * k] - std::lround(ideal)), 1)
                << "code " << c.code << " periods " << c.periods << " k=" << k;
        }
    }
}

TEST(Synthesis, PrepareRestartsAtPhaseZero) {
    SineOscillator a, b;
    a.Prepare(0x4000, 3);
    b.Prepare(0x4000, 3);
    SampleBlock first, again;
    SynthesizeBlock(a, b, first);
    a.Prepare(0x4000, 3);
    b.Prepare(0x4000, 3);
    EXPECT_EQ(a.cosineState, 1.0);
    EXPECT_EQ(a.sineState, 0.0);
    SynthesizeBlock(a, b, again);
    EXPECT_TRUE(std::equal(std::begin(first.values), std::end(first.values), std::begin(again.values)));
}

TEST(RequestFilling, EachKindCarriesItsFields) {
    SampleBlock block{};
    const struct {
        const char* name;
        int32_t kind;
        double frequency;
        uint32_t mode;
        double sentFrequency;
        uint32_t address, flag, count;
        bool buffer;
    } cases[] = {
        {"run", RunAtRate, 2500.0, 2, 2500.0, 4096, 1, 2000, false},
        {"stop at 0", RunAtRate, 0.0, 0, 0.0, 4096, 0, 0, false},
        {"stop below 0", RunAtRate, -1.0, 0, 0.0, 4096, 0, 0, false},
        {"write", WriteBlock, 2500.0, 2, 0.0, 4096, 1, 2048, true},
        {"auto-start on", AutoStartOn, 1234.5, 0x80000002u, 1234.5, 4096, 1, 2000, false},
        {"auto-start off", AutoStartOff, 1234.5, 0x800000FFu, 0.0, 0, 1, 0, false},
    };
    for (const auto& c : cases) {
        DeviceRequest request;
        std::memset(&request, 0xA5, sizeof request);  // every field must be set
        FillGeneratorRequest(request, c.kind, c.frequency, &block);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(request.Code, 102u);
        EXPECT_EQ(request.Size, RequestBlockSize);
        EXPECT_EQ(request.Mode, c.mode);
        EXPECT_EQ(double(request.Frequency), c.sentFrequency);
        EXPECT_EQ(request.Address, c.address);
        EXPECT_EQ(request.Flag, c.flag);
        EXPECT_EQ(request.Count, c.count);
        EXPECT_EQ(request.Buffer, c.buffer ? block.values : nullptr);
    }
}

TEST(RequestFilling, RateRequestRunsAtTheFrequency) {
    DeviceRequest request;
    std::memset(&request, 0xA5, sizeof request);
    FillRateRequest(request, 999.5);
    EXPECT_EQ(request.Code, 102u);
    EXPECT_EQ(request.Size, RequestBlockSize);
    EXPECT_EQ(request.Mode, 2u);
    EXPECT_EQ(double(request.Frequency), 999.5);
    EXPECT_EQ(request.Address, 4096u);
    EXPECT_EQ(request.Flag, 1u);
    EXPECT_EQ(request.Count, 2000u);
    EXPECT_EQ(request.Buffer, nullptr);
}
