#include "panel/PanelValues.h"

#include <algorithm>

int32_t SignedLowWord(intptr_t answer) {
    return static_cast<int16_t>(static_cast<uint16_t>(answer & 0xFFFF));
}

void ClampChosenValues(SavedState& chosen, int32_t& appliedAmplitude1, int32_t& appliedAmplitude2) {
    chosen.AmplitudeIndex1 = std::clamp(chosen.AmplitudeIndex1, 0, MaxAmplitudeCode);
    appliedAmplitude1 = chosen.AmplitudeIndex1;
    chosen.AmplitudeIndex2 = std::clamp(chosen.AmplitudeIndex2, 0, MaxAmplitudeCode);
    appliedAmplitude2 = chosen.AmplitudeIndex2;
    chosen.FreqIndex = std::clamp(chosen.FreqIndex, MinSamplingFrequency, MaxSamplingFrequency);
}
