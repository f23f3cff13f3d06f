// Gathers what the driver check reports: both registry views through the wide
// calls, so a device name or a driver path in any letters reads whole, and the
// DLL's bytes. The DLL is only read, never loaded: loading runs its code.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "DriverCheck.h"
#include "win/ConsoleOutput.h"
#include "device/AdcDevice.h"
#include "device/DriverKey.h"

namespace {

void ReadDriverFile(const std::wstring& path, DriverView& view) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const bool absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                            error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH ||
                            error == ERROR_BAD_NET_NAME || error == ERROR_INVALID_DRIVE;
        view.file = absent ? FileState::Missing : FileState::Unreadable;
        view.fileError = error;
        return;
    }
    LARGE_INTEGER size{};
    std::vector<uint8_t> bytes;
    DWORD error = 0;
    if (!GetFileSizeEx(file, &size))
        error = GetLastError();
    else if (static_cast<unsigned long long>(size.QuadPart) > MaxDriverFileSize)
        view.file = FileState::TooLarge;
    else {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        size_t done = 0;
        while (done < bytes.size()) {
            DWORD got = 0;
            if (!ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                          nullptr)) {
                error = GetLastError();
                break;
            }
            if (got == 0) break;
            done += got;
        }
        bytes.resize(done);
    }
    CloseHandle(file);
    if (view.file == FileState::TooLarge) return;
    if (error != 0) {
        view.file = FileState::Unreadable;
        view.fileError = error;
        return;
    }
    view.file = FileState::Found;
    view.image = ReadPeImage(bytes.data(), bytes.size(), FactoryExportName);
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

void ReadView(const std::wstring& keyPath, DriverView& view) {
    const REGSAM access = KEY_READ | (view.bits == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, access, &key);
    if (opened != ERROR_SUCCESS) {
        view.key = opened == ERROR_FILE_NOT_FOUND ? KeyState::Missing : KeyState::Unreadable;
        view.keyError = static_cast<uint32_t>(opened);
        return;
    }
    view.key = KeyState::Present;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, L"path", nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        view.hasPath = true;
        view.pathType = type;
        if (IsStringType(type)) {
            // One more character than the value holds: a value stored without
            // its terminator still ends within the buffer.
            std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
            DWORD got = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
            if (RegQueryValueExW(key, L"path", nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) ==
                ERROR_SUCCESS) {
                const size_t length = wcsnlen(text.data(), got / sizeof(wchar_t));
                view.pathIsText = true;
                view.pathType = type;
                view.pathLength = length;
                view.path = Utf8FromWide(text.data(), length);
                if (type == REG_SZ && length <= MaxDriverPathLength)
                    ReadDriverFile(std::wstring(text.data(), length), view);
            }
        }
    }
    RegCloseKey(key);
}

// A 32-bit program sees a 64-bit view only on 64-bit Windows.
bool HasSixtyFourBitView() {
    if (sizeof(void*) == 8) return true;
    BOOL underWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &underWow64) && underWow64;
}

}  // namespace

bool InspectDriverViews(const char* deviceName, DriverView& own, DriverView& other) {
    char keyPath[256];
    BuildDriverKeyPath(deviceName, keyPath, sizeof keyPath);
    // The device name is the program's code page 1251 text, whatever the
    // system's code page.
    const std::wstring key = WideFrom(keyPath, Cp1251);
    own = DriverView{};
    other = DriverView{};
    own.bits = sizeof(void*) == 8 ? 64 : 32;
    other.bits = own.bits == 64 ? 32 : 64;
    other.exists = other.bits == 32 || HasSixtyFourBitView();
    ReadView(key, own);
    if (other.exists) ReadView(key, other);
    return true;
}

std::string DisplayText1251(const char* text) {
    return Utf8From1251(text);
}

void PrintText(const std::string& text) {
    std::fflush(stdout);  // what qorvelcfg printed before, through the C runtime
    Print(OutputStream::Standard, text, Utf8);
}
