// The command-line tools' output. Their texts are code page 1251 (the
// program's messages, the device name) or UTF-8 (JSON, paths read wide);
// either prints right whatever the console's code page: wide characters to a
// console, UTF-8 where the stream is redirected.
#pragma once

#include <string>

enum class OutputStream { Standard, Error };

constexpr unsigned Cp1251 = 1251;
constexpr unsigned Utf8 = 65001;

void Print(OutputStream stream, const std::string& text, unsigned codePage);

// Conversions between a code page's text and UTF-16 or UTF-8.
std::wstring WideFrom(const std::string& text, unsigned codePage);
std::string Utf8FromWide(const wchar_t* text, size_t length);
std::string Utf8From1251(const std::string& text);
