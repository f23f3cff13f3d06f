// Window objects: a window bound to the object that handles its messages
// through a constant message map. Objects outlive their windows; the
// framework never deletes one.
#pragma once

#include <windows.h>

#include <cstdint>

#include "framework/win/GdiHandles.h"
#include "framework/MessageMap.h"

class WindowObject {
public:
    virtual ~WindowObject() = default;

    // Overridable operations, in slot order.
    virtual const MessageMapEntry* GetMessageMap() const { return nullptr; }
    virtual void OnFinalDestroy() { window = nullptr; }
    virtual void OnPaint(HDC, const RECT&) {}
    // MessageDispatch: the first matching row's result, or NotHandled.
    int32_t WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // A message box owned by the window, captioned with its title; the
    // keyboard focus comes back afterwards. `text` is code page 1251.
    int ShowMessage(const char* text, UINT type);
    // Places the window at screen (x, y): -1000 centres a coordinate, both
    // below -9999 keep the current position; the result stays on the screen.
    BOOL MoveTo(int x, int y);

    HWND window = nullptr;
};

// A modeless dialog's object.
class DialogWindowObject : public WindowObject {
public:
    HICON icon = nullptr;
    WNDPROC previousWndProc = nullptr;
    // The dialog's font with the Cyrillic character set, on the controls
    // that had the dialog's own (see CreateBoundDialog); kept while the
    // object lives, which is longer than its window.
    GdiHandle<HFONT> textFont;
};

// Creates a modeless dialog bound to `object` (CreateDialogParamW with
// ObjectDialogProc, so the template's texts reach the controls whole on any
// system code page), gives its controls a face that has Cyrillic glyphs and,
// once created, subclasses it with ObjectSubclassProc.
HWND CreateBoundDialog(DialogWindowObject& object, int templateId, HWND parent);

class WindowClassSpec {
public:
    virtual ~WindowClassSpec() = default;
    // Edits the class description before the popup class is registered.
    virtual void AdjustClass(WNDCLASSEXA&) {}
};

// A popup of the registered class "WindowsHelperClass".
class PopupWindowObject : public WindowObject, public WindowClassSpec {
public:
    HWND CreatePopup(HWND owner, const char* title, int x, int y, int width, int height);

    char className[52] = {};
    uint8_t windowExists = 0;
};

// The three window procedures of the framework.
// The popup class's procedure; the object (a WindowObject*) comes as the
// creation parameter and lives in window long 0.
LRESULT CALLBACK ObjectClassProc(HWND, UINT, WPARAM, LPARAM);
// Installed over a bound dialog by CreateBoundDialog.
LRESULT CALLBACK ObjectSubclassProc(HWND, UINT, WPARAM, LPARAM);
// The dialog procedure; WM_INITDIALOG's lParam is a DialogWindowObject*,
// kept in DWLP_USER.
INT_PTR CALLBACK ObjectDialogProc(HWND, UINT, WPARAM, LPARAM);
