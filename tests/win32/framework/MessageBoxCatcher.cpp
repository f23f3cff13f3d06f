#include "MessageBoxCatcher.h"

namespace {
thread_local MessageBoxCatcher* activeCatcher = nullptr;
// The static control that carries a message box's text.
constexpr int MessageBoxTextId = 0xFFFF;

std::string TextOf(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

BOOL CALLBACK FindMessageBox(HWND window, LPARAM found) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window) && GetDlgItem(window, MessageBoxTextId)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

MessageBoxCatcher::MessageBoxCatcher() {
    activeCatcher = this;
    timer = SetTimer(nullptr, 0, 20, &MessageBoxCatcher::OnTimer);
}

MessageBoxCatcher::~MessageBoxCatcher() {
    KillTimer(nullptr, timer);
    activeCatcher = nullptr;
}

void CALLBACK MessageBoxCatcher::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (!activeCatcher) return;
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindMessageBox, reinterpret_cast<LPARAM>(&box));
    if (!box) return;
    CaughtMessageBox caught;
    caught.caption = TextOf(box);
    caught.text = TextOf(GetDlgItem(box, MessageBoxTextId));
    caught.owner = GetWindow(box, GW_OWNER);
    caught.focusWhileShown = GetFocus();
    activeCatcher->boxes.push_back(caught);
    SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}
