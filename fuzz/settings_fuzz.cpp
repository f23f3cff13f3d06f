// Loads arbitrary bytes as a settings file and runs every lookup kind on keys
// taken from the input, checking what must hold whatever the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/SettingsReader.h"
#include "settings/Utf8Text.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// Keys from the raw input: each of its first lines whole (spaces, long keys)
// and its first word, plus the empty key for line iteration.
std::vector<std::string> KeysFrom(const char* data, size_t size) {
    std::vector<std::string> keys = {"", "FreqSIN", "DeviceName"};
    size_t start = 0;
    while (start < size && keys.size() < 24) {
        size_t end = start;
        while (end < size && data[end] != '\n') ++end;
        std::string line(data + start, std::min<size_t>(end - start, 300));
        line = line.c_str();  // a NUL ends a key
        keys.push_back(line);
        keys.push_back(line.substr(0, line.find_first_of(" =\t")));
        start = end + 1;
    }
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto* bytes = reinterpret_cast<const char*>(data);
    SettingsReader reader(bytes, size);
    Require(reader.Loaded() == (size > 0 && size <= static_cast<size_t>(MaxSettingsSize)));
    if (!reader.Loaded()) return 0;
    // A UTF-8 file is read as its 1251 form, never longer; any other as it stands.
    const bool utf8 = IsUtf8Text(bytes, static_cast<int32_t>(size));
    Require(reader.Length() <= static_cast<int32_t>(size) && reader.Text()[reader.Length()] == '\0');
    Require(utf8 || reader.Length() == static_cast<int32_t>(size));

    for (const std::string& key : KeysFrom(bytes, size)) {
        char text[16];
        std::memset(text, 0x7F, sizeof text);
        reader.ReadString(key.c_str(), text, 12, "a default longer than the buffer");
        Require(std::memchr(text, '\0', 12) != nullptr && text[12] == 0x7F);

        int32_t number = 0;
        reader.ReadInt(key.c_str(), number, 7);
        double real = 0.0;
        reader.ReadDouble(key.c_str(), real, 1.5);

        // Counting and reading must agree, and counting keeps the cursor.
        const int32_t cursor = reader.LineCursor();
        const int32_t count = reader.CountValues(key.c_str());
        Require(count >= 0 && reader.LineCursor() == cursor);
        std::vector<double> values(static_cast<size_t>(count) + 1);
        const int32_t stored =
            reader.ReadDoubleList(key.c_str(), values.data(), static_cast<int32_t>(values.size()));
        Require(stored == count);
        // (The empty key iterates lines, so a second read sees the next one.)
        if (count > 1 && !key.empty()) Require(reader.ReadDoubleList(key.c_str(), values.data(), 1) == 1);

        int32_t lineEnd = 0;
        int32_t position = 0;
        if (reader.FindKey(key.c_str(), lineEnd, position)) {
            Require(0 <= position && position <= lineEnd && lineEnd <= reader.Length());
            int32_t asInt = 0;
            double asDouble = 0.0;
            while (position < lineEnd) {
                int32_t other = position;
                const int32_t verdict = reader.IsNumber(lineEnd, other);
                const int32_t before = position;
                Require(reader.ParseNumber(lineEnd, position, &asInt, &asDouble) == verdict);
                Require(position == other && position > before && position <= lineEnd);
            }
        }
    }

    // Line iteration visits each non-blank line once, then stops.
    SettingsReader lines(bytes, size);
    int32_t lineEnd = 0;
    int32_t position = 0;
    int32_t visited = 0;
    while (lines.FindKey(nullptr, lineEnd, position)) {
        Require(position < lineEnd && lineEnd <= lines.Length());
        Require(static_cast<uint8_t>(lines.Text()[position]) > 0x20);
        Require(++visited <= lines.Length());
    }
    Require(lines.LineCursor() == visited);
    return 0;
}
