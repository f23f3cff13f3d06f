// Two-channel sine synthesis by a phasor recurrence, and the filling of every
// generator request block. Portable: no window system here.
#pragma once

#include <cstdint>

#include "device/AdcDevice.h"

struct SineOscillator {
    double amplitude = 0.0;
    double cosineStep = 0.0;
    double sineStep = 0.0;
    double cosineState = 0.0;
    double sineState = 0.0;

    // Resets the phasor to phase 0 for `periods` whole periods per block.
    void Prepare(int32_t amplitudeCode, int32_t periods);
};

constexpr int SamplePairs = 1000;
constexpr int SampleBlockValues = 2048;  // 1000 pairs, then 24 zero pairs
constexpr int PlayedValues = 2 * SamplePairs;

struct SampleBlock {
    int16_t values[SampleBlockValues];
};
static_assert(sizeof(SampleBlock) == 4096);

// Steps both oscillators through one block, channel 1 first in every pair.
void SynthesizeBlock(SineOscillator& channel1, SineOscillator& channel2, SampleBlock& block);

// The request kinds of GeneratorCommand.
enum GeneratorKind : int32_t {
    RunAtRate = 0,  // stop when the frequency is not above 0
    WriteBlock = 1,
    AutoStartOn = 2,
    AutoStartOff = 3,
};

// Fills `request` for one kind (0 to 3). `block` is used only by WriteBlock.
void FillGeneratorRequest(DeviceRequest& request, int32_t kind, double frequency, SampleBlock* block);

// Fills the selector-0 request that applies a sampling frequency.
void FillRateRequest(DeviceRequest& request, double frequency);
