#include "JsonLine.h"

#include <charconv>
#include <cmath>

namespace {
template <typename T>
std::string Real(T value) {
    if (!std::isfinite(value)) return "null";
    // Fixed notation of the shortest round-trip digits: at most 309 integer
    // digits for a double, or 0. and up to 325 fraction digits.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    std::string text(buffer, result.ptr);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}
}  // namespace

std::string FormatReal(double value) {
    return Real(value);
}
std::string FormatReal(float value) {
    return Real(value);
}

JsonLine::JsonLine(int64_t milliseconds, const char* op) : line(1, '{') {
    Signed("t", milliseconds);
    Text("op", op);
}

void JsonLine::Key(std::string_view key) {
    if (line.size() > 1) line += ',';
    line += '"';
    line += key;
    line += "\":";
}

JsonLine& JsonLine::Signed(std::string_view key, int64_t value) {
    Key(key);
    line += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::Unsigned(std::string_view key, uint64_t value) {
    Key(key);
    line += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::Real(std::string_view key, double value) {
    Key(key);
    line += FormatReal(value);
    return *this;
}

JsonLine& JsonLine::Real(std::string_view key, float value) {
    Key(key);
    line += FormatReal(value);
    return *this;
}

JsonLine& JsonLine::Text(std::string_view key, const char* text) {
    Key(key);
    if (!text) {
        line += "null";
        return *this;
    }
    static const char hex[] = "0123456789abcdef";
    line += '"';
    for (const unsigned char c : std::string_view(text)) {
        switch (c) {
        case '"': line += "\\\""; break;
        case '\\': line += "\\\\"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        case '\t': line += "\\t"; break;
        default:
            if (c < 0x20 || c > 0x7E) {
                line += "\\u00";
                line += hex[c >> 4];
                line += hex[c & 15];
            } else {
                line += static_cast<char>(c);
            }
        }
    }
    line += '"';
    return *this;
}

JsonLine& JsonLine::Null(std::string_view key) {
    Key(key);
    line += "null";
    return *this;
}

template <typename T>
JsonLine& JsonLine::Array(std::string_view key, const T* values, size_t count) {
    Key(key);
    line += '[';
    for (size_t i = 0; i < count; ++i) {
        if (i) line += ',';
        line += std::to_string(values[i]);
    }
    line += ']';
    return *this;
}

JsonLine& JsonLine::SignedArray(std::string_view key, const int32_t* values, size_t count) {
    return Array(key, values, count);
}

JsonLine& JsonLine::SignedArray(std::string_view key, const int16_t* values, size_t count) {
    return Array(key, values, count);
}

std::string JsonLine::Finish() {
    line += "}\n";
    return std::move(line);
}
