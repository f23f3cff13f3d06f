// The settings files' few needs of the file system, one implementation for
// Windows (win/FileAccess.cpp) and one for POSIX systems (FileAccessPosix.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "settings/SettingsValues.h"

// The one rule for what may be loaded: 1 to maxSize bytes. A size is judged
// whole, so one beyond 32 bits is never mistaken for its low bits.
constexpr bool IsLoadableSize(uint64_t size, int32_t maxSize) {
    return size > 0 && size <= static_cast<uint64_t>(maxSize);
}

// Reads a whole file of 1 to maxSize bytes in one read call into a new buffer
// of size + 1 bytes. False, with buffer and size untouched, when the file
// cannot be opened, is empty, is larger than maxSize (sizes beyond 32 bits
// included), or cannot be read whole.
bool ReadWholeFile(const char* fileName, int32_t maxSize, std::unique_ptr<char[]>& buffer, int32_t& size);

// A file created (or truncated) for writing; others may read it meanwhile.
// Closed by the destructor if Commit was not reached.
class OutputFile {
public:
    explicit OutputFile(const char* fileName);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool IsOpen() const;
    // One write call; true when every byte was written.
    bool Write(const char* data, size_t size);
    // Flushes the contents to the disk and closes; true when both succeed.
    bool Commit();

private:
#if defined(_WIN32)
    void* handle;  // the file's HANDLE; INVALID_HANDLE_VALUE when closed
#else
    int descriptor;  // -1 when closed
#endif
};

// Moves source over target in one step, replacing target if it exists.
bool MoveFileOver(const char* source, const char* target);
void RemoveFile(const char* fileName);
// Makes directory the process's current directory; false when it cannot.
// The narrow name is read in the system's code page on Windows.
bool ChangeDirectory(const char* directory);
#if defined(_WIN32)
// The file system's own name, whatever letters it holds.
bool ChangeDirectory(const wchar_t* directory);
// The current directory as the saved state's directory, narrow (empty when
// it does not fit) and wide (whatever its length; null when it cannot be read).
void TakeStartDirectory(SavedState& state);
#endif
