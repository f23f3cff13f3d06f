#include "settings/FileAccess.h"

#include <cstdio>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

bool ReadWholeFile(const char* fileName, int32_t maxSize, std::unique_ptr<char[]>& buffer, int32_t& size) {
    const int fd = open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd == -1) return false;
    bool done = false;
    struct stat status {};
    if (fstat(fd, &status) == 0 && status.st_size > 0 &&
        IsLoadableSize(static_cast<uint64_t>(status.st_size), maxSize)) {
        const auto fileSize = static_cast<int32_t>(status.st_size);
        std::unique_ptr<char[]> bytes(new (std::nothrow) char[fileSize + 1]);
        if (bytes && read(fd, bytes.get(), static_cast<size_t>(fileSize)) == fileSize) {
            buffer = std::move(bytes);
            size = fileSize;
            done = true;
        }
    }
    close(fd);
    return done;
}

OutputFile::OutputFile(const char* fileName)
    : descriptor(open(fileName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {}

OutputFile::~OutputFile() {
    if (IsOpen()) close(descriptor);
}

bool OutputFile::IsOpen() const {
    return descriptor != -1;
}

bool OutputFile::Write(const char* data, size_t size) {
    return IsOpen() && write(descriptor, data, size) == static_cast<ssize_t>(size);
}

bool OutputFile::Commit() {
    if (!IsOpen()) return false;
    const int fd = descriptor;
    descriptor = -1;
    const bool synced = fsync(fd) == 0;
    return close(fd) == 0 && synced;
}

bool MoveFileOver(const char* source, const char* target) {
    return std::rename(source, target) == 0;
}

void RemoveFile(const char* fileName) {
    unlink(fileName);
}

bool ChangeDirectory(const char* directory) {
    return chdir(directory) == 0;
}
