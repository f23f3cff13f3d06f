// Generator requests sent to the open device through Setup. Every operation
// first tests that a device is attached and does nothing otherwise.
#pragma once

#include <cstdint>

#include "device/win/GeneratorDevice.h"

// Issues one request of `kind` (GeneratorKind). False only when there is no
// device; a kind outside 0 to 3 sends nothing and still returns true.
bool GeneratorCommand(GeneratorDevice& state, int32_t kind, double frequency);

// The stop request (kind 0 at frequency 0).
void StopGenerator(GeneratorDevice& state);

// Stop, prepare both oscillators from the applied amplitudes and the periods
// selections (modeIndex: periods - 1), then write the block (write) or run at
// samplingFrequency. 0 if an exception left the request.
int32_t ReloadGenerator(GeneratorDevice& state, int32_t modeIndex1, int32_t modeIndex2, bool write);

// Stop, then write `block` as it stands, as WriteBlock writes a synthesised
// one (the same request, wait cursor and guard). 0 if an exception left the
// request.
int32_t WriteGivenBlock(GeneratorDevice& state, const SampleBlock& block);

// Applies `frequency` with selector 0 and replaces it with the rate the device
// reports. False, changing nothing, without a device or for a rate not above 0.
bool ApplySamplingFrequency(GeneratorDevice& state, double& frequency);

// The pause after the auto-start requests (Sleep by default). Tests put a
// recorder here so they need not wait a second for every request.
using PauseFunction = void (*)(uint32_t milliseconds);
extern PauseFunction AutoStartPause;
