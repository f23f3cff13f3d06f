// The help balloon: a top-most, semi-transparent popup cut to a speech
// bubble whose tail points at the cursor. It sizes itself to its text, stays
// on the screen by mirroring, paints a tiled texture with a dark frame and
// the text, stays for a time that grows with the words and then fades out
// and destroys its own window. A click starts the fade at once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include "framework/win/WideText.h"
#include "framework/win/WindowObject.h"
#include "help/BalloonGeometry.h"
#include "framework/win/GdiHandles.h"
#include "help/win/TiledBitmap.h"

// What the hover tracker needs of a help popup.
class IHelpPopup {
public:
    // Destroys the window if there is one; otherwise does nothing.
    virtual void Close() = 0;
    // Shows `text` next to the anchor (screen coordinates). Null when the
    // text has no words or the window could not be made.
    virtual HWND Show(HWND owner, const char* text, int32_t anchorX, int32_t anchorY, int32_t postDelay) = 0;
    virtual ~IHelpPopup() = default;
};

class HelpBalloon : public IHelpPopup, public PopupWindowObject {
public:
    // A non-zero `bitmapId` loads that bitmap of the program's module as the texture.
    explicit HelpBalloon(int32_t bitmapId);
    ~HelpBalloon() override;
    HelpBalloon(const HelpBalloon&) = delete;
    HelpBalloon& operator=(const HelpBalloon&) = delete;

    void Close() override;
    HWND Show(HWND owner, const char* text, int32_t anchorX, int32_t anchorY, int32_t postDelay) override;

    const MessageMapEntry* GetMessageMap() const override;
    void OnFinalDestroy() override;
    void OnPaint(HDC dc, const RECT& client) override;
    void AdjustClass(WNDCLASSEXA& wc) override;

    // Message handlers.
    int32_t OnCreate();
    int32_t FadeStep();

    using SetLayeredAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    SetLayeredAttributesFn setLayeredAttributes = nullptr;
    int32_t alpha = 0;
    GdiHandle<HRGN> frameRegion;  // a copy of the window's shape, for the frame
    RECT textRect{};
    int32_t flipFlags = 0;
    int32_t displayTime = 4000;
    const char* balloonText = nullptr;  // the caller's string, not copied
    // balloonText in UTF-16, as it is measured, drawn and made the window's
    // text: narrow, it would be read in the system's code page.
    WideText wideText;
    // The font the text is measured and drawn in: the system font with the
    // Cyrillic character set, or a face of the owner's that realises it;
    // the stock SYSTEM_FONT where none can be made.
    GdiHandle<HFONT> textFont;
    TiledBitmap bitmap;
    // The outline, its text area and what is made from them once, at
    // construction: fixed for the balloon's life, so they always agree.
    const int32_t* const outline = DefaultOutline;
    const int32_t outlineValueCount = DefaultOutlineValueCount;
    const Rect textArea = DefaultTextArea;
    const std::unique_ptr<POINT[]> scaledPoints;  // the outline in client coordinates
    const int32_t extentX;
    const int32_t extentY;

private:
    // Lays the text out in the system font; `measured` gets the window-sized
    // rectangle. Returns the word count (0: nothing measured).
    // `wide` is `text` in UTF-16, character for character.
    int32_t MeasureText(HWND owner, const char* text, const WideText& wide, Rect& measured) const;
    HGDIOBJ Font() const;
    void ApplyShape();
    // Where OnPaint draws the lines: textRect, a little wider (dc has the
    // balloon's font selected).
    RECT TextLines(HDC dc) const;
    int32_t PointCount() const { return outlineValueCount / 2; }
};
