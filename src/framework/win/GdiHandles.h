// Small owners for GDI objects and device contexts, shared by the panel and
// the help balloon: each object is released where it was made, and every
// object selected into a device context is put back before the context is
// released.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

// The handles DeleteObject frees. A device context is not one of them: it
// has its own owners below.
template <class Handle>
concept GdiObjectHandle =
    std::is_same_v<Handle, HBITMAP> || std::is_same_v<Handle, HBRUSH> || std::is_same_v<Handle, HFONT> ||
    std::is_same_v<Handle, HPEN> || std::is_same_v<Handle, HRGN> || std::is_same_v<Handle, HPALETTE>;

template <GdiObjectHandle Handle>
struct GdiObjectDeleter {
    void operator()(Handle object) const { DeleteObject(object); }
};
// An owned region, bitmap or brush: GdiHandle<HRGN>.
template <GdiObjectHandle Handle>
using GdiHandle = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter<Handle>>;

struct MemoryDcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;

// A window's (or, with no window, the screen's) device context, released on scope exit.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window(window), dc(GetDC(window)) {}
    ~WindowDc() {
        if (dc != nullptr) ReleaseDC(window, dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc; }

private:
    HWND window;
    HDC dc;
};

// Selects an object into a device context and puts the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc(dc), previous(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous != nullptr && previous != HGDI_ERROR) SelectObject(dc, previous);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc;
    HGDIOBJ previous;
};
