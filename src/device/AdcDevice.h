// The board driver's contract, shared by the program and the virtual board.
//
// The driver library exports one data object, StaticFactory, whose first word
// points to a table of operations; operation 0 creates the "IADCDevice"
// interface. The interface is itself an object whose first word points to a
// table of at least ten operations. Both tables are spelled out here slot by
// slot, so the binary layout is explicit rather than left to a compiler's
// virtual-table rules. On 32-bit Windows every operation is __stdcall.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define DRIVER_CALL __stdcall
#else
#define DRIVER_CALL
#endif

// The request block handed to Setup. Packed to 4 bytes: 36 bytes where
// pointers are 4 bytes wide, 40 where they are 8. Size carries its sizeof.
#pragma pack(push, 4)
struct DeviceRequest {
    uint32_t Code;     // always RequestCode
    uint32_t Size;     // sizeof(DeviceRequest)
    uint32_t Mode;     // see RequestMode
    double Frequency;  // sampling frequency in Hz, or 0.0
    uint32_t Address;  // waveform start in board memory
    uint32_t Flag;
    uint32_t Count;   // number of 16-bit values
    int16_t* Buffer;  // the sample block when writing, else null
};
#pragma pack(pop)

static_assert(offsetof(DeviceRequest, Code) == 0);
static_assert(offsetof(DeviceRequest, Size) == 4);
static_assert(offsetof(DeviceRequest, Mode) == 8);
static_assert(offsetof(DeviceRequest, Frequency) == 12);
static_assert(offsetof(DeviceRequest, Address) == 20);
static_assert(offsetof(DeviceRequest, Flag) == 24);
static_assert(offsetof(DeviceRequest, Count) == 28);
static_assert(offsetof(DeviceRequest, Buffer) == 32);
static_assert(sizeof(DeviceRequest) == 32 + sizeof(void*));
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(DeviceRequest) == 36, "the 32-bit drivers expect a 36-byte block");
#endif

constexpr uint32_t RequestCode = 102;
constexpr uint32_t WaveformAddress = 4096;

namespace RequestMode {
constexpr uint32_t Stop = 0;
constexpr uint32_t RunOrWrite = 2;
constexpr uint32_t AutoStartOn = 0x80000002u;
constexpr uint32_t AutoStartOff = 0x800000FFu;
}  // namespace RequestMode

// Setup selectors.
constexpr int32_t SetupApplyRate = 0;
constexpr int32_t SetupGenerator = 1;

// GetInfo items the program relies on.
namespace InfoItem {
constexpr uint32_t Capabilities = 17;       // u32; bit 0 must be set
constexpr uint32_t DriverRecord = 21;       // pointer to a record; its second u32 needs 0x300
constexpr uint32_t AdcRange = 53;           // f32 volts
constexpr uint32_t SerialNumber = 200;      // u32, stored only
constexpr uint32_t Presence = 0x5A5A0101u;  // u32; 0 means the device is gone
}  // namespace InfoItem

struct IADCDevice;
using DriverUnusedSlot = void(DRIVER_CALL*)(IADCDevice*);

struct IADCDeviceTable {
    DriverUnusedSlot slot0;
    void(DRIVER_CALL* Release)(IADCDevice* self);
    int32_t(DRIVER_CALL* Open)(IADCDevice* self, int32_t device, int32_t a, int32_t b, int32_t c);
    DriverUnusedSlot slot3;
    int32_t(DRIVER_CALL* Setup)(IADCDevice* self, int32_t selector, DeviceRequest* request, int32_t zero);
    DriverUnusedSlot slot5;
    DriverUnusedSlot slot6;
    DriverUnusedSlot slot7;
    DriverUnusedSlot slot8;
    int32_t(DRIVER_CALL* GetInfo)(IADCDevice* self, uint32_t item, void* variable);
};
static_assert(offsetof(IADCDeviceTable, Release) == 1 * sizeof(void*));
static_assert(offsetof(IADCDeviceTable, Open) == 2 * sizeof(void*));
static_assert(offsetof(IADCDeviceTable, Setup) == 4 * sizeof(void*));
static_assert(offsetof(IADCDeviceTable, GetInfo) == 9 * sizeof(void*));

struct IADCDevice {
    const IADCDeviceTable* table;
};

struct DriverFactory;
struct DriverFactoryTable {
    IADCDevice*(DRIVER_CALL* Create)(DriverFactory* self, const char* name, int32_t zero);
};
static_assert(offsetof(DriverFactoryTable, Create) == 0);

// The type of the exported StaticFactory object.
struct DriverFactory {
    const DriverFactoryTable* table;
};

constexpr const char* DeviceInterfaceName = "IADCDevice";
constexpr const char* FactoryExportName = "StaticFactory";
