// The generator requests against an in-process device that records every
// Setup call, with the cursor showing at the time.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "win/DriverFault.h"
#include "RequestBlockSize.h"
#include "UnhandledExit.h"
#include "device/win/GeneratorCommands.h"
#include "device/win/RequestGuard.h"
#include "settings/SettingsValues.h"

namespace {
// The device part of the application record, with the periods selections.
struct GeneratorRecord : GeneratorDevice, SavedState {};

struct SetupCall {
    int32_t selector;
    int32_t last;
    DeviceRequest request;        // as received, before any write-back
    std::vector<int16_t> buffer;  // the block's contents during the call
    HCURSOR cursor;
};

// How the failing Setup call fails.
enum class Failure { OurThrow, AccessViolation, DivideByZero, ForeignThrow, HandledInside };

struct FakeDevice : IADCDevice {
    std::vector<SetupCall> calls;
    std::optional<size_t> throwOnCall;  // index of the Setup call that throws
    Failure failure = Failure::OurThrow;
    bool handledInside = false;  // the driver's own handler took its exception
    std::optional<double> rateWriteBack;
};

void Fail(FakeDevice& fake) {
    switch (fake.failure) {
    case Failure::OurThrow: throw std::runtime_error("driver failure");
    case Failure::AccessViolation: RaiseDriverFault(FaultKind::Access);
    case Failure::DivideByZero: RaiseDriverFault(FaultKind::Divide);
    case Failure::ForeignThrow: RaiseDriverFault(FaultKind::ForeignCxx);
    case Failure::HandledInside:
        // A driver that uses exceptions inside and catches its own with a
        // frame handler of its own, deeper than the guard.
        fake.handledInside = !CallGuarded([](void*) { RaiseDriverFault(FaultKind::ForeignCxx); }, nullptr);
        break;
    }
}

int32_t DRIVER_CALL FakeSetup(IADCDevice* self, int32_t selector, DeviceRequest* request, int32_t last) {
    auto& fake = *static_cast<FakeDevice*>(self);
    SetupCall call{selector, last, *request, {}, GetCursor()};
    if (request->Buffer) call.buffer.assign(request->Buffer, request->Buffer + request->Count);
    fake.calls.push_back(call);
    if (fake.throwOnCall == fake.calls.size() - 1) Fail(fake);
    if (selector == SetupApplyRate && fake.rateWriteBack) request->Frequency = *fake.rateWriteBack;
    return 1;
}

const IADCDeviceTable FakeOperations = {nullptr, nullptr, nullptr, nullptr, FakeSetup,
                                        nullptr, nullptr, nullptr, nullptr, nullptr};

struct Pause {
    uint32_t milliseconds;
    HCURSOR cursor;
};
std::vector<Pause> pauses;
void RecordPause(uint32_t milliseconds) {
    pauses.push_back({milliseconds, GetCursor()});
}

class GeneratorCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        device.table = &FakeOperations;
        state.device = &device;
        pauses.clear();
        originalPause = AutoStartPause;
        AutoStartPause = RecordPause;
        waitCursor = LoadCursorA(nullptr, IDC_WAIT);
        userCursor = LoadCursorA(nullptr, IDC_CROSS);
        SetCursor(userCursor);
        ASSERT_EQ(GetCursor(), userCursor);
        ASSERT_NE(userCursor, waitCursor);
    }
    void TearDown() override {
        AutoStartPause = originalPause;
        state.device = nullptr;  // the fake belongs to the fixture, not to the record
    }

    FakeDevice device;
    GeneratorRecord state;
    PauseFunction originalPause = nullptr;
    HCURSOR waitCursor = nullptr;
    HCURSOR userCursor = nullptr;
};

SampleBlock ExpectedBlock(int32_t code1, int32_t periods1, int32_t code2, int32_t periods2) {
    SineOscillator a, b;
    a.Prepare(code1, periods1);
    b.Prepare(code2, periods2);
    SampleBlock block;
    SynthesizeBlock(a, b, block);
    return block;
}
}  // namespace

TEST_F(GeneratorCommandsTest, EachKindSendsItsRequest) {
    const struct {
        const char* name;
        int32_t kind;
        double frequency;
        uint32_t mode;
        double sentFrequency;
        uint32_t address, flag, count;
        bool buffer, waits, pauses;
    } cases[] = {
        {"run", 0, 1000.0, 2, 1000.0, 4096, 1, 2000, false, false, false},
        {"stop", 0, 0.0, 0, 0.0, 4096, 0, 0, false, false, false},
        {"stop below 0", 0, -50.0, 0, 0.0, 4096, 0, 0, false, false, false},
        {"write", 1, 1000.0, 2, 0.0, 4096, 1, 2048, true, true, false},
        {"auto-start on", 2, 2500.0, 0x80000002u, 2500.0, 4096, 1, 2000, false, true, true},
        {"auto-start off", 3, 2500.0, 0x800000FFu, 0.0, 0, 1, 0, false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        device.calls.clear();
        pauses.clear();
        EXPECT_TRUE(GeneratorCommand(state, c.kind, c.frequency));
        ASSERT_EQ(device.calls.size(), 1u);
        const SetupCall& call = device.calls[0];
        EXPECT_EQ(call.selector, 1);
        EXPECT_EQ(call.last, 0);
        EXPECT_EQ(call.request.Code, 102u);
        EXPECT_EQ(call.request.Size, RequestBlockSize);
        EXPECT_EQ(call.request.Mode, c.mode);
        EXPECT_EQ(double(call.request.Frequency), c.sentFrequency);
        EXPECT_EQ(call.request.Address, c.address);
        EXPECT_EQ(call.request.Flag, c.flag);
        EXPECT_EQ(call.request.Count, c.count);
        EXPECT_EQ(call.request.Buffer != nullptr, c.buffer);
        EXPECT_EQ(call.cursor, c.waits ? waitCursor : userCursor);
        if (c.pauses) {
            ASSERT_EQ(pauses.size(), 1u);
            EXPECT_EQ(pauses[0].milliseconds, 1000u);
            EXPECT_EQ(pauses[0].cursor, waitCursor);  // the pause is part of the wait
        } else {
            EXPECT_TRUE(pauses.empty());
        }
        EXPECT_EQ(GetCursor(), userCursor);
    }
}

TEST_F(GeneratorCommandsTest, ReloadSendsStopThenItsRequest) {
    const struct {
        const char* name;
        bool write;
        double samplingFrequency;
        uint32_t secondMode, secondCount;
        double secondFrequency;
    } cases[] = {
        {"write", true, 1000.0, 2, 2048, 0.0},
        {"run", false, 1234.5, 2, 2000, 1234.5},
        {"stop at 0", false, 0.0, 0, 0, 0.0},
        {"stop below 0", false, -1.0, 0, 0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        device.calls.clear();
        state.samplingFrequency = c.samplingFrequency;
        EXPECT_EQ(ReloadGenerator(state, state.ModeIndex1, state.ModeIndex2, c.write), 1);
        ASSERT_EQ(device.calls.size(), 2u);
        EXPECT_EQ(device.calls[0].request.Mode, 0u);
        EXPECT_EQ(device.calls[0].request.Count, 0u);
        EXPECT_EQ(device.calls[0].request.Flag, 0u);
        EXPECT_EQ(device.calls[1].selector, 1);
        EXPECT_EQ(device.calls[1].request.Mode, c.secondMode);
        EXPECT_EQ(device.calls[1].request.Count, c.secondCount);
        EXPECT_EQ(double(device.calls[1].request.Frequency), c.secondFrequency);
        EXPECT_EQ(device.calls[1].buffer.empty(), !c.write);
        EXPECT_TRUE(pauses.empty());
    }
}

TEST_F(GeneratorCommandsTest, AGivenBlockIsWrittenAsItStandsAfterAStop) {
    SampleBlock given;
    for (int i = 0; i < SampleBlockValues; ++i) given.values[i] = int16_t(i * 37 - 30000);
    EXPECT_EQ(WriteGivenBlock(state, given), 1);
    ASSERT_EQ(device.calls.size(), 2u);
    EXPECT_EQ(device.calls[0].request.Mode, 0u);
    const SetupCall& write = device.calls[1];
    EXPECT_EQ(write.selector, 1);
    EXPECT_EQ(write.request.Mode, 2u);
    EXPECT_EQ(write.request.Count, 2048u);
    EXPECT_EQ(write.request.Address, 4096u);
    EXPECT_EQ(write.buffer, std::vector<int16_t>(given.values, given.values + SampleBlockValues));
    EXPECT_EQ(write.cursor, waitCursor);
    EXPECT_EQ(GetCursor(), userCursor);

    // Without a device nothing is sent.
    state.device = nullptr;
    EXPECT_EQ(WriteGivenBlock(state, given), 1);
    EXPECT_EQ(device.calls.size(), 2u);
}

TEST_F(GeneratorCommandsTest, WrittenBlockIsTheFreshlyPreparedSynthesis) {
    state.appliedAmplitude1 = 32767;
    state.ModeIndex1 = 19;
    state.appliedAmplitude2 = 1234;
    state.ModeIndex2 = 4;
    // Oscillators left mid-block by an earlier write must not shift the phase.
    state.oscillator1.Prepare(100, 3);
    state.oscillator1.sineState = 0.5;
    state.oscillator2.cosineState = -0.25;
    ASSERT_EQ(ReloadGenerator(state, state.ModeIndex1, state.ModeIndex2, true), 1);
    ASSERT_EQ(device.calls.size(), 2u);
    const SampleBlock expected = ExpectedBlock(32767, 20, 1234, 5);
    ASSERT_EQ(device.calls[1].buffer.size(), 2048u);
    EXPECT_TRUE(std::equal(device.calls[1].buffer.begin(), device.calls[1].buffer.end(),
                           std::begin(expected.values)));
    EXPECT_EQ(device.calls[1].cursor, waitCursor);
    EXPECT_EQ(GetCursor(), userCursor);
}

TEST_F(GeneratorCommandsTest, WithoutADeviceNothingIsSent) {
    state.device = nullptr;
    for (int32_t kind : {0, 1, 2, 3, 9}) {
        EXPECT_FALSE(GeneratorCommand(state, kind, 1000.0)) << "kind " << kind;
        EXPECT_EQ(GetCursor(), userCursor);
    }
    double frequency = 1000.0;
    EXPECT_FALSE(ApplySamplingFrequency(state, frequency));
    EXPECT_EQ(frequency, 1000.0);
    // The oscillators are still prepared from the applied values.
    state.appliedAmplitude1 = 777;
    state.ModeIndex2 = 2;
    EXPECT_EQ(ReloadGenerator(state, state.ModeIndex1, state.ModeIndex2, true), 1);
    EXPECT_EQ(state.oscillator1.amplitude, 777.0);
    EXPECT_EQ(state.oscillator2.sineStep, std::sin(3 * 0.006283185307179587));
    EXPECT_TRUE(pauses.empty());
}

TEST_F(GeneratorCommandsTest, ExceptionFromTheWriteOrRunIsCaughtAndTheCursorRestored) {
    const ExitOnUnhandledFault unhandled;
    const struct {
        const char* name;
        Failure failure;
    } failures[] = {
        {"our own C++ exception", Failure::OurThrow},
        {"access violation", Failure::AccessViolation},
        {"integer division by zero", Failure::DivideByZero},
        {"another compiler's C++ exception", Failure::ForeignThrow},
    };
    for (const auto& f : failures) {
        for (bool write : {true, false}) {
            SCOPED_TRACE(std::string(f.name) + (write ? ", write" : ", run"));
            device.calls.clear();
            device.failure = f.failure;
            device.throwOnCall = 1;  // the stop goes through, the request after it fails
            EXPECT_EQ(ReloadGenerator(state, state.ModeIndex1, state.ModeIndex2, write), 0);
            EXPECT_EQ(device.calls.size(), 2u);
            EXPECT_EQ(device.calls[1].cursor, write ? waitCursor : userCursor);
            EXPECT_EQ(GetCursor(), userCursor);
            // The next request reaches the device as usual.
            device.throwOnCall.reset();
            EXPECT_EQ(ReloadGenerator(state, state.ModeIndex1, state.ModeIndex2, write), 1);
            EXPECT_EQ(device.calls.size(), 4u);
        }
    }
}

TEST_F(GeneratorCommandsTest, ExceptionTheDriverHandlesItselfStaysTheDrivers) {
    const ExitOnUnhandledFault unhandled;
    device.failure = Failure::HandledInside;
    device.throwOnCall = 1;
    EXPECT_EQ(ReloadGenerator(state, state.ModeIndex1, state.ModeIndex2, true), 1);
    EXPECT_TRUE(device.handledInside);
    EXPECT_EQ(device.calls.size(), 2u);
    EXPECT_EQ(GetCursor(), userCursor);
}

TEST_F(GeneratorCommandsTest, CursorGuardHoldsWhenTheRequestThrows) {
    for (int32_t kind : {1, 2, 3}) {
        device.throwOnCall = device.calls.size();
        EXPECT_THROW(GeneratorCommand(state, kind, 1000.0), std::runtime_error) << "kind " << kind;
        EXPECT_EQ(device.calls.back().cursor, waitCursor);
        EXPECT_EQ(GetCursor(), userCursor) << "kind " << kind;
    }
    EXPECT_TRUE(pauses.empty());  // the pause follows only a request that returned
}

TEST_F(GeneratorCommandsTest, UnknownKindSendsNothingAndSucceeds) {
    for (int32_t kind : {-1, 4, 255, INT32_MAX}) {
        EXPECT_TRUE(GeneratorCommand(state, kind, 1000.0)) << "kind " << kind;
        EXPECT_EQ(GetCursor(), userCursor);
    }
    EXPECT_TRUE(device.calls.empty());
    EXPECT_TRUE(pauses.empty());
}

TEST_F(GeneratorCommandsTest, AppliedFrequencyIsReadBackFromTheRequest) {
    device.rateWriteBack = 999.5;
    double frequency = 1000.0;
    EXPECT_TRUE(ApplySamplingFrequency(state, frequency));
    EXPECT_EQ(frequency, 999.5);
    ASSERT_EQ(device.calls.size(), 1u);
    const SetupCall& call = device.calls[0];
    EXPECT_EQ(call.selector, 0);
    EXPECT_EQ(call.last, 0);
    EXPECT_EQ(call.request.Code, 102u);
    EXPECT_EQ(call.request.Size, RequestBlockSize);
    EXPECT_EQ(call.request.Mode, 2u);
    EXPECT_EQ(double(call.request.Frequency), 1000.0);
    EXPECT_EQ(call.request.Address, 4096u);
    EXPECT_EQ(call.request.Flag, 1u);
    EXPECT_EQ(call.request.Count, 2000u);
    EXPECT_EQ(call.request.Buffer, nullptr);
    EXPECT_EQ(call.cursor, userCursor);
}

TEST_F(GeneratorCommandsTest, RateNotAboveZeroIsNotApplied) {
    for (double rate : {0.0, -0.0, -3.0, std::nan("")}) {
        double frequency = rate;
        EXPECT_FALSE(ApplySamplingFrequency(state, frequency)) << rate;
    }
    EXPECT_TRUE(device.calls.empty());
}

TEST_F(GeneratorCommandsTest, AutoStartPausesForOneSecond) {
    AutoStartPause = originalPause;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(GeneratorCommand(state, AutoStartOff, 0.0));
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(elapsed.count(), 950);
    EXPECT_LT(elapsed.count(), 1500);
    EXPECT_EQ(device.calls.size(), 1u);
}
