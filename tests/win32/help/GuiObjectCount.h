// Counts this process's GDI objects and windows, for leak checks.
// GetGuiResources answers on Windows; this Wine returns 0 for it, so GDI
// objects are then counted from the process's GDI handle table (the PEB's
// GdiSharedHandleTable; for a 32-bit process under Wine's WoW64, the 64-bit
// PEB's) and windows by enumeration. `gdiSource` and
// `userSource` say which way was used.
#pragma once

struct GuiObjectCount {
    long gdi = 0;
    long user = 0;
    const char* gdiSource = "";
    const char* userSource = "";
};

GuiObjectCount CountGuiObjects();

// The GDI objects that one destroyed window leaves behind of the region it
// was given with SetWindowRgn: 0 where the window system deletes the region
// with the window, as Windows does; 1 under a window system that keeps it
// (Wine 10.0 does).
long GdiObjectsKeptByADestroyedWindowsRegion();
