#include "settings/FileAccess.h"

#include <new>
#include <windows.h>

bool ReadWholeFile(const char* fileName, int32_t maxSize, std::unique_ptr<char[]>& buffer, int32_t& size) {
    const HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool done = false;
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    const bool sizeKnown = low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR;
    const uint64_t wholeSize = (uint64_t{high} << 32) | low;
    if (sizeKnown && IsLoadableSize(wholeSize, maxSize)) {
        const auto fileSize = static_cast<int32_t>(low);
        std::unique_ptr<char[]> bytes(new (std::nothrow) char[fileSize + 1]);
        DWORD read = 0;
        if (bytes && ReadFile(file, bytes.get(), low, &read, nullptr) && read == low) {
            buffer = std::move(bytes);
            size = fileSize;
            done = true;
        }
    }
    CloseHandle(file);
    return done;
}

OutputFile::OutputFile(const char* fileName)
    : handle(CreateFileA(fileName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr)) {}

OutputFile::~OutputFile() {
    if (IsOpen()) CloseHandle(handle);
}

bool OutputFile::IsOpen() const {
    return handle != INVALID_HANDLE_VALUE;
}

bool OutputFile::Write(const char* data, size_t size) {
    DWORD written = 0;
    return IsOpen() && size <= MAXDWORD &&
           WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

bool OutputFile::Commit() {
    if (!IsOpen()) return false;
    const HANDLE file = handle;
    handle = INVALID_HANDLE_VALUE;
    const bool flushed = FlushFileBuffers(file) != FALSE;
    return CloseHandle(file) != FALSE && flushed;
}

bool MoveFileOver(const char* source, const char* target) {
    return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void RemoveFile(const char* fileName) {
    DeleteFileA(fileName);
}

bool ChangeDirectory(const char* directory) {
    return SetCurrentDirectoryA(directory) != FALSE;
}

bool ChangeDirectory(const wchar_t* directory) {
    return SetCurrentDirectoryW(directory) != FALSE;
}

void TakeStartDirectory(SavedState& state) {
    // A directory that does not fit leaves the narrow field empty.
    const DWORD length = GetCurrentDirectoryA(sizeof state.workingDirectory, state.workingDirectory);
    if (length == 0 || length >= sizeof state.workingDirectory) state.workingDirectory[0] = '\0';
    state.workingDirectoryName.reset();
    const DWORD wideLength = GetCurrentDirectoryW(0, nullptr);  // with the NUL
    if (wideLength <= 1) return;
    state.workingDirectoryName.reset(new (std::nothrow) wchar_t[wideLength]);
    // 0 is a failure; as much as the length or more, a directory that
    // changed meanwhile and no longer fits.
    const DWORD got =
        state.workingDirectoryName ? GetCurrentDirectoryW(wideLength, state.workingDirectoryName.get()) : 0;
    if (got == 0 || got >= wideLength) state.workingDirectoryName.reset();
}
