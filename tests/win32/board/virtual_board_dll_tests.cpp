// VirtualBoard.dll loaded the way the program loads a driver, driven through
// its exported factory and the real generator requests, and checked through
// the log it writes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "BoardLogReader.h"
#include "UnhandledExit.h"
#include "device/win/GeneratorCommands.h"
#include "settings/SettingsValues.h"

namespace {
// The device part of the application record, with the periods selections.
struct GeneratorRecord : GeneratorDevice, SavedState {};

const char* const BoardVariables[] = {
    "VBOARD_LOG",        "VBOARD_INFO17", "VBOARD_OPEN",   "VBOARD_INFO21", "VBOARD_ADC_RANGE",
    "VBOARD_GONE_AFTER", "VBOARD_RATE",   "VBOARD_CREATE", "VBOARD_CHDIR",  "VBOARD_FAULT",
};

std::string TempDirectory() {
    char path[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, path);
    return std::string(path, length);
}

const std::string RequestSize = std::to_string(sizeof(DeviceRequest));

std::string SetupLine(int selector, const std::string& fields) {
    return "{\"t\":_,\"op\":\"Setup\",\"selector\":" + std::to_string(selector) +
           ",\"code\":102,\"size\":" + RequestSize + "," + fields + "}";
}

void NoPause(uint32_t) {}

class VirtualBoardDll : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : BoardVariables) SetEnvironmentVariableA(name, nullptr);
        logPath = TempDirectory() + "vboard_dll_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        DeleteFileA(logPath.c_str());
        SetEnvironmentVariableA("VBOARD_LOG", logPath.c_str());
        library = LoadLibraryA(VIRTUAL_BOARD_PATH);
        ASSERT_NE(library, nullptr) << VIRTUAL_BOARD_PATH;
        factory = reinterpret_cast<DriverFactory*>(GetProcAddress(library, "StaticFactory"));
        ASSERT_NE(factory, nullptr);
        savedPause = AutoStartPause;
        AutoStartPause = NoPause;
    }
    void TearDown() override {
        AutoStartPause = savedPause;
        if (state.device) state.device->table->Release(state.device);
        state.device = nullptr;  // released above, before its library goes
        if (library) FreeLibrary(library);
        DeleteFileA(logPath.c_str());
        for (const char* name : BoardVariables) SetEnvironmentVariableA(name, nullptr);
    }

    IADCDevice* Create(const char* name = "IADCDevice") { return factory->table->Create(factory, name, 0); }
    void Attach() {
        state.device = Create();
        ASSERT_NE(state.device, nullptr);
    }
    int32_t GetInfo(uint32_t item, void* variable) {
        return state.device->table->GetInfo(state.device, item, variable);
    }
    std::vector<std::string> Log() const { return BoardLogTexts(logPath); }

    std::string logPath;
    HMODULE library = nullptr;
    DriverFactory* factory = nullptr;
    GeneratorRecord state;
    PauseFunction savedPause = nullptr;
};
}  // namespace

TEST_F(VirtualBoardDll, FactoryMakesADeviceForEveryCreate) {
    IADCDevice* first = Create();
    IADCDevice* second = Create();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    const auto* table = first->table;
    const void* slots[] = {
        reinterpret_cast<const void*>(table->slot0), reinterpret_cast<const void*>(table->Release),
        reinterpret_cast<const void*>(table->Open),  reinterpret_cast<const void*>(table->slot3),
        reinterpret_cast<const void*>(table->Setup), reinterpret_cast<const void*>(table->slot5),
        reinterpret_cast<const void*>(table->slot6), reinterpret_cast<const void*>(table->slot7),
        reinterpret_cast<const void*>(table->slot8), reinterpret_cast<const void*>(table->GetInfo),
    };
    for (size_t i = 0; i < std::size(slots); ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i;
    first->table->Release(first);
    second->table->Release(second);
    const std::vector<std::string> expected = {
        R"({"t":_,"op":"Create","name":"IADCDevice"})",
        R"({"t":_,"op":"Create","name":"IADCDevice"})",
        R"({"t":_,"op":"Release"})",
        R"({"t":_,"op":"Release"})",
    };
    EXPECT_EQ(Log(), expected);
}

TEST_F(VirtualBoardDll, AttachItemsAnswerWithTheDefaults) {
    Attach();
    uint32_t capabilities = 0, serial = 0, presence = 7;
    const uint32_t* record = nullptr;
    float volts = 0.0f;
    EXPECT_EQ(GetInfo(17, &capabilities), 1);
    EXPECT_EQ(capabilities, 1u);
    EXPECT_EQ(state.device->table->Open(state.device, 1, 1, 0, 0), 1);
    EXPECT_EQ(GetInfo(21, &record), 1);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record[1], 0x300u);
    EXPECT_EQ(GetInfo(200, &serial), 1);
    EXPECT_EQ(serial, 100417u);  // the board's serial number
    EXPECT_EQ(GetInfo(53, &volts), 1);
    EXPECT_EQ(volts, 10.0f);
    EXPECT_EQ(GetInfo(0x5A5A0101, &presence), 1);
    EXPECT_EQ(presence, 1u);
    const std::vector<std::string> expected = {
        R"({"t":_,"op":"Create","name":"IADCDevice"})",
        R"({"t":_,"op":"GetInfo","item":17,"result":1,"value":1})",
        R"({"t":_,"op":"Open","args":[1,1,0,0],"result":1})",
        R"({"t":_,"op":"GetInfo","item":21,"result":1,"value":768})",
        "{\"t\":_,\"op\":\"GetInfo\",\"item\":200,\"result\":1,\"value\":" + std::to_string(serial) + "}",
        R"({"t":_,"op":"GetInfo","item":53,"result":1,"value":10.0})",
        R"({"t":_,"op":"GetInfo","item":1515847937,"result":1,"value":1})",
    };
    EXPECT_EQ(Log(), expected);
}

TEST_F(VirtualBoardDll, EveryGeneratorRequestIsLoggedFieldByField) {
    Attach();
    state.appliedAmplitude1 = 0x4000;
    state.ModeIndex1 = 0;
    state.appliedAmplitude2 = 0x2000;
    state.ModeIndex2 = 1;
    double rate = 999.5;
    ASSERT_TRUE(ApplySamplingFrequency(state, rate));
    state.samplingFrequency = rate;
    ASSERT_EQ(ReloadGenerator(state, state.ModeIndex1, state.ModeIndex2, true), 1);
    ASSERT_EQ(ReloadGenerator(state, state.ModeIndex1, state.ModeIndex2, false), 1);
    ASSERT_TRUE(GeneratorCommand(state, AutoStartOn, 2500.0));
    ASSERT_TRUE(GeneratorCommand(state, AutoStartOff, 0.0));

    SineOscillator a, b;
    a.Prepare(0x4000, 1);
    b.Prepare(0x2000, 2);
    SampleBlock block;
    SynthesizeBlock(a, b, block);
    std::string values;
    for (int16_t v : block.values) values += (values.empty() ? "" : ",") + std::to_string(v);

    const std::string stop =
        SetupLine(1, R"("mode":0,"frequency":0.0,"address":4096,"flag":0,"count":0,"buffer":null)");
    const std::vector<std::string> expected = {
        R"({"t":_,"op":"Create","name":"IADCDevice"})",
        SetupLine(0, R"("mode":2,"frequency":999.5,"address":4096,"flag":1,"count":2000,"buffer":null)"),
        stop,
        SetupLine(
            1, R"("mode":2,"frequency":0.0,"address":4096,"flag":1,"count":2048,"buffer":[)" + values + "]"),
        stop,
        SetupLine(1, R"("mode":2,"frequency":999.5,"address":4096,"flag":1,"count":2000,"buffer":null)"),
        SetupLine(
            1, R"("mode":2147483650,"frequency":2500.0,"address":4096,"flag":1,"count":2000,"buffer":null)"),
        SetupLine(1, R"("mode":2147483903,"frequency":0.0,"address":0,"flag":1,"count":0,"buffer":null)"),
    };
    const auto log = Log();
    ASSERT_EQ(log.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(log[i], expected[i]) << "line " << i;
    EXPECT_NE(values.find("103,"), std::string::npos);  // the block really holds the sine
}

TEST_F(VirtualBoardDll, LogTimesAreMillisecondsSinceCreate) {
    Attach();
    Sleep(60);
    uint32_t presence = 0;
    GetInfo(0x5A5A0101, &presence);
    const auto log = ReadBoardLog(logPath);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].t, 0);
    EXPECT_GE(log[1].t, 50);
    EXPECT_LT(log[1].t, 1000);
    // Lines end in a bare line feed, whatever the platform's text mode does.
    std::string raw;
    {
        std::ifstream file(logPath, std::ios::binary);
        raw.assign(std::istreambuf_iterator<char>(file), {});
    }
    EXPECT_EQ(raw.find('\r'), std::string::npos);
}

TEST_F(VirtualBoardDll, InformationVariablesChangeTheAnswers) {
    const struct {
        const char* name;
        const char* value;
        uint32_t item;
        int32_t result;
        std::function<bool(const uint64_t& variable)> holds;
        const char* line;
    } cases[] = {
        {"VBOARD_INFO17", "6", 17, 1, [](auto& v) { return static_cast<uint32_t>(v) == 6; },
         R"({"t":_,"op":"GetInfo","item":17,"result":1,"value":6})"},
        {"VBOARD_INFO21", "ok", 21, 1,
         [](auto& v) { return reinterpret_cast<const uint32_t*>(v)[1] == 0x300; },
         R"({"t":_,"op":"GetInfo","item":21,"result":1,"value":768})"},
        {"VBOARD_INFO21", "bad", 21, 1,
         [](auto& v) { return reinterpret_cast<const uint32_t*>(v)[1] == 0x100; },
         R"({"t":_,"op":"GetInfo","item":21,"result":1,"value":256})"},
        {"VBOARD_INFO21", "none", 21, 0, [](auto& v) { return v == 0; },
         R"({"t":_,"op":"GetInfo","item":21,"result":0,"value":null})"},
        {"VBOARD_ADC_RANGE", "2.5", 53, 1,
         [](auto& v) {
             float f;
             std::memcpy(&f, &v, sizeof f);
             return f == 2.5f;
         },
         R"({"t":_,"op":"GetInfo","item":53,"result":1,"value":2.5})"},
        {"VBOARD_ADC_RANGE", "0", 53, 1, [](auto& v) { return v == 0; },
         R"({"t":_,"op":"GetInfo","item":53,"result":1,"value":0.0})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        DeleteFileA(logPath.c_str());
        SetEnvironmentVariableA(c.name, c.value);
        Attach();
        uint64_t variable = 0;  // wide enough for a pointer, a u32 or an f32
        EXPECT_EQ(GetInfo(c.item, &variable), c.result);
        EXPECT_TRUE(c.holds(variable));
        EXPECT_EQ(Log().back(), c.line);
        state.device->table->Release(state.device);
        state.device = nullptr;
        SetEnvironmentVariableA(c.name, nullptr);
    }
}

TEST_F(VirtualBoardDll, OpenResultComesFromTheEnvironment) {
    SetEnvironmentVariableA("VBOARD_OPEN", "0");
    Attach();
    EXPECT_EQ(state.device->table->Open(state.device, 3, 1, 0, 0), 0);
    EXPECT_EQ(Log().back(), R"({"t":_,"op":"Open","args":[3,1,0,0],"result":0})");
}

TEST_F(VirtualBoardDll, DeviceGoesAwayAfterTheGivenPresenceCalls) {
    SetEnvironmentVariableA("VBOARD_GONE_AFTER", "2");
    Attach();
    std::vector<uint32_t> answers;
    for (int i = 0; i < 4; ++i) {
        uint32_t present = 1;
        GetInfo(0x5A5A0101, &present);
        answers.push_back(present);
    }
    EXPECT_EQ(answers, (std::vector<uint32_t>{1, 1, 0, 0}));
}

TEST_F(VirtualBoardDll, FixedRateIsReadBack) {
    SetEnvironmentVariableA("VBOARD_RATE", "999.5");
    Attach();
    double rate = 1000.0;
    ASSERT_TRUE(ApplySamplingFrequency(state, rate));
    EXPECT_EQ(rate, 999.5);
    EXPECT_EQ(
        Log().back(),
        SetupLine(0, R"("mode":2,"frequency":1000.0,"address":4096,"flag":1,"count":2000,"buffer":null)"));
}

TEST_F(VirtualBoardDll, CreateCanBeMadeToFail) {
    SetEnvironmentVariableA("VBOARD_CREATE", "fail");
    EXPECT_EQ(Create(), nullptr);
    EXPECT_EQ(Log(), std::vector<std::string>{R"({"t":_,"op":"Create","name":"IADCDevice"})"});
}

TEST_F(VirtualBoardDll, OpenChangesTheCurrentDirectoryWhenAsked) {
    char saved[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
    std::string target = TempDirectory();
    if (target.size() > 3 && target.back() == '\\') target.pop_back();
    ASSERT_NE(lstrcmpiA(saved, target.c_str()), 0) << "run from another directory than " << target;
    SetEnvironmentVariableA("VBOARD_CHDIR", target.c_str());
    Attach();
    state.device->table->Open(state.device, 1, 1, 0, 0);
    char now[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, now);
    SetCurrentDirectoryA(saved);
    EXPECT_EQ(lstrcmpiA(now, target.c_str()), 0) << now;
}

TEST_F(VirtualBoardDll, WithoutALogPathNothingIsWritten) {
    SetEnvironmentVariableA("VBOARD_LOG", nullptr);
    Attach();
    uint32_t value = 0;
    EXPECT_EQ(GetInfo(17, &value), 1);
    EXPECT_EQ(GetFileAttributesA(logPath.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(VirtualBoardDll, VariablesAreReadWhenCreateRuns) {
    Attach();
    SetEnvironmentVariableA("VBOARD_OPEN", "0");
    EXPECT_EQ(state.device->table->Open(state.device, 1, 1, 0, 0), 1);
    IADCDevice* later = Create();
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(later->table->Open(later, 1, 1, 0, 0), 0);
    later->table->Release(later);
}

TEST_F(VirtualBoardDll, OddCallsAnswerZeroAndAreLogged) {
    EXPECT_EQ(Create("IDACDevice"), nullptr);
    Attach();
    EXPECT_EQ(state.device->table->Setup(state.device, 1, nullptr, 0), 0);
    DeviceRequest request{};
    FillRateRequest(request, 500.0);
    EXPECT_EQ(state.device->table->Setup(state.device, 5, &request, 0), 0);
    uint32_t variable = 0xDEADBEEF;
    EXPECT_EQ(GetInfo(99, &variable), 0);
    EXPECT_EQ(variable, 0xDEADBEEFu);
    EXPECT_EQ(GetInfo(17, nullptr), 0);
    const auto* table = state.device->table;
    for (DriverUnusedSlot slot :
         {table->slot0, table->slot3, table->slot5, table->slot6, table->slot7, table->slot8})
        slot(state.device);
    const std::vector<std::string> expected = {
        R"({"t":_,"op":"Create","name":"IDACDevice"})",
        R"({"t":_,"op":"Create","name":"IADCDevice"})",
        R"({"t":_,"op":"Setup","selector":1,"request":null})",
        SetupLine(5, R"("mode":2,"frequency":500.0,"address":4096,"flag":1,"count":2000,"buffer":null)"),
        R"({"t":_,"op":"GetInfo","item":99,"result":0,"value":null})",
        R"({"t":_,"op":"GetInfo","item":17,"result":0,"value":null})",
        R"({"t":_,"op":"Unused","slot":0})",
        R"({"t":_,"op":"Unused","slot":3})",
        R"({"t":_,"op":"Unused","slot":5})",
        R"({"t":_,"op":"Unused","slot":6})",
        R"({"t":_,"op":"Unused","slot":7})",
        R"({"t":_,"op":"Unused","slot":8})",
    };
    EXPECT_EQ(Log(), expected);
}

TEST_F(VirtualBoardDll, FaultSwitchFaultsInsideTheRequestAfterItsLogLine) {
    const struct {
        const char* fault;
        bool write;
    } cases[] = {
        {"write:access", true}, {"write:divide", true}, {"write:cxx", true},
        {"run:access", false},  {"run:divide", false},  {"run:cxx", false},
    };
    const ExitOnUnhandledFault unhandled;
    state.samplingFrequency = 1000.0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        SetEnvironmentVariableA("VBOARD_FAULT", c.fault);
        DeleteFileA(logPath.c_str());
        Attach();
        // The other request of the pair goes through; the asked one faults.
        EXPECT_EQ(ReloadGenerator(state, state.ModeIndex1, state.ModeIndex2, !c.write), 1);
        EXPECT_EQ(ReloadGenerator(state, state.ModeIndex1, state.ModeIndex2, c.write), 0);
        const auto log = Log();
        ASSERT_EQ(log.size(), 5u);
        const std::string faulted = log.back();
        EXPECT_NE(faulted.find(c.write ? R"("count":2048)" : R"("mode":2,"frequency":1000.0)"),
                  std::string::npos)
            << faulted;
        state.device->table->Release(state.device);
        state.device = nullptr;
    }
}
