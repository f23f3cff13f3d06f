// Generator requests sent to the open device through Setup. Every operation
// first tests that a device is attached and does nothing otherwise.
#pragma once

#include <cstdint>

#include "app/GeneratorState.h"

// Issues one request of `kind` (GeneratorKind). False only when there is no
// device; a kind outside 0 to 3 sends nothing and still returns true.
bool GeneratorCommand(GeneratorState& state, int32_t kind, double frequency);

// The stop request (kind 0 at frequency 0).
void StopGenerator(GeneratorState& state);

// Stop, prepare both oscillators from the applied values, then write the
// block (write) or run at samplingFrequency. 0 if an exception left the request.
int32_t ReloadGenerator(GeneratorState& state, bool write);

// Applies `frequency` with selector 0 and replaces it with the rate the device
// reports. False, changing nothing, without a device or for a rate not above 0.
bool ApplySamplingFrequency(GeneratorState& state, double& frequency);

// The pause after the auto-start requests (Sleep by default). Tests put a
// recorder here so they need not wait a second for every request.
using PauseFunction = void (*)(uint32_t milliseconds);
extern PauseFunction AutoStartPause;
