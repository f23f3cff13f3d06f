#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "help/DibLayout.h"

namespace {
// A packed bitmap: 40-byte header, `tableEntries` colours, then `pixelBytes`.
std::vector<uint8_t> Dib(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression,
                         size_t tableEntries, size_t pixelBytes, uint32_t headerSize = 40) {
    // Room for the 40 header bytes written below, even where headerSize claims fewer.
    std::vector<uint8_t> data(std::max<size_t>(headerSize, 40) + 4 * tableEntries + pixelBytes, 0);
    const uint16_t planes = 1;
    std::memcpy(&data[0], &headerSize, 4);
    std::memcpy(&data[4], &width, 4);
    std::memcpy(&data[8], &height, 4);
    std::memcpy(&data[12], &planes, 2);
    std::memcpy(&data[14], &bitCount, 2);
    std::memcpy(&data[16], &compression, 4);
    return data;
}
}  // namespace

TEST(DibLayout, PixelsFollowTheHeaderAndAFullColourTable) {
    const struct {
        const char* situation;
        int32_t width, height;
        uint16_t bitCount;
        size_t tableEntries, pixelBytes, pixelOffset;
    } cases[] = {
        {"the balloon texture", 128, 128, 8, 256, 128 * 128, 40 + 1024},
        {"1 bit: 2 colours, rows padded to 4 bytes", 10, 3, 1, 2, 12, 48},
        {"4 bits: 16 colours", 9, 2, 4, 16, 16, 104},
        {"24 bits: no colour table", 3, 2, 24, 0, 24, 40},
        {"top-down rows", 4, -4, 8, 256, 16, 1064},
    };
    for (const auto& c : cases) {
        const auto data = Dib(c.width, c.height, c.bitCount, 0, c.tableEntries, c.pixelBytes);
        DibLayout layout;
        ASSERT_TRUE(ReadDibLayout(data.data(), data.size(), layout)) << c.situation;
        EXPECT_EQ(layout.width, c.width) << c.situation;
        EXPECT_EQ(layout.height, c.height) << c.situation;
        EXPECT_EQ(layout.pixelOffset, c.pixelOffset) << c.situation;
    }
}

TEST(DibLayout, RefusesWhatWouldBeReadPastTheEnd) {
    const struct {
        const char* situation;
        std::vector<uint8_t> data;
        size_t size;
    } cases[] = {
        {"shorter than a header", Dib(1, 1, 24, 0, 0, 4), 39},
        {"header size beyond the data", Dib(1, 1, 24, 0, 0, 4, 400), 100},
        {"header size below 40", Dib(1, 1, 24, 0, 0, 4, 12), 16},
        {"colour table cut short", Dib(128, 128, 8, 0, 100, 0), 440},
        {"last pixel row missing", Dib(128, 128, 8, 0, 256, 128 * 127), 40 + 1024 + 128 * 127},
        {"row padding missing", Dib(9, 2, 4, 0, 16, 15), 104 + 15},
        {"zero width", Dib(0, 1, 24, 0, 0, 4), 44},
        {"zero height", Dib(1, 0, 24, 0, 0, 4), 44},
    };
    for (const auto& c : cases) {
        DibLayout layout;
        EXPECT_FALSE(ReadDibLayout(c.data.data(), c.size, layout)) << c.situation;
        EXPECT_EQ(layout.pixelOffset, 0u) << c.situation;
    }
    DibLayout layout;
    EXPECT_FALSE(ReadDibLayout(nullptr, 1000, layout));
}

TEST(DibLayout, CompressedPixelsAreNotSizedFromWidthAndHeight) {
    // Run-length data is shorter than the rows it describes.
    const auto data = Dib(128, 128, 8, 1, 256, 10);
    DibLayout layout;
    ASSERT_TRUE(ReadDibLayout(data.data(), data.size(), layout));
    EXPECT_EQ(layout.pixelOffset, 40u + 1024u);
}
