// A second Windows process that looks at and pokes the running panel for the
// end-to-end tests: it finds the panel by its title, reads control states,
// sends the messages a user's action would cause, and finds, reads and
// dismisses message boxes. One command a call; answers go to stdout as one
// JSON object (texts in UTF-8, read wide, so they are what the windows hold
// whatever the system's code page); exit code 0 on success, 1 when the
// window or file it needs is not there, 2 on bad usage.
//
//   qorvel_poke info                      title, rectangles, screen, control states
//   qorvel_poke texts                     every control's id, class and text
//   qorvel_poke wait-panel MS             waits until the panel is visible
//   qorvel_poke click ID                  BM_CLICK on a button of the panel
//   qorvel_poke slider ID POS             TBM_SETPOS, then WM_HSCROLL to the panel
//   qorvel_poke combo ID INDEX            CB_SETCURSEL, then CBN_CLOSEUP to the panel
//   qorvel_poke repaint                   invalidates the panel's client area
//   qorvel_poke closebox                  screen point of the caption's close box
//   qorvel_poke msgbox MS                 waits for a message box, reads it, presses OK
//   qorvel_poke balloon                   the rectangle and text of a visible help balloon
//   qorvel_poke watch MS                  says it is ready, then for MS milliseconds
//                                         records every change of the cursor position
//                                         and of the visible balloons; at the end the
//                                         panel thread's focus and active window
//   qorvel_poke hold FILE read-write|none opens FILE for reading, sharing read and
//                                         write or nothing (never delete), says it
//                                         holds it, and keeps it open until its
//                                         standard input ends; needs no panel
//   qorvel_poke cancel-end                what Windows sends the panel when a program
//                                         asked after it refuses the end of the
//                                         session: WM_QUERYENDSESSION, then
//                                         WM_ENDSESSION with FALSE
//   qorvel_poke refuse-end MS             a top-level window of its own that refuses
//                                         the end of the session, as a program with
//                                         unsaved work does; says it is ready, then
//                                         for MS milliseconds (or until the session
//                                         end is settled) records what it was asked
//                                         and told; needs no panel
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
constexpr char PanelTitle[] = "  QorvelGen SE v 1.2 [ Apr 17 2007 ]";
constexpr char DialogClass[] = "#32770";
constexpr char BalloonClass[] = "WindowsHelperClass";
constexpr UINT SendTimeoutMs = 10000;
constexpr int MessageBoxTextId = 0xFFFF;
constexpr int WatchStepMs = 10;

const int sliders[] = {1013, 1018, 1023};
const int combos[] = {1012, 1017};
const int controls[] = {1010, 1012, 1013, 1014, 1015, 1017, 1018, 1019,
                        1020, 1022, 1023, 1024, 1025, 1026, 1027};

std::string Quoted(const char* text) {
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += static_cast<char>(*p);
        } else if (*p < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", *p);
            out += escape;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out + "\"";
}

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size) - 1);
    return out;
}

// A window's text as it holds it: within a process WM_GETTEXT, across
// processes the text the window system keeps.
std::string WindowText(HWND window) {
    wchar_t text[1024] = L"";
    GetWindowTextW(window, text, 1024);
    return Utf8(text);
}

std::string RectJson(const RECT& r) {
    char text[80];
    std::snprintf(text, sizeof text, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
    return text;
}

// The panel and its message boxes share the dialog class and, for the
// presence poll's box, the title: the panel is the one with a Start box.
bool IsPanel(HWND window) {
    return GetDlgItem(window, 1010) != nullptr;
}

struct TopLevelSearch {
    bool (*test)(HWND);
    HWND found;
};

BOOL CALLBACK TestTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<TopLevelSearch*>(context);
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, DialogClass) != 0 || !search->test(window)) return TRUE;
    search->found = window;
    return FALSE;
}

// The first top-level dialog-class window that passes `test`.
HWND FindTopLevel(bool (*test)(HWND)) {
    TopLevelSearch search = {test, nullptr};
    EnumWindows(TestTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindPanel() {
    return FindTopLevel([](HWND window) {
        char title[64] = "";
        GetWindowTextA(window, title, sizeof title);
        return std::strcmp(title, PanelTitle) == 0 && IsPanel(window);
    });
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, SendTimeoutMs, &result);
    return static_cast<LRESULT>(result);
}

// A visible dialog-class window that is not the panel: a message box.
HWND FindMessageBox() {
    return FindTopLevel([](HWND window) { return IsWindowVisible(window) && !IsPanel(window); });
}

template <class Find>
HWND WaitFor(Find find, int milliseconds) {
    for (int waited = 0;; waited += 20) {
        if (HWND window = find()) return window;
        if (waited >= milliseconds) return nullptr;
        Sleep(20);
    }
}

GUITHREADINFO PanelThreadInfo(HWND panel) {
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(panel, nullptr), &thread);
    return thread;
}

// The keyboard focus in the panel's thread: the id of the panel's control
// that has it, 0 for the panel itself or none, -1 for any other window (a
// help balloon, say).
int FocusId(HWND panel) {
    HWND focus = PanelThreadInfo(panel).hwndFocus;
    if (focus == nullptr || focus == panel) return 0;
    return IsChild(panel, focus) ? GetDlgCtrlID(focus) : -1;
}

int Info(HWND panel) {
    const std::string title = WindowText(panel);
    RECT window, client;
    GetWindowRect(panel, &window);
    GetClientRect(panel, &client);
    MapWindowPoints(panel, nullptr, reinterpret_cast<POINT*>(&client), 2);
    std::string out = "{\"title\":" + Quoted(title.c_str()) + ",\"rect\":" + RectJson(window) +
                      ",\"client\":" + RectJson(client);
    char text[256];
    std::snprintf(text, sizeof text, ",\"screen\":[%d,%d],\"visible\":%d,\"iconic\":%d,\"start\":%d",
                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                  IsWindowVisible(panel) ? 1 : 0, IsIconic(panel) ? 1 : 0,
                  static_cast<int>(IsDlgButtonChecked(panel, 1010)));
    out += text;
    std::snprintf(text, sizeof text, ",\"focus\":%d", FocusId(panel));
    out += text;
    out += ",\"sliders\":{";
    for (int id : sliders) {
        std::snprintf(text, sizeof text, "%s\"%d\":[%d,%d,%d]", id == sliders[0] ? "" : ",", id,
                      static_cast<int>(Send(GetDlgItem(panel, id), TBM_GETPOS, 0, 0)),
                      static_cast<int>(Send(GetDlgItem(panel, id), TBM_GETRANGEMIN, 0, 0)),
                      static_cast<int>(Send(GetDlgItem(panel, id), TBM_GETRANGEMAX, 0, 0)));
        out += text;
    }
    out += "},\"combos\":{";
    for (int id : combos) {
        HWND combo = GetDlgItem(panel, id);
        const int selection = static_cast<int>(Send(combo, CB_GETCURSEL, 0, 0));
        const int count = static_cast<int>(Send(combo, CB_GETCOUNT, 0, 0));
        // WM_GETTEXT crosses processes whole; CB_GETLBTEXT does not here.
        char shown[64] = "";
        Send(combo, WM_GETTEXT, sizeof shown, reinterpret_cast<LPARAM>(shown));
        std::snprintf(text, sizeof text, "%s\"%d\":{\"selection\":%d,\"count\":%d,\"text\":%s}",
                      id == combos[0] ? "" : ",", id, selection, count, Quoted(shown).c_str());
        out += text;
    }
    out += "},\"controls\":{";
    for (int id : controls) {
        RECT r = {};
        HWND control = GetDlgItem(panel, id);
        if (control) GetWindowRect(control, &r);
        std::snprintf(text, sizeof text, "%s\"%d\":%s", id == controls[0] ? "" : ",", id,
                      RectJson(r).c_str());
        out += text;
    }
    out += "}}";
    std::puts(out.c_str());
    return 0;
}

// Every child of the panel in Z order (the template's order): its id, class
// and text. The group boxes have no id of their own (-1).
int Texts(HWND panel) {
    std::string out = "{\"controls\":[";
    for (HWND control = GetWindow(panel, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        char className[64] = "";
        GetClassNameA(control, className, sizeof className);
        char head[96];
        std::snprintf(head, sizeof head, "%s{\"id\":%d,\"class\":", out.back() == '[' ? "" : ",",
                      static_cast<int>(static_cast<short>(GetDlgCtrlID(control))));
        out += head + Quoted(className) + ",\"text\":" + Quoted(WindowText(control).c_str()) + "}";
    }
    std::puts((out + "]}").c_str());
    return 0;
}

// The caption's close box, found by asking the panel itself what each point
// of its top edge is, so no frame metrics are assumed.
int CloseBox(HWND panel) {
    RECT r;
    GetWindowRect(panel, &r);
    for (int y = r.top; y < r.top + 40 && y < r.bottom; ++y) {
        for (int x = r.right - 1; x > r.right - 80 && x > r.left; --x) {
            if (Send(panel, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE) {
                // Step to the middle of the box along the row.
                int left = x;
                while (left > r.left && Send(panel, WM_NCHITTEST, 0, MAKELPARAM(left - 1, y)) == HTCLOSE)
                    --left;
                std::printf("{\"x\":%d,\"y\":%d}\n", (left + x) / 2, y + 4);
                return 0;
            }
        }
    }
    std::puts("{\"error\":\"no close box\"}");
    return 1;
}

int MessageBoxRead(int milliseconds) {
    HWND box = WaitFor(FindMessageBox, milliseconds);
    if (!box) {
        std::puts("{\"error\":\"no message box\"}");
        return 1;
    }
    // Found as soon as it shows; its text may still be on the way.
    std::string text;
    for (int waited = 0; waited < 5000 && (text = WindowText(GetDlgItem(box, MessageBoxTextId))).empty();
         waited += 20)
        Sleep(20);
    const std::string caption = WindowText(box);
    HWND owner = GetWindow(box, GW_OWNER);
    const bool ownedByPanel = owner && owner == FindPanel();
    const bool hasOk = GetDlgItem(box, IDOK) != nullptr;
    const bool hasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
    std::printf("{\"caption\":%s,\"text\":%s,\"owned\":%d,\"owned_by_panel\":%d,\"ok\":%d,\"cancel\":%d}\n",
                Quoted(caption.c_str()).c_str(), Quoted(text.c_str()).c_str(), owner ? 1 : 0,
                ownedByPanel ? 1 : 0, hasOk ? 1 : 0, hasCancel ? 1 : 0);
    std::fflush(stdout);
    // Posted: the box's owner thread runs it in a modal loop.
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    return 0;
}

// The visible help balloons, each as a JSON object with its window handle,
// rectangle and window text.
BOOL CALLBACK AddBalloon(HWND window, LPARAM context) {
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, BalloonClass) != 0 || !IsWindowVisible(window)) return TRUE;
    RECT r;
    GetWindowRect(window, &r);
    const std::string text = WindowText(window);
    char head[40];
    std::snprintf(head, sizeof head, "{\"window\":%llu,\"rect\":",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    reinterpret_cast<std::vector<std::string>*>(context)->push_back(
        head + RectJson(r) + ",\"text\":" + Quoted(text.c_str()) + "}");
    return TRUE;
}

std::vector<std::string> Balloons() {
    std::vector<std::string> balloons;
    EnumWindows(AddBalloon, reinterpret_cast<LPARAM>(&balloons));
    return balloons;
}

int Balloon() {
    const std::vector<std::string> balloons = Balloons();
    if (balloons.empty()) {
        std::puts("{\"error\":\"no balloon\"}");
        return 1;
    }
    std::puts(balloons.front().c_str());
    return 0;
}

// The cursor position and the visible balloons, as the watch records them.
std::string WatchState() {
    POINT cursor = {};
    GetCursorPos(&cursor);
    char text[80];
    std::snprintf(text, sizeof text, "\"cursor\":[%ld,%ld],\"balloons\":[", cursor.x, cursor.y);
    std::string state = text;
    const std::vector<std::string> balloons = Balloons();
    for (size_t i = 0; i < balloons.size(); ++i) state += (i ? "," : "") + balloons[i];
    return state + "]";
}

// Samples the cursor and the balloons every few milliseconds and keeps each
// state that differs from the one before, with the time it was first seen
// ("t") and the time of the sample before it ("since"), so the change
// happened in between. Times are milliseconds from the ready line. The state
// at time 0 is sampled before the ready line: whatever the caller does once
// it reads that line cannot be in it, however late a busy machine lets the
// watch run again.
int Watch(HWND panel, int milliseconds) {
    std::string state = WatchState();
    std::puts("{\"ready\":1}");
    std::fflush(stdout);
    const ULONGLONG began = GetTickCount64();
    std::string changes, last;
    ULONGLONG since = 0, now = 0;
    for (;;) {
        if (state != last) {
            char text[80];
            std::snprintf(text, sizeof text, "%s{\"since\":%llu,\"t\":%llu,", changes.empty() ? "" : ",",
                          since, now);
            changes += text + state + "}";
            last = state;
        }
        since = now;
        if (now >= static_cast<ULONGLONG>(milliseconds)) break;
        Sleep(WatchStepMs);
        now = GetTickCount64() - began;
        state = WatchState();
    }
    std::printf("{\"changes\":[%s],\"end\":%llu,\"focus\":%d,\"active\":%d}\n", changes.c_str(), since,
                FocusId(panel), PanelThreadInfo(panel).hwndActive == panel ? 1 : 0);
    return 0;
}

// Keeps a file open as a viewer or a sync client may, until the caller closes
// this process's standard input.
int Hold(const char* fileName, DWORD share) {
    HANDLE file =
        CreateFileA(fileName, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("{\"error\":\"cannot open\",\"code\":%lu}\n", GetLastError());
        return 1;
    }
    std::puts("{\"held\":1}");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    CloseHandle(file);
    return 0;
}

// What the refusing window was asked and told, for the report.
struct SessionEndSeen {
    int queries = 0;
    int ends = 0;
    int lastEnd = -1;  // WM_ENDSESSION's wParam
};
SessionEndSeen sessionEndSeen;

LRESULT CALLBACK RefusingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION) {
        ++sessionEndSeen.queries;
        return FALSE;
    }
    if (message == WM_ENDSESSION) {
        ++sessionEndSeen.ends;
        sessionEndSeen.lastEnd = static_cast<int>(wParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int RefuseSessionEnd(int milliseconds) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RefusingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QorvelPokeRefusesTheEnd";
    RegisterClassA(&wc);
    HWND window = CreateWindowA(wc.lpszClassName, "unsaved work", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    std::puts("{\"ready\":1}");
    std::fflush(stdout);
    const ULONGLONG began = GetTickCount64();
    while (sessionEndSeen.ends == 0 && GetTickCount64() - began < static_cast<ULONGLONG>(milliseconds)) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    std::printf("{\"queries\":%d,\"ends\":%d,\"ending\":%d}\n", sessionEndSeen.queries, sessionEndSeen.ends,
                sessionEndSeen.lastEnd);
    DestroyWindow(window);
    return 0;
}

int Usage() {
    std::fputs(
        "usage: qorvel_poke info|texts|wait-panel MS|click ID|slider ID POS|combo ID INDEX|"
        "repaint|closebox|msgbox MS|balloon|watch MS|hold FILE read-write|none|cancel-end|refuse-end MS\n",
        stderr);
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    auto number = [&](int index) { return index < argc ? std::atoi(argv[index]) : 0; };

    if (command == "msgbox") return MessageBoxRead(number(2));
    if (command == "balloon") return Balloon();
    if (command == "refuse-end") return RefuseSessionEnd(number(2));
    if (command == "hold" && argc == 4) {
        const std::string sharing = argv[3];
        if (sharing == "read-write") return Hold(argv[2], FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (sharing == "none") return Hold(argv[2], 0);
        return Usage();
    }
    if (command == "wait-panel") {
        HWND panel = WaitFor(
            [] {
                HWND p = FindPanel();
                return p && IsWindowVisible(p) ? p : nullptr;
            },
            number(2));
        std::puts(panel ? "{\"panel\":1}" : "{\"panel\":0}");
        return panel ? 0 : 1;
    }

    HWND panel = FindPanel();
    if (!panel) {
        std::puts("{\"error\":\"no panel\"}");
        return 1;
    }
    if (command == "info") return Info(panel);
    if (command == "texts") return Texts(panel);
    if (command == "closebox") return CloseBox(panel);
    if (command == "watch" && argc == 3) return Watch(panel, number(2));
    if (command == "cancel-end") {
        const LRESULT agreed = Send(panel, WM_QUERYENDSESSION, 0, 0);
        Send(panel, WM_ENDSESSION, FALSE, 0);
        std::printf("{\"agreed\":%d}\n", agreed ? 1 : 0);
        return 0;
    }
    if (command == "repaint") {
        InvalidateRect(panel, nullptr, TRUE);
        return 0;
    }
    if (command == "click" && argc == 3) {
        Send(GetDlgItem(panel, number(2)), BM_CLICK, 0, 0);
        return 0;
    }
    if (command == "slider" && argc == 4) {
        HWND slider = GetDlgItem(panel, number(2));
        Send(slider, TBM_SETPOS, TRUE, number(3));
        Send(panel, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, number(3)), reinterpret_cast<LPARAM>(slider));
        return 0;
    }
    if (command == "combo" && argc == 4) {
        HWND combo = GetDlgItem(panel, number(2));
        Send(combo, CB_SETCURSEL, number(3), 0);
        Send(panel, WM_COMMAND, MAKEWPARAM(number(2), CBN_CLOSEUP), reinterpret_cast<LPARAM>(combo));
        return 0;
    }
    return Usage();
}
