#include "settings/SettingsReader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "settings/FileAccess.h"
#include "settings/Utf8Text.h"

namespace {

constexpr int32_t MaxKeyLength = 255;
// The floating-point conversion sees at most this many bytes of a number.
constexpr int32_t MaxFloatText = 99;

bool IsBlank(uint8_t c) {
    return c <= 0x20;
}

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(uint8_t c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F');
}

enum class NumberForm { None, Hex, Integer, Float };

// Where a token lies and which form of number it is.
struct Token {
    NumberForm form = NumberForm::None;
    bool negative = false;
    int32_t bodyStart = 0;  // after the sign (after "0X" for hex)
    int32_t bodyEnd = 0;    // before a K or M suffix
    uint8_t suffix = 0;     // 'K', 'M' or 0
};

// Classifies the bytes [start, end) of one token.
Token Classify(const uint8_t* bytes, int32_t start, int32_t end) {
    Token token;
    if (end - start >= 2 && bytes[start] == '0' && bytes[start + 1] == 'X') {
        for (int32_t i = start + 2; i < end; ++i) {
            if (!IsHexDigit(bytes[i])) return token;
        }
        token.form = NumberForm::Hex;
        token.bodyStart = start + 2;
        token.bodyEnd = end;
        return token;
    }

    int32_t i = start;
    if (bytes[i] == '+' || bytes[i] == '-') {
        token.negative = bytes[i] == '-';
        ++i;
    }
    token.bodyStart = i;
    token.bodyEnd = end;
    bool point = false;
    bool exponent = false;
    for (; i < end; ++i) {
        const uint8_t c = bytes[i];
        if (IsDigit(c)) continue;
        if (c == '.' && !point) {
            point = true;
        } else if ((c == 'D' || c == 'E') && !exponent) {
            exponent = true;
        } else if ((c == '+' || c == '-') && exponent) {
            // a sign belongs to the exponent
        } else if ((c == 'K' || c == 'M') && i == end - 1) {
            token.suffix = c;
            token.bodyEnd = i;
        } else {
            return Token{};
        }
    }
    token.form = point || exponent ? NumberForm::Float : NumberForm::Integer;
    return token;
}

uint64_t AccumulateHex(const uint8_t* bytes, const Token& token) {
    uint64_t value = 0;
    for (int32_t i = token.bodyStart; i < token.bodyEnd; ++i) {
        const uint8_t c = bytes[i];
        value = value * 16 + (IsDigit(c) ? c - '0' : c - 'A' + 10);
    }
    return value;
}

uint64_t AccumulateDecimal(const uint8_t* bytes, const Token& token) {
    uint64_t value = 0;
    for (int32_t i = token.bodyStart; i < token.bodyEnd; ++i) value = value * 10 + (bytes[i] - '0');
    if (token.suffix == 'K')
        value *= 1024;
    else if (token.suffix == 'M')
        value *= 1048576;
    return token.negative ? 0 - value : value;
}

double ConvertFloat(const uint8_t* bytes, const Token& token) {
    char body[MaxFloatText + 1];
    const int32_t count = std::min(token.bodyEnd - token.bodyStart, MaxFloatText);
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t c = bytes[token.bodyStart + i];
        body[i] = static_cast<char>(c == 'D' ? 'E' : c);
    }
    body[count] = '\0';
    // The program never changes its locale, so the conversion reads a full
    // stop as the decimal point; it takes the longest valid prefix.
    double value = std::strtod(body, nullptr);
    if (token.suffix == 'K')
        value *= 1024.0;
    else if (token.suffix == 'M')
        value *= 1048576.0;
    return token.negative ? -value : value;
}

// x + 0.5 truncated toward zero to 64 bits, low 32 bits kept. A value beyond
// the 64-bit range gives the processor's "integer indefinite" (the lowest
// 64-bit value), whose low 32 bits are 0, instead of undefined behaviour.
int32_t RoundToInt32(double x) {
    const double shifted = x + 0.5;
    constexpr double Limit = 9223372036854775808.0;  // 2^63
    const int64_t whole = shifted >= -Limit && shifted < Limit ? static_cast<int64_t>(shifted) : INT64_MIN;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(whole)));
}

}  // namespace

SettingsReader::SettingsReader(const char* fileName) {
    std::unique_ptr<char[]> buffer;
    int32_t size = 0;
    if (fileName != nullptr && ReadWholeFile(fileName, MaxSettingsSize, buffer, size))
        Adopt(std::move(buffer), size);
}

SettingsReader::SettingsReader(const char* data, size_t size) {
    if (data == nullptr || !IsLoadableSize(size, MaxSettingsSize)) return;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size + 1]);
    if (!buffer) return;
    std::memcpy(buffer.get(), data, size);
    Adopt(std::move(buffer), static_cast<int32_t>(size));
}

void SettingsReader::Adopt(std::unique_ptr<char[]> buffer, int32_t size) {
    // A file saved as UTF-8 reads as the same file saved in 1251 would.
    if (IsUtf8Text(buffer.get(), size)) {
        ConvertUtf8To1251(buffer.get(), size);
        buffer[size] = '\0';
    }
    text = std::move(buffer);
    length = size;
    Normalise();
}

void SettingsReader::Normalise() {
    bool inQuote = false;
    bool inComment = false;
    int32_t separators = 0;
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t c = At(i);
        if (!inQuote && !inComment && (c == '\\' || c == '/')) ++separators;
        if (c == '\n') {
            // Exactly one slash or backslash joins this line to the next.
            text[i] = separators == 1 ? ' ' : '\0';
            inQuote = false;
            inComment = false;
            separators = 0;
            continue;
        }
        if (inQuote && c != '"') continue;  // quoted bytes stay raw
        uint8_t folded = FoldTable[c];
        if (c == '"') inQuote = !inQuote;
        if (folded == ';') {
            inComment = true;
            folded = ' ';
        } else if (inComment) {
            folded = ' ';
        }
        text[i] = static_cast<char>(folded);
    }
    text[length] = '\0';
}

int32_t SettingsReader::LineEnd(int32_t lineStart) const {
    int32_t end = lineStart;
    while (end < length && text[end] != '\0') ++end;
    return end;
}

int32_t SettingsReader::FindNextLine(int32_t& lineEnd, int32_t& valuePosition) {
    int32_t wanted = lineCursor;
    for (int32_t start = 0; start < length;) {
        const int32_t end = LineEnd(start);
        int32_t first = start;
        while (first < end && IsBlank(At(first))) ++first;
        if (first < end && wanted-- == 0) {
            lineEnd = end;
            valuePosition = first;
            ++lineCursor;
            return 1;
        }
        start = end + 1;
    }
    return 0;
}

int32_t SettingsReader::FindKey(const char* key, int32_t& lineEnd, int32_t& valuePosition) {
    if (!text) return 0;
    if (key == nullptr || key[0] == '\0') return FindNextLine(lineEnd, valuePosition);

    uint8_t folded[MaxKeyLength + 1];
    int32_t keyLength = 0;
    for (; keyLength < MaxKeyLength && key[keyLength] != '\0'; ++keyLength)
        folded[keyLength] = FoldTable[static_cast<uint8_t>(key[keyLength]) & 0x7F];
    folded[keyLength] = '\0';
    int32_t k0 = 0;
    while (folded[k0] == ' ') ++k0;
    if (folded[k0] == '\0') return 0;  // a key of spaces only never matches

    int32_t lineNumber = 0;
    for (int32_t start = 0; start <= length; ++lineNumber) {
        const int32_t end = LineEnd(start);
        for (int32_t p = start; p < end; ++p) {
            if (At(p) != folded[k0] || (p != 0 && !IsBlank(At(p - 1)))) continue;
            int32_t m = k0 + 1;
            int32_t b = 1;
            while (folded[m] != '\0' && p + b < end) {
                const uint8_t x = At(p + b);
                if (x == ' ') {
                    ++b;
                } else if (folded[m] == ' ') {
                    ++m;
                } else if (folded[m] == x) {
                    ++m;
                    ++b;
                } else {
                    break;
                }
            }
            // text[length] is the final NUL, so p + b is always readable.
            if (folded[m] == '\0' && IsBlank(At(p + b))) {
                lineEnd = end;
                valuePosition = p + b;
                lineCursor = lineNumber;
                return 1;
            }
        }
        start = end + 1;
    }
    return 0;
}

int32_t SettingsReader::IsNumber(int32_t rangeEnd, int32_t& position) const {
    return ParseNumber(rangeEnd, position, nullptr, nullptr);
}

int32_t SettingsReader::ParseNumber(int32_t rangeEnd, int32_t& position, int32_t* asInt,
                                    double* asDouble) const {
    rangeEnd = std::clamp(rangeEnd, 0, length);
    int32_t start = std::max(position, 0);
    while (start < rangeEnd && IsBlank(At(start))) ++start;
    if (start >= rangeEnd) {
        position = rangeEnd;
        return 0;
    }
    int32_t end = start;
    while (end < rangeEnd && !IsBlank(At(end))) ++end;
    position = end;

    const auto* bytes = reinterpret_cast<const uint8_t*>(text.get());
    const Token token = Classify(bytes, start, end);
    switch (token.form) {
    case NumberForm::None: return 0;
    case NumberForm::Hex:
    case NumberForm::Integer: {
        const uint64_t value =
            token.form == NumberForm::Hex ? AccumulateHex(bytes, token) : AccumulateDecimal(bytes, token);
        if (asInt != nullptr) *asInt = static_cast<int32_t>(static_cast<uint32_t>(value));
        if (asDouble != nullptr) *asDouble = static_cast<double>(static_cast<int64_t>(value));
        return 1;
    }
    case NumberForm::Float: {
        const double value = ConvertFloat(bytes, token);
        if (asInt != nullptr) *asInt = RoundToInt32(value);
        if (asDouble != nullptr) *asDouble = value;
        return 1;
    }
    }
    return 0;
}

int32_t SettingsReader::ReadString(const char* key, char* destination, int32_t size,
                                   const char* defaultText) {
    if (!text) return -1;
    if (destination == nullptr || size <= 0) return 0;
    int32_t lineEnd = 0;
    int32_t position = 0;
    if (!FindKey(key, lineEnd, position)) {
        if (defaultText != nullptr && defaultText[0] != '\0') {
            // Cut to the destination, never past it.
            int32_t count = 0;
            for (; count < size - 1 && defaultText[count] != '\0'; ++count)
                destination[count] = defaultText[count];
            destination[count] = '\0';
        }
        return 0;
    }
    while (position < lineEnd && IsBlank(At(position))) ++position;
    const int32_t count = std::min(lineEnd - position, size - 1);
    std::memcpy(destination, text.get() + position, static_cast<size_t>(count));
    destination[count] = '\0';
    for (int32_t last = count - 1; last > 0 && destination[last] == ' '; --last) destination[last] = '\0';
    return 1;
}

int32_t SettingsReader::ReadInt(const char* key, int32_t& destination, int32_t defaultValue) {
    if (!text) return -1;
    int32_t lineEnd = 0;
    int32_t position = 0;
    if (FindKey(key, lineEnd, position) && ParseNumber(lineEnd, position, &destination, nullptr)) return 1;
    if (defaultValue != 0) destination = defaultValue;
    return 0;
}

int32_t SettingsReader::ReadDouble(const char* key, double& destination, double defaultValue) {
    if (!text) return -1;
    int32_t lineEnd = 0;
    int32_t position = 0;
    if (FindKey(key, lineEnd, position) && ParseNumber(lineEnd, position, nullptr, &destination)) return 1;
    if (defaultValue != 0.0) destination = defaultValue;
    return 0;
}

int32_t SettingsReader::ReadDoubleList(const char* key, double* destination, int32_t maximum) {
    if (!text) return -1;
    int32_t lineEnd = 0;
    int32_t position = 0;
    if (!FindKey(key, lineEnd, position) || destination == nullptr) return 0;
    int32_t stored = 0;
    while (stored < maximum && ParseNumber(lineEnd, position, nullptr, &destination[stored])) ++stored;
    return stored;
}

int32_t SettingsReader::CountValues(const char* key) {
    if (!text) return -1;
    const int32_t keptCursor = lineCursor;
    int32_t lineEnd = 0;
    int32_t position = 0;
    const int32_t found = FindKey(key, lineEnd, position);
    lineCursor = keptCursor;
    if (!found) return 0;
    int32_t count = 0;
    while (IsNumber(lineEnd, position)) ++count;
    return count;
}
