#include "settings/Utf8Text.h"

namespace {
// The characters of 1251's bytes 0x80 to 0xFF (0 for the one byte it leaves
// unassigned).
constexpr uint16_t Upper1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr uint8_t Unmapped = '?';

bool HasBom(const uint8_t* bytes, int32_t size) {
    return size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
}

// The length of the valid sequence at bytes[i] (1 to 4) and its code point,
// or 0 where none starts there: overlong forms, surrogates and code points
// beyond U+10FFFF are not valid.
int32_t Decode(const uint8_t* bytes, int32_t i, int32_t size, uint32_t& point) {
    const uint8_t lead = bytes[i];
    int32_t length = 0;
    uint32_t smallest = 0;
    if (lead < 0x80) {
        point = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, point = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, point = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, point = lead & 0x07, smallest = 0x10000;
    } else {
        return 0;
    }
    if (size - i < length) return 0;
    for (int32_t k = 1; k < length; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) return 0;
        point = point << 6 | (bytes[i + k] & 0x3F);
    }
    if (point < smallest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    return length;
}

uint8_t To1251(uint32_t point) {
    if (point < 0x80) return static_cast<uint8_t>(point);
    for (int32_t b = 0; b < 128; ++b)
        if (Upper1251[b] == point) return static_cast<uint8_t>(0x80 + b);
    return Unmapped;
}
}  // namespace

bool IsUtf8Text(const char* data, int32_t size) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    if (HasBom(bytes, size)) return true;
    bool above7F = false;
    for (int32_t i = 0; i < size;) {
        uint32_t point = 0;
        const int32_t length = Decode(bytes, i, size, point);
        if (length == 0) return false;
        above7F = above7F || length > 1;
        i += length;
    }
    return above7F;
}

void ConvertUtf8To1251(char* data, int32_t& size) {
    auto* bytes = reinterpret_cast<uint8_t*>(data);
    int32_t from = HasBom(bytes, size) ? 3 : 0;
    int32_t to = 0;
    // Each character takes at least as many bytes in UTF-8 as its one byte
    // here, so the writing never overtakes the reading.
    while (from < size) {
        uint32_t point = 0;
        const int32_t length = Decode(bytes, from, size, point);
        bytes[to++] = length == 0 ? Unmapped : To1251(point);
        from += length == 0 ? 1 : length;
    }
    size = to;
}
