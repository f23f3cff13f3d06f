#include "PeImage.h"

#include <cstring>

namespace {

// Little-endian reads that fail instead of running past the image.
struct Bytes {
    const uint8_t* data;
    size_t size;

    bool Has(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }
    bool U16(uint64_t offset, uint16_t& value) const {
        if (!Has(offset, 2)) return false;
        value = static_cast<uint16_t>(data[offset] | data[offset + 1] << 8);
        return true;
    }
    bool U32(uint64_t offset, uint32_t& value) const {
        if (!Has(offset, 4)) return false;
        value = static_cast<uint32_t>(data[offset]) | static_cast<uint32_t>(data[offset + 1]) << 8 |
                static_cast<uint32_t>(data[offset + 2]) << 16 | static_cast<uint32_t>(data[offset + 3]) << 24;
        return true;
    }
};

struct Section {
    uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

constexpr uint16_t FileIsDll = 0x2000;
constexpr uint16_t MagicPe32 = 0x10B;
constexpr uint16_t MagicPe32Plus = 0x20B;
constexpr uint32_t SectionHeaderSize = 40;
constexpr uint32_t MaxSections = 96;  // the loader's own limit

// The file offset of a relative virtual address, through the section that
// holds it; false when no section's raw data holds it.
bool FileOffset(const Section* sections, uint16_t count, uint32_t rva, uint64_t& offset) {
    for (uint16_t i = 0; i < count; ++i) {
        const Section& s = sections[i];
        const uint32_t extent = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < extent &&
            rva - s.virtualAddress < s.rawSize) {
            offset = static_cast<uint64_t>(s.rawOffset) + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

// Whether the zero-terminated name at offset equals name.
bool NameAt(const Bytes& image, uint64_t offset, const char* name, bool& equal) {
    const size_t length = std::strlen(name);
    if (!image.Has(offset, 1)) return false;
    // A name shorter than the file's remainder is compared with its terminator.
    if (image.Has(offset, length + 1)) {
        equal = std::memcmp(image.data + offset, name, length) == 0 && image.data[offset + length] == 0;
        return true;
    }
    equal = false;
    return true;
}

}  // namespace

PeImage ReadPeImage(const uint8_t* data, size_t size, const char* exportName) {
    PeImage result;
    const Bytes image{data, data != nullptr ? size : 0};
    uint32_t peOffset = 0;
    uint32_t signature = 0;
    if (!image.Has(0, 2) || image.data[0] != 'M' || image.data[1] != 'Z' || !image.U32(0x3C, peOffset) ||
        !image.U32(peOffset, signature) || signature != 0x00004550)
        return result;

    result.status = PeStatus::Damaged;
    const uint64_t fileHeader = static_cast<uint64_t>(peOffset) + 4;
    uint16_t sectionCount = 0, optionalSize = 0, characteristics = 0, magic = 0;
    if (!image.U16(fileHeader, result.machine) || !image.U16(fileHeader + 2, sectionCount) ||
        !image.U16(fileHeader + 16, optionalSize) || !image.U16(fileHeader + 18, characteristics))
        return result;
    result.isDll = (characteristics & FileIsDll) != 0;
    const uint64_t optional = fileHeader + 20;
    if (!image.U16(optional, magic) || (magic != MagicPe32 && magic != MagicPe32Plus)) return result;
    result.pe32Plus = magic == MagicPe32Plus;

    // The export table is data directory 0.
    const uint64_t directoryCountAt = optional + (result.pe32Plus ? 108 : 92);
    uint32_t directoryCount = 0, exportRva = 0;
    if (directoryCountAt + 4 > optional + optionalSize || !image.U32(directoryCountAt, directoryCount))
        return result;
    if (directoryCount >= 1 && directoryCountAt + 12 <= optional + optionalSize &&
        !image.U32(directoryCountAt + 4, exportRva))
        return result;

    if (sectionCount > MaxSections) return result;
    Section sections[MaxSections];
    const uint64_t sectionTable = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = sectionTable + static_cast<uint64_t>(i) * SectionHeaderSize;
        Section& s = sections[i];
        if (!image.U32(at + 8, s.virtualSize) || !image.U32(at + 12, s.virtualAddress) ||
            !image.U32(at + 16, s.rawSize) || !image.U32(at + 20, s.rawOffset))
            return result;
    }
    if (exportRva == 0) {  // no export table: nothing is exported
        result.status = PeStatus::Read;
        return result;
    }

    uint64_t directory = 0;
    uint32_t nameCount = 0, namesRva = 0;
    uint64_t names = 0;
    if (!FileOffset(sections, sectionCount, exportRva, directory) || !image.U32(directory + 24, nameCount) ||
        !image.U32(directory + 32, namesRva))
        return result;
    if (nameCount > 0 && (!FileOffset(sections, sectionCount, namesRva, names) ||
                          !image.Has(names, static_cast<uint64_t>(nameCount) * 4)))
        return result;
    for (uint32_t i = 0; i < nameCount; ++i) {
        uint32_t nameRva = 0;
        uint64_t nameAt = 0;
        bool equal = false;
        if (!image.U32(names + static_cast<uint64_t>(i) * 4, nameRva) ||
            !FileOffset(sections, sectionCount, nameRva, nameAt) || !NameAt(image, nameAt, exportName, equal))
            return result;
        if (equal) {
            result.exportsName = true;
            break;
        }
    }
    result.status = PeStatus::Read;
    return result;
}

int PeMachineBits(uint16_t machine) {
    switch (machine) {
    case PeMachineI386: return 32;
    case PeMachineAmd64: return 64;
    default: return 0;
    }
}
