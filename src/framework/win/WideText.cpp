#include "framework/win/WideText.h"

namespace {
constexpr UINT Cyrillic = 1251;
}

std::wstring WideFrom1251(const char* text) {
    if (!text) return {};
    // The length includes the NUL, which the string keeps out of its size.
    const int length = MultiByteToWideChar(Cyrillic, 0, text, -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(Cyrillic, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length) - 1);
    return wide;
}

HFONT CreateCyrillicFontLike(HGDIOBJ font) {
    LOGFONTW face{};
    if (!font || GetObjectW(font, sizeof face, &face) == 0) return nullptr;
    face.lfCharSet = RUSSIAN_CHARSET;
    return CreateFontIndirectW(&face);
}
