// Start-up and teardown of the application object.
#include "app/win/GeneratorApp.h"

#include "help/win/HoverHelp.h"
#include "resources/resource.h"
#include "settings/ConfigFiles.h"
#include "settings/FileAccess.h"

namespace {
constexpr char ConfigurationFile[] = "QorvelGen.cfg";
constexpr char SavedStateFile[] = "QorvelGen.sav";
}  // namespace

GeneratorApp::GeneratorApp() {
    // The saved state goes back to this directory at the end, whatever
    // changes the current one meanwhile.
    TakeStartDirectory(*this);

    // The settings come first: attach needs the device name, the device
    // number and the voltage ranges.
    ReadConfiguration(*this, ConfigurationFile);
    ReadSavedState(*this, SavedStateFile);

    // No window yet, so any message box of attach has no owner. A failed
    // attach leaves nothing loaded; no teardown follows, so the saved state
    // is not written.
    MessageBoxReport report(*this);
    if (!AttachDevice(*this, DeviceName, Device, ADCRange, DACRange, report)) return;

    HINSTANCE module = GetModuleHandleA(nullptr);
    icon = LoadIconA(module, MAKEINTRESOURCEA(IDI_PANEL));
    // InitPanel runs inside: the panel is complete, timers included, when
    // this returns.
    // Without a panel the device stays open until the object goes (its
    // GeneratorDevice part releases it); the saved state is not written.
    window = CreateBoundDialog(*this, IDD_PANEL, nullptr);
    if (!window) return;
    if (icon) SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    // Centred while still hidden, so it is first seen in its place.
    MoveTo(-1000, -1000);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
}

const MessageMapEntry* GeneratorApp::GetMessageMap() const {
    return messageMap;
}

void GeneratorApp::OnFinalDestroy() {
    ReleaseAndSave();
    WindowObject::OnFinalDestroy();
}

// What the end of the run does, once: at the panel's destruction, or earlier
// when Windows ends the session, after which the process may end without
// the panel ever being destroyed.
void GeneratorApp::ReleaseAndSave() {
    if (releasedAndSaved) return;
    releasedAndSaved = true;
    FreqSIN.reset();
    ReleaseDevice(*this);  // the device, then its library
    WriteSavedState(*this, SavedStateFile);
}

void GeneratorApp::OnPaint(HDC, const RECT&) {
    // During a repaint the displays' own paints are still pending. Under Wine
    // an image static without an image fills itself with its background after
    // the panel has painted, which would wipe out the texts drawn here; with
    // the displays painted first the order is the same everywhere. Only a
    // repaint of the panel leaves their paints pending, so a control change
    // draws its texts without this.
    for (int display : {IDC_DISPLAY1, IDC_DISPLAY2, IDC_DISPLAY_FREQUENCY})
        UpdateWindow(GetDlgItem(window, display));
    RefreshDisplays();
}

// Esc or the close box.
int32_t GeneratorApp::OnCancel() {
    DestroyWindow(window);
    return 0;
}

// A log-off or a shutdown: what the panel holds is saved now, as at a normal
// exit, and the board keeps playing. The poll stops with the device, so no
// "device gone" message comes up in the session's last moments. A session
// end that was cancelled changes nothing.
int32_t GeneratorApp::OnEndSession(WParam ending) {
    if (ending.value == 0) return 0;
    KillTimer(window, PresenceTimer);
    ReleaseAndSave();
    return 0;
}

int32_t GeneratorApp::OnDestroy() {
    KillTimer(window, PresenceTimer);
    hoverHelp.Stop();
    PostQuitMessage(0);
    return 0;
}
