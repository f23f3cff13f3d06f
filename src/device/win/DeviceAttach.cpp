// Finding the board's driver through the registry, checking and opening the
// device, the once-a-second presence poll, and giving everything back.
#include "device/win/DeviceAttach.h"

#include <cwchar>
#include <iterator>

#include "device/DriverKey.h"
#include "framework/win/WideText.h"

namespace {
constexpr char UnsuitableDevice[] = "Свойства устройства не подходят!";
constexpr char DeviceNotAvailable[] = "Устройство не подключено или используется другой программой!";
constexpr char DeviceGone[] = "Устройство неожиданно отключилось! Программа будет закрыта.";

// Both bits must be set in the second word of the driver record (item 21).
constexpr uint32_t RequiredRecordBits = 0x100 | 0x200;

// Reads the driver library's path from the registry. The value must be a
// REG_SZ that, with its terminating NUL, fits 256 characters; the buffer is
// terminated here whatever the value held. Wide throughout: the key holds the
// device name (code page 1251) and the path may hold any character, and the
// narrow calls pass both through the system's code page, which turns what it
// cannot spell into "?".
bool ReadDriverPath(const char* deviceName, wchar_t (&path)[256]) {
    char keyPath[256];
    BuildDriverKeyPath(deviceName, keyPath, sizeof keyPath);
    // An empty key would open the hive itself: a name that could not be
    // converted finds no driver.
    const WideText wideKey = WideFrom1251(keyPath);
    HKEY key;
    if (wideKey.size() == 0 ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, wideKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = sizeof path;
    const LONG status = RegQueryValueExW(key, L"path", nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return false;
    // A value stored without its NUL is terminated after its last character;
    // one that fills the whole buffer without a NUL has no room for it.
    const size_t length = size / sizeof path[0];
    if (!std::wmemchr(path, L'\0', length)) {
        if (length >= std::size(path)) return false;
        path[length] = L'\0';
    }
    return true;
}

// The checks before the device is used: capabilities, opening, and the
// driver record. Returns the message for the first that fails, or null.
const char* CheckAndOpen(IADCDevice* device, int32_t deviceNumber) {
    const IADCDeviceTable& ops = *device->table;
    uint32_t capabilities = 0;
    if (ops.GetInfo(device, InfoItem::Capabilities, &capabilities) == 0 || (capabilities & 1) == 0)
        return UnsuitableDevice;
    if (ops.Open(device, deviceNumber, 1, 0, 0) <= 0) return DeviceNotAvailable;
    const uint32_t* record = nullptr;
    const int32_t result = ops.GetInfo(device, InfoItem::DriverRecord, &record);
    if (result > 0 || record) {
        // A driver that claims a record but hands back none cannot be
        // checked: it is refused rather than trusted.
        if (!record || (record[1] & RequiredRecordBits) != RequiredRecordBits) return UnsuitableDevice;
    }
    return nullptr;
}
}  // namespace

namespace {
// Everything up to the open, checked device; false leaves the library and
// perhaps an unusable device in owner for the caller to release.
bool OpenDevice(GeneratorDevice& owner, const char* deviceName, int32_t deviceNumber, AttachReport& report) {
    wchar_t path[256];
    if (!ReadDriverPath(deviceName, path)) return false;
    owner.driverLibrary = LoadLibraryW(path);
    if (!owner.driverLibrary) return false;
    owner.factoryEntry = reinterpret_cast<void*>(GetProcAddress(owner.driverLibrary, FactoryExportName));
    auto* factory = static_cast<DriverFactory*>(owner.factoryEntry);
    if (!factory || !factory->table || !factory->table->Create) return false;
    owner.device = factory->table->Create(factory, DeviceInterfaceName, 0);
    if (!owner.device) return false;
    if (const char* problem = CheckAndOpen(owner.device, deviceNumber)) {
        report.DeviceRefused(problem);
        return false;
    }
    return true;
}
}  // namespace

bool AttachDevice(GeneratorDevice& owner, const char* deviceName, int32_t deviceNumber, double& adcRange,
                  double& dacRange, AttachReport& report) {
    // A device from an earlier attach would outlive its library otherwise.
    ReleaseDevice(owner);
    if (!OpenDevice(owner, deviceName, deviceNumber, report)) {
        ReleaseDevice(owner);
        return false;
    }

    owner.device->table->GetInfo(owner.device, InfoItem::SerialNumber, &owner.deviceInfo);
    if (!(adcRange > 0)) {
        float volts = 0.0f;
        owner.device->table->GetInfo(owner.device, InfoItem::AdcRange, &volts);
        adcRange = volts;
    }
    if (!(adcRange > 0)) adcRange = 10.0;
    if (!(dacRange > 0)) dacRange = adcRange;
    return true;
}

int32_t PollDevicePresence(GeneratorDevice& owner, WindowObject& panel) {
    // The poll is one-shot: it is stopped while it runs (and while its message
    // is up) and re-armed only while the device answers.
    KillTimer(panel.window, PresenceTimer);
    if (!owner.device) return 0;
    uint32_t present = 1;  // a driver that leaves it untouched counts as present
    owner.device->table->GetInfo(owner.device, InfoItem::Presence, &present);
    if (present != 0) {
        SetTimer(panel.window, PresenceTimer, PresencePeriodMs, nullptr);
        return 0;
    }
    panel.ShowMessage(DeviceGone, MB_OK | MB_ICONHAND);
    DestroyWindow(panel.window);
    return 0;
}

void ReleaseDevice(GeneratorDevice& owner) {
    if (owner.device) {
        owner.device->table->Release(owner.device);
        owner.device = nullptr;
    }
    if (owner.driverLibrary) {
        FreeLibrary(owner.driverLibrary);
        owner.driverLibrary = nullptr;
    }
    owner.factoryEntry = nullptr;
}

GeneratorDevice::~GeneratorDevice() {
    ReleaseDevice(*this);
}
