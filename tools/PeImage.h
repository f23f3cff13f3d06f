// What a PE file's headers say about it, read from its bytes: the machine it
// was built for and whether it exports a name. Portable: the driver check of
// qorvelcfg reads a driver this way instead of loading it, since loading
// runs the driver's own start-up code.
#pragma once

#include <cstddef>
#include <cstdint>

enum class PeStatus {
    Read,     // the headers, and the export table if there is one, were read
    NotPe,    // no "MZ" and "PE\0\0" signatures: not a program or DLL
    Damaged,  // signatures right, but a header or table runs past the file
};

constexpr uint16_t PeMachineI386 = 0x014C;
constexpr uint16_t PeMachineAmd64 = 0x8664;

struct PeImage {
    PeStatus status = PeStatus::NotPe;
    uint16_t machine = 0;      // IMAGE_FILE_HEADER.Machine
    bool pe32Plus = false;     // optional header magic 0x20B (64-bit layout)
    bool isDll = false;        // IMAGE_FILE_DLL
    bool exportsName = false;  // the export table names the asked-for export
};

// Reads the image in data[0, size). exportName is compared byte for byte
// with the export table's names.
PeImage ReadPeImage(const uint8_t* data, size_t size, const char* exportName);

// 32 for i386, 64 for x86-64, 0 for any other machine.
int PeMachineBits(uint16_t machine);
