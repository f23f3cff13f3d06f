#include "Waveform.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
constexpr int32_t LowestCode = -32768, HighestCode = 32767;

struct ShapeEntry {
    WaveShape shape;
    const char* name;
};
constexpr ShapeEntry Shapes[] = {{WaveShape::Sine, "sine"},
                                 {WaveShape::Square, "square"},
                                 {WaveShape::Triangle, "triangle"},
                                 {WaveShape::Ramp, "ramp"},
                                 {WaveShape::Dc, "dc"}};

// The shapes other than sine over one period, x from 0 to 1.
double ShapeAt(const ChannelWave& wave, double x) {
    switch (wave.shape) {
    case WaveShape::Square: return x < wave.duty / 100.0 ? 1.0 : -1.0;
    case WaveShape::Triangle: return x < 0.25 ? 4.0 * x : x < 0.75 ? 2.0 - 4.0 * x : 4.0 * x - 4.0;
    case WaveShape::Ramp: return x < 0.5 ? 2.0 * x : 2.0 * x - 2.0;
    case WaveShape::Sine:
    case WaveShape::Dc: break;
    }
    return 0.0;
}

// Half away from zero, then truncated: the panel's rounding.
int32_t Rounded(double x) {
    return static_cast<int32_t>(x >= 0.0 ? x + 0.5 : x - 0.5);
}

SineOscillator Phasor(const ChannelWave& wave) {
    SineOscillator oscillator;
    oscillator.Prepare(wave.shape == WaveShape::Sine ? wave.amplitude : 0, wave.periods);
    if (wave.phase != 0.0) {
        const double radians = wave.phase * (std::numbers::pi / 180.0);
        oscillator.cosineState = std::cos(radians);
        oscillator.sineState = std::sin(radians);
    }
    return oscillator;
}
}  // namespace

const char* ShapeName(WaveShape shape) {
    for (const ShapeEntry& entry : Shapes)
        if (entry.shape == shape) return entry.name;
    return "";
}

bool ShapeFromName(std::string_view name, WaveShape& shape) {
    for (const ShapeEntry& entry : Shapes) {
        if (name != entry.name) continue;
        shape = entry.shape;
        return true;
    }
    return false;
}

BlockSamples SynthesizeWaves(const ChannelWave& dac1, const ChannelWave& dac2) {
    // The sines come from the panel's own synthesis, both channels at once.
    SineOscillator phasor1 = Phasor(dac1), phasor2 = Phasor(dac2);
    SampleBlock sines;
    SynthesizeBlock(phasor1, phasor2, sines);

    BlockSamples samples;
    const ChannelWave* waves[2] = {&dac1, &dac2};
    for (int channel = 0; channel < 2; ++channel) {
        const ChannelWave& wave = *waves[channel];
        for (int i = 0; i < SamplePairs; ++i) {
            int32_t value = sines.values[2 * i + channel];
            if (wave.shape != WaveShape::Sine) {
                // The whole periods go first, in integers, so that x lands
                // exactly on 0.1 (say) where the duty is 10 %.
                double x = double(int64_t(wave.periods) * i % SamplePairs) / SamplePairs + wave.phase / 360.0;
                x -= std::floor(x);
                value = Rounded(wave.amplitude * ShapeAt(wave, x));
            }
            samples[channel][i] = value + wave.offset;
        }
    }
    return samples;
}

std::string FindClipping(const BlockSamples& samples) {
    for (int channel = 0; channel < 2; ++channel) {
        const auto& values = samples[channel];
        const auto outside = std::find_if(values.begin(), values.end(), [](int32_t value) {
            return value < LowestCode || value > HighestCode;
        });
        if (outside == values.end()) continue;
        const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
        const bool above = *outside > HighestCode;
        const int64_t by = above ? int64_t(*outside) - HighestCode : int64_t(LowestCode) - *outside;
        const int64_t most = above ? int64_t(*highest) - HighestCode : int64_t(LowestCode) - *lowest;
        return "DAC" + std::to_string(channel + 1) + ": sample " + std::to_string(outside - values.begin()) +
               " would be " + std::to_string(*outside) + ", " + std::to_string(by) +
               (above ? " above 32767" : " below -32768") + " (at most " + std::to_string(most) + ")";
    }
    return "";
}

SampleBlock ToSampleBlock(const BlockSamples& samples) {
    SampleBlock block{};
    for (int i = 0; i < SamplePairs; ++i)
        for (int channel = 0; channel < 2; ++channel)
            block.values[2 * i + channel] = static_cast<int16_t>(samples[channel][i]);
    return block;
}
