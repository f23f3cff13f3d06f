// qorvelctl's output. Its own texts and the attach messages are code page
// 1251, its JSON UTF-8; either prints right whatever the console's code page:
// wide characters to a console, UTF-8 where the stream is redirected.
#pragma once

#include <string>

enum class OutputStream { Standard, Error };

constexpr unsigned Cp1251 = 1251;
constexpr unsigned Utf8 = 65001;

void Print(OutputStream stream, const std::string& text, unsigned codePage);

// A code page 1251 text in UTF-8.
std::string Utf8From1251(const std::string& text);
