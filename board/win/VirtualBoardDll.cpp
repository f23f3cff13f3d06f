// VirtualBoard.dll: the driver tables around SimulatedBoard. The exported
// StaticFactory creates one device per Create call; Release deletes it.
// No exception may cross into the caller, so every operation catches its own
// and answers as the board would to a call it cannot serve.
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "DriverFault.h"
#include "SimulatedBoard.h"
#include "device/AdcDevice.h"

namespace {
// GetEnvironmentVariableA, so changes made inside the process are seen.
std::optional<std::string> EnvironmentValue(const char* name) {
    std::string value(256, '\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) return std::nullopt;  // not set, or set to nothing
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length);  // too small: length is the size needed
    }
}

struct VirtualDevice : IADCDevice {
    VirtualDevice(const IADCDeviceTable* operations, std::unique_ptr<SimulatedBoard> simulated)
        : IADCDevice{operations}, board(std::move(simulated)) {}
    std::unique_ptr<SimulatedBoard> board;
};

// Runs one operation on the device's board: 0 for a null device or when the
// operation throws.
template <typename Operation>
int32_t WithBoard(IADCDevice* self, Operation operation) {
    if (!self) return 0;
    try {
        return operation(*static_cast<VirtualDevice*>(self)->board);
    } catch (...) {
        return 0;
    }
}

void DRIVER_CALL Release(IADCDevice* self) {
    std::optional<FaultKind> fault;
    WithBoard(self, [&](SimulatedBoard& board) {
        board.Release();  // logs the call first
        fault = board.Settings().releaseFault;
        return 0;
    });
    // A driver that faults here leaves its device behind.
    if (fault) RaiseDriverFault(*fault);
    delete static_cast<VirtualDevice*>(self);
}

int32_t DRIVER_CALL Open(IADCDevice* self, int32_t device, int32_t a, int32_t b, int32_t c) {
    return WithBoard(self, [&](SimulatedBoard& board) {
        const int32_t result = board.Open(device, a, b, c);
        // Some drivers leave the process in their own directory.
        const std::string& directory = board.Settings().openDirectory;
        if (!directory.empty()) SetCurrentDirectoryA(directory.c_str());
        return result;
    });
}

int32_t DRIVER_CALL Setup(IADCDevice* self, int32_t selector, DeviceRequest* request, int32_t) {
    std::optional<FaultKind> fault;
    const int32_t result = WithBoard(self, [&](SimulatedBoard& board) {
        fault = board.FaultFor(selector, request);
        return board.Setup(selector, request);  // logs the call first
    });
    // Outside WithBoard's catch, so nothing of ours can stop it on the way out.
    if (fault) RaiseDriverFault(*fault);
    return result;
}

int32_t DRIVER_CALL GetInfo(IADCDevice* self, uint32_t item, void* variable) {
    return WithBoard(self, [&](SimulatedBoard& board) { return board.GetInfo(item, variable); });
}

template <int Slot>
void DRIVER_CALL Unused(IADCDevice* self) {
    WithBoard(self, [](SimulatedBoard& board) {
        board.UnusedSlot(Slot);
        return 0;
    });
}

const IADCDeviceTable DeviceOperations = {
    Unused<0>, Release, Open, Unused<3>, Setup, Unused<5>, Unused<6>, Unused<7>, Unused<8>, GetInfo,
};

IADCDevice* DRIVER_CALL Create(DriverFactory*, const char* name, int32_t) {
    try {
        auto board = SimulatedBoard::Create(ReadBoardSettings(EnvironmentValue), name);
        if (!board) return nullptr;
        return new VirtualDevice(&DeviceOperations, std::move(board));
    } catch (...) {
        return nullptr;
    }
}

const DriverFactoryTable FactoryOperations = {Create};
}  // namespace

extern "C" __declspec(dllexport) DriverFactory StaticFactory;
DriverFactory StaticFactory = {&FactoryOperations};
