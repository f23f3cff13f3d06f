// The device layer's part of the application record: the driver library,
// the device opened through it, and the generator values kept between
// requests. It is the one owner of the library and the device: whoever
// holds it releases both by ReleaseDevice, or by letting it go.
#pragma once

#include <windows.h>

#include <cstdint>

#include "device/AdcDevice.h"
#include "device/Synthesis.h"

struct GeneratorDevice {
    GeneratorDevice() = default;
    ~GeneratorDevice();
    GeneratorDevice(const GeneratorDevice&) = delete;
    GeneratorDevice& operator=(const GeneratorDevice&) = delete;

    uint32_t deviceInfo = 0;       // information item 200, stored only
    void* factoryEntry = nullptr;  // the library's StaticFactory export
    HMODULE driverLibrary = nullptr;
    IADCDevice* device = nullptr;  // null means no device
    SineOscillator oscillator1;
    SineOscillator oscillator2;
    double samplingFrequency = 1000.0;  // as last applied to the device
    int32_t appliedAmplitude1 = 0x4000;
    int32_t appliedAmplitude2 = 0x4000;
};

// Releases the device, then unloads the library: the device's code lives in
// the library, so never the other way round.
void ReleaseDevice(GeneratorDevice& owner);
