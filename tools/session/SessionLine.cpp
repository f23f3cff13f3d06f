#include "SessionLine.h"

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
}  // namespace

SessionLine ReadSessionLine(std::string_view line) {
    SessionLine result;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size() || line[i] == '#') return result;

    while (i < line.size()) {
        std::string word;
        bool quoted = false;
        for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
            if (line[i] != '"') {
                word += line[i];
            } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                word += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
        }
        if (quoted) {
            result.kind = SessionLineKind::Bad;
            result.problem = "qorvelctl: a quote is left open in the line";
            result.words.clear();
            return result;
        }
        result.words.push_back(std::move(word));
        while (i < line.size() && IsBlank(line[i])) ++i;
    }
    result.kind = result.words.size() == 1 && result.words[0] == "quit" ? SessionLineKind::Quit
                                                                        : SessionLineKind::Command;
    return result;
}
