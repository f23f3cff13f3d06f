#include "framework/win/WideText.h"

#include <cstring>
#include <new>

namespace {
constexpr UINT Cyrillic = 1251;
}

WideText::WideText(const char* text1251) {
    if (!text1251 || !*text1251) return;
    whole = false;
    // The length includes the NUL.
    const int units = MultiByteToWideChar(Cyrillic, 0, text1251, -1, nullptr, 0);
    if (units <= 1) return;
    text.reset(new (std::nothrow) wchar_t[static_cast<size_t>(units)]);
    if (!text) return;
    if (MultiByteToWideChar(Cyrillic, 0, text1251, -1, text.get(), units) != units) {
        text.reset();
        return;
    }
    length = static_cast<size_t>(units) - 1;
    whole = true;
}

namespace {
// The character set of the face the font mapper really gives the font.
UINT RealisedCharset(HFONT font) {
    HDC screen = GetDC(nullptr);
    if (!screen) return DEFAULT_CHARSET;
    HGDIOBJ previous = SelectObject(screen, font);
    const UINT charset = static_cast<UINT>(GetTextCharset(screen));
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return charset;
}
}  // namespace

HFONT CreateCyrillicFontLike(HGDIOBJ font, HGDIOBJ fallbackFace) {
    LOGFONTW face{};
    if (!font || GetObjectW(font, sizeof face, &face) == 0) return nullptr;
    face.lfCharSet = RUSSIAN_CHARSET;
    HFONT asked = CreateFontIndirectW(&face);
    LOGFONTW other{};
    if (!asked || RealisedCharset(asked) == RUSSIAN_CHARSET || !fallbackFace ||
        GetObjectW(fallbackFace, sizeof other, &other) == 0)
        return asked;
    // The fallback's face and family at the font's own height and weight.
    std::memcpy(face.lfFaceName, other.lfFaceName, sizeof face.lfFaceName);
    face.lfPitchAndFamily = other.lfPitchAndFamily;
    HFONT fallback = CreateFontIndirectW(&face);
    if (fallback && RealisedCharset(fallback) == RUSSIAN_CHARSET) {
        DeleteObject(asked);
        return fallback;
    }
    if (fallback) DeleteObject(fallback);
    return asked;
}
