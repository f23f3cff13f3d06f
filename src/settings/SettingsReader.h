// A tolerant key/value reader for the program's plain-text settings files.
//
// The whole file is loaded and rewritten once into a normalised form: letters
// upper-cased, punctuation and control bytes blanked, comments (from a colon
// or semicolon to the end of the line) blanked, and lines split at NUL bytes.
// A line holding exactly one slash or backslash outside quotes and comments
// is joined to the next one. Bytes between double quotes keep their raw value.
// Lookups then find a key anywhere in the text and read what follows it on
// the same line. Lookup results: -1 nothing loaded, 0 not found or not a
// number, 1 found.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

// Largest settings file accepted, in bytes.
inline constexpr int32_t MaxSettingsSize = 0x20000;

// Maps every byte to its normalised form: digits, upper-case letters, '+',
// '-', '.', '_', ';' and space stay; lower-case letters are folded to upper
// case; ':' becomes ';'; everything else becomes a space.
inline constexpr std::array<uint8_t, 256> FoldTable = [] {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        uint8_t folded = 0x20;
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '+' || c == '-' || c == '.' ||
            c == '_' || c == ';')
            folded = static_cast<uint8_t>(c);
        else if (c >= 'a' && c <= 'z')
            folded = static_cast<uint8_t>(c - 'a' + 'A');
        else if (c == ':')
            folded = ';';
        table[c] = folded;
    }
    return table;
}();

class SettingsReader {
public:
    // Loads and normalises a file. A file that is missing, empty, larger than
    // MaxSettingsSize or cannot be read whole leaves the reader empty.
    explicit SettingsReader(const char* fileName);
    // The same from bytes in memory, under the same size limits.
    SettingsReader(const char* data, size_t size);

    SettingsReader(const SettingsReader&) = delete;
    SettingsReader& operator=(const SettingsReader&) = delete;

    bool Loaded() const { return text != nullptr; }
    // The normalised text: Length() bytes, followed by a NUL.
    const char* Text() const { return text.get(); }
    int32_t Length() const { return length; }
    int32_t LineCursor() const { return lineCursor; }

    // With a key: finds its first occurrence, reports the end of its line and
    // the position right after it, and makes that line the cursor line.
    // With a null or empty key: returns the next non-blank line (line
    // iteration), its end and its first non-blank byte. 1 found, 0 not.
    int32_t FindKey(const char* key, int32_t& lineEnd, int32_t& valuePosition);

    // Classify (and parse) the next token before rangeEnd; the position
    // always moves past the token. 1 when it is a number.
    int32_t IsNumber(int32_t rangeEnd, int32_t& position) const;
    int32_t ParseNumber(int32_t rangeEnd, int32_t& position, int32_t* asInt, double* asDouble) const;

    // The rest of the key's line, at most size - 1 bytes, trailing spaces
    // removed. A missing key stores a non-empty default (cut to size).
    int32_t ReadString(const char* key, char* destination, int32_t size, const char* defaultText);
    // The number after the key; on a miss a non-zero default is stored.
    int32_t ReadInt(const char* key, int32_t& destination, int32_t defaultValue);
    int32_t ReadDouble(const char* key, double& destination, double defaultValue);
    // Up to maximum consecutive numbers after the key; returns how many.
    int32_t ReadDoubleList(const char* key, double* destination, int32_t maximum);
    // How many consecutive numbers follow the key; the cursor line is kept.
    int32_t CountValues(const char* key);

private:
    void Adopt(std::unique_ptr<char[]> buffer, int32_t size);
    void Normalise();
    uint8_t At(int32_t index) const { return static_cast<uint8_t>(text[index]); }
    int32_t LineEnd(int32_t lineStart) const;
    int32_t FindNextLine(int32_t& lineEnd, int32_t& valuePosition);

    std::unique_ptr<char[]> text;
    int32_t length = 0;
    int32_t lineCursor = 0;
};
