// Counts this process's GDI objects and windows, for leak checks.
// GetGuiResources answers on Windows; this Wine returns 0 for it, so GDI
// objects are then counted from the process's GDI handle table (the PEB's
// GdiSharedHandleTable) and windows by enumeration. `gdiSource` and
// `userSource` say which way was used.
#pragma once

struct GuiObjectCount {
    long gdi = 0;
    long user = 0;
    const char* gdiSource = "";
    const char* userSource = "";
};

GuiObjectCount CountGuiObjects();
