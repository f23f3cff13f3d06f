// The framework's window procedures: binding a window to its object,
// routing messages to the object's map, and the shared services ShowMessage
// and MoveTo. A dialog keeps its object in DWLP_USER, a popup in window
// long 0; both are cleared at WM_NCDESTROY before OnFinalDestroy runs, so no
// handler can reach an object whose window is being torn down.
#include "framework/win/WindowObject.h"

#include <algorithm>
#include <cstring>

#include "framework/Placement.h"
#include "framework/win/WideText.h"

namespace {
constexpr char PopupClassName[] = "WindowsHelperClass";
// Room in window long 0 for the object pointer, on 32-bit and 64-bit alike.
constexpr int PopupWindowExtra = 8;

DialogWindowObject* DialogObject(HWND dialog) {
    return reinterpret_cast<DialogWindowObject*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

WindowObject* PopupObject(HWND popup) {
    return reinterpret_cast<WindowObject*>(GetWindowLongPtrA(popup, 0));
}

LRESULT Forward(DialogWindowObject& object, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!object.previousWndProc) return 0;
    return CallWindowProcA(object.previousWndProc, dialog, message, wParam, lParam);
}

// Offers the message to the map; the map's answer stands unless it is -1,
// which forwards the message to the dialog's own procedure.
LRESULT DispatchOrForward(DialogWindowObject& object, HWND dialog, UINT message, WPARAM wParam,
                          LPARAM lParam) {
    const int32_t result = object.WindowProc(message, wParam, lParam);
    if (result != NotHandled) return result;
    return Forward(object, dialog, message, wParam, lParam);
}

// Messages the dialog procedure swallows: the subclass procedure has
// already offered them to the map (or painted), and WM_MEASUREITEM never
// reaches it.
bool IsSwallowedByDialogProc(UINT message) {
    return message == WM_PAINT || message == WM_SETCURSOR || message == WM_MEASUREITEM ||
           (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_MOUSEMOVE;
}
}  // namespace

int32_t WindowObject::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const MessageMapEntry* entry = FindMapEntry(GetMessageMap(), message, wParam);
    if (!entry) return NotHandled;
    return CallMapEntry(*entry, *this, wParam, lParam);
}

int WindowObject::ShowMessage(const char* text, UINT type) {
    // 99 counts the terminating NUL: at most 98 characters of the title.
    wchar_t caption[100] = L"";
    if (window) GetWindowTextW(window, caption, 99);
    // Wide: a narrow box would read the Russian text in the system's code
    // page. A text that could not be converted shows no box at all, rather
    // than an empty one.
    const WideText wide = WideFrom1251(text);
    if (!wide.Whole()) return 0;
    HWND focus = GetFocus();
    const int result = MessageBoxW(window, wide.c_str(), caption, type);
    SetFocus(focus);
    return result;
}

BOOL WindowObject::MoveTo(int x, int y) {
    RECT r{};
    GetWindowRect(window, &r);
    const Point place = PlaceWindow(x, y, {r.left, r.top, r.right, r.bottom}, GetSystemMetrics(SM_CXSCREEN),
                                    GetSystemMetrics(SM_CYSCREEN));
    // Activation is not suppressed; a hidden window is also raised to the top.
    const UINT flags =
        IsWindowVisible(window) ? SWP_NOZORDER | SWP_FRAMECHANGED | SWP_SHOWWINDOW : SWP_HIDEWINDOW;
    return SetWindowPos(window, HWND_TOP, place.x, place.y, r.right - r.left, r.bottom - r.top, flags);
}

namespace {
// The dialog's font is made with the system's default character set, which on
// a Western system is a face without Cyrillic glyphs: the template's Russian
// texts would draw as bars. The controls that still have that font (those
// the dialog's initialisation gave no font of its own) get the same font
// asked for with the Cyrillic set; on a Cyrillic system that is the very
// same face.
void GiveControlsCyrillicFont(DialogWindowObject& object, HWND dialog) {
    auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    // Where even that is not Cyrillic, the system's own face for dialogs.
    object.textFont.reset(CreateCyrillicFontLike(dialogFont, GetStockObject(DEFAULT_GUI_FONT)));
    if (!object.textFont) return;
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        if (reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)) == dialogFont)
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(object.textFont.get()), FALSE);
    }
}
}  // namespace

HWND CreateBoundDialog(DialogWindowObject& object, int templateId, HWND parent) {
    // Wide: a narrow dialog gets the template's texts in the system's code
    // page, and one without Cyrillic turns them into "?".
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                                     ObjectDialogProc, reinterpret_cast<LPARAM>(&object));
    if (!dialog) return nullptr;
    GiveControlsCyrillicFont(object, dialog);
    object.previousWndProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(dialog, GWLP_WNDPROC));
    SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ObjectSubclassProc));
    return dialog;
}

HWND PopupWindowObject::CreatePopup(HWND owner, const char* title, int x, int y, int width, int height) {
    HINSTANCE module = GetModuleHandleA(nullptr);
    if (!className[0]) {
        // At most 49 characters are taken; the name is far shorter.
        const size_t length = std::min(std::strlen(PopupClassName), size_t{49});
        std::memcpy(className, PopupClassName, length);
        className[length] = '\0';
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof(wc);
        wc.style = 0;
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        AdjustClass(wc);
        // Whatever AdjustClass did, the binding needs these.
        wc.lpszClassName = className;
        wc.lpfnWndProc = ObjectClassProc;
        wc.cbClsExtra = 0;
        wc.cbWndExtra = PopupWindowExtra;
        wc.hInstance = module;
        // Only the first attempt in the process succeeds; later ones find the
        // class registered and use it as it is.
        RegisterClassExA(&wc);
    }
    if (windowExists && window) {
        DestroyWindow(window);
        windowExists = 0;
    }
    window = CreateWindowExA(WS_EX_LAYERED | WS_EX_TOPMOST, className, title, WS_POPUP | WS_VISIBLE, x, y,
                             width, height, owner, nullptr, module, static_cast<WindowObject*>(this));
    if (window) {
        MoveTo(x, y);
        windowExists = 1;
    }
    return window;
}

LRESULT CALLBACK ObjectClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE: {
        auto* object =
            static_cast<WindowObject*>(reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(object));
        if (object) {
            object->window = hwnd;
            const int32_t result = object->WindowProc(message, wParam, lParam);
            if (result != NotHandled) return result;
        }
        break;
    }
    case WM_PAINT: {
        WindowObject* object = PopupObject(hwnd);
        if (!object) break;
        RECT client;
        GetClientRect(hwnd, &client);
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        object->OnPaint(dc, client);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_NCDESTROY: {
        WindowObject* object = PopupObject(hwnd);
        SetWindowLongPtrA(hwnd, 0, 0);
        if (object) object->OnFinalDestroy();
        break;
    }
    default:
        if (WindowObject* object = PopupObject(hwnd)) {
            const int32_t result = object->WindowProc(message, wParam, lParam);
            if (result != NotHandled) return result;
        }
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// One case a row of the subclass procedure's table, in the table's order.
LRESULT CALLBACK ObjectSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogWindowObject* object = DialogObject(hwnd);
    if (!object) return 0;
    switch (message) {
    // Offered to the map with their full result.
    case WM_ACTIVATE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_SETCURSOR:
    case WM_SETHOTKEY:
    case WM_GETHOTKEY:
    case WM_NCHITTEST:
    case WM_NCPAINT:
    case WM_NCMOUSEMOVE:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONUP:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONUP:
    case WM_NCMBUTTONDBLCLK:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_DEADCHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
    case WM_SYSDEADCHAR:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_MOUSEMOVE:
    case WM_HOTKEY: return DispatchOrForward(*object, hwnd, message, wParam, lParam);
    case WM_ERASEBKGND:
        if (IsIconic(hwnd)) return 1;
        return DispatchOrForward(*object, hwnd, message, wParam, lParam);
    case WM_PAINT:
        if (object->icon && IsIconic(hwnd)) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            DefWindowProcA(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
            DrawIcon(dc, 0, 0, object->icon);
            EndPaint(hwnd, &ps);
            return 0;
        } else {
            // The dialog paints itself first; OnPaint then draws on top.
            const LRESULT result = DefDlgProcA(hwnd, message, wParam, lParam);
            RECT client;
            GetClientRect(hwnd, &client);
            HDC dc = GetDC(hwnd);
            object->OnPaint(dc, client);
            ReleaseDC(hwnd, dc);
            return result;
        }
    case WM_QUERYDRAGICON:
    case WM_GETICON: return reinterpret_cast<LRESULT>(object->icon);
    case WM_NCDESTROY: {
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        if (WNDPROC previous = object->previousWndProc) {
            CallWindowProcA(previous, hwnd, message, wParam, lParam);
            SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
            object->previousWndProc = nullptr;
        }
        object->OnFinalDestroy();
        return 0;
    }
    default:  // WM_DESTROY included
        return Forward(*object, hwnd, message, wParam, lParam);
    }
}

INT_PTR CALLBACK ObjectDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogWindowObject* object;
    if (message == WM_INITDIALOG) {
        // The creation parameter is the object (CreateBoundDialog passes it).
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        object = reinterpret_cast<DialogWindowObject*>(lParam);
        if (!object) return FALSE;
        object->window = hwnd;
    } else {
        if (IsSwallowedByDialogProc(message)) return FALSE;
        object = DialogObject(hwnd);
        if (!object) return FALSE;
    }
    const int32_t result = object->WindowProc(message, wParam, lParam);
    return result != NotHandled && result != 0 ? TRUE : FALSE;
}
