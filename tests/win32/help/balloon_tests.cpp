#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "GuiObjectCount.h"
#include "TestWindows.h"
#include "help/win/HelpBalloon.h"
#include "help/HelpTable.h"
#include "resources/resource.h"

namespace {
const char shortText[] = "Короткая справка";         // 2 words: the display time is one post-delay
const char* const longText = HelpTable[1].helpText;  // 29 words

BYTE LayeredAlpha(HWND w) {
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    if (!GetLayeredWindowAttributes(w, &key, &alpha, &flags) || !(flags & LWA_ALPHA)) return 0;
    return alpha;
}

// The window a text should get, from the system font's own measurements:
// each word with the character after it (a space, or the terminating zero
// after the last), the widest plus "000", doubled from 3 words on, laid out
// in that width, then scaled by 42/25 across and 31/17 down.
SIZE ExpectedWindow(HWND owner, const char* text) {
    HDC dc = GetDC(owner);
    HGDIOBJ previous = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    int widest = 0, words = 0;
    for (const char* p = text; *p;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        const char* word = p;
        while (*p && *p != ' ') ++p;
        ++words;
        SIZE size{};
        GetTextExtentPoint32A(dc, word, static_cast<int>(p - word) + 1, &size);
        widest = std::max<int>(widest, size.cx);
    }
    SIZE zeros{};
    GetTextExtentPoint32A(dc, "000", 3, &zeros);
    RECT layout{0, 0, (widest + zeros.cx) * (words >= 3 ? 2 : 1), 0};
    DrawTextA(dc, text, -1, &layout, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    SelectObject(dc, previous);
    ReleaseDC(owner, dc);
    return {42 * layout.right / 25 + 1, 31 * layout.bottom / 17 + 1};
}

class BalloonTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner = CreateTopLevel("owner", 100, 100, 400, 300);
        ASSERT_NE(owner, nullptr);
        screenWidth = GetSystemMetrics(SM_CXSCREEN);
        screenHeight = GetSystemMetrics(SM_CYSCREEN);
    }
    void TearDown() override { DestroyWindow(owner); }

    HWND owner = nullptr;
    int screenWidth = 0;
    int screenHeight = 0;
};
}  // namespace

TEST_F(BalloonTest, IsALayeredTopMostPopupOfTheHelperClassAt200) {
    HelpBalloon balloon(IDB_BALLOON);
    HWND w = balloon.Show(owner, shortText, 300, 400, 4000);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(balloon.window, w);
    EXPECT_EQ(balloon.windowExists, 1);

    char className[64] = "";
    GetClassNameA(w, className, sizeof className);
    EXPECT_STREQ(className, "WindowsHelperClass");
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(w, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(w, GWL_EXSTYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE | WS_CHILD | WS_CAPTION), DWORD{WS_POPUP | WS_VISIBLE});
    EXPECT_EQ(exStyle & (WS_EX_LAYERED | WS_EX_TOPMOST), DWORD{WS_EX_LAYERED | WS_EX_TOPMOST});
    EXPECT_EQ(GetWindow(w, GW_OWNER), owner);
    EXPECT_EQ(WindowText(w), shortText);
    EXPECT_EQ(LayeredAlpha(w), 200);
    EXPECT_EQ(balloon.alpha, 200);

    // The class as the balloon adjusts it: own DC, help cursor, no background.
    EXPECT_EQ(GetClassLongPtrA(w, GCL_STYLE) & CS_OWNDC, ULONG_PTR{CS_OWNDC});
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(w, GCLP_HCURSOR)), LoadCursorA(nullptr, IDC_HELP));
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(GetClassLongPtrA(w, GCLP_HBRBACKGROUND)), GetStockObject(NULL_BRUSH));
    balloon.Close();
}

TEST_F(BalloonTest, OpensAboveAndRightOfTheAnchorAndMirrorsItsShapeAtTheEdges) {
    const struct {
        const char* situation;
        int ax, ay;
        int32_t flipFlags;
    } cases[] = {
        {"room above and right", 300, 600, 0},
        {"right edge", screenWidth - 3, 600, FlipLeftRight},
        {"top edge", 300, 3, FlipTopBottom},
        {"top right corner", screenWidth - 3, 3, FlipLeftRight | FlipTopBottom},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        HelpBalloon balloon(0);
        HWND w = balloon.Show(owner, longText, c.ax, c.ay, 4000);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(balloon.flipFlags, c.flipFlags);
        const RECT r = WindowRect(w);
        if (c.flipFlags & FlipLeftRight) {
            EXPECT_EQ(r.right, c.ax);
        } else {
            EXPECT_EQ(r.left, c.ax);
        }
        if (c.flipFlags & FlipTopBottom) {
            EXPECT_EQ(r.top, c.ay);
        } else {
            EXPECT_EQ(r.bottom, c.ay);
        }
        // The tail tip, the outline's first point, sits in the corner next to the anchor.
        const POINT tip = balloon.scaledPoints[0];
        EXPECT_EQ(tip.x, (c.flipFlags & FlipLeftRight) ? r.right - r.left - 1 : 1);
        EXPECT_EQ(tip.y, (c.flipFlags & FlipTopBottom) ? -1 : r.bottom - r.top + 1);
        // The window's shape is that outline, with the text inside it.
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        const int type = GetWindowRgn(w, region);
        EXPECT_TRUE(type == SIMPLEREGION || type == COMPLEXREGION) << type;
        HRGN outline = CreatePolygonRgn(balloon.scaledPoints.get(), 27, WINDING);
        EXPECT_TRUE(EqualRgn(region, outline));
        const RECT& t = balloon.textRect;
        EXPECT_TRUE(PtInRegion(region, (t.left + t.right) / 2, (t.top + t.bottom) / 2));
        const int farX = (c.flipFlags & FlipLeftRight) ? 0 : r.right - r.left - 1;
        const int farY = (c.flipFlags & FlipTopBottom) ? r.bottom - r.top - 1 : 0;
        EXPECT_FALSE(PtInRegion(region, farX, farY)) << "the corner away from the tail is cut off";
        DeleteObject(outline);
        DeleteObject(region);
        balloon.Close();
    }
}

TEST_F(BalloonTest, StaysItsDisplayTimeThenFadesIn40MsStepsAndGoes) {
    HelpBalloon balloon(IDB_BALLOON);
    // Two words and the shortest post-delay the configuration allows:
    // displayed 500 ms, then 39 steps of 40 ms.
    HWND w = balloon.Show(owner, shortText, 300, 600, 500);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(balloon.displayTime, 500);
    const DWORD start = GetTickCount();
    DWORD fadeSeen = 0;
    int lowest = 255;
    std::vector<int> seen;
    const bool gone = PumpUntil(
        [&] {
            if (!IsWindow(w)) return true;
            const int alpha = LayeredAlpha(w);
            if (seen.empty() || seen.back() != alpha) seen.push_back(alpha);
            if (alpha < 200 && fadeSeen == 0) fadeSeen = GetTickCount() - start;
            lowest = std::min(lowest, alpha);
            return false;
        },
        6000);
    const DWORD goneAfter = GetTickCount() - start;
    ASSERT_TRUE(gone);
    std::printf("fade seen after %lu ms, window gone after %lu ms, %zu opacities seen\n",
                static_cast<unsigned long>(fadeSeen), static_cast<unsigned long>(goneAfter), seen.size());
    EXPECT_GE(fadeSeen, 500u) << "the display time comes first";
    EXPECT_GE(goneAfter, 2000u) << "500 ms display and 39 intervals of 40 ms";
    EXPECT_LE(goneAfter, 4500u);
    EXPECT_LE(lowest, 20);
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_LT(seen[i], seen[i - 1]);
        EXPECT_EQ(seen[i] % 5, 0);
    }
    EXPECT_EQ(balloon.window, nullptr);
    EXPECT_EQ(balloon.windowExists, 0);
    EXPECT_EQ(balloon.alpha, 0);
}

TEST_F(BalloonTest, AClickStartsTheFadeAtOnce) {
    HelpBalloon balloon(IDB_BALLOON);
    HWND w = balloon.Show(owner, longText, 300, 600, 60000);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(balloon.displayTime, 5 * 60000);
    SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_EQ(balloon.alpha, 195);
    EXPECT_EQ(LayeredAlpha(w), 200);
    const DWORD start = GetTickCount();
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(w); }, 5000));
    const DWORD goneAfter = GetTickCount() - start;
    std::printf("window gone %lu ms after the click\n", static_cast<unsigned long>(goneAfter));
    EXPECT_GE(goneAfter, 1400u);
    EXPECT_EQ(balloon.window, nullptr);
}

TEST_F(BalloonTest, EachFurtherClickAddsAStep) {
    HelpBalloon balloon(0);
    HWND w = balloon.Show(owner, shortText, 300, 600, 60000);
    ASSERT_NE(w, nullptr);
    for (int i = 0; i < 3; ++i) SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_EQ(balloon.alpha, 185);
    EXPECT_EQ(LayeredAlpha(w), 190);
    balloon.Close();
}

TEST_F(BalloonTest, CloseRemovesTheWindowAtOnceAlsoDuringTheFade) {
    HelpBalloon showing(IDB_BALLOON);
    HWND w = showing.Show(owner, shortText, 300, 600, 4000);
    ASSERT_NE(w, nullptr);
    showing.Close();
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(showing.window, nullptr);
    EXPECT_EQ(showing.windowExists, 0);
    showing.Close();  // nothing left to close

    HelpBalloon fading(IDB_BALLOON);
    HWND f = fading.Show(owner, shortText, 300, 600, 4000);
    ASSERT_NE(f, nullptr);
    SendMessageA(f, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    PumpFor(200);
    ASSERT_TRUE(IsWindow(f));
    EXPECT_LT(LayeredAlpha(f), 200);
    fading.Close();
    EXPECT_FALSE(IsWindow(f));
    EXPECT_TRUE(BalloonWindows(owner).empty());
}

TEST_F(BalloonTest, TextWithoutWordsMakesNoWindow) {
    const char* const texts[] = {"     ", "", nullptr};
    for (const char* text : texts) {
        HelpBalloon balloon(IDB_BALLOON);
        EXPECT_EQ(balloon.Show(owner, text, 300, 600, 4000), nullptr);
        EXPECT_EQ(balloon.window, nullptr);
        EXPECT_EQ(balloon.windowExists, 0);
        balloon.Close();
    }
    EXPECT_TRUE(BalloonWindows(nullptr).empty());
}

TEST_F(BalloonTest, GoesAwayWithItsOwner) {
    HelpBalloon balloon(IDB_BALLOON);
    HWND w = balloon.Show(owner, shortText, 300, 600, 4000);
    ASSERT_NE(w, nullptr);
    DestroyWindow(owner);
    owner = nullptr;
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(balloon.window, nullptr);
    EXPECT_EQ(balloon.windowExists, 0);
}

TEST_F(BalloonTest, PaintsTextureOrTooltipColourInsideAFrame) {
    const COLORREF red = RGB(255, 0, 0);     // in neither the texture nor the tooltip colour
    const COLORREF frame = RGB(64, 64, 64);  // DKGRAY_BRUSH
    const COLORREF infoBk = GetSysColor(COLOR_INFOBK);
    for (const int32_t bitmapId : {0, IDB_BALLOON}) {
        SCOPED_TRACE(bitmapId);
        HelpBalloon balloon(bitmapId);
        HWND w = balloon.Show(owner, longText, 300, 600, 60000);
        ASSERT_NE(w, nullptr);
        RECT client;
        GetClientRect(w, &client);

        // Paint into a memory picture of the client area, red beforehand.
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP picture = CreateCompatibleBitmap(screen, client.right, client.bottom);
        ReleaseDC(nullptr, screen);
        HGDIOBJ previous = SelectObject(dc, picture);
        HBRUSH redBrush = CreateSolidBrush(red);
        FillRect(dc, &client, redBrush);
        DeleteObject(redBrush);
        balloon.OnPaint(dc, client);

        int framePixels = 0, infoPixels = 0, redInside = 0, redOutside = 0, outside = 0;
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        GetWindowRgn(w, region);
        for (int y = 0; y < client.bottom; ++y) {
            for (int x = 0; x < client.right; ++x) {
                const COLORREF c = GetPixel(dc, x, y);
                const bool inside = PtInRegion(region, x, y);
                if (c == frame) ++framePixels;
                if (c == infoBk) ++infoPixels;
                if (c == red) ++(inside ? redInside : redOutside);
                if (!inside) ++outside;
            }
        }
        const int area = client.right * client.bottom;
        EXPECT_GT(framePixels, client.right) << "the outline is framed";
        EXPECT_LT(redInside, area / 50) << "the bubble is filled";
        if (bitmapId == 0) {
            EXPECT_GT(infoPixels, area / 3) << "filled with the tooltip colour";
            EXPECT_GT(redOutside, outside / 2) << "the fill stays inside the outline";
        } else {
            EXPECT_EQ(redOutside, 0) << "the texture covers the client area; the region cuts it";
            EXPECT_LT(infoPixels, area / 50);
        }
        DeleteObject(region);
        SelectObject(dc, previous);
        DeleteObject(picture);
        DeleteDC(dc);
        balloon.Close();
    }
}

namespace {
// Black pixels in a picture of width by height that `paint` draws on white.
template <class Paint>
int BlackPixels(int width, int height, Paint paint) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(dc, picture);
    RECT all{0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    paint(dc);
    int black = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) black += GetPixel(dc, x, y) == RGB(0, 0, 0);
    }
    SelectObject(dc, previous);
    DeleteObject(picture);
    DeleteDC(dc);
    return black;
}
}  // namespace

TEST_F(BalloonTest, TheWindowIsSizedFromTheTextsMeasurement) {
    const char* const texts[] = {
        "Справка",             // one word, measured with the terminating zero
        "Короткая справка",    // two words: the layout width is not doubled
        "три коротких слова",  // three: doubled
        "WWWWWW i",            // the widest word measured with its space
        "i WWWWWW",            // the widest word measured with the zero
        longText,
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        HelpBalloon balloon(0);
        HWND w = balloon.Show(owner, text, 300, 600, 4000);
        ASSERT_NE(w, nullptr);
        RECT r;
        GetWindowRect(w, &r);
        const SIZE expected = ExpectedWindow(owner, text);
        EXPECT_EQ(r.right - r.left, expected.cx);
        EXPECT_EQ(r.bottom - r.top, expected.cy);
        // Measured and drawn in a face the system really gives Cyrillic.
        HDC dc = GetDC(w);
        HGDIOBJ previous = SelectObject(dc, balloon.textFont.get());
        EXPECT_EQ(GetTextCharset(dc), RUSSIAN_CHARSET);
        SelectObject(dc, previous);
        ReleaseDC(w, dc);
        balloon.Close();
    }
}

TEST_F(BalloonTest, EveryHelpTextIsPaintedWhole) {
    // The balloon's painting holds as many black text pixels as the text
    // drawn on one line: no line is cut off. The system font is a bitmap font,
    // so the glyphs come out the same wherever the lines break.
    for (const HelpEntry* row = HelpTable; row->helpText != nullptr; ++row) {
        SCOPED_TRACE(row->controlId);
        const int whole = BlackPixels(3000, 40, [&](HDC dc) {
            SelectObject(dc, GetStockObject(SYSTEM_FONT));
            SetBkMode(dc, TRANSPARENT);
            RECT line{0, 0, 3000, 40};
            DrawTextA(dc, row->helpText, -1, &line, DT_SINGLELINE | DT_NOCLIP);
        });
        HelpBalloon balloon(0);
        HWND w = balloon.Show(owner, row->helpText, 300, 600, 4000);
        ASSERT_NE(w, nullptr);
        RECT client;
        GetClientRect(w, &client);
        const int painted =
            BlackPixels(client.right, client.bottom, [&](HDC dc) { balloon.OnPaint(dc, client); });
        EXPECT_GT(whole, 0);
        EXPECT_EQ(painted, whole);
        balloon.Close();
    }
}

TEST_F(BalloonTest, TwoHundredBalloonsLeaveNoGdiObjectsOrWindowsBehind) {
    auto showAndClose = [&](int i) {
        HelpBalloon balloon(IDB_BALLOON);
        HWND w = balloon.Show(owner, i % 2 ? longText : shortText, 200 + i % 50, 300 + i % 40, 4000);
        if (w == nullptr) return false;
        UpdateWindow(w);  // paints: texture, frame and text
        SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        balloon.Close();
        return true;
    };
    ASSERT_TRUE(showAndClose(0));  // first-use allocations of the window system
    PumpFor(50);
    // Each balloon hands its window a region; where the window system keeps
    // a destroyed window's region, that many objects stay, and no more.
    const long keptPerWindow = GdiObjectsKeptByADestroyedWindowsRegion();
    if (keptPerWindow != 0) {
        std::printf(
            "this window system keeps %ld GDI object(s) of each destroyed window's region: "
            "allowed for each balloon\n",
            keptPerWindow);
    }
    const GuiObjectCount before = CountGuiObjects();
    for (int i = 1; i <= 200; ++i) ASSERT_TRUE(showAndClose(i)) << i;
    PumpFor(50);
    const GuiObjectCount after = CountGuiObjects();
    std::printf("GDI objects %ld -> %ld (%s), windows %ld -> %ld (%s)\n", before.gdi, after.gdi,
                before.gdiSource, before.user, after.user, before.userSource);
    EXPECT_GT(before.gdi, 0);
    EXPECT_EQ(after.gdi, before.gdi + 200 * keptPerWindow);
    EXPECT_EQ(after.user, before.user);
}
