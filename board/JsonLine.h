// One line of the virtual board's log: a flat JSON object written field by
// field, in the order the fields are added. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Shortest digits that read back as the same value, always with a decimal
// point ("1000.0", "999.5", "0.1"), never in exponent form; "null" for NaN
// and the infinities, which JSON cannot hold.
std::string FormatReal(double value);
std::string FormatReal(float value);

class JsonLine {
public:
    // Starts {"t":milliseconds,"op":"op"
    JsonLine(int64_t milliseconds, const char* op);

    JsonLine& Signed(std::string_view key, int64_t value);
    JsonLine& Unsigned(std::string_view key, uint64_t value);
    JsonLine& Real(std::string_view key, double value);
    JsonLine& Real(std::string_view key, float value);
    // A string value; null text gives null. Quotes, backslashes and control
    // characters are escaped, and so are bytes above 127 (as \u00XX), so the
    // line stays plain ASCII whatever code page the caller used.
    JsonLine& Text(std::string_view key, const char* text);
    JsonLine& Null(std::string_view key);
    JsonLine& SignedArray(std::string_view key, const int32_t* values, size_t count);
    JsonLine& SignedArray(std::string_view key, const int16_t* values, size_t count);

    // The finished line, ending in "}\n".
    std::string Finish();

private:
    void Key(std::string_view key);
    template <typename T>
    JsonLine& Array(std::string_view key, const T* values, size_t count);

    std::string line;
};
