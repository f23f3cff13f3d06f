#include "help/win/HelpBalloon.h"

#include <algorithm>
#include <cstring>

#include "framework/win/WideText.h"

namespace {
constexpr UINT_PTR BalloonTimer = 1;

constexpr MessageMapEntry balloonMap[] = {
    MapRow<&HelpBalloon::OnCreate>(WM_CREATE),
    MapRow<&HelpBalloon::FadeStep>(WM_LBUTTONDOWN),
    MapRow<&HelpBalloon::FadeStep>(WM_TIMER),
    MapEnd,
};

struct LibraryDeleter {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryDeleter>;
}  // namespace

HelpBalloon::HelpBalloon(int32_t bitmapId)
    : scaledPoints(std::make_unique<POINT[]>(PointCount())),
      extentX(MeasureOutline(outline, outlineValueCount).x),
      extentY(MeasureOutline(outline, outlineValueCount).y) {
    if (bitmapId != 0) {
        bitmap.Load(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(bitmapId & 0xFFFF));
    }
}

HelpBalloon::~HelpBalloon() {
    // The tracker closes a balloon before releasing it; should a window still
    // be up, it must not outlive the object its procedure calls into.
    Close();
}

void HelpBalloon::Close() {
    if (window != nullptr) DestroyWindow(window);
}

const MessageMapEntry* HelpBalloon::GetMessageMap() const {
    return balloonMap;
}

void HelpBalloon::AdjustClass(WNDCLASSEXA& wc) {
    wc.style = CS_OWNDC;
    wc.hIcon = nullptr;
    wc.hIconSm = nullptr;
    wc.hCursor = LoadCursorA(nullptr, IDC_HELP);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));  // never erased
    wc.lpszMenuName = nullptr;
}

HGDIOBJ HelpBalloon::Font() const {
    return textFont ? static_cast<HGDIOBJ>(textFont.get()) : GetStockObject(SYSTEM_FONT);
}

int32_t HelpBalloon::MeasureText(HWND owner, const char* text, const WideText& wide, Rect& measured) const {
    measured = {};
    const int32_t words = CountWords(text);
    // The words are measured at their offsets in the wide form, which holds
    // one unit a byte unless memory for it ran out.
    if (words == 0 || wide.size() != std::strlen(text)) return 0;

    WindowDc dc(owner);
    SelectedObject font(dc.get(), Font());
    const int previousMode = SetMapMode(dc.get(), MM_TEXT);

    // Each word is measured with the character after it: the separating
    // space, or after the last word the terminating zero. The words are
    // found in the text and measured in its wide form, at the same offsets.
    int32_t widest = 0;
    int32_t length = 0;
    for (const char* word = NextWord(text, length); word != nullptr; word = NextWord(word + length, length)) {
        SIZE size{};
        GetTextExtentPoint32W(dc.get(), wide.c_str() + (word - text), length + 1, &size);
        widest = std::max<int32_t>(widest, size.cx);
    }
    SIZE zeros{};
    GetTextExtentPoint32A(dc.get(), "000", 3, &zeros);

    RECT layout{0, 0, LayoutWidth(widest, zeros.cx, words), 0};
    DrawTextW(dc.get(), wide.c_str(), -1, &layout, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    const Rect laidOut{layout.left, layout.top, layout.right, layout.bottom};
    measured = ScaleMeasurement(laidOut, {extentX, extentY}, textArea);

    if (previousMode != 0) SetMapMode(dc.get(), previousMode);
    return words;
}

HWND HelpBalloon::Show(HWND owner, const char* text, int32_t anchorX, int32_t anchorY, int32_t postDelay) {
    // The system font with the Cyrillic set; where the system has no such
    // System face (a Windows installed in a Western language), the owner's
    // dialog face with the Cyrillic set at the same height and weight. The
    // balloon is measured and drawn in it alike.
    const auto ownerFont = reinterpret_cast<HGDIOBJ>(SendMessageW(owner, WM_GETFONT, 0, 0));
    textFont.reset(CreateCyrillicFontLike(GetStockObject(SYSTEM_FONT), ownerFont));
    wideText = WideFrom1251(text);
    Rect measured;
    const int32_t words = MeasureText(owner, text, wideText, measured);
    if (words == 0) return nullptr;
    const int32_t w = measured.right - measured.left + 1;
    const int32_t h = measured.bottom - measured.top + 1;
    const BalloonPlacement place =
        PlaceBalloon(anchorX, anchorY, w, h, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    // OnCreate shapes the window, so the mirroring is settled before it exists.
    flipFlags = place.flipFlags;
    displayTime = DisplayTime(words, postDelay);
    balloonText = text;
    return CreatePopup(owner, text, place.x, place.y, w, h);
}

int32_t HelpBalloon::OnCreate() {
    ApplyShape();
    // Straight to the default processing, wide: the window is of a narrow
    // class, so SetWindowTextW would pass the text through the system's code
    // page on its way to it. The balloon's map handles no WM_SETTEXT, so
    // default processing is all the message would get.
    DefWindowProcW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wideText.c_str()));
    windowExists = 1;
    SetTimer(window, BalloonTimer, static_cast<UINT>(displayTime), nullptr);
    return 1;
}

void HelpBalloon::ApplyShape() {
    frameRegion.reset();
    RECT wr{};
    GetWindowRect(window, &wr);
    const OutlineScale scale =
        MakeOutlineScale(wr.right - wr.left, wr.bottom - wr.top, {extentX, extentY}, flipFlags);
    const Rect text = ScaleTextArea(scale, textArea);
    textRect = {text.left, text.top, text.right, text.bottom};
    for (int32_t i = 0; i < PointCount(); ++i) {
        const Point p = ScaleOutlinePoint(scale, outline[2 * i], outline[2 * i + 1]);
        scaledPoints[i] = {p.x, p.y};
    }

    GdiHandle<HRGN> windowRegion(CreatePolygonRgn(scaledPoints.get(), PointCount(), WINDING));
    if (windowRegion) {
        frameRegion.reset(CreateRectRgn(0, 0, 0, 0));
        if (frameRegion) CombineRgn(frameRegion.get(), windowRegion.get(), nullptr, RGN_COPY);
        // From here on the window owns its region.
        if (SetWindowRgn(window, windowRegion.get(), TRUE) != 0) windowRegion.release();
    }

    // Looked up by name: without it the balloon stays opaque and closes without fading.
    // User32 stays mapped after this handle is freed: the program imports it.
    Library user32(LoadLibraryA("User32.dll"));
    if (!user32) return;
    // Through void (*)(), the generic function pointer type, to the real signature.
    setLayeredAttributes = reinterpret_cast<SetLayeredAttributesFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32.get(), "SetLayeredWindowAttributes")));
    if (setLayeredAttributes == nullptr) return;
    alpha = ShapedOpacity;
    setLayeredAttributes(window, 0, static_cast<BYTE>(alpha), LWA_ALPHA);
}

void HelpBalloon::OnPaint(HDC dc, const RECT& client) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    SelectedObject pen(dc, GetStockObject(NULL_PEN));
    SelectedObject brush(dc, GetSysColorBrush(COLOR_INFOBK));
    SelectedObject font(dc, Font());
    SetPolyFillMode(dc, WINDING);

    if (bitmap.Handle()) {
        bitmap.Draw(dc, &client, nullptr);
    } else {
        Polygon(dc, scaledPoints.get(), PointCount());
    }
    if (frameRegion) FrameRgn(dc, frameRegion.get(), static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH)), 1, 1);
    if (balloonText != nullptr) {
        RECT lines = TextLines(dc);
        DrawTextW(dc, wideText.c_str(), -1, &lines, DT_WORDBREAK | DT_CENTER);
    }
}

RECT HelpBalloon::TextLines(HDC dc) const {
    // One space and a pixel more on each side than textRect. Wine's layout
    // reports a line without its trailing space, yet fits lines with it, so
    // text drawn at exactly the laid-out width can wrap onto one line more
    // than the balloon has room for, and its last line is lost. The scaled
    // textRect is never narrower than the layout, so the scaling is not the
    // cause. Centred lines stay where they are; where a system reports the
    // trailing space (Windows), the wider rectangle may take a word up onto
    // the line before, which leaves room to spare rather than cutting a line.
    SIZE space{};
    GetTextExtentPoint32A(dc, " ", 1, &space);
    RECT lines = textRect;
    InflateRect(&lines, space.cx + 1, 0);
    return lines;
}

int32_t HelpBalloon::FadeStep() {
    const FadeOutcome step = NextFadeStep(alpha, setLayeredAttributes != nullptr);
    if (step.applyOpacity) setLayeredAttributes(window, 0, step.opacity, LWA_ALPHA);
    if (step.switchToSteps) SetTimer(window, BalloonTimer, FadeIntervalMs, nullptr);
    alpha = step.alpha;
    if (step.destroy) {
        KillTimer(window, BalloonTimer);
        DestroyWindow(window);
    }
    return 0;
}

void HelpBalloon::OnFinalDestroy() {
    KillTimer(window, BalloonTimer);
    windowExists = 0;
    window = nullptr;
}
