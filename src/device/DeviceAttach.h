// Finding the board's driver through the registry, opening the device,
// watching that it stays present, and giving it back.
#pragma once

#include <windows.h>

#include "app/GeneratorState.h"
#include "framework/WindowObject.h"

// The panel's timer 1: the once-a-second presence poll.
constexpr UINT_PTR PresenceTimer = 1;
constexpr UINT PresencePeriodMs = 1000;

// The driver library while it is loaded; owned by the application object.
struct DriverLink {
    void* factoryEntry = nullptr;     // the library's StaticFactory export
    HMODULE driverLibrary = nullptr;
};

// True when a suitable device is open (state.device set). Failures of the
// device checks are reported through messageOwner.ShowMessage; a missing
// registry entry, library, export or interface fails silently. On false
// state.device is null, but the driver library may still be loaded in link:
// the caller calls ReleaseDevice after a failed attach as at teardown.
bool AttachDevice(GeneratorState& state, DriverLink& link, WindowObject& messageOwner);

// The panel's timer-1 handler: re-arms itself only while the device answers;
// when it is gone, says so and destroys the panel.
int32_t PollDevicePresence(GeneratorState& state, WindowObject& panel);

// Releases the device and unloads the library.
void ReleaseDevice(GeneratorState& state, DriverLink& link);
