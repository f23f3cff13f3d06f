// The window-object framework with real windows: binding and unbinding,
// what each procedure does with a handler's result, painting, icons,
// placement and the message box.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "MessageBoxCatcher.h"
#include "framework/win/GdiHandles.h"
#include "framework/win/WindowObject.h"
#include "framework_test_ids.h"

namespace {
// A device context cannot be held as a GDI object: DeleteObject would be
// the wrong way to give it back.
template <class Handle>
concept HeldAsGdiObject = requires {
    typename GdiHandle<Handle>;
};
static_assert(HeldAsGdiObject<HRGN> && HeldAsGdiObject<HBITMAP> && HeldAsGdiObject<HBRUSH>);
static_assert(!HeldAsGdiObject<HDC>);

constexpr UINT WM_PROBE = WM_APP + 1;
constexpr UINT WM_PROBE_NONE = WM_APP + 2;
constexpr UINT WM_PROBE_W = WM_APP + 3;
constexpr UINT WM_PROBE_L = WM_APP + 4;
constexpr UINT WM_PROBE_BOTH = WM_APP + 5;

// Destroys the window first: objects outlive their windows.
struct WindowCloser {
    HWND window;
    ~WindowCloser() {
        if (IsWindow(window)) DestroyWindow(window);
    }
};

std::string TitleOf(HWND window) {
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

RECT RectOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

// True when `upper` comes before `lower` in the Z order.
bool IsAbove(HWND upper, HWND lower) {
    for (HWND w = GetWindow(upper, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == lower) return true;
    return false;
}

class TestDialog : public DialogWindowObject {
public:
    const MessageMapEntry* GetMessageMap() const override;
    void OnFinalDestroy() override {
        ++finalDestroyCount;
        userLongAtFinalDestroy = GetWindowLongPtrA(window, DWLP_USER);
        procAtFinalDestroy = GetWindowLongPtrA(window, GWLP_WNDPROC);
        DialogWindowObject::OnFinalDestroy();
    }
    void OnPaint(HDC dc, const RECT& client) override {
        ++paintCount;
        paintDc = dc;
        paintClient = client;
    }

    int32_t OnInitDialog(WParam, LParam lParam) {
        windowAtInit = window;
        initParam = lParam.value;
        return 1;
    }
    int32_t OnSetFont() {
        ++setFontCount;
        return NotHandled;
    }
    int32_t OnProbe(WParam wParam, LParam lParam) {
        ++probeCount;
        probeWParam = wParam.value;
        probeLParam = lParam.value;
        return probeResult;
    }
    int32_t OnHitTest() {
        ++hitTestCount;
        return hitTestResult;
    }
    int32_t OnSetCursor() {
        ++setCursorCount;
        return NotHandled;
    }
    int32_t OnMeasureItem() {
        ++measureItemCount;
        return 1;
    }
    int32_t OnDestroy() {
        windowAtDestroy = window;
        return 0;
    }

    HWND windowAtInit = nullptr;
    intptr_t initParam = 0;
    HWND windowAtDestroy = nullptr;
    int finalDestroyCount = 0;
    LONG_PTR userLongAtFinalDestroy = -1;
    LONG_PTR procAtFinalDestroy = 0;
    int paintCount = 0;
    HDC paintDc = nullptr;
    RECT paintClient{};
    int setFontCount = 0;
    int probeCount = 0;
    uintptr_t probeWParam = 0;
    intptr_t probeLParam = 0;
    int32_t probeResult = 0;
    int hitTestCount = 0;
    int32_t hitTestResult = NotHandled;
    int setCursorCount = 0;
    int measureItemCount = 0;
};

constexpr MessageMapEntry TestDialogMap[] = {
    MapRow<&TestDialog::OnInitDialog>(WM_INITDIALOG),
    MapRow<&TestDialog::OnSetFont>(WM_SETFONT),
    MapRow<&TestDialog::OnProbe>(WM_PROBE),
    MapRow<&TestDialog::OnProbe>(WM_GETHOTKEY),
    MapRow<&TestDialog::OnHitTest>(WM_NCHITTEST),
    MapRow<&TestDialog::OnSetCursor>(WM_SETCURSOR),
    MapRow<&TestDialog::OnMeasureItem>(WM_MEASUREITEM),
    MapRow<&TestDialog::OnDestroy>(WM_DESTROY),
    MapEnd,
};
const MessageMapEntry* TestDialog::GetMessageMap() const {
    return TestDialogMap;
}

// A popup's concrete class need not begin with its WindowObject part.
class LeadingPart {
public:
    virtual ~LeadingPart() = default;
    int32_t lead = 0x1EAD;
};

class TestPopup : public LeadingPart, public PopupWindowObject {
public:
    const MessageMapEntry* GetMessageMap() const override;
    void AdjustClass(WNDCLASSEXA& wc) override {
        ++adjustCount;
        wc.style |= addedClassStyle;
        // The framework must put its own binding back over these.
        wc.cbWndExtra = 0;
        wc.cbClsExtra = 16;
        wc.lpfnWndProc = DefWindowProcA;
    }
    void OnFinalDestroy() override {
        ++finalDestroyCount;
        longAtFinalDestroy = GetWindowLongPtrA(window, 0);
        windowExists = 0;
        PopupWindowObject::OnFinalDestroy();
    }
    void OnPaint(HDC dc, const RECT& client) override {
        ++paintCount;
        paintDc = dc;
        paintClient = client;
    }

    int32_t OnNcCreate() {
        windowAtNcCreate = window;
        return ncCreateResult;
    }
    int32_t OnCreate() {
        windowAtCreate = window;
        return NotHandled;
    }
    int32_t OnSetText(LParam lParam) {
        ++setTextCount;
        lastSetText = reinterpret_cast<const char*>(lParam.value);
        return setTextResult;
    }
    int32_t OnPaintRow() {
        ++paintRowCount;
        return 0;
    }
    int32_t OnDestroy() {
        windowAtDestroy = window;
        return 0;
    }
    int32_t OnProbe(WParam wParam, LParam lParam) {
        ++probeCount;
        probeWParam = wParam.value;
        probeLParam = lParam.value;
        return probeResult;
    }
    int32_t OnNone() { return lead; }
    int32_t OnW(WParam wParam) { return lead == 0x1EAD ? static_cast<int32_t>(wParam.value) : -7; }
    int32_t OnL(LParam lParam) { return lead == 0x1EAD ? static_cast<int32_t>(lParam.value) : -7; }
    int32_t OnBoth(WParam wParam, LParam lParam) {
        return lead == 0x1EAD ? static_cast<int32_t>(wParam.value - lParam.value) : -7;
    }

    UINT addedClassStyle = 0;
    int adjustCount = 0;
    int finalDestroyCount = 0;
    LONG_PTR longAtFinalDestroy = -1;
    int paintCount = 0;
    HDC paintDc = nullptr;
    RECT paintClient{};
    HWND windowAtNcCreate = nullptr;
    HWND windowAtCreate = nullptr;
    HWND windowAtDestroy = nullptr;
    int32_t ncCreateResult = NotHandled;
    int setTextCount = 0;
    std::string lastSetText;
    int32_t setTextResult = NotHandled;
    int paintRowCount = 0;
    int probeCount = 0;
    uintptr_t probeWParam = 0;
    intptr_t probeLParam = 0;
    int32_t probeResult = 0;
};

constexpr MessageMapEntry TestPopupMap[] = {
    MapRow<&TestPopup::OnNcCreate>(WM_NCCREATE),
    MapRow<&TestPopup::OnCreate>(WM_CREATE),
    MapRow<&TestPopup::OnSetText>(WM_SETTEXT),
    MapRow<&TestPopup::OnPaintRow>(WM_PAINT),
    MapRow<&TestPopup::OnDestroy>(WM_DESTROY),
    MapRow<&TestPopup::OnProbe>(WM_PROBE),
    MapRow<&TestPopup::OnNone>(WM_PROBE_NONE),
    MapRow<&TestPopup::OnW>(WM_PROBE_W),
    MapRow<&TestPopup::OnL>(WM_PROBE_L),
    MapRow<&TestPopup::OnBoth>(WM_PROBE_BOTH),
    MapEnd,
};
const MessageMapEntry* TestPopup::GetMessageMap() const {
    return TestPopupMap;
}

constexpr char PopupClass[] = "WindowsHelperClass";
}  // namespace

// ---- dialogs ----

TEST(DialogBinding, BindsAtInitDialogSubclassesAndUnbindsBeforeFinalDestroy) {
    TestDialog d;
    HWND dialog = CreateBoundDialog(d, IDD_TEST_DIALOG, nullptr);
    ASSERT_NE(dialog, nullptr);
    WindowCloser closer{dialog};
    EXPECT_EQ(d.window, dialog);
    EXPECT_EQ(d.windowAtInit, dialog);
    EXPECT_EQ(d.initParam, reinterpret_cast<intptr_t>(&d));
    EXPECT_EQ(GetWindowLongPtrA(dialog, DWLP_USER), reinterpret_cast<LONG_PTR>(&d));
    EXPECT_EQ(GetWindowLongPtrA(dialog, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&ObjectSubclassProc));
    ASSERT_NE(d.previousWndProc, nullptr);
    const LONG_PTR previous = reinterpret_cast<LONG_PTR>(d.previousWndProc);

    // The dialog's WM_SETFONT came before WM_INITDIALOG: not dispatched.
    EXPECT_EQ(d.setFontCount, 0);
    SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    EXPECT_EQ(d.setFontCount, 1);

    DestroyWindow(dialog);
    EXPECT_EQ(d.windowAtDestroy, dialog) << "still bound through WM_DESTROY";
    EXPECT_EQ(d.finalDestroyCount, 1);
    EXPECT_EQ(d.userLongAtFinalDestroy, 0) << "DWLP_USER cleared before OnFinalDestroy";
    EXPECT_EQ(d.procAtFinalDestroy, previous) << "the dialog's own procedure put back";
    EXPECT_EQ(d.previousWndProc, nullptr);
    EXPECT_EQ(d.window, nullptr);
}

TEST(DialogBinding, WithoutAnObjectTheProceduresDoNothing) {
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TEST_DIALOG), nullptr,
                                     ObjectDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    WindowCloser closer{dialog};
    EXPECT_EQ(GetWindowLongPtrA(dialog, DWLP_USER), 0);
    EXPECT_EQ(ObjectDialogProc(dialog, WM_PROBE, 1, 2), FALSE);
    EXPECT_EQ(ObjectSubclassProc(dialog, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_EQ(ObjectSubclassProc(dialog, WM_NCHITTEST, 0, 0), 0);
}

TEST(DialogResults, DialogProcedureTurnsResultsIntoTrueOrFalse) {
    TestDialog d;
    HWND dialog = CreateBoundDialog(d, IDD_TEST_DIALOG, nullptr);
    ASSERT_NE(dialog, nullptr);
    WindowCloser closer{dialog};
    const struct {
        int32_t result;
        INT_PTR expected;
    } cases[] = {{5, TRUE}, {1, TRUE}, {0, FALSE}, {-1, FALSE}, {-2, TRUE}, {0x10000, TRUE}};
    for (const auto& c : cases) {
        d.probeResult = c.result;
        d.probeCount = 0;
        EXPECT_EQ(ObjectDialogProc(dialog, WM_PROBE, 0x70007, 9), c.expected) << c.result;
        EXPECT_EQ(d.probeCount, 1);
        EXPECT_EQ(d.probeWParam, 0x70007u);
        EXPECT_EQ(d.probeLParam, 9);
    }
}

TEST(DialogResults, SubclassProcedurePassesResultsUnchanged) {
    TestDialog d;
    HWND dialog = CreateBoundDialog(d, IDD_TEST_DIALOG, nullptr);
    ASSERT_NE(dialog, nullptr);
    WindowCloser closer{dialog};
    for (int32_t result : {5, 0, 12345, -2}) {
        d.probeResult = result;
        d.probeCount = 0;
        EXPECT_EQ(SendMessageA(dialog, WM_GETHOTKEY, 0, 0), LRESULT{result});
        EXPECT_EQ(d.probeCount, 1) << result;
    }
}

TEST(DialogResults, DeclinedMessagesGetDefaultProcessing) {
    TestDialog d;
    HWND dialog = CreateBoundDialog(d, IDD_TEST_DIALOG, nullptr);
    ASSERT_NE(dialog, nullptr);
    WindowCloser closer{dialog};
    RECT client;
    GetClientRect(dialog, &client);
    POINT centre{client.right / 2, client.bottom / 2};
    ClientToScreen(dialog, &centre);
    const LPARAM at = MAKELPARAM(centre.x, centre.y);

    // Declined by the subclass dispatch, forwarded, and offered once more
    // through the dialog procedure before the default hit test answers.
    d.hitTestResult = NotHandled;
    EXPECT_EQ(SendMessageA(dialog, WM_NCHITTEST, 0, at), HTCLIENT);
    EXPECT_EQ(d.hitTestCount, 2);

    d.hitTestCount = 0;
    d.hitTestResult = HTCAPTION;
    EXPECT_EQ(SendMessageA(dialog, WM_NCHITTEST, 0, at), HTCAPTION);
    EXPECT_EQ(d.hitTestCount, 1);

    // WM_SETCURSOR reaches the map once: the dialog procedure swallows it.
    SendMessageA(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(d.setCursorCount, 1);

    // WM_MEASUREITEM never reaches the map.
    MEASUREITEMSTRUCT measure{};
    SendMessageA(dialog, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
    EXPECT_EQ(d.measureItemCount, 0);
}

TEST(DialogIcon, EveryIconQueryGetsTheSameIcon) {
    TestDialog d;
    HWND dialog = CreateBoundDialog(d, IDD_TEST_DIALOG, nullptr);
    ASSERT_NE(dialog, nullptr);
    WindowCloser closer{dialog};
    d.icon = LoadIconA(nullptr, IDI_APPLICATION);
    ASSERT_NE(d.icon, nullptr);
    const LRESULT icon = reinterpret_cast<LRESULT>(d.icon);
    EXPECT_EQ(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0), icon);
    EXPECT_EQ(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0), icon);
    EXPECT_EQ(SendMessageA(dialog, WM_GETICON, ICON_SMALL2, 0), icon);
    EXPECT_EQ(SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0), icon);
}

TEST(DialogPaint, OnPaintDrawsOverTheDialogUnlessMinimisedWithAnIcon) {
    TestDialog d;
    HWND dialog = CreateBoundDialog(d, IDD_TEST_DIALOG, nullptr);
    ASSERT_NE(dialog, nullptr);
    WindowCloser closer{dialog};
    ShowWindow(dialog, SW_SHOWNORMAL);
    InvalidateRect(dialog, nullptr, TRUE);
    UpdateWindow(dialog);
    EXPECT_GE(d.paintCount, 1);
    EXPECT_NE(d.paintDc, nullptr);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_TRUE(EqualRect(&d.paintClient, &client));

    ShowWindow(dialog, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(dialog));
    HDC dc = GetDC(dialog);
    EXPECT_EQ(SendMessageA(dialog, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    ReleaseDC(dialog, dc);

    // Minimised without an icon the dialog still paints itself and OnPaint runs.
    d.paintCount = 0;
    SendMessageA(dialog, WM_PAINT, 0, 0);
    EXPECT_EQ(d.paintCount, 1);
    // With an icon only the icon is painted.
    d.icon = LoadIconA(nullptr, IDI_APPLICATION);
    d.paintCount = 0;
    SendMessageA(dialog, WM_PAINT, 0, 0);
    EXPECT_EQ(d.paintCount, 0);
    // Restored, the icon no longer takes over.
    ShowWindow(dialog, SW_RESTORE);
    ASSERT_FALSE(IsIconic(dialog));
    SendMessageA(dialog, WM_PAINT, 0, 0);
    EXPECT_EQ(d.paintCount, 1);
}

// ---- placement ----

TEST(DialogMoveTo, HiddenWindowMovesAndStaysHidden) {
    TestDialog d;
    HWND dialog = CreateBoundDialog(d, IDD_TEST_DIALOG, nullptr);
    ASSERT_NE(dialog, nullptr);
    WindowCloser closer{dialog};
    ASSERT_FALSE(IsWindowVisible(dialog));
    const RECT before = RectOf(dialog);
    const int width = before.right - before.left, height = before.bottom - before.top;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);

    const struct {
        int x, y, left, top;
    } cases[] = {
        {-1000, -1000, (screenWidth - width) >> 1, (screenHeight - height) >> 1},
        {100, 50, 100, 50},
        {-20000, -20000, 100, 50},  // both below -9999: stays where it is
        {-20000, 10, (screenWidth - width) >> 1, 10},
        {-5, screenHeight, 0, screenHeight - height},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(d.MoveTo(c.x, c.y));
        const RECT r = RectOf(dialog);
        EXPECT_EQ(r.left, c.left) << c.x << "," << c.y;
        EXPECT_EQ(r.top, c.top) << c.x << "," << c.y;
        EXPECT_EQ(r.right - r.left, width);
        EXPECT_EQ(r.bottom - r.top, height);
        EXPECT_FALSE(IsWindowVisible(dialog));
    }
}

TEST(DialogMoveTo, VisibleWindowStaysVisibleAndIsActivated) {
    TestDialog other, moved;
    HWND otherWindow = CreateBoundDialog(other, IDD_TEST_DIALOG, nullptr);
    HWND movedWindow = CreateBoundDialog(moved, IDD_TEST_DIALOG, nullptr);
    ASSERT_TRUE(otherWindow && movedWindow);
    WindowCloser closeOther{otherWindow}, closeMoved{movedWindow};
    ShowWindow(movedWindow, SW_SHOWNORMAL);
    ShowWindow(otherWindow, SW_SHOWNORMAL);
    SetForegroundWindow(otherWindow);
    ASSERT_EQ(GetActiveWindow(), otherWindow);

    const RECT before = RectOf(movedWindow);
    EXPECT_TRUE(moved.MoveTo(-1000, 30));
    const RECT r = RectOf(movedWindow);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - (before.right - before.left)) >> 1);
    EXPECT_EQ(r.top, 30);
    EXPECT_TRUE(IsWindowVisible(movedWindow));
    // Activation is not suppressed (and, as SetWindowPos documents, an
    // activated window comes to the top even with SWP_NOZORDER).
    EXPECT_EQ(GetActiveWindow(), movedWindow);
}

TEST(DialogMoveTo, HiddenWindowIsBroughtToTheTop) {
    TestDialog upper, lower;
    HWND upperWindow = CreateBoundDialog(upper, IDD_TEST_DIALOG, nullptr);
    HWND lowerWindow = CreateBoundDialog(lower, IDD_TEST_DIALOG, nullptr);
    ASSERT_TRUE(upperWindow && lowerWindow);
    WindowCloser closeUpper{upperWindow}, closeLower{lowerWindow};
    SetWindowPos(upperWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_TRUE(IsAbove(upperWindow, lowerWindow));
    EXPECT_TRUE(lower.MoveTo(40, 40));
    EXPECT_TRUE(IsAbove(lowerWindow, upperWindow));
    EXPECT_FALSE(IsWindowVisible(lowerWindow));
}

// ---- the message box ----

TEST(ShowMessage, OwnedByTheWindowAndCaptionedWithItsTitle) {
    TestDialog d;
    HWND dialog = CreateBoundDialog(d, IDD_TEST_DIALOG, nullptr);
    ASSERT_NE(dialog, nullptr);
    WindowCloser closer{dialog};
    ShowWindow(dialog, SW_SHOWNORMAL);
    // The caption buffer keeps 98 characters of a longer title.
    const std::string title = std::string(60, 'a') + std::string(60, 'b');
    SetWindowTextA(dialog, title.c_str());

    MessageBoxCatcher catcher;
    EXPECT_EQ(d.ShowMessage("Свойства устройства не подходят!", MB_OK | MB_ICONHAND), IDOK);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].caption, title.substr(0, 98));
    EXPECT_EQ(catcher.boxes[0].text, "Свойства устройства не подходят!");
    EXPECT_EQ(catcher.boxes[0].owner, dialog);
    EXPECT_EQ(catcher.boxes[0].icon, HandIcon());
    EXPECT_EQ(catcher.boxes[0].buttons, std::vector<int>{IDOK});
}

TEST(ShowMessage, WithoutAWindowTheBoxHasNoOwnerAndNoCaption) {
    TestDialog unbound;
    MessageBoxCatcher catcher;
    EXPECT_EQ(unbound.ShowMessage("текст", MB_OK | MB_ICONHAND), IDOK);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].caption, "");
    EXPECT_EQ(catcher.boxes[0].text, "текст");
    EXPECT_EQ(catcher.boxes[0].owner, nullptr);
    // Another type shows another icon and other buttons: the catcher tells them apart.
    EXPECT_EQ(unbound.ShowMessage("текст", MB_OKCANCEL | MB_ICONINFORMATION), IDOK);
    ASSERT_EQ(catcher.boxes.size(), 2u);
    EXPECT_EQ(catcher.boxes[0].icon, HandIcon());
    EXPECT_EQ(catcher.boxes[0].buttons, std::vector<int>{IDOK});
    EXPECT_EQ(catcher.boxes[1].icon, LoadIconA(nullptr, IDI_ASTERISK));
    EXPECT_EQ(catcher.boxes[1].buttons, (std::vector<int>{IDOK, IDCANCEL}));
}

TEST(ShowMessage, KeyboardFocusComesBack) {
    // The focus is in another top-level window; closing the box would leave
    // it with the box's owner.
    TestDialog owner, other;
    HWND ownerWindow = CreateBoundDialog(owner, IDD_TEST_DIALOG, nullptr);
    HWND otherWindow = CreateBoundDialog(other, IDD_TEST_DIALOG, nullptr);
    ASSERT_TRUE(ownerWindow && otherWindow);
    WindowCloser closeOwner{ownerWindow}, closeOther{otherWindow};
    ShowWindow(ownerWindow, SW_SHOWNORMAL);
    ShowWindow(otherWindow, SW_SHOWNORMAL);
    HWND edit = GetDlgItem(otherWindow, IDC_TEST_EDIT);
    SetForegroundWindow(otherWindow);
    SetFocus(edit);
    ASSERT_EQ(GetFocus(), edit);

    MessageBoxCatcher catcher;
    owner.ShowMessage("x", MB_OK | MB_ICONHAND);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_NE(catcher.boxes[0].focusWhileShown, edit);
    EXPECT_EQ(GetFocus(), edit);
}

// ---- popups ----

TEST(PopupBinding, BindsAtNcCreateAndUnbindsBeforeFinalDestroy) {
    TestPopup p;
    HWND popup = p.CreatePopup(nullptr, "Подсказка", 10, 20, 120, 60);
    ASSERT_NE(popup, nullptr);
    WindowCloser closer{popup};
    EXPECT_EQ(p.window, popup);
    EXPECT_EQ(p.windowExists, 1);
    EXPECT_STREQ(p.className, PopupClass);
    EXPECT_EQ(p.windowAtNcCreate, popup);
    EXPECT_EQ(p.windowAtCreate, popup) << "handlers run during creation";
    EXPECT_EQ(GetWindowLongPtrA(popup, 0), reinterpret_cast<LONG_PTR>(static_cast<WindowObject*>(&p)));
    EXPECT_EQ(TitleOf(popup), "Подсказка");
    const LONG_PTR exStyle = GetWindowLongPtrA(popup, GWL_EXSTYLE);
    EXPECT_EQ(exStyle & (WS_EX_LAYERED | WS_EX_TOPMOST), WS_EX_LAYERED | WS_EX_TOPMOST);
    EXPECT_EQ(GetWindowLongPtrA(popup, GWL_STYLE) & (WS_POPUP | WS_VISIBLE), WS_POPUP | WS_VISIBLE);
    const RECT r = RectOf(popup);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right - r.left, 120);
    EXPECT_EQ(r.bottom - r.top, 60);

    DestroyWindow(popup);
    EXPECT_EQ(p.windowAtDestroy, popup);
    EXPECT_EQ(p.finalDestroyCount, 1);
    EXPECT_EQ(p.longAtFinalDestroy, 0) << "window long 0 cleared before OnFinalDestroy";
    EXPECT_EQ(p.window, nullptr);
    EXPECT_EQ(p.windowExists, 0);
}

TEST(PopupResults, PassUnchangedAndMinusOneGivesDefaultProcessing) {
    TestPopup p;
    HWND popup = p.CreatePopup(nullptr, "", 0, 0, 50, 50);
    ASSERT_NE(popup, nullptr);
    WindowCloser closer{popup};
    for (int32_t result : {5, 0, 12345, -2}) {
        p.probeResult = result;
        EXPECT_EQ(SendMessageA(popup, WM_PROBE, 1, 2), LRESULT{result});
    }

    // A handler that acts and then declines: the default text handling follows.
    p.setTextResult = NotHandled;
    SetWindowTextA(popup, "новый");
    EXPECT_EQ(p.lastSetText, "новый");
    EXPECT_EQ(TitleOf(popup), "новый");
    p.setTextResult = 0;
    SetWindowTextA(popup, "другой");
    EXPECT_EQ(p.lastSetText, "другой");
    EXPECT_EQ(TitleOf(popup), "новый");
}

TEST(PopupResults, HandlersGetTheirCallShapesOnTheWholeObject) {
    TestPopup p;
    HWND popup = p.CreatePopup(nullptr, "", 0, 0, 50, 50);
    ASSERT_NE(popup, nullptr);
    WindowCloser closer{popup};
    EXPECT_EQ(SendMessageA(popup, WM_PROBE_NONE, 3, 4), 0x1EAD);
    EXPECT_EQ(SendMessageA(popup, WM_PROBE_W, 0x30003, 4), 0x30003);
    EXPECT_EQ(SendMessageA(popup, WM_PROBE_L, 3, 4444), 4444);
    EXPECT_EQ(SendMessageA(popup, WM_PROBE_BOTH, 10, 4), 6);
}

TEST(PopupPaint, WmPaintGoesToOnPaintNotToTheMap) {
    TestPopup p;
    HWND popup = p.CreatePopup(nullptr, "", 0, 0, 80, 40);
    ASSERT_NE(popup, nullptr);
    WindowCloser closer{popup};
    p.paintCount = 0;
    InvalidateRect(popup, nullptr, TRUE);
    UpdateWindow(popup);
    EXPECT_EQ(p.paintCount, 1);
    EXPECT_NE(p.paintDc, nullptr);
    EXPECT_EQ(p.paintClient.right, 80);
    EXPECT_EQ(p.paintClient.bottom, 40);
    EXPECT_EQ(p.paintRowCount, 0);
}

TEST(PopupClass, RegisteredOnceWithTheFirstObjectsAdjustment) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExA(GetModuleHandleA(nullptr), PopupClass, &wc))
        GTEST_SKIP() << "the popup class was registered earlier in this process";

    TestPopup first, second;
    first.addedClassStyle = CS_DBLCLKS;
    second.addedClassStyle = CS_HREDRAW;
    HWND firstWindow = first.CreatePopup(nullptr, "", 0, 0, 30, 30);
    ASSERT_NE(firstWindow, nullptr);
    WindowCloser closeFirst{firstWindow};
    HWND secondWindow = second.CreatePopup(nullptr, "", 0, 0, 30, 30);
    ASSERT_NE(secondWindow, nullptr);
    WindowCloser closeSecond{secondWindow};
    EXPECT_EQ(first.adjustCount, 1);
    EXPECT_EQ(second.adjustCount, 1) << "every object attempts registration once";
    EXPECT_EQ(second.window, secondWindow);
    EXPECT_EQ(second.windowAtCreate, secondWindow);

    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), PopupClass, &wc));
    EXPECT_EQ(wc.style, UINT{CS_DBLCLKS});
    EXPECT_EQ(wc.cbWndExtra, 8);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.lpfnWndProc, &ObjectClassProc);
    EXPECT_EQ(wc.hbrBackground, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(wc.hIcon, nullptr);

    // The first object does not register again.
    HWND again = first.CreatePopup(nullptr, "", 0, 0, 30, 30);
    WindowCloser closeAgain{again};
    EXPECT_EQ(first.adjustCount, 1);
}

TEST(PopupCreate, SecondCreationReplacesTheFirstWindow) {
    TestPopup p;
    HWND firstWindow = p.CreatePopup(nullptr, "", 0, 0, 30, 30);
    ASSERT_NE(firstWindow, nullptr);
    HWND secondWindow = p.CreatePopup(nullptr, "", 5, 5, 30, 30);
    ASSERT_NE(secondWindow, nullptr);
    WindowCloser closer{secondWindow};
    EXPECT_FALSE(IsWindow(firstWindow));
    EXPECT_EQ(p.finalDestroyCount, 1);
    EXPECT_EQ(p.window, secondWindow);
    EXPECT_EQ(p.windowExists, 1);
}

TEST(PopupCreate, RefusedCreationLeavesNoWindow) {
    TestPopup p;
    p.ncCreateResult = FALSE;
    EXPECT_EQ(p.CreatePopup(nullptr, "", 0, 0, 30, 30), nullptr);
    EXPECT_EQ(p.window, nullptr);
    EXPECT_EQ(p.windowExists, 0);
}

TEST(PopupCreate, ClassWindowWithoutAnObjectGetsDefaultProcessing) {
    TestPopup registrar;
    HWND registered = registrar.CreatePopup(nullptr, "", 0, 0, 30, 30);
    ASSERT_NE(registered, nullptr);
    WindowCloser closeRegistered{registered};

    HWND bare = CreateWindowExA(0, PopupClass, "bare", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(bare, nullptr);
    WindowCloser closeBare{bare};
    EXPECT_EQ(GetWindowLongPtrA(bare, 0), 0);
    EXPECT_EQ(TitleOf(bare), "bare");
    SetWindowTextA(bare, "still default");
    EXPECT_EQ(TitleOf(bare), "still default");
    InvalidateRect(bare, nullptr, TRUE);
    UpdateWindow(bare);
    RECT stillInvalid;
    EXPECT_FALSE(GetUpdateRect(bare, &stillInvalid, FALSE)) << "painted by default processing";
}

TEST(PopupMoveTo, WiderThanTheScreenPutsTheRightEdgeOnTheScreensEdge) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    TestPopup p;
    HWND popup = p.CreatePopup(nullptr, "", 0, 0, screenWidth + 200, 40);
    ASSERT_NE(popup, nullptr);
    WindowCloser closer{popup};
    EXPECT_EQ(RectOf(popup).left, -200) << "CreatePopup places it through MoveTo";
    EXPECT_TRUE(p.MoveTo(-1000, 0));
    EXPECT_EQ(RectOf(popup).left, 0) << "centring";
    EXPECT_TRUE(p.MoveTo(50, 0));
    EXPECT_EQ(RectOf(popup).left, -200);
    EXPECT_TRUE(IsWindowVisible(popup));
}
