// Drives one program of the panel benchmark: starts it, times how long its
// dialog takes to become visible, then times frequency-slider notifications
// (TBM_SETPOS and WM_HSCROLL, each sent and waited for), and closes it.
//
//   panel_bench_driver EXE NOTIFICATIONS [GO_FILE DONE_FILE]
//
// With GO_FILE and DONE_FILE it prints "ready" once the dialog is up, waits
// for GO_FILE to appear before the burst and creates DONE_FILE after it, so
// a system-call counter can be attached around the burst alone.
// Prints "startup_ms X", "notify_ms Y" (mean of the burst) and "exit N".
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int FrequencySlider = 1023;

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (process != search->process || std::strcmp(className, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

bool FileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: panel_bench_driver EXE NOTIFICATIONS [GO_FILE DONE_FILE]\n");
        return 2;
    }
    const int notifications = std::atoi(argv[2]);
    char commandLine[MAX_PATH + 2];
    std::snprintf(commandLine, sizeof commandLine, "\"%s\"", argv[1]);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};

    LARGE_INTEGER started, now;
    QueryPerformanceCounter(&started);
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child)) {
        std::fprintf(stderr, "cannot start %s\n", argv[1]);
        return 1;
    }
    Search search{child.dwProcessId, nullptr};
    for (;;) {
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) break;
        if (WaitForSingleObject(child.hProcess, 1) == WAIT_OBJECT_0) {
            std::fprintf(stderr, "%s ended without a dialog\n", argv[1]);
            return 1;
        }
    }
    QueryPerformanceCounter(&now);
    std::printf("startup_ms %.3f\n", Milliseconds(started, now));
    std::fflush(stdout);

    HWND dialog = search.found;
    HWND slider = GetDlgItem(dialog, FrequencySlider);
    // The first notification pays for what is loaded on first use; it is not timed.
    SendMessageA(slider, TBM_SETPOS, TRUE, 500);
    SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 500), reinterpret_cast<LPARAM>(slider));

    if (argc == 5) {
        std::printf("ready\n");
        std::fflush(stdout);
        while (!FileExists(argv[3])) Sleep(20);
    }
    QueryPerformanceCounter(&started);
    for (int i = 0; i < notifications; ++i) {
        const int position = 1000 + (i % 2) * 1000;  // alternates, so every step changes the rate
        SendMessageA(slider, TBM_SETPOS, TRUE, position);
        SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                     reinterpret_cast<LPARAM>(slider));
    }
    QueryPerformanceCounter(&now);
    if (argc == 5) {
        HANDLE done = CreateFileA(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (done != INVALID_HANDLE_VALUE) CloseHandle(done);
    }
    if (notifications > 0) std::printf("notify_ms %.4f\n", Milliseconds(started, now) / notifications);

    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    DWORD code = 1;
    if (WaitForSingleObject(child.hProcess, 10000) == WAIT_OBJECT_0)
        GetExitCodeProcess(child.hProcess, &code);
    std::printf("exit %lu\n", static_cast<unsigned long>(code));
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return 0;
}
