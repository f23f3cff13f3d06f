// A driver for the cases the virtual board never shows: it claims a driver
// record (item 21 answers 1) but hands none back, and it leaves every other
// variable untouched, the presence answer included. Counts its releases.
#include <windows.h>

#include "device/AdcDevice.h"

extern "C" {
__declspec(dllexport) int32_t FakeReleaseCount = 0;
}

namespace {
int32_t DRIVER_CALL GetInfo(IADCDevice*, uint32_t item, void* variable) {
    if (item == InfoItem::Capabilities) {
        *static_cast<uint32_t*>(variable) = 1;
        return 1;
    }
    return item == InfoItem::DriverRecord ? 1 : 0;
}

int32_t DRIVER_CALL Open(IADCDevice*, int32_t, int32_t, int32_t, int32_t) {
    return 1;
}

void DRIVER_CALL Release(IADCDevice*) {
    ++FakeReleaseCount;
}

const IADCDeviceTable deviceTable = {nullptr, Release, Open,    nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, GetInfo};
IADCDevice device{&deviceTable};

IADCDevice* DRIVER_CALL Create(DriverFactory*, const char*, int32_t) {
    return &device;
}

const DriverFactoryTable factoryTable{Create};
}  // namespace

extern "C" {
__declspec(dllexport) DriverFactory StaticFactory{&factoryTable};
}
