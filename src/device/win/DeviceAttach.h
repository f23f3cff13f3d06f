// Finding the board's driver through the registry, opening the device,
// watching that it stays present, and giving it back.
#pragma once

#include <windows.h>

#include "device/win/GeneratorDevice.h"
#include "framework/win/WindowObject.h"

// The panel's timer 1: the once-a-second presence poll.
constexpr UINT_PTR PresenceTimer = 1;
constexpr UINT PresencePeriodMs = 1000;

// Finds the driver of deviceName, opens device number deviceNumber and
// completes the voltage ranges: an ADC range of 0 or less is asked of the
// device, a DAC range of 0 or less follows it. True when a suitable device
// is open in owner. Failures of the device checks are reported through
// messageOwner.ShowMessage; a missing registry entry, library, export or
// interface fails silently. On false nothing is left loaded.
bool AttachDevice(GeneratorDevice& owner, const char* deviceName, int32_t deviceNumber, double& adcRange,
                  double& dacRange, WindowObject& messageOwner);

// The panel's timer-1 handler: re-arms itself only while the device answers;
// when it is gone, says so and destroys the panel.
int32_t PollDevicePresence(GeneratorDevice& owner, WindowObject& panel);
