// Answers message boxes of the test thread from inside their own modal loop:
// a thread timer finds the box, records what it shows, and presses OK.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct CaughtMessageBox {
    std::string caption;
    std::string text;
    HWND owner = nullptr;
    HWND focusWhileShown = nullptr;
    HICON icon = nullptr;      // the icon shown; compare with LoadIconA(nullptr, IDI_HAND)
    std::vector<int> buttons;  // the ids of the visible push buttons: {IDOK} for MB_OK
};

// The system's icon for MB_ICONHAND, as a box of that type shows it.
HICON HandIcon();

class MessageBoxCatcher {
public:
    MessageBoxCatcher();
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    std::vector<CaughtMessageBox> boxes;

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    UINT_PTR timer = 0;
};
