#include "framework/win/WideText.h"

#include <new>

namespace {
constexpr UINT Cyrillic = 1251;
}

WideText::WideText(const char* text1251) {
    if (!text1251) return;
    // The length includes the NUL.
    const int units = MultiByteToWideChar(Cyrillic, 0, text1251, -1, nullptr, 0);
    if (units <= 1) return;
    text.reset(new (std::nothrow) wchar_t[static_cast<size_t>(units)]);
    if (!text) return;
    MultiByteToWideChar(Cyrillic, 0, text1251, -1, text.get(), units);
    length = static_cast<size_t>(units) - 1;
}

HFONT CreateCyrillicFontLike(HGDIOBJ font) {
    LOGFONTW face{};
    if (!font || GetObjectW(font, sizeof face, &face) == 0) return nullptr;
    face.lfCharSet = RUSSIAN_CHARSET;
    return CreateFontIndirectW(&face);
}
