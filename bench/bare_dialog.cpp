// The benchmark's yardstick: the panel's dialog template with no logic at
// all. It is created, centred and shown like the panel, and answers nothing
// but IDCANCEL, so the panel's costs can be read against what the window
// system itself costs for the same window.
#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"

namespace {
INT_PTR CALLBACK BareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY: PostQuitMessage(0); return TRUE;
    default: return FALSE;
    }
}
}  // namespace

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR, int) {
    InitCommonControls();
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_PANEL), nullptr, BareDialogProc, 0);
    if (!dialog) return 1;
    RECT r;
    GetWindowRect(dialog, &r);
    SetWindowPos(dialog, HWND_TOP, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
