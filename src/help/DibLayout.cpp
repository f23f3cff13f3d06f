#include "help/DibLayout.h"

#include <cstring>

namespace {
constexpr size_t InfoHeaderSize = 40;
constexpr uint32_t Uncompressed = 0;

template <class T>
T ReadLittle(const uint8_t* data, size_t offset) {
    T value;
    std::memcpy(&value, data + offset, sizeof value);  // x86 and x86_64 are little-endian
    return value;
}
}  // namespace

bool ReadDibLayout(const uint8_t* data, size_t size, DibLayout& layout) {
    layout = {};
    if (data == nullptr || size < InfoHeaderSize) return false;
    const auto headerSize = ReadLittle<uint32_t>(data, 0);
    const auto width = ReadLittle<int32_t>(data, 4);
    const auto height = ReadLittle<int32_t>(data, 8);
    const auto bitCount = ReadLittle<uint16_t>(data, 14);
    const auto compression = ReadLittle<uint32_t>(data, 16);
    if (headerSize < InfoHeaderSize || headerSize > size) return false;
    if (width <= 0 || height == 0 || height == INT32_MIN) return false;

    const uint64_t tableBytes = (bitCount >= 1 && bitCount <= 8) ? (uint64_t{4} << bitCount) : 0;
    const uint64_t pixelOffset = uint64_t{headerSize} + tableBytes;
    if (pixelOffset > size) return false;
    if (compression == Uncompressed) {
        const uint64_t rowBytes = (uint64_t{static_cast<uint32_t>(width)} * bitCount + 31) / 32 * 4;
        const uint64_t rows = height < 0 ? uint64_t(-int64_t{height}) : uint64_t(height);
        if (rowBytes * rows > size - pixelOffset) return false;
    }
    layout.width = width;
    layout.height = height;
    layout.pixelOffset = static_cast<size_t>(pixelOffset);
    return true;
}
