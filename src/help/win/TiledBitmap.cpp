#include "help/win/TiledBitmap.h"

#include "help/DibLayout.h"

void TiledBitmap::Reset() {
    bitmapHandle.reset();
    bitmapWidth = 0;
    bitmapHeight = 0;
}

void TiledBitmap::Load(HMODULE module, const char* name) {
    Reset();
    HRSRC resource = FindResourceA(module, name, MAKEINTRESOURCEA(2));
    if (resource == nullptr) return;
    HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr) return;
    const auto* data = static_cast<const uint8_t*>(LockResource(loaded));
    DibLayout layout;
    // Checked against the resource's size, so a damaged resource is never read past its end.
    if (!ReadDibLayout(data, SizeofResource(module, resource), layout)) return;
    bitmapWidth = layout.width;
    bitmapHeight = layout.height;

    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(data);
    WindowDc screen(nullptr);
    bitmapHandle.reset(CreateDIBitmap(screen.get(), header, CBM_INIT, data + layout.pixelOffset,
                                      reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS));
}

void TiledBitmap::Draw(HDC dc, const RECT* r, HRGN clip) const {
    BITMAP info;
    if (dc == nullptr || r == nullptr || !bitmapHandle ||
        GetObjectA(bitmapHandle.get(), sizeof info, &info) != sizeof info) {
        return;
    }
    // The tile size is the bitmap's own, not the header's.
    const int32_t tw = info.bmWidth;
    const int32_t th = info.bmHeight;
    if (tw <= 0 || th <= 0) return;

    MemoryDc memory(CreateCompatibleDC(dc));
    if (!memory) return;
    SelectedObject tile(memory.get(), bitmapHandle.get());

    GdiHandle<HRGN> ownClip;
    if (clip == nullptr) {
        ownClip.reset(CreateRectRgn(r->left, r->top, r->right - r->left + 1, r->bottom - r->top + 1));
        clip = ownClip.get();
    }
    SelectClipRgn(dc, clip);
    const int32_t x0 = (r->left - tileOriginX) % tw;
    for (int32_t y = (r->top - tileOriginY) % th; y <= r->bottom; y += th) {
        for (int32_t x = x0; x <= r->right; x += tw) {
            BitBlt(dc, x, y, tw, th, memory.get(), 0, 0, SRCCOPY);
        }
    }
    SelectClipRgn(dc, nullptr);
}
