// The layout of a bitmap resource: a device-independent bitmap without file
// header (information header, colour table, pixels). Portable, so the checks
// that keep a short or inconsistent resource from being read past its end
// are tested natively.
#pragma once

#include <cstddef>
#include <cstdint>

struct DibLayout {
    int32_t width = 0;
    int32_t height = 0;      // negative for a top-down bitmap
    size_t pixelOffset = 0;  // from the start of the header
};

// Reads the header of `size` bytes at `data`. The colour table has 2^bitCount
// entries of 4 bytes for 1 to 8 bits per pixel and none otherwise (the header's
// count of used colours is not consulted). False when the header, the colour
// table or, for an uncompressed bitmap, the pixel rows do not fit in `size`.
bool ReadDibLayout(const uint8_t* data, size_t size, DibLayout& layout);
