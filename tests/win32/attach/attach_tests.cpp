// Device attach, the presence poll and release, against the virtual board
// and a small fake driver registered under HKLM by the tests themselves.
// The board's log shows every call it received; message boxes are answered
// and read by a MessageBoxCatcher.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "MessageBoxCatcher.h"
#include "device/win/DeviceAttach.h"
#include "settings/SettingsValues.h"

namespace {
constexpr char Unsuitable[] = "Свойства устройства не подходят!";
constexpr char NotAvailable[] = "Устройство не подключено или используется другой программой!";
constexpr char Gone[] = "Устройство неожиданно отключилось! Программа будет закрыта.";
constexpr char DriversKey[] = "SOFTWARE\\Brackwell\\Drivers\\1.0\\";

const char* const BoardVariables[] = {"VBOARD_LOG",    "VBOARD_INFO17",    "VBOARD_OPEN",
                                      "VBOARD_INFO21", "VBOARD_ADC_RANGE", "VBOARD_GONE_AFTER",
                                      "VBOARD_RATE",   "VBOARD_CREATE",    "VBOARD_CHDIR"};

// What attach works on: the configured device and the device owner.
struct AttachRecord : Configuration, GeneratorDevice {};

struct EnvSetting {
    const char* name;
    const char* value;
};

class AttachTest : public ::testing::Test {
protected:
    void SetUp() override {
        deviceName =
            std::string("QorvelTest") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        keyPath = DriversKey + deviceName;
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        logPath = std::string(temp) + deviceName + ".log";
        Reset();
    }

    void TearDown() override {
        ReleaseDevice(state);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());
        DeleteFileA(logPath.c_str());
        for (const char* name : BoardVariables) SetEnvironmentVariableA(name, nullptr);
    }

    // A fresh application record, no registry entry, the board at its defaults.
    void Reset(const std::vector<EnvSetting>& env = {}) {
        ReleaseDevice(state);
        static_cast<Configuration&>(state) = Configuration{};
        state.deviceInfo = 0;
        std::snprintf(state.DeviceName, sizeof state.DeviceName, "%s", deviceName.c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());
        DeleteFileA(logPath.c_str());
        for (const char* name : BoardVariables) SetEnvironmentVariableA(name, nullptr);
        SetEnvironmentVariableA("VBOARD_LOG", logPath.c_str());
        for (const EnvSetting& e : env) SetEnvironmentVariableA(e.name, e.value);
    }

    void Register(const void* data, DWORD size, DWORD type = REG_SZ) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "path", 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void Register(const std::string& path, DWORD type = REG_SZ) {
        Register(path.c_str(), static_cast<DWORD>(path.size() + 1), type);
    }

    // The board's calls in order: "Create", "Open 1,1,0,0", "GetInfo 17", "Release"...
    std::vector<std::string> BoardCalls() const {
        std::vector<std::string> calls;
        std::ifstream log(logPath);
        static const std::regex op("\"op\":\"(\\w+)\"");
        static const std::regex item("\"item\":(\\d+)");
        static const std::regex args("\"args\":\\[([-0-9,]*)\\]");
        for (std::string line; std::getline(log, line);) {
            std::smatch m;
            if (!std::regex_search(line, m, op)) continue;
            std::string call = m[1];
            if (std::regex_search(line, m, item) || std::regex_search(line, m, args))
                call += " " + m[1].str();
            calls.push_back(call);
        }
        return calls;
    }

    std::string deviceName, keyPath, logPath;
    bool Attach() {
        MessageBoxReport report(noWindow);
        return AttachDevice(state, state.DeviceName, state.Device, state.ADCRange, state.DACRange, report);
    }

    AttachRecord state;
    WindowObject noWindow;  // before the panel exists messages have no owner
};

using Calls = std::vector<std::string>;
}  // namespace

TEST_F(AttachTest, SuitableBoardIsOpenedAndItsRangesTaken) {
    Register(VIRTUAL_BOARD_DLL);
    state.Device = 3;
    MessageBoxCatcher catcher;
    ASSERT_TRUE(Attach());
    EXPECT_TRUE(catcher.boxes.empty());
    EXPECT_NE(state.device, nullptr);
    EXPECT_NE(state.driverLibrary, nullptr);
    EXPECT_EQ(state.factoryEntry,
              reinterpret_cast<void*>(GetProcAddress(state.driverLibrary, "StaticFactory")));
    EXPECT_EQ(state.deviceInfo, 100417u) << "item 200, the board's serial number, stored";
    EXPECT_EQ(state.ADCRange, 10.0);
    EXPECT_EQ(state.DACRange, 10.0);
    EXPECT_EQ(BoardCalls(),
              (Calls{"Create", "GetInfo 17", "Open 3,1,0,0", "GetInfo 21", "GetInfo 200", "GetInfo 53"}));

    ReleaseDevice(state);
    EXPECT_EQ(state.device, nullptr);
    EXPECT_EQ(state.driverLibrary, nullptr);
    EXPECT_EQ(state.factoryEntry, nullptr);
    EXPECT_EQ(BoardCalls().back(), "Release");
    EXPECT_EQ(GetModuleHandleA(VIRTUAL_BOARD_DLL), nullptr) << "the library is unloaded";
}

TEST_F(AttachTest, FailuresWithTheirMessages) {
    const std::string board = VIRTUAL_BOARD_DLL;
    const struct {
        const char* what;
        std::string path;  // empty: no registry entry
        DWORD type;
        std::vector<EnvSetting> env;
        const char* message;  // null: fails silently
        Calls calls;          // the board's calls
    } cases[] = {
        {"no registry key", "", REG_SZ, {}, nullptr, {}},
        {"REG_EXPAND_SZ value", board, REG_EXPAND_SZ, {}, nullptr, {}},
        {"missing library", "C:\\nowhere\\missing-driver.dll", REG_SZ, {}, nullptr, {}},
        {"library without StaticFactory", "kernel32.dll", REG_SZ, {}, nullptr, {}},
        {"Create returns null", board, REG_SZ, {{"VBOARD_CREATE", "fail"}}, nullptr, {"Create"}},
        {"item 17 bit 0 clear",
         board,
         REG_SZ,
         {{"VBOARD_INFO17", "2"}},
         Unsuitable,
         {"Create", "GetInfo 17", "Release"}},
        {"item 17 zero",
         board,
         REG_SZ,
         {{"VBOARD_INFO17", "0"}},
         Unsuitable,
         {"Create", "GetInfo 17", "Release"}},
        {"Open answers 0",
         board,
         REG_SZ,
         {{"VBOARD_OPEN", "0"}},
         NotAvailable,
         {"Create", "GetInfo 17", "Open 1,1,0,0", "Release"}},
        {"Open answers -5",
         board,
         REG_SZ,
         {{"VBOARD_OPEN", "-5"}},
         NotAvailable,
         {"Create", "GetInfo 17", "Open 1,1,0,0", "Release"}},
        {"item 21 record lacks 0x200",
         board,
         REG_SZ,
         {{"VBOARD_INFO21", "bad"}},
         Unsuitable,
         {"Create", "GetInfo 17", "Open 1,1,0,0", "GetInfo 21", "Release"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Reset(c.env);
        if (!c.path.empty()) Register(c.path, c.type);
        MessageBoxCatcher catcher;
        EXPECT_FALSE(Attach());
        EXPECT_EQ(state.device, nullptr);
        if (c.message) {
            ASSERT_EQ(catcher.boxes.size(), 1u);
            EXPECT_EQ(catcher.boxes[0].text, c.message);
            EXPECT_EQ(catcher.boxes[0].caption, "");
            EXPECT_EQ(catcher.boxes[0].owner, nullptr);
            EXPECT_EQ(catcher.boxes[0].icon, HandIcon()) << "MB_ICONHAND";
            EXPECT_EQ(catcher.boxes[0].buttons, std::vector<int>{IDOK}) << "MB_OK";
        } else {
            EXPECT_TRUE(catcher.boxes.empty());
        }
        EXPECT_EQ(BoardCalls(), c.calls);
        // A failed attach gives back whatever it loaded.
        EXPECT_EQ(state.driverLibrary, nullptr);
        EXPECT_EQ(state.factoryEntry, nullptr);
        EXPECT_EQ(GetModuleHandleA(VIRTUAL_BOARD_DLL), nullptr);
    }
}

TEST_F(AttachTest, NoDriverRecordPasses) {
    Reset({{"VBOARD_INFO21", "none"}});
    Register(VIRTUAL_BOARD_DLL);
    MessageBoxCatcher catcher;
    EXPECT_TRUE(Attach());
    EXPECT_TRUE(catcher.boxes.empty());
}

TEST_F(AttachTest, ClaimedRecordWithoutAPointerIsRefused) {
    Register(FAKE_DRIVER_DLL);
    // Kept loaded here, so its release count can be read after attach has
    // unloaded its own reference.
    HMODULE fake = LoadLibraryA(FAKE_DRIVER_DLL);
    ASSERT_NE(fake, nullptr);
    const auto* releases = reinterpret_cast<const int32_t*>(GetProcAddress(fake, "FakeReleaseCount"));
    ASSERT_NE(releases, nullptr);
    const int32_t releasesBefore = *releases;
    MessageBoxCatcher catcher;
    EXPECT_FALSE(Attach());
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].text, Unsuitable);
    EXPECT_EQ(state.device, nullptr);
    EXPECT_EQ(state.driverLibrary, nullptr);
    EXPECT_EQ(*releases, releasesBefore + 1);
    FreeLibrary(fake);
}

TEST_F(AttachTest, RegistryValueIsTerminatedWithinItsBuffer) {
    // Stored without its NUL: still the board's path.
    const std::string board = VIRTUAL_BOARD_DLL;
    Register(board.data(), static_cast<DWORD>(board.size()));
    EXPECT_TRUE(Attach());

    // 256 bytes and no NUL leave no room for one: refused, even though the
    // first 255 of them name the board (padded with "./" to that length).
    Reset();
    const std::string::size_type slash = board.find_last_of("/\\");
    const std::string directory = board.substr(0, slash + 1), file = board.substr(slash + 1);
    ASSERT_LT(directory.size() + file.size(), 250u);
    std::string padded = directory;
    if ((255 - directory.size() - file.size()) % 2) padded += board[slash];
    while (padded.size() + file.size() < 255) padded += "." + std::string(1, board[slash]);
    padded += file;
    ASSERT_EQ(padded.size(), 255u);
    Register(padded);
    EXPECT_TRUE(Attach()) << "the padded path itself is loadable";
    Reset();
    const std::string full = padded + "x";
    Register(full.data(), static_cast<DWORD>(full.size()));
    EXPECT_FALSE(Attach());
    EXPECT_EQ(state.driverLibrary, nullptr);
}

TEST_F(AttachTest, Ranges) {
    const struct {
        double adcSetting, dacSetting;
        const char* boardVolts;
        double adc, dac;
        bool itemAsked;
    } cases[] = {
        {0.0, 0.0, "5.0", 5.0, 5.0, true},   {5.0, 0.0, "7.0", 5.0, 5.0, false},
        {0.0, 0.0, "0.0", 10.0, 10.0, true}, {0.0, 0.0, "-2.0", 10.0, 10.0, true},
        {0.0, 2.5, "7.0", 7.0, 2.5, true},   {-1.0, -1.0, "3.5", 3.5, 3.5, true},
        {5.0, 2.5, "7.0", 5.0, 2.5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.adcSetting) + " " + std::to_string(c.dacSetting) + " " + c.boardVolts);
        Reset({{"VBOARD_ADC_RANGE", c.boardVolts}});
        Register(VIRTUAL_BOARD_DLL);
        state.ADCRange = c.adcSetting;
        state.DACRange = c.dacSetting;
        ASSERT_TRUE(Attach());
        EXPECT_EQ(state.ADCRange, c.adc);
        EXPECT_EQ(state.DACRange, c.dac);
        const Calls calls = BoardCalls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "GetInfo 53"), c.itemAsked ? 1 : 0);
    }
}

// ---- the presence poll ----

namespace {
// A plain top-level window standing in for the panel.
class PanelStandIn : public WindowObject {
public:
    PanelStandIn() {
        window = CreateWindowExA(0, "STATIC", "Панель", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~PanelStandIn() override {
        if (IsWindow(window)) DestroyWindow(window);
    }
    // True when timer 1 was running (and stops it).
    bool TimerWasArmed() { return KillTimer(window, 1); }
    // Milliseconds until timer 1 fires, 0 if it does not within 5 s; stops it.
    DWORD MillisecondsToTimer() {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 5000) {
            MSG message;
            if (PeekMessageA(&message, window, WM_TIMER, WM_TIMER, PM_REMOVE) && message.wParam == 1) {
                KillTimer(window, 1);
                return std::max<DWORD>(GetTickCount() - start, 1);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_TIMER);
        }
        KillTimer(window, 1);
        return 0;
    }
};

const std::string PresenceCall = "GetInfo " + std::to_string(InfoItem::Presence);
}  // namespace

TEST_F(AttachTest, PresencePollReArmsOnlyWhileTheDeviceAnswers) {
    Reset({{"VBOARD_GONE_AFTER", "2"}});
    Register(VIRTUAL_BOARD_DLL);
    ASSERT_TRUE(Attach());
    PanelStandIn panel;
    ASSERT_NE(panel.window, nullptr);
    HWND panelWindow = panel.window;
    MessageBoxCatcher catcher;

    // Nothing is armed before a poll: only the poll's own re-arming can fire,
    // and it fires after its one second (a busy machine may make it later).
    EXPECT_EQ(PollDevicePresence(state, panel), 0);
    const DWORD period = panel.MillisecondsToTimer();
    EXPECT_GE(period, 950u) << "the poll re-arms for 1000 ms";
    EXPECT_LE(period, 4000u) << "0: the poll did not re-arm";
    EXPECT_TRUE(IsWindow(panelWindow));
    EXPECT_EQ(PollDevicePresence(state, panel), 0);
    EXPECT_TRUE(panel.TimerWasArmed()) << "second poll";
    EXPECT_TRUE(IsWindow(panelWindow));
    EXPECT_TRUE(catcher.boxes.empty());

    SetTimer(panel.window, 1, 60000, nullptr);
    EXPECT_EQ(PollDevicePresence(state, panel), 0);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].text, Gone);
    EXPECT_EQ(catcher.boxes[0].owner, panelWindow);
    EXPECT_EQ(catcher.boxes[0].icon, HandIcon());
    EXPECT_EQ(catcher.boxes[0].buttons, std::vector<int>{IDOK});
    EXPECT_EQ(catcher.boxes[0].caption, "Панель");
    EXPECT_FALSE(IsWindow(panelWindow)) << "the panel is destroyed";
    const Calls calls = BoardCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), PresenceCall), 3) << ::testing::PrintToString(calls);
}

TEST_F(AttachTest, PresencePollWithoutADeviceStopsForGood) {
    PanelStandIn panel;
    ASSERT_NE(panel.window, nullptr);
    SetTimer(panel.window, 1, 60000, nullptr);
    MessageBoxCatcher catcher;
    EXPECT_EQ(PollDevicePresence(state, panel), 0);
    EXPECT_FALSE(panel.TimerWasArmed());
    EXPECT_TRUE(IsWindow(panel.window));
    EXPECT_TRUE(catcher.boxes.empty());
}

TEST_F(AttachTest, UntouchedPresenceAnswerCountsAsPresent) {
    HMODULE fake = LoadLibraryA(FAKE_DRIVER_DLL);
    ASSERT_NE(fake, nullptr);
    auto* factory = reinterpret_cast<DriverFactory*>(GetProcAddress(fake, "StaticFactory"));
    ASSERT_NE(factory, nullptr);
    state.device = factory->table->Create(factory, "IADCDevice", 0);
    PanelStandIn panel;
    MessageBoxCatcher catcher;
    EXPECT_EQ(PollDevicePresence(state, panel), 0);
    EXPECT_TRUE(panel.TimerWasArmed());
    EXPECT_TRUE(catcher.boxes.empty());
    state.device = nullptr;
    FreeLibrary(fake);
}
