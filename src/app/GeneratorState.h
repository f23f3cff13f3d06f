// The application record's plain fields: settings, the open device, both
// channel oscillators and the applied generator values. Portable, so the
// settings files and the generator requests can be exercised without the
// window system; GeneratorApp adds the window and the driver library handles.
#pragma once

#include <cstdint>
#include <memory>

#include "device/AdcDevice.h"
#include "device/Synthesis.h"

// The ranges of the chosen values, held by the saved-state reader and by the
// panel alike.
constexpr int32_t MaxAmplitudeCode = 0x7FFF;
constexpr int32_t MinSamplingFrequency = 1;
constexpr int32_t MaxSamplingFrequency = 50000;
constexpr int32_t MaxModeIndex = 19;  // 20 periods per block

struct GeneratorState {
    int32_t HelpPreDelay = 10000;  // ms the cursor must rest before help shows; 0 = off
    int32_t HelpPostDelay = 4000;  // base display time of a help balloon, ms
    int32_t Device = 1;            // device number passed to Open
    char DeviceName[100] = "QorvelE";  // last component of the driver's registry key
    uint32_t deviceInfo = 0;       // information item 200, stored only
    IADCDevice* device = nullptr;  // null means no device
    double ADCRange = 0.0;         // volts; 0 or less: asked of the device at attach
    double DACRange = 0.0;         // volts; 0 or less: follows ADCRange at attach
    std::unique_ptr<double[]> FreqSIN;  // the configuration's FreqSIN values
    int32_t FreqSINCount = 0;
    int32_t generatorOn = 0;       // mirrors the Start box
    SineOscillator oscillator1;
    SineOscillator oscillator2;
    double samplingFrequency = 1000.0;  // as last applied to the device
    int32_t appliedAmplitude1 = 0x4000;
    int32_t appliedAmplitude2 = 0x4000;
    // The saved state, in file order.
    int32_t FreqIndex = 1000;
    int32_t AmplitudeIndex1 = 0;
    int32_t AmplitudeIndex2 = 0;
    int32_t ModeIndex1 = 0;
    int32_t ModeIndex2 = 0;
    char workingDirectory[255] = "";  // current directory at start-up
};
