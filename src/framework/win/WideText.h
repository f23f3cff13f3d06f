// Russian texts on any system code page. The program keeps its texts in
// code page 1251 (the sources, the settings files), but Windows reads a narrow
// text in the system's own ANSI code page, which on a Western system is 1252:
// Cyrillic becomes "?" or Latin mojibake. Every text that goes to the screen
// or names a registry key is therefore converted here, with the code page
// said outright, and handed to a wide call; and where a stock font has no
// Cyrillic glyphs, the same font is asked for with the Cyrillic set.
#pragma once

#include <windows.h>

#include <string>

// The UTF-16 form of a NUL-terminated code page 1251 string; empty for null.
// Each byte gives one UTF-16 unit, so offsets into the text stay valid.
std::wstring WideFrom1251(const char* text);

// A new font like `font` but with the Cyrillic character set; null when it
// cannot be made. The system's fonts are made with its default character set,
// which on a Western system picks faces without Cyrillic glyphs; on a
// Cyrillic system this gives the very same face. The caller owns the font.
HFONT CreateCyrillicFontLike(HGDIOBJ font);
