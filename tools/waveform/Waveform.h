// The waveforms a channel can play from the board's block: a shape with its
// peak, periods, start phase, offset and duty, and the check that every
// sample fits 16 bits. Sine keeps the panel's phasor recurrence, so at phase
// 0 and no offset the block is the panel's bit for bit. Portable.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/Synthesis.h"

enum class WaveShape { Sine, Square, Triangle, Ramp, Dc };

const char* ShapeName(WaveShape shape);
// False for a name that is none of sine, square, triangle, ramp, dc.
bool ShapeFromName(std::string_view name, WaveShape& shape);

constexpr int32_t MaxPeriods = 499;  // half the block's pairs, less one

struct ChannelWave {
    WaveShape shape = WaveShape::Sine;
    int32_t amplitude = 0;  // the peak as a code, 0 to 32767
    int32_t periods = 1;    // whole periods in the block, 1 to MaxPeriods
    double phase = 0.0;     // start phase in degrees, -360 to 360
    int32_t offset = 0;     // a code added to every sample
    double duty = 50.0;     // square: percent of the period that is high
};

// One block's samples per channel (0 is DAC1), before they are narrowed to
// 16 bits.
using BlockSamples = std::array<std::array<int32_t, SamplePairs>, 2>;

// With x the fractional part of periods * i / 1000 + phase / 360 for sample
// i, sample i is the peak times f(x), rounded half away from zero, plus the
// offset: f is sin 2 pi x (by the phasor, started at the phase), +1 below
// the duty and -1 above it for a square, the triangle through the sine's
// zeros and peaks, the ramp rising through 0 at x = 0 and falling back at
// x = 1/2, and 0 for dc.
BlockSamples SynthesizeWaves(const ChannelWave& dac1, const ChannelWave& dac2);

// Empty when every sample fits -32768 to 32767; otherwise what does not, as
// "DAC2: sample 125 would be 36000, 3233 above 32767 (at most 3233 above)".
std::string FindClipping(const BlockSamples& samples);

// The samples in the board's layout: 1000 pairs, DAC1 first, then 24 zero
// pairs. The samples must fit (FindClipping).
SampleBlock ToSampleBlock(const BlockSamples& samples);
