// The generator requests: each fills one DeviceRequest and hands it to the
// device's Setup. The requests that keep the user waiting (the write and the
// auto-start switches) show the wait cursor while they run.
#include <windows.h>

#include "device/win/GeneratorCommands.h"
#include "device/win/RequestGuard.h"

namespace {
// The board needs this long to settle after its auto-start mode changes.
constexpr uint32_t AutoStartSettleMs = 1000;

void SleepPause(uint32_t milliseconds) {
    Sleep(milliseconds);
}

// Shows the system wait cursor for its lifetime and brings back the cursor
// that was showing, also when an exception leaves the request.
class WaitCursor {
public:
    WaitCursor() : previous(GetCursor()) { SetCursor(LoadCursorA(nullptr, IDC_WAIT)); }
    ~WaitCursor() { SetCursor(previous); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous;
};

void Send(IADCDevice* device, int32_t selector, DeviceRequest& request) {
    device->table->Setup(device, selector, &request, 0);  // the result says nothing we use
}

// The driver takes the block's contents during Setup.
void SendBlock(IADCDevice* device, SampleBlock& block) {
    DeviceRequest request;
    FillGeneratorRequest(request, WriteBlock, 0.0, &block);
    Send(device, SetupGenerator, request);
}

// Runs request() under the guard. 1 when it returned, 0 when an exception
// left it.
template <typename Request>
int32_t Guarded(Request& request) {
    const HCURSOR cursor = GetCursor();
    if (CallGuarded([](void* context) { (*static_cast<Request*>(context))(); }, &request)) return 1;
    // The frames between the fault and the guard were left without running
    // their destructors (neither architecture's unwinding runs them for a
    // structured or foreign exception), so the wait cursor may still be up:
    // put back the one that showed before. The callers carry on; nothing is
    // shown.
    SetCursor(cursor);
    return 0;
}
}  // namespace

PauseFunction AutoStartPause = SleepPause;

bool GeneratorCommand(GeneratorDevice& state, int32_t kind, double frequency) {
    if (!state.device) return false;
    DeviceRequest request;
    if (kind == RunAtRate) {
        FillGeneratorRequest(request, kind, frequency, nullptr);
        Send(state.device, SetupGenerator, request);
        return true;
    }

    WaitCursor wait;
    switch (kind) {
    case WriteBlock: {
        SampleBlock block;
        SynthesizeBlock(state.oscillator1, state.oscillator2, block);
        SendBlock(state.device, block);
        break;
    }
    case AutoStartOn:
    case AutoStartOff:
        FillGeneratorRequest(request, kind, frequency, nullptr);
        Send(state.device, SetupGenerator, request);
        AutoStartPause(AutoStartSettleMs);
        break;
    default: break;
    }
    return true;
}

void StopGenerator(GeneratorDevice& state) {
    GeneratorCommand(state, RunAtRate, 0.0);
}

int32_t ReloadGenerator(GeneratorDevice& state, int32_t modeIndex1, int32_t modeIndex2, bool write) {
    StopGenerator(state);
    // Every written or played block starts at phase 0.
    state.oscillator1.Prepare(state.appliedAmplitude1, modeIndex1 + 1);
    state.oscillator2.Prepare(state.appliedAmplitude2, modeIndex2 + 1);
    const int32_t kind = write ? WriteBlock : RunAtRate;
    auto request = [&state, kind] { GeneratorCommand(state, kind, state.samplingFrequency); };
    return Guarded(request);
}

int32_t WriteGivenBlock(GeneratorDevice& state, const SampleBlock& block) {
    StopGenerator(state);
    if (!state.device) return 1;
    auto request = [&state, &block] {
        WaitCursor wait;
        SampleBlock copy = block;
        SendBlock(state.device, copy);
    };
    return Guarded(request);
}

bool ApplySamplingFrequency(GeneratorDevice& state, double& frequency) {
    if (!state.device || !(frequency > 0.0)) return false;
    DeviceRequest request;
    FillRateRequest(request, frequency);
    Send(state.device, SetupApplyRate, request);
    frequency = request.Frequency;  // the rate the device actually set
    return true;
}
