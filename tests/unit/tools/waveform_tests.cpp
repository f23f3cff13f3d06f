// The waveforms qorvelctl writes: each shape against its formula computed
// here, the panel's sines bit for bit, the clip check, the frequency plan and
// the files' readers, each a table of cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "BlockFile.h"
#include "FrequencyPlan.h"
#include "Waveform.h"

namespace {
// The shape's value over one period, written out from its definition.
double Expected(const ChannelWave& w, int i) {
    // x as an exact fraction of the period where the phase is a whole number of thousandths.
    const double turns = (w.periods * i % 1000) / 1000.0 + w.phase / 360.0;
    const double x = turns - std::floor(turns);
    switch (w.shape) {
    case WaveShape::Sine: return std::sin(2 * std::numbers::pi * x);
    case WaveShape::Square: return x < w.duty / 100 ? 1 : -1;
    case WaveShape::Triangle: return x < 0.25 ? 4 * x : x < 0.75 ? 2 - 4 * x : 4 * x - 4;
    case WaveShape::Ramp: return x < 0.5 ? 2 * x : 2 * x - 2;
    case WaveShape::Dc: return 0;
    }
    return NAN;
}

ChannelWave Wave(WaveShape shape, int32_t amplitude, int32_t periods, double phase = 0, int32_t offset = 0,
                 double duty = 50) {
    return {shape, amplitude, periods, phase, offset, duty};
}

std::string WithLittleEndian(std::initializer_list<std::pair<uint32_t, int>> fields) {
    std::string bytes;
    for (const auto& [value, size] : fields)
        for (int i = 0; i < size; ++i) bytes += char(value >> (8 * i) & 0xFF);
    return bytes;
}
}  // namespace

TEST(Waveform, EveryShapeFollowsItsFormulaWithinOneCode) {
    const ChannelWave waves[] = {
        Wave(WaveShape::Sine, 16384, 20, 90),
        Wave(WaveShape::Sine, 32767, 7, -45, 0),
        Wave(WaveShape::Sine, 10000, 3, 360, -5000),
        Wave(WaveShape::Square, 20000, 20, 0, 0, 10),
        Wave(WaveShape::Square, 12345, 7, 33, 100, 73),
        Wave(WaveShape::Triangle, 32767, 4),
        Wave(WaveShape::Triangle, 30000, 499, -90, 2000),
        Wave(WaveShape::Ramp, 32767, 1),
        Wave(WaveShape::Ramp, 8000, 13, 180, -8000),
        Wave(WaveShape::Dc, 32767, 5, 0, -32768),
    };
    for (const ChannelWave& w : waves) {
        SCOPED_TRACE(testing::Message() << ShapeName(w.shape) << " " << w.amplitude << " x" << w.periods
                                        << " phase " << w.phase << " offset " << w.offset);
        const BlockSamples samples = SynthesizeWaves(w, Wave(WaveShape::Dc, 0, 1));
        int worst = 0;
        for (int i = 0; i < SamplePairs; ++i)
            worst = std::max(worst, int(std::fabs(samples[0][i] - w.offset - w.amplitude * Expected(w, i))));
        EXPECT_LE(worst, 1);
        if (w.shape == WaveShape::Square && SamplePairs % w.periods == 0) {
            int high = 0;
            for (int i = 0; i < SamplePairs / w.periods; ++i) high += samples[0][i] > w.offset;
            EXPECT_EQ(high, int(std::ceil(SamplePairs / w.periods * w.duty / 100)));
        }
        EXPECT_EQ(samples[1], BlockSamples::value_type{});
    }
}

TEST(Waveform, SinesFromPhaseZeroAreThePanelsBlockBitForBit) {
    const int32_t cases[][4] = {
        {16384, 1, 0x4000, 1}, {32767, 20, 1, 13}, {24576, 2, 12288, 5}, {0, 1, 32767, 499}};
    for (const auto& c : cases) {
        SineOscillator panel1, panel2;
        panel1.Prepare(c[0], c[1]);
        panel2.Prepare(c[2], c[3]);
        SampleBlock panel;
        SynthesizeBlock(panel1, panel2, panel);
        const SampleBlock ours = ToSampleBlock(
            SynthesizeWaves(Wave(WaveShape::Sine, c[0], c[1]), Wave(WaveShape::Sine, c[2], c[3])));
        EXPECT_EQ(std::memcmp(&ours, &panel, sizeof panel), 0)
            << c[0] << " x" << c[1] << ", " << c[2] << " x" << c[3];
    }
}

TEST(Waveform, ClippingIsNamedByChannelSampleAndExcess) {
    const struct {
        ChannelWave dac1, dac2;
        const char* message;
    } cases[] = {
        {Wave(WaveShape::Sine, 32767, 1), Wave(WaveShape::Square, 32767, 1, 0, 1),
         "DAC2: sample 0 would be 32768, 1 above 32767 (at most 1)"},
        {Wave(WaveShape::Triangle, 30000, 1, 0, -3000), Wave(WaveShape::Dc, 0, 1),
         "DAC1: sample 749 would be -32880, 112 below -32768 (at most 232)"},
        {Wave(WaveShape::Sine, 30000, 1, 0, 5000), Wave(WaveShape::Dc, 0, 1),
         "DAC1: sample 189 would be 32823, 56 above 32767 (at most 2233)"},
        {Wave(WaveShape::Ramp, 32767, 3), Wave(WaveShape::Dc, 0, 1, 0, -32768), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FindClipping(SynthesizeWaves(c.dac1, c.dac2)), c.message);
}

TEST(FrequencyPlan, ExactWithTheHighestRateElseTheNearest) {
    const struct {
        std::optional<double> dac1, dac2;
        std::optional<int32_t> rate;
        int32_t wantRate, periods1, periods2;
        bool exact;
    } cases[] = {
        {1000.0, {}, {}, 50000, 20, 0, true},
        {440.0, {}, {}, 44000, 10, 0, true},
        {123.4, {}, {}, 30850, 4, 0, true},
        {{}, 24950.0, {}, 50000, 0, 499, true},
        {0.001, {}, {}, 1, 1, 0, true},
        {1000.0, 440.0, {}, 40000, 25, 11, true},
        {440.0, {}, 20000, 20000, 22, 0, true},
        {440.0, {}, 30000, 30000, 15, 0, false},
        // A third of a kilohertz; and two frequencies whose ratio no periods
        // up to 499 give, off by 0.05 % each.
        {1000.0 / 3, {}, {}, 47619, 7, 0, false},
        {1000.0, 999.0, {}, 49975, 20, 20, false},
    };
    for (const auto& c : cases) {
        const std::optional<double> asked[2] = {c.dac1, c.dac2};
        const FrequencyPlan plan = PlanFrequencies(asked, c.rate);
        SCOPED_TRACE(testing::Message() << c.dac1.value_or(0) << " Hz, " << c.dac2.value_or(0) << " Hz");
        EXPECT_EQ(plan.rate, c.wantRate);
        EXPECT_EQ(plan.periods[0], c.periods1);
        EXPECT_EQ(plan.periods[1], c.periods2);
        EXPECT_EQ(plan.exact, c.exact);
        for (int channel = 0; channel < 2; ++channel)
            if (asked[channel] && plan.exact) {
                EXPECT_EQ(PlayedHertz(plan.periods[channel], plan.rate), *asked[channel]);
            }
    }
}

TEST(CsvBlock, ReadsWhatSpreadsheetsWriteAndSaysWhereItStops) {
    std::string thousand, twoHundred;
    for (int i = 0; i < 1000; ++i) thousand += std::to_string(i % 7) + "\n";
    for (int i = 0; i < 200; ++i) twoHundred += std::to_string(i) + ";-" + std::to_string(i) + ",5\r\n";
    const struct {
        std::string text;
        size_t rows;
        int columns;
        double first[2];
        const char* problem;
    } cases[] = {
        {thousand, 1000, 1, {0, 0}, nullptr},
        {"\xEF\xBB\xBF"
         "DAC1;DAC2\r\n" +
             twoHundred,
         200,
         2,
         {0, -0.5},
         nullptr},
        {"volts\n\n 1.5e-1 \n+2\n\n-3.25\n4\n5\n", 5, 1, {0.15, 0}, nullptr},
        {"\"0,5\";\"1\"\n", 1, 2, {0.5, 1}, nullptr},
        // One column of a spreadsheet with decimal commas: no separator at all,
        // so only a header can tell it from two columns.
        {"DAC1\r\n0,25\r\n-1,5\r\n", 2, 1, {0.25, 0}, nullptr},
        {"0,25\n-1,5\n", 2, 2, {0, 25}, nullptr},  // without a header: two columns
        {"1,2\n3,4\n5,6\n", 0, 0, {}, "3 rows of values; a block needs 1000 or a number that divides 1000"},
        {"a;b\n1;2\nx;3\n",
         0,
         0,
         {},
         "row 3, column 1: \"x\" is not a number (the decimal mark is a comma here)"},
        {"1,2\n1\n", 0, 0, {}, "row 2: 1 column where the rows above have 2"},
        {"1,2,3\n", 0, 0, {}, "row 1: 3 columns; a block file has one (DAC1) or two (DAC1, DAC2)"},
        {"1\n2,\n", 0, 0, {}, "row 2: 2 columns where the rows above have 1"},
        {"1\nnan\n", 0, 0, {}, "row 2, column 1: \"nan\" is not a number"},
        {thousand + "1\n", 0, 0, {}, "row 1001: more than 1000 rows of values"},
        {"header only\n", 0, 0, {}, "no rows of values"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        FileBlock block;
        std::string problem;
        const bool read = ReadCsvBlock(c.text, FileUnits::Volts, block, problem);
        if (c.problem) {
            EXPECT_FALSE(read);
            EXPECT_EQ(problem.substr(0, std::strlen(c.problem)), c.problem);
            continue;
        }
        ASSERT_TRUE(read) << problem;
        EXPECT_EQ(block.Rows(), c.rows);
        EXPECT_EQ(block.columns, c.columns);
        for (int column = 0; column < c.columns; ++column)
            EXPECT_EQ(block.values[column][0], c.first[column]);
    }
}

TEST(CsvBlock, ValuesBecomeCodesInTheirUnitsAndRepeatToFillTheBlock) {
    const struct {
        const char* text;
        FileUnits units;
        int channel;
        const char* problem;
        int32_t dac1[3], dac2[3];  // samples 0, 1 and 999
    } cases[] = {
        {"1;-1\n-2,5;9,9996\n", FileUnits::Volts, -1, nullptr, {3277, -8192, -8192}, {-3277, 32767, 32767}},
        {"0.5\n", FileUnits::Fraction, 1, nullptr, {0, 0, 0}, {16384, 16384, 16384}},
        {"-32768\n32767\n", FileUnits::Codes, -1, nullptr, {-32768, 32767, 32767}, {0, 0, 0}},
        {"1;10\n", FileUnits::Volts, -1, "row 1, column 2: 10 V is outside -10 to 9.99969 V", {}, {}},
        {"h\n1\n2.5\n", FileUnits::Codes, -1, "row 3, column 1: 2.5 is not a whole code", {}, {}},
        {"-1.5\n", FileUnits::Fraction, -1, "row 1, column 1: -1.5 is outside -1 to 1", {}, {}},
        {"1,2\n", FileUnits::Codes, 0, "--channel goes with one column; this file has two", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FileBlock file;
        std::string problem;
        ASSERT_TRUE(ReadCsvBlock(c.text, c.units, file, problem)) << problem;
        BlockSamples samples;
        const bool made = BlockFromFile(file, c.channel, 10.0, samples, problem);
        if (c.problem) {
            EXPECT_FALSE(made);
            EXPECT_EQ(problem.substr(0, std::strlen(c.problem)), c.problem);
            continue;
        }
        ASSERT_TRUE(made) << problem;
        const int at[] = {0, 1, 999};
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(samples[0][at[k]], c.dac1[k]) << "DAC1 sample " << at[k];
            EXPECT_EQ(samples[1][at[k]], c.dac2[k]) << "DAC2 sample " << at[k];
        }
    }
}

TEST(WavBlock, DecodesEachSampleKindAndRefusesOthers) {
    const std::string stereo16 = WithLittleEndian({{1, 2}, {2, 2}, {44100, 4}, {176400, 4}, {4, 2}, {16, 2}});
    const std::string mono24 = WithLittleEndian({{1, 2}, {1, 2}, {8000, 4}, {24000, 4}, {3, 2}, {24, 2}});
    const std::string stereo32 = WithLittleEndian({{1, 2}, {2, 2}, {8000, 4}, {64000, 4}, {8, 2}, {32, 2}});
    // An extensible format of float samples: the sub-format begins with tag 3.
    const std::string float32 = WithLittleEndian({{0xFFFE, 2},
                                                  {1, 2},
                                                  {500, 4},
                                                  {2000, 4},
                                                  {4, 2},
                                                  {32, 2},
                                                  {22, 2},
                                                  {32, 2},
                                                  {4, 4},
                                                  {3, 2},
                                                  {0, 4},
                                                  {0, 4},
                                                  {0, 4},
                                                  {0, 2}});
    const std::string mono8 = WithLittleEndian({{1, 2}, {1, 2}, {8000, 4}, {8000, 4}, {1, 2}, {8, 2}});
    const std::string six16 = WithLittleEndian({{1, 2}, {6, 2}, {8000, 4}, {96000, 4}, {12, 2}, {16, 2}});
    const struct {
        std::string format, data;
        const char* problem;
        size_t frames;
        double first[2];
        int32_t rate;
    } cases[] = {
        {stereo16, WithLittleEndian({{0x8000, 2}, {0x7FFF, 2}}), nullptr, 1, {-32768, 32767}, 44100},
        {mono24, WithLittleEndian({{0x800000, 3}, {0x7FFFFF, 3}}), nullptr, 2, {-32768, 0}, 8000},
        {stereo32, WithLittleEndian({{0xFFFF0000, 4}, {0x12345678, 4}}), nullptr, 1, {-1, 0x1234}, 8000},
        {float32, WithLittleEndian({{0x3F000000, 4}}), nullptr, 1, {0.5, 0}, 500},
        {float32, WithLittleEndian({{0x7FC00000, 4}}), "frame 0, channel 1: not a number", 0, {}, 0},
        {stereo16,
         std::string(12, '\0'),
         "3 frames; a block needs 1000 or a number that divides 1000",
         0,
         {},
         0},
        {stereo16, std::string(6, '\0'), "its data chunk of 6 bytes ends inside a frame", 0, {}, 0},
        {mono8,
         std::string(10, '\0'),
         "a WAV of 8-bit integer PCM; qorvelctl reads 16-, 24- and 32-bit",
         0,
         {},
         0},
        {six16, std::string(12, '\0'), "a WAV of 6 channels; qorvelctl reads mono and stereo", 0, {}, 0},
        {stereo16.substr(0, 14), "", "its format chunk holds 14 bytes", 0, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem ? c.problem : "decoded");
        WavFormat format;
        FileBlock block;
        std::string problem;
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.data.data());
        const bool read = ReadWavFormat(reinterpret_cast<const unsigned char*>(c.format.data()),
                                        c.format.size(), format, problem) &&
                          ReadWavBlock(format, bytes, c.data.size(), block, problem);
        if (c.problem) {
            EXPECT_FALSE(read);
            EXPECT_EQ(problem.substr(0, std::strlen(c.problem)), c.problem);
            continue;
        }
        ASSERT_TRUE(read) << problem;
        EXPECT_EQ(block.Rows(), c.frames);
        EXPECT_EQ(block.rate, c.rate);
        for (int column = 0; column < block.columns; ++column)
            EXPECT_EQ(block.values[column][0], c.first[column]);
    }
}
