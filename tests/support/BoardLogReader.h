// Reads the virtual board's log back for tests: each line split into its
// "t" value and the rest of the line with t blanked out, so a line can be
// compared byte for byte with what it must say.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

struct BoardLogLine {
    int64_t t = -1;    // -1 when the line does not start with {"t":<digits>,
    std::string text;  // the line without its newline, t written as "_"
};

inline std::vector<BoardLogLine> ReadBoardLog(const std::string& path) {
    std::vector<BoardLogLine> lines;
    std::ifstream file(path, std::ios::binary);
    const std::string prefix = "{\"t\":";
    for (std::string line; std::getline(file, line);) {
        BoardLogLine entry;
        entry.text = line;
        if (line.compare(0, prefix.size(), prefix) == 0) {
            const size_t end = line.find(',', prefix.size());
            const std::string digits = line.substr(prefix.size(), end - prefix.size());
            if (end != std::string::npos && !digits.empty() &&
                digits.find_first_not_of("0123456789") == std::string::npos) {
                entry.t = std::stoll(digits);
                entry.text = prefix + "_" + line.substr(end);
            }
        }
        lines.push_back(entry);
    }
    return lines;
}

// Only the blanked texts, for comparing whole logs.
inline std::vector<std::string> BoardLogTexts(const std::string& path) {
    std::vector<std::string> texts;
    for (const auto& line : ReadBoardLog(path)) texts.push_back(line.text);
    return texts;
}
