// Gathers what the driver check reports: both registry views through the wide
// calls, so a device name or a driver path in any letters reads whole, and the
// DLL's bytes. The DLL is only read, never loaded: loading runs its code.
#include <windows.h>

#include <algorithm>
#include <new>
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
        // A 32-bit tool may find no room for tens of megabytes: the file is
        // then unreadable, not the end of the tool.
        try {
            bytes.resize(static_cast<size_t>(size.QuadPart));
        } catch (const std::bad_alloc&) {
            CloseHandle(file);
            view.file = FileState::Unreadable;
            view.fileError = ERROR_NOT_ENOUGH_MEMORY;
            return;
        }
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

std::wstring Folder(UINT(WINAPI* get)(LPWSTR, UINT)) {
    wchar_t folder[MAX_PATH];
    const DWORD length = get(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && path.size() > folder.size() &&
           (path[folder.size()] == L'\\' || path[folder.size()] == L'/') &&
           CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

// The system folder as a program of the view's bits sees it, named so that
// this tool, of either bits, reads the very files there: a 64-bit tool finds
// a 32-bit program's System32 in SysWOW64, a 32-bit one a 64-bit program's
// in Sysnative (the name that bypasses its own redirection).
std::wstring SystemFolderOf(int bits) {
    const int own = sizeof(void*) == 8 ? 64 : 32;
    if (bits == own) return Folder(GetSystemDirectoryW);
    if (own == 64) return Folder(GetSystemWow64DirectoryW);
    const std::wstring windows = Folder(GetWindowsDirectoryW);
    return windows.empty() ? windows : windows + L"\\Sysnative";
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The file LoadLibraryW would open for `path` in a program of `bits` bits
// started in `start`: ".dll" added to a name without an extension; a bare
// name searched for in the program's folder, the system folder, the Windows
// folder, the start folder and the folders of PATH; another relative path
// taken from the start folder; a path into the system folder read where that
// program would find it.
std::wstring ResolveAsTheLoader(std::wstring path, int bits, const std::wstring& start) {
    const size_t name = path.find_last_of(L"\\/");
    if (path.find(L'.', name == std::wstring::npos ? 0 : name) == std::wstring::npos) path += L".dll";
    const bool absolute = (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
                          path.rfind(L"\\\\", 0) == 0;
    if (absolute) {
        const std::wstring system = Folder(GetSystemDirectoryW);
        if (StartsWithFolder(path, system)) return SystemFolderOf(bits) + path.substr(system.size());
        return path;
    }
    if (name != std::wstring::npos) return start + L"\\" + path;
    std::vector<std::wstring> folders = {ProgramFolder(), SystemFolderOf(bits), Folder(GetWindowsDirectoryW),
                                         start};
    const DWORD pathLength = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring searchPath(pathLength, L'\0');
    if (pathLength > 0 && GetEnvironmentVariableW(L"PATH", searchPath.data(), pathLength) == pathLength - 1) {
        searchPath.pop_back();
        for (size_t at = 0; at <= searchPath.size();) {
            const size_t end = std::min(searchPath.find(L';', at), searchPath.size());
            if (end > at) folders.push_back(searchPath.substr(at, end - at));
            at = end + 1;
        }
    }
    for (const std::wstring& folder : folders) {
        if (!folder.empty() && FileExists(folder + L"\\" + path)) return folder + L"\\" + path;
    }
    return start + L"\\" + path;
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

void ReadView(const std::wstring& keyPath, const std::wstring& start, DriverView& view) {
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
                // The program reads at most 256 characters: a longer value
                // fails there even where a NUL ends its text early.
                view.pathLength =
                    got > (MaxDriverPathLength + 1) * sizeof(wchar_t) ? got / sizeof(wchar_t) : length;
                view.path = Utf8FromWide(text.data(), length);
                if (type == REG_SZ && view.pathLength <= MaxDriverPathLength) {
                    const std::wstring registered(text.data(), length);
                    const std::wstring file = ResolveAsTheLoader(registered, view.bits, start);
                    if (file != registered) view.resolved = Utf8FromWide(file.data(), file.size());
                    ReadDriverFile(file, view);
                }
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

bool InspectDriverViews(const char* deviceName, const char* startDirectory, DriverView& own,
                        DriverView& other) {
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
    // The start folder whole, as the loader would take it.
    const std::wstring given = WideFrom(startDirectory, CP_ACP);
    const DWORD length = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    std::wstring start(length, L'\0');
    if (length > 0 && GetFullPathNameW(given.c_str(), length, start.data(), nullptr) == length - 1)
        start.pop_back();
    else
        start = given;
    while (start.size() > 3 && (start.back() == L'\\' || start.back() == L'/')) start.pop_back();
    ReadView(key, start, own);
    if (other.exists) ReadView(key, start, other);
    return true;
}

std::string DisplayText1251(const char* text) {
    return Utf8From1251(text);
}

std::string DisplayTextOfSystem(const char* text) {
    const std::wstring wide = WideFrom(text, CP_ACP);
    return Utf8FromWide(wide.data(), wide.size());
}

void PrintText(const std::string& text) {
    Print(OutputStream::Standard, text, Utf8);
}
