#include "help/win/HoverHelp.h"

#include <new>

constinit HoverHelp hoverHelp;

namespace {
constexpr UINT_PTR HoverTimerId = 0;
// The panel's property that names the tracker whose hover timer runs on it:
// the timer's id is fixed, so the id cannot say which tracker started it.
constexpr char TrackerProperty[] = "QorvelHoverTracker";

// True when `panel` is the window at `cursor` or one of its ancestors (for a
// top-level popup, GetParent gives its owner, so the balloon counts too).
bool IsOverPanel(HWND panel, POINT cursor) {
    HWND window = WindowFromPoint(cursor);
    while (window != nullptr && window != panel) window = GetParent(window);
    return window != nullptr;
}

// The control a row names: the panel itself for id 0.
HWND RowControl(HWND panel, const HelpEntry& row) {
    return row.controlId == 0 ? panel : GetDlgItem(panel, row.controlId);
}

// The first row whose control's window rectangle holds the cursor; rows whose
// control the panel lacks are skipped.
const HelpEntry* FindHitRow(HWND panel, const HelpEntry* table, POINT cursor) {
    if (table == nullptr) return nullptr;
    for (const HelpEntry* row = table; row->helpText != nullptr; ++row) {
        HWND control = RowControl(panel, *row);
        RECT r;
        if (control != nullptr && GetWindowRect(control, &r) && PtInRect(&r, cursor)) return row;
    }
    return nullptr;
}

bool IsOpenComboBox(HWND control) {
    char className[100];
    if (GetClassNameA(control, className, sizeof className) == 0) return false;
    return lstrcmpiA(className, "COMBOBOX") == 0 && SendMessageA(control, CB_GETDROPPEDSTATE, 0, 0) == 1;
}
}  // namespace

HoverHelp::~HoverHelp() {
    Stop();
}

void HoverHelp::Stop() {
    Forget();
    if (hoverTimer != 0) {
        KillTimer(timerWindow, HoverTimerId);
        RemovePropA(timerWindow, TrackerProperty);
        hoverTimer = 0;
        timerWindow = nullptr;
    }
}

void HoverHelp::Forget() {
    if (balloon) {
        balloon->Close();
        balloon.reset();
    }
}

void HoverHelp::Start(HWND panel, const HelpEntry* table, int32_t bitmap, int32_t preDelay, int32_t post) {
    helpTable = table;
    bitmapId = bitmap;
    postDelay = post;
    if (preDelay > 0) {
        SetPropA(panel, TrackerProperty, this);
        hoverTimer = SetTimer(panel, HoverTimerId, static_cast<UINT>(preDelay), HoverTimerProc);
        timerWindow = panel;
    }
}

void CALLBACK HoverHelp::HoverTimerProc(HWND panel, UINT, UINT_PTR, DWORD) {
    if (auto* tracker = static_cast<HoverHelp*>(GetPropA(panel, TrackerProperty))) tracker->Tick(panel);
}

void HoverHelp::Tick(HWND panel) {
    HoverFacts facts;
    POINT cursor{};
    GetCursorPos(&cursor);
    facts.overPanel = IsOverPanel(panel, cursor);
    if (facts.overPanel) {
        // A second reading: the hit test and the balloon's anchor use this one.
        GetCursorPos(&cursor);
        facts.hit = FindHitRow(panel, helpTable, cursor);
    }
    if (facts.hit == nullptr) {
        track = DecideHover(track, facts).track;
        return;
    }

    // Opening or closing a balloon may move the keyboard focus; it comes back.
    HWND focus = GetFocus();
    // Only a control the cursor stays on can be due for help; only then is
    // it asked whether its list is open.
    facts.openComboBox =
        facts.hit->controlId == track.lastControlId && IsOpenComboBox(RowControl(panel, *facts.hit));
    const HoverStep step = DecideHover(track, facts);
    track = step.track;
    if (step.action == HoverAction::CloseBalloon) {
        Forget();
    } else if (step.action == HoverAction::ShowBalloon) {
        // Out of memory: nothing is shown, and nothing is tried again until
        // the cursor reaches another control. No exception may leave a timer
        // procedure.
        try {
            balloon = std::make_unique<HelpBalloon>(bitmapId);
        } catch (const std::bad_alloc&) {
            balloon.reset();
        }
        if (balloon) balloon->Show(panel, step.text, cursor.x, cursor.y, postDelay);
    }
    if (focus != nullptr) SetFocus(focus);
}
