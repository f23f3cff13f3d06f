// Finding the board's driver through the registry, opening the device,
// watching that it stays present, and giving it back.
#pragma once

#include <windows.h>

#include "device/win/GeneratorDevice.h"
#include "framework/win/WindowObject.h"

// The panel's timer 1: the once-a-second presence poll.
constexpr UINT_PTR PresenceTimer = 1;
constexpr UINT PresencePeriodMs = 1000;

// Where attach says why a device it reached cannot be used. The message is
// one of attach's fixed texts, in code page 1251.
class AttachReport {
public:
    virtual void DeviceRefused(const char* message) = 0;

protected:
    ~AttachReport() = default;
};

// The panel's report: an error box (type 16) of the given window object;
// before the panel exists the box has no owner and an empty caption.
class MessageBoxReport final : public AttachReport {
public:
    explicit MessageBoxReport(WindowObject& messageOwner) : owner(messageOwner) {}
    void DeviceRefused(const char* message) override { owner.ShowMessage(message, MB_OK | MB_ICONHAND); }

private:
    WindowObject& owner;
};

// Finds the driver of deviceName, opens device number deviceNumber and
// completes the voltage ranges: an ADC range of 0 or less is asked of the
// device, a DAC range of 0 or less follows it. True when a suitable device
// is open in owner. Failures of the device checks go to report; a missing
// registry entry, library, export or interface fails silently. On false
// nothing is left loaded.
bool AttachDevice(GeneratorDevice& owner, const char* deviceName, int32_t deviceNumber, double& adcRange,
                  double& dacRange, AttachReport& report);

// The panel's timer-1 handler: re-arms itself only while the device answers;
// when it is gone, says so and destroys the panel.
int32_t PollDevicePresence(GeneratorDevice& owner, WindowObject& panel);
