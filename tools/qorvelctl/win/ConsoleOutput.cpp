#include "win/ConsoleOutput.h"

#include <windows.h>

namespace {
std::wstring Widen(const std::string& text, unsigned codePage) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Utf8FromWide(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                        nullptr);
    return text;
}
}  // namespace

std::string Utf8From1251(const std::string& text) { return Utf8FromWide(Widen(text, Cp1251)); }

void Print(OutputStream stream, const std::string& text, unsigned codePage) {
    const HANDLE handle = GetStdHandle(stream == OutputStream::Standard ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    const std::wstring wide = Widen(text, codePage);
    DWORD mode = 0, written = 0;
    // A console takes the characters themselves, so its own code page does
    // not matter; a file or a pipe gets UTF-8 bytes.
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const std::string bytes = codePage == Utf8 ? text : Utf8FromWide(wide);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
