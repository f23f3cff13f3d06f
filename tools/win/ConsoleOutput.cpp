#include "win/ConsoleOutput.h"

#include <windows.h>

std::wstring WideFrom(const std::string& text, unsigned codePage) {
    if (text.empty()) return {};
    const int length =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Utf8FromWide(const wchar_t* text, size_t length) {
    if (length == 0) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::string Utf8From1251(const std::string& text) {
    const std::wstring wide = WideFrom(text, Cp1251);
    return Utf8FromWide(wide.data(), wide.size());
}

void Print(OutputStream stream, const std::string& text, unsigned codePage) {
    const HANDLE handle =
        GetStdHandle(stream == OutputStream::Standard ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    const std::wstring wide = WideFrom(text, codePage);
    DWORD mode = 0, written = 0;
    // A console takes the characters themselves, so its own code page does
    // not matter; a file or a pipe gets UTF-8 bytes.
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const std::string bytes = codePage == Utf8 ? text : Utf8FromWide(wide.data(), wide.size());
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
