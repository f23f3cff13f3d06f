#include <gtest/gtest.h>

#include "GuiObjectCount.h"
#include "help/win/TiledBitmap.h"
#include "resources/resource.h"

namespace {
constexpr COLORREF red = RGB(255, 0, 0);  // never in the grey texture

// A memory picture of width by height pixels, filled red.
class Picture {
public:
    Picture(int width, int height) {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        previous = SelectObject(dc, bitmap);
        RECT all{0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(red);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Picture() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC dc;

private:
    HBITMAP bitmap;
    HGDIOBJ previous;
};

TiledBitmap LoadTexture() {
    TiledBitmap texture;
    texture.Load(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BALLOON));
    return texture;
}

// The texture's own pixel at (x, y).
COLORREF TexturePixel(const TiledBitmap& texture, int x, int y) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, texture.Handle());
    const COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, previous);
    DeleteDC(dc);
    return c;
}
}  // namespace

TEST(TiledBitmap, LoadsBitmap112AsA128By128Texture) {
    const TiledBitmap texture = LoadTexture();
    ASSERT_TRUE(texture.Handle());
    EXPECT_EQ(texture.Width(), 128);
    EXPECT_EQ(texture.Height(), 128);
    BITMAP info;
    ASSERT_EQ(GetObjectA(texture.Handle(), sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 128);
    EXPECT_EQ(info.bmHeight, 128);
    // Light grey: every pixel's channels are equal and bright.
    for (int i = 0; i < 128; i += 7) {
        const COLORREF c = TexturePixel(texture, i, (i * 5) % 128);
        EXPECT_EQ(GetRValue(c), GetGValue(c));
        EXPECT_EQ(GetGValue(c), GetBValue(c));
        EXPECT_GE(GetRValue(c), 150);
    }
}

TEST(TiledBitmap, ReloadingAMissingResourceAndResetDeleteTheBitmap) {
    TiledBitmap texture = LoadTexture();  // first-use allocations happen here
    texture.Reset();
    const GuiObjectCount before = CountGuiObjects();
    texture = LoadTexture();
    for (int i = 0; i < 20; ++i) texture.Load(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BALLOON));
    EXPECT_EQ(CountGuiObjects().gdi, before.gdi + 1) << "one bitmap alive";
    texture.Load(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(4321));  // no such bitmap
    EXPECT_FALSE(texture.Handle());
    EXPECT_EQ(texture.Width(), 0);
    EXPECT_EQ(texture.Height(), 0);
    EXPECT_EQ(CountGuiObjects().gdi, before.gdi) << before.gdiSource;
    texture = LoadTexture();
    texture.Reset();
    EXPECT_FALSE(texture.Handle());
    EXPECT_EQ(CountGuiObjects().gdi, before.gdi) << before.gdiSource;
}

TEST(TiledBitmap, TilesCoverTheRectangleFromItsCorner) {
    const TiledBitmap texture = LoadTexture();
    ASSERT_TRUE(texture.Handle());
    Picture picture(300, 200);
    const RECT r{0, 0, 299, 199};
    texture.Draw(picture.dc, &r, nullptr);
    for (int y = 0; y < 200; y += 13) {
        for (int x = 0; x < 300; x += 11) {
            ASSERT_EQ(GetPixel(picture.dc, x, y), TexturePixel(texture, x % 128, y % 128)) << x << "," << y;
        }
    }
    // The last column and row are covered too.
    EXPECT_EQ(GetPixel(picture.dc, 299, 199), TexturePixel(texture, 299 % 128, 199 % 128));
    // The clipping is removed again.
    HRGN clip = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetClipRgn(picture.dc, clip), 0);
    DeleteObject(clip);
}

TEST(TiledBitmap, DrawsOnlyInsideTheCallersClipRegion) {
    const TiledBitmap texture = LoadTexture();
    Picture picture(200, 200);
    const RECT r{0, 0, 199, 199};
    HRGN clip = CreateRectRgn(20, 30, 60, 90);
    texture.Draw(picture.dc, &r, clip);
    EXPECT_EQ(GetPixel(picture.dc, 40, 50), TexturePixel(texture, 40, 50));
    EXPECT_EQ(GetPixel(picture.dc, 10, 50), red);
    EXPECT_EQ(GetPixel(picture.dc, 40, 100), red);
    EXPECT_EQ(GetPixel(picture.dc, 150, 150), red);
    DeleteObject(clip);
}

TEST(TiledBitmap, DrawsNothingWithoutABitmapRectangleOrContext) {
    Picture picture(50, 50);
    const RECT r{0, 0, 49, 49};
    TiledBitmap empty;
    empty.Draw(picture.dc, &r, nullptr);
    EXPECT_EQ(GetPixel(picture.dc, 10, 10), red);
    const TiledBitmap texture = LoadTexture();
    texture.Draw(picture.dc, nullptr, nullptr);
    EXPECT_EQ(GetPixel(picture.dc, 10, 10), red);
    // Without a device context there is no picture to look at, and a GDI call
    // on a null context fails quietly: all this case can show is that the
    // call returns and leaves no GDI object behind.
    const GuiObjectCount before = CountGuiObjects();
    texture.Draw(nullptr, &r, nullptr);
    EXPECT_EQ(CountGuiObjects().gdi, before.gdi);
}
