#include "MessageBoxCatcher.h"

namespace {
thread_local MessageBoxCatcher* activeCatcher = nullptr;
// The static control that carries a message box's text.
constexpr int MessageBoxTextId = 0xFFFF;
// The static control that carries its icon: Windows and Wine number it apart.
constexpr int MessageBoxIconIds[] = {0x0014, 0x0440};
// Every button a message box type can have, IDOK to IDCONTINUE.
constexpr int MessageBoxButtonIds[] = {IDOK,  IDCANCEL, IDABORT,    IDRETRY,   IDIGNORE,
                                       IDYES, IDNO,     IDTRYAGAIN, IDCONTINUE};

std::string TextOf(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

BOOL CALLBACK FindMessageBox(HWND window, LPARAM found) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window) &&
        GetDlgItem(window, MessageBoxTextId)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HICON HandIcon() {
    return LoadIconA(nullptr, IDI_HAND);
}

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
    for (int id : MessageBoxIconIds) {
        if (HWND icon = GetDlgItem(box, id)) {
            caught.icon = reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0));
            break;
        }
    }
    for (int id : MessageBoxButtonIds) {
        HWND button = GetDlgItem(box, id);
        if (button && IsWindowVisible(button)) caught.buttons.push_back(id);
    }
    activeCatcher->boxes.push_back(caught);
    SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}
