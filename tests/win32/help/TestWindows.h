// Helpers shared by the help tests: running the message loop for a while,
// finding balloon windows, and a plain top-level owner window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Dispatches messages until `done` holds or `timeoutMs` pass; true if it held.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

struct BalloonSearch {
    HWND owner;
    std::vector<HWND> found;
};

inline BOOL CALLBACK CollectBalloon(HWND w, LPARAM p) {
    auto* search = reinterpret_cast<BalloonSearch*>(p);
    char name[64] = "";
    GetClassNameA(w, name, sizeof name);
    DWORD process = 0;
    GetWindowThreadProcessId(w, &process);
    if (process == GetCurrentProcessId() && std::string(name) == "WindowsHelperClass" &&
        (search->owner == nullptr || GetWindow(w, GW_OWNER) == search->owner)) {
        search->found.push_back(w);
    }
    return TRUE;
}

// The help balloons owned by `owner` (any owner when null).
inline std::vector<HWND> BalloonWindows(HWND owner) {
    BalloonSearch search{owner, {}};
    EnumWindows(CollectBalloon, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline std::string WindowText(HWND w) {
    char text[1024] = "";
    GetWindowTextA(w, text, sizeof text);
    return text;
}

inline RECT WindowRect(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

// A visible top-level window with the default window procedure.
inline HWND CreateTopLevel(const char* title, int x, int y, int width, int height) {
    static const ATOM cls = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = "HelpTestWindow";
        return RegisterClassA(&wc);
    }();
    (void)cls;
    return CreateWindowExA(0, "HelpTestWindow", title, WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, x, y, width,
                           height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}
