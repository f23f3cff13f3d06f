#include <gtest/gtest.h>

#include <cstring>

#include "help/BalloonGeometry.h"
#include "help/HelpTable.h"

namespace {
int RowCount() {
    int rows = 0;
    while (HelpTable[rows].helpText != nullptr) ++rows;
    return rows;
}
}  // namespace

TEST(HelpTable, ThirteenRowsInTieBreakOrderWithWordCountsAndFactors) {
    const struct {
        int32_t controlId;
        int32_t words;
        int32_t factor;
    } rows[] = {
        {1010, 20, 4}, {1022, 29, 5}, {1025, 13, 2}, {1026, 13, 2}, {1012, 22, 4},
        {1017, 22, 4}, {1013, 20, 4}, {1014, 20, 4}, {1018, 20, 4}, {1019, 20, 4},
        {1015, 8, 1},  {1020, 8, 1},  {1027, 23, 4},
    };
    ASSERT_EQ(RowCount(), 13);
    for (int i = 0; i < 13; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(HelpTable[i].controlId, rows[i].controlId);
        EXPECT_EQ(CountWords(HelpTable[i].helpText), rows[i].words);
        // The factor shows as the display time for a post-delay of 1000 ms.
        EXPECT_EQ(DisplayTime(CountWords(HelpTable[i].helpText), 1000), rows[i].factor * 1000);
    }
    EXPECT_EQ(HelpTable[13].helpText, nullptr);
}

TEST(HelpTable, TrackbarAndUpDownOfAChannelShareOneText) {
    EXPECT_EQ(HelpTable[6].helpText, HelpTable[7].helpText);
    EXPECT_EQ(HelpTable[8].helpText, HelpTable[9].helpText);
    EXPECT_NE(std::strcmp(HelpTable[6].helpText, HelpTable[8].helpText), 0);
}

TEST(HelpTable, TextsAreCodePage1251Bytes) {
    // "Запуск" and "Запись" in code page 1251, one byte a letter.
    const unsigned char start[] = {0xC7, 0xE0, 0xEF, 0xF3, 0xF1, 0xEA, ' '};
    const unsigned char write[] = {0xC7, 0xE0, 0xEF, 0xE8, 0xF1, 0xFC, ' '};
    EXPECT_EQ(std::memcmp(HelpTable[0].helpText, start, sizeof start), 0);
    EXPECT_EQ(std::memcmp(HelpTable[1].helpText, write, sizeof write), 0);
    // The channel 1 display's text: 55 characters, each one byte.
    EXPECT_EQ(std::strlen(HelpTable[10].helpText), 55u);
    const char tail[] = " 1024*4.";
    const char* first = HelpTable[0].helpText;
    EXPECT_STREQ(first + std::strlen(first) - std::strlen(tail), tail);
}
