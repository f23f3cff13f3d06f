// A bitmap resource that paints itself as tiles over a rectangle.
#pragma once

#include <windows.h>

#include <cstdint>

#include "framework/win/GdiHandles.h"

class TiledBitmap {
public:
    // Loads bitmap resource `name` of `module` as a device-dependent bitmap
    // for the screen; a missing or unreadable resource leaves it empty.
    void Load(HMODULE module, const char* name);
    // Covers `r` with copies of the bitmap, clipped to `clip` or, without
    // one, to `r`. Does nothing without a device context, a rectangle or a bitmap.
    void Draw(HDC dc, const RECT* r, HRGN clip) const;
    void Reset();

    // The loaded bitmap (null: none) and its size from the resource's header;
    // they change together, by Load and Reset only.
    HBITMAP Handle() const { return bitmapHandle.get(); }
    int32_t Width() const { return bitmapWidth; }
    int32_t Height() const { return bitmapHeight; }

    int32_t tileOriginX = 0;
    int32_t tileOriginY = 0;

private:
    GdiHandle<HBITMAP> bitmapHandle;
    int32_t bitmapWidth = 0;
    int32_t bitmapHeight = 0;
};
