#include "panel/PanelValues.h"

#include <algorithm>

int32_t SignedLowWord(intptr_t answer) {
    return static_cast<int16_t>(static_cast<uint16_t>(answer & 0xFFFF));
}

void ClampChosenValues(GeneratorState& state) {
    state.AmplitudeIndex1 = std::clamp(state.AmplitudeIndex1, 0, MaxAmplitudeCode);
    state.appliedAmplitude1 = state.AmplitudeIndex1;
    state.AmplitudeIndex2 = std::clamp(state.AmplitudeIndex2, 0, MaxAmplitudeCode);
    state.appliedAmplitude2 = state.AmplitudeIndex2;
    state.FreqIndex = std::clamp(state.FreqIndex, MinSamplingFrequency, MaxSamplingFrequency);
}
