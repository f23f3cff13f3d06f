// A uniquely named directory under the system's temporary directory, removed
// with its contents when the test is done, and small whole-file helpers.
#pragma once

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

class TempDir {
public:
    TempDir() {
        static unsigned counter = 0;
        std::random_device random;
        path = std::filesystem::temp_directory_path() /
               ("qorvel-test-" + std::to_string(random()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(path);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path; }
    std::string File(const char* name) const { return (path / name).string(); }

private:
    std::filesystem::path path;
};

inline void WriteBytes(const std::string& fileName, std::string_view bytes) {
    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot create " + fileName);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// The file's bytes (at most 1 MiB, in case a link leads to an endless
// device), or "<missing>" when it cannot be opened.
inline std::string ReadBytes(const std::string& fileName) {
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (file == nullptr) return "<missing>";
    std::string bytes;
    char chunk[4096];
    size_t count = 0;
    while (bytes.size() < (1u << 20) && (count = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, count);
    std::fclose(file);
    return bytes;
}
