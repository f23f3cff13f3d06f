// The generator panel: its message map, its initialisation, the command and
// scroll handlers, and the three live displays. Every change of a control
// goes through ApplyControls: read back, clamp, apply the sampling frequency,
// redraw the displays, then restart or stop playback.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "app/win/GeneratorApp.h"
#include "device/win/GeneratorCommands.h"
#include "framework/win/GdiHandles.h"
#include "help/HelpTable.h"
#include "help/win/HoverHelp.h"
#include "panel/DisplayText.h"
#include "panel/PanelValues.h"
#include "resources/resource.h"

namespace {
constexpr char PanelTitle[] = "  QorvelGen SE v 1.2 [ Apr 17 2007 ]";
constexpr int PeriodChoices = 20;

// The spinners are step sources only: reversed range (lower bound 50, upper
// bound -50) and position put back to 0 after every notification, so the
// up arrow reports -1 and the down arrow +1.
constexpr LPARAM SpinnerRange = MAKELPARAM(static_cast<WORD>(-50), 50);
static_assert(SpinnerRange == 0x0032FFCE);
constexpr int SliderLineSize = 16;
constexpr int SliderPageSize = 1024;
constexpr int SliderTickSpacing = 1024;
}  // namespace

// Rows are searched in order and the first match wins: the fixed command ids
// come before the catch-all WM_COMMAND row of the periods lists.
const MessageMapEntry GeneratorApp::messageMap[] = {
    MapRow<&GeneratorApp::PollDevicePresence>(WM_TIMER),
    MapRow<&GeneratorApp::InitPanel>(WM_INITDIALOG),
    MapRow<&GeneratorApp::OnDestroy>(WM_DESTROY),
    MapRow<&GeneratorApp::OnEndSession>(WM_ENDSESSION),
    MapRow<&GeneratorApp::OnCancel>(WM_COMMAND, IDCANCEL),
    MapRow<&GeneratorApp::OnStartBox>(WM_COMMAND, IDC_START),
    MapRow<&GeneratorApp::OnWrite>(WM_COMMAND, IDC_WRITE),
    MapRow<&GeneratorApp::OnAutoStartOn>(WM_COMMAND, IDC_AUTOSTART_ON),
    MapRow<&GeneratorApp::OnAutoStartOff>(WM_COMMAND, IDC_AUTOSTART_OFF),
    MapRow<&GeneratorApp::OnStartKey>(WM_COMMAND, IDM_START_KEY),
    MapRow<&GeneratorApp::OnSpin>(WM_VSCROLL),
    MapRow<&GeneratorApp::OnSlider>(WM_HSCROLL),
    MapRow<&GeneratorApp::OnComboCommand>(WM_COMMAND),
    MapEnd,
};

// Every WM_TIMER of the panel lands here; the hover timer has its own
// procedure and never does.
int32_t GeneratorApp::PollDevicePresence() {
    return ::PollDevicePresence(*this, *this);
}

int32_t GeneratorApp::InitPanel() {
    {
        WindowDc dc(window);
        const int dpi = GetDeviceCaps(dc.get(), LOGPIXELSY);
        // -13 at 96 dots per inch: the division truncates toward zero. The
        // raster Courier comes in several sizes and the font mapper takes the
        // nearest, so the displays' text grows with the dots per inch.
        const int height = -10 * dpi / 72;
        panelFont =
            CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN, "Courier");
    }
    for (int list : {IDC_PERIODS1, IDC_PERIODS2})
        SendDlgItemMessageA(window, list, WM_SETFONT, reinterpret_cast<WPARAM>(panelFont), FALSE);
    SetWindowTextA(window, PanelTitle);

    for (int list : {IDC_PERIODS1, IDC_PERIODS2}) SendDlgItemMessageA(window, list, CB_RESETCONTENT, 0, 0);
    // Item i of either list means i + 1 periods.
    for (int periods = 1; periods <= PeriodChoices; ++periods) {
        char item[16];
        std::snprintf(item, sizeof item, "*%2d per", periods);
        for (int list : {IDC_PERIODS1, IDC_PERIODS2})
            SendDlgItemMessageA(window, list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    SendDlgItemMessageA(window, IDC_PERIODS1, CB_SETCURSEL, ModeIndex1, 0);
    SendDlgItemMessageA(window, IDC_PERIODS2, CB_SETCURSEL, ModeIndex2, 0);

    SetupSliderPair(IDC_AMPLITUDE1, IDC_SPIN1, AmplitudeIndex1, MaxAmplitudeCode);
    SetupSliderPair(IDC_AMPLITUDE2, IDC_SPIN2, AmplitudeIndex2, MaxAmplitudeCode);
    SetupSliderPair(IDC_FREQUENCY, IDC_SPIN_FREQUENCY, FreqIndex, MaxSamplingFrequency);

    // The Start box is clear here, so this applies the rate and stops the board.
    ApplyControls();
    hoverHelp.Start(window, HelpTable, IDB_BALLOON, HelpPreDelay, HelpPostDelay);
    SetTimer(window, PresenceTimer, PresencePeriodMs, nullptr);
    return 0;  // no initial keyboard focus
}

void GeneratorApp::SetupSliderPair(int slider, int spinner, int32_t value, int32_t maximum) {
    SendDlgItemMessageA(window, slider, TBM_SETRANGEMIN, FALSE, 0);
    SendDlgItemMessageA(window, slider, TBM_SETRANGEMAX, FALSE, maximum);
    SendDlgItemMessageA(window, slider, TBM_SETLINESIZE, 0, SliderLineSize);
    SendDlgItemMessageA(window, slider, TBM_SETPAGESIZE, 0, SliderPageSize);
    SendDlgItemMessageA(window, slider, TBM_SETTICFREQ, SliderTickSpacing, 0);
    SendDlgItemMessageA(window, slider, TBM_SETPOS, TRUE, value);
    SendDlgItemMessageA(window, spinner, UDM_SETRANGE, 0, SpinnerRange);
    SendDlgItemMessageA(window, spinner, UDM_SETPOS, 0, 0);
}

void GeneratorApp::RefreshDisplays() {
    // No selection (-1) is kept: the displays then show 0 periods' frequency.
    ModeIndex1 = SignedLowWord(SendDlgItemMessageA(window, IDC_PERIODS1, CB_GETCURSEL, 0, 0));
    ModeIndex2 = SignedLowWord(SendDlgItemMessageA(window, IDC_PERIODS2, CB_GETCURSEL, 0, 0));
    ClampChosenValues(*this, appliedAmplitude1, appliedAmplitude2);

    samplingFrequency = FreqIndex;
    ApplySamplingFrequency(*this, samplingFrequency);  // may bring back the board's own rate

    PrintDisplay(IDC_DISPLAY1, ChannelDisplay(appliedAmplitude1, DACRange, ModeIndex1, samplingFrequency));
    PrintDisplay(IDC_DISPLAY2, ChannelDisplay(appliedAmplitude2, DACRange, ModeIndex2, samplingFrequency));
    PrintDisplay(IDC_DISPLAY_FREQUENCY, FrequencyDisplay(samplingFrequency));
}

void GeneratorApp::ApplyControls() {
    RefreshDisplays();
    if (generatorOn)
        ReloadGenerator(*this, ModeIndex1, ModeIndex2, false);  // stop, then run at samplingFrequency
    else
        StopGenerator(*this);
}

int32_t GeneratorApp::OnStartBox() {
    generatorOn = IsDlgButtonChecked(window, IDC_START) == BST_CHECKED ? 1 : 0;
    ApplyControls();
    return 0;
}

// F2: flip the Start box, then as if it had been clicked.
int32_t GeneratorApp::OnStartKey() {
    const bool checked = IsDlgButtonChecked(window, IDC_START) == BST_CHECKED;
    CheckDlgButton(window, IDC_START, checked ? BST_UNCHECKED : BST_CHECKED);
    return OnStartBox();
}

// The only way the waveform reaches the board. The Start box stays as it is.
int32_t GeneratorApp::OnWrite() {
    ApplyControls();
    ReloadGenerator(*this, ModeIndex1, ModeIndex2, true);
    return 0;
}

int32_t GeneratorApp::OnAutoStartOn() {
    ApplyControls();
    GeneratorCommand(*this, AutoStartOn, samplingFrequency);
    return 0;
}

int32_t GeneratorApp::OnAutoStartOff() {
    ApplyControls();
    GeneratorCommand(*this, AutoStartOff, samplingFrequency);
    return 0;
}

// A periods choice applies when its list closes, even if it did not change.
int32_t GeneratorApp::OnComboCommand(WParam wParam) {
    const int id = LOWORD(wParam.value);
    if (HIWORD(wParam.value) == CBN_CLOSEUP && (id == IDC_PERIODS1 || id == IDC_PERIODS2)) ApplyControls();
    return 0;
}

int32_t GeneratorApp::OnSpin(LParam lParam) {
    HWND from = reinterpret_cast<HWND>(lParam.value);
    StepFromSpin(from, IDC_AMPLITUDE1, IDC_SPIN1, AmplitudeIndex1);
    StepFromSpin(from, IDC_AMPLITUDE2, IDC_SPIN2, AmplitudeIndex2);
    StepFromSpin(from, IDC_FREQUENCY, IDC_SPIN_FREQUENCY, FreqIndex);
    return 0;
}

void GeneratorApp::StepFromSpin(HWND from, int slider, int spinner, int32_t& field) {
    if (from != GetDlgItem(window, spinner)) return;
    // UDM_SETPOS answers the previous position, which may come back with only
    // its low word meaningful (Windows and Wine may differ): read as signed
    // 16 bits, a step of -1 is -1 either way.
    const int32_t step = SignedLowWord(SendDlgItemMessageA(window, spinner, UDM_SETPOS, 0, 0));
    // Not clamped yet: RefreshDisplays holds the field in range.
    field -= step;
    SendDlgItemMessageA(window, slider, TBM_SETPOS, TRUE, field);
    ApplyControls();
}

int32_t GeneratorApp::OnSlider(LParam lParam) {
    HWND from = reinterpret_cast<HWND>(lParam.value);
    ReadSlider(from, IDC_AMPLITUDE1, AmplitudeIndex1);
    ReadSlider(from, IDC_AMPLITUDE2, AmplitudeIndex2);
    ReadSlider(from, IDC_FREQUENCY, FreqIndex);
    return 0;
}

// Every scroll code is handled alike, so a drag applies at each step.
void GeneratorApp::ReadSlider(HWND from, int slider, int32_t& field) {
    if (from != GetDlgItem(window, slider)) return;
    field = static_cast<int32_t>(SendDlgItemMessageA(window, slider, TBM_GETPOS, 0, 0));
    ApplyControls();
}

void GeneratorApp::PrintDisplay(int display, const DisplayText& text) {
    DrawDisplayText(display, text.text, RGB(0, 0, 0));
}

// Drawn off-screen and copied in one BitBlt, so the display never flickers.
void GeneratorApp::DrawDisplayText(int display, const char* text, COLORREF colour) {
    HWND control = GetDlgItem(window, display);
    if (!control) return;
    RECT inner;
    GetClientRect(control, &inner);
    InflateRect(&inner, -2, -2);
    const int width = inner.right - inner.left + 2;
    const int height = inner.bottom - inner.top + 2;

    WindowDc dc(control);
    MemoryDc memory(CreateCompatibleDC(dc.get()));
    if (!memory) return;
    GdiHandle<HBITMAP> bitmap(CreateCompatibleBitmap(dc.get(), width, height));
    SelectedObject bitmapInMemory(memory.get(), bitmap.get());

    RECT area = {0, 0, width, height};
    {
        GdiHandle<HBRUSH> face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
        FillRect(memory.get(), &area, face.get());
    }
    SelectedObject font(memory.get(),
                        panelFont ? static_cast<HGDIOBJ>(panelFont) : GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(memory.get(), colour);
    SetBkMode(memory.get(), TRANSPARENT);
    const UINT format =
        std::strchr(text, '\n') ? DT_CENTER | DT_VCENTER : DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    DrawTextA(memory.get(), text, -1, &area, format);
    // Each pixel keeps its coordinates: memory (x, y) lands on display (x, y).
    BitBlt(dc.get(), inner.left, inner.top, width, height, memory.get(), inner.left, inner.top, SRCCOPY);
}
