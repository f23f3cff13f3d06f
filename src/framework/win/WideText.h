// Russian texts on any system code page. The program keeps its texts in
// code page 1251 (the sources, the settings files), but Windows reads a narrow
// text in the system's own ANSI code page, which on a Western system is 1252:
// Cyrillic becomes "?" or Latin mojibake. Every text that goes to the screen
// or names a registry key is therefore converted here, with the code page
// said outright, and handed to a wide call; and where a stock font has no
// Cyrillic glyphs, the same font is asked for with the Cyrillic set.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

// A NUL-terminated UTF-16 text of its own. Not std::wstring: that brings the
// standard library's exception machinery into the programs, nearly doubling
// the size of the release builds.
class WideText {
public:
    WideText() = default;
    // The UTF-16 form of a NUL-terminated code page 1251 string; empty for
    // null. Each byte gives one UTF-16 unit, so offsets into the text stay
    // valid.
    explicit WideText(const char* text1251);
    const wchar_t* c_str() const { return text ? text.get() : L""; }
    size_t size() const { return length; }
    // False when a text was given but could not be converted (no memory for
    // it): the caller's step fails rather than going on with an empty text.
    bool Whole() const { return whole; }

private:
    std::unique_ptr<wchar_t[]> text;
    size_t length = 0;
    bool whole = true;
};

inline WideText WideFrom1251(const char* text) {
    return WideText(text);
}

// A new font like `font` but with the Cyrillic character set; null when it
// cannot be made. The system's fonts are made with its default character set,
// which on a Western system picks faces without Cyrillic glyphs; on a
// Cyrillic system this gives the very same face. Asking is not enough: a
// Windows installed in a Western language may answer with a face that has no
// Cyrillic glyphs all the same (its System font), so the set the system
// really realises is checked, and where it is not Cyrillic the face of
// `fallbackFace` is taken at the same height and weight instead (when it does
// realise Cyrillic). The caller owns the font.
HFONT CreateCyrillicFontLike(HGDIOBJ font, HGDIOBJ fallbackFace);
