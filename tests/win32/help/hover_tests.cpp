#include <gtest/gtest.h>

#include "TestWindows.h"
#include "help/win/HoverHelp.h"
#include "resources/resource.h"

namespace {
BOOL CALLBACK CountProperty(HWND, LPSTR, HANDLE, ULONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

std::string HelpTextOf(int32_t controlId) {
    for (const HelpEntry* row = HelpTable; row->helpText != nullptr; ++row) {
        if (row->controlId == controlId) return row->helpText;
    }
    return {};
}

// A stand-in panel with some of the listed controls, one unlisted control
// (the frequency trackbar's id) and empty space.
class HoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Low enough on the screen for every balloon to open above the cursor.
        panel = CreateTopLevel("panel", 100, 450, 460, 320);
        ASSERT_NE(panel, nullptr);
        write = Child("BUTTON", "Запись", BS_PUSHBUTTON, 20, 20, 100, 30, IDC_WRITE);
        start = Child("BUTTON", "Старт!", BS_AUTOCHECKBOX | BS_PUSHLIKE, 20, 70, 100, 30, IDC_START);
        periods = Child("COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL, 160, 20, 120, 150, IDC_PERIODS1);
        for (const char* item : {"1", "2", "3"})
            SendMessageA(periods, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        SendMessageA(periods, CB_SETCURSEL, 0, 0);
        spin = Child("STATIC", "", SS_NOTIFY | WS_BORDER, 160, 80, 40, 30, IDC_SPIN1);
        unlisted = Child("STATIC", "", SS_NOTIFY | WS_BORDER, 20, 120, 200, 30, IDC_FREQUENCY);
        SetForegroundWindow(panel);
        PumpFor(50);
    }
    void TearDown() override {
        if (panel) DestroyWindow(panel);
    }

    HWND Child(const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id) {
        return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, panel,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                               nullptr);
    }

    // Puts the cursor on the middle of `window` and checks that it got there.
    void PointAt(HWND window) {
        const RECT r = WindowRect(window);
        PointAtScreen((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    void PointAtScreen(int x, int y) {
        ASSERT_TRUE(SetCursorPos(x, y));
        POINT p{};
        GetCursorPos(&p);
        ASSERT_EQ(p.x, x) << "SetCursorPos did not move the cursor";
        ASSERT_EQ(p.y, y) << "SetCursorPos did not move the cursor";
    }
    // A point inside the panel's client area that no control covers.
    void PointAtEmptyPanel() {
        POINT p{400, 250};
        ClientToScreen(panel, &p);
        PointAtScreen(p.x, p.y);
    }

    std::vector<HWND> Balloons() const { return BalloonWindows(panel); }
    std::string BalloonText() const {
        const auto b = Balloons();
        return b.size() == 1 ? WindowText(b[0]) : std::string("(") + std::to_string(b.size()) + " balloons)";
    }

    HWND panel = nullptr;
    HWND write = nullptr, start = nullptr, periods = nullptr, spin = nullptr, unlisted = nullptr;
};

// Ticks by hand: no timer, long display time.
class HoverTickTest : public HoverTest {
protected:
    void SetUp() override {
        HoverTest::SetUp();
        tracker.Start(panel, HelpTable, IDB_BALLOON, 0, 60000);
    }
    HoverHelp tracker;
};
}  // namespace

TEST_F(HoverTickTest, HelpOpensAtTheSecondTickOnAControlAndOnlyOnce) {
    PointAt(write);
    tracker.Tick(panel);
    EXPECT_TRUE(Balloons().empty());
    tracker.Tick(panel);
    EXPECT_EQ(BalloonText(), HelpTextOf(IDC_WRITE));
    // Anchored at the cursor: the balloon's bottom left corner is there.
    POINT cursor;
    GetCursorPos(&cursor);
    const RECT r = WindowRect(Balloons()[0]);
    EXPECT_EQ(r.left, cursor.x);
    EXPECT_EQ(r.bottom, cursor.y);
    const HWND first = Balloons()[0];
    for (int i = 0; i < 3; ++i) tracker.Tick(panel);
    ASSERT_EQ(Balloons().size(), 1u);
    EXPECT_EQ(Balloons()[0], first);
}

TEST_F(HoverTickTest, MovingToAnotherControlClosesAtOnceAndOpensOneTickLater) {
    PointAt(write);
    tracker.Tick(panel);
    tracker.Tick(panel);
    ASSERT_EQ(BalloonText(), HelpTextOf(IDC_WRITE));
    PointAt(start);
    tracker.Tick(panel);
    EXPECT_TRUE(Balloons().empty());
    tracker.Tick(panel);
    EXPECT_EQ(BalloonText(), HelpTextOf(IDC_START));
}

TEST_F(HoverTickTest, LeavingKeepsTheBalloonAndComingBackReopensIt) {
    PointAt(write);
    tracker.Tick(panel);
    tracker.Tick(panel);
    const HWND first = Balloons().at(0);
    PointAtEmptyPanel();
    tracker.Tick(panel);
    tracker.Tick(panel);
    EXPECT_TRUE(IsWindow(first)) << "empty panel space leaves the balloon up";
    const RECT pr = WindowRect(panel);
    PointAtScreen(pr.right + 40, pr.bottom + 40);  // outside the panel
    tracker.Tick(panel);
    EXPECT_TRUE(IsWindow(first)) << "leaving the panel leaves the balloon up";

    PointAt(write);
    tracker.Tick(panel);
    EXPECT_FALSE(IsWindow(first)) << "back on the control: the old balloon closes";
    EXPECT_TRUE(Balloons().empty());
    tracker.Tick(panel);
    EXPECT_EQ(BalloonText(), HelpTextOf(IDC_WRITE));
}

TEST_F(HoverTickTest, UnlistedControlsAndEmptySpaceGetNoHelp) {
    PointAt(unlisted);
    for (int i = 0; i < 3; ++i) tracker.Tick(panel);
    EXPECT_TRUE(Balloons().empty());
    PointAtEmptyPanel();
    for (int i = 0; i < 3; ++i) tracker.Tick(panel);
    EXPECT_TRUE(Balloons().empty());
}

TEST_F(HoverTickTest, NoHelpWhileTheComboBoxListIsOpen) {
    PointAt(periods);
    SendMessageA(periods, CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_EQ(SendMessageA(periods, CB_GETDROPPEDSTATE, 0, 0), 1);
    for (int i = 0; i < 3; ++i) tracker.Tick(panel);
    EXPECT_TRUE(Balloons().empty());
    SendMessageA(periods, CB_SHOWDROPDOWN, FALSE, 0);
    PointAt(periods);
    tracker.Tick(panel);
    EXPECT_EQ(BalloonText(), HelpTextOf(IDC_PERIODS1));
}

TEST_F(HoverTickTest, KeyboardFocusIsTheSameAfterEveryTick) {
    SetFocus(start);
    ASSERT_EQ(GetFocus(), start);
    PointAt(write);
    tracker.Tick(panel);
    EXPECT_EQ(GetFocus(), start);
    tracker.Tick(panel);  // opens the balloon, which takes the activation
    ASSERT_EQ(Balloons().size(), 1u);
    EXPECT_EQ(GetFocus(), start);
    PointAt(spin);
    tracker.Tick(panel);  // closes it
    EXPECT_TRUE(Balloons().empty());
    EXPECT_EQ(GetFocus(), start);
}

TEST_F(HoverTickTest, ExitClosesTheBalloon) {
    HWND balloon = nullptr;
    {
        HoverHelp scoped;
        scoped.Start(panel, HelpTable, IDB_BALLOON, 0, 60000);
        PointAt(write);
        scoped.Tick(panel);
        scoped.Tick(panel);
        ASSERT_EQ(Balloons().size(), 1u);
        balloon = Balloons()[0];
    }
    EXPECT_FALSE(IsWindow(balloon));
}

TEST_F(HoverTest, NoTimerAndNoHelpWithoutAPreDelay) {
    HoverHelp tracker;
    tracker.Start(panel, HelpTable, IDB_BALLOON, 0, 60000);
    EXPECT_FALSE(KillTimer(panel, 0)) << "no hover timer on the panel";
    PointAt(write);
    PumpFor(300);
    EXPECT_TRUE(Balloons().empty());
}

// What the panel does when it is destroyed: the tracker's timer, balloon and
// window property go while the panel still exists.
TEST_F(HoverTest, StopLeavesNothingOnThePanel) {
    const auto countProperties = [this] {
        int count = 0;
        EnumPropsExA(panel, CountProperty, reinterpret_cast<LPARAM>(&count));
        return count;
    };
    const int before = countProperties();
    HoverHelp tracker;
    tracker.Start(panel, HelpTable, IDB_BALLOON, 100, 60000);
    ASSERT_EQ(countProperties(), before + 1) << "the tracker names itself in a property of the panel";
    PointAt(write);
    ASSERT_TRUE(PumpUntil([&] { return !Balloons().empty(); }, 3000));

    tracker.Stop();
    EXPECT_EQ(countProperties(), before);
    EXPECT_FALSE(KillTimer(panel, 0)) << "the hover timer is stopped";
    EXPECT_TRUE(Balloons().empty());
    PumpFor(300);
    EXPECT_TRUE(Balloons().empty()) << "no help after Stop";
}

TEST_F(HoverTest, TheHoverTimerOpensHelpAfterTwoPeriods) {
    // A tracker of the test's own: the timer ticks the tracker that started
    // it, and this one stops it before the panel goes.
    HoverHelp tracker;
    tracker.Start(panel, HelpTable, IDB_BALLOON, 100, 60000);
    PointAt(write);
    const DWORD startTime = GetTickCount();
    ASSERT_TRUE(PumpUntil([&] { return !Balloons().empty(); }, 3000));
    const DWORD openedAfter = GetTickCount() - startTime;
    EXPECT_GE(openedAfter, 150u) << "two ticks of 100 ms";
    EXPECT_EQ(BalloonText(), HelpTextOf(IDC_WRITE));
    PointAt(start);
    ASSERT_TRUE(PumpUntil([&] { return BalloonText() == HelpTextOf(IDC_START); }, 3000));
}
