#include <gtest/gtest.h>

#include "framework/MessageMap.h"

namespace {
// Handlers are never called here; each stands for one row.
int32_t Row(WindowObject&, uintptr_t, intptr_t) { return 0; }

constexpr uint32_t Command = 0x0111;
constexpr uint32_t Timer = 0x0113;
constexpr uint32_t Paint = 0x000F;

const MessageMapEntry map[] = {
    {Command, 1010, 0, WParamArg, &Row},     // 0: a single id
    {Command, 1013, 1019, BothArgs, &Row},   // 1: an inclusive range
    {Command, 1010, 0, NoArgs, &Row},        // 2: shadowed by row 0
    {Timer, 0, 0, NoArgs, &Row},             // 3: any id
    {Command, 0, 0, NoArgs, &Row},           // 4: any other command
    MapEnd,
    {Paint, 0, 0, NoArgs, &Row},             // never reached: after the end row
};

int RowOf(const MessageMapEntry* found) { return found ? static_cast<int>(found - map) : -1; }
}  // namespace

TEST(MessageMap, FindsTheFirstMatchingRow) {
    const struct {
        uint32_t message;
        uintptr_t wParam;
        int row;  // -1: no row
    } cases[] = {
        {Command, 1010, 0},
        {Command, (5u << 16) | 1010, 0},       // notification code in the high word
        {Command, (0xFFFFu << 16) | 1010, 0},
        {Command, 1013, 1},                    // range ends are inclusive
        {Command, 1016, 1},
        {Command, 1019, 1},
        {Command, 1012, 4},                    // just outside the range
        {Command, 1020, 4},
        {Command, (1u << 16) | 1020, 4},
        {Command, 0, 4},                       // firstId 0 also matches id 0
        {Timer, 0, 3},
        {Timer, 1, 3},
        {Timer, 0xFFFF, 3},
        {Paint, 0, -1},                        // rows after the end are never seen
        {0x0200, 1010, -1},                    // no row for the message
    };
    for (const auto& c : cases)
        EXPECT_EQ(RowOf(FindMapEntry(map, c.message, c.wParam)), c.row)
            << "message " << c.message << " wParam " << c.wParam;
}

TEST(MessageMap, LastIdZeroMeansOnlyTheExactId) {
    const MessageMapEntry single[] = {{Command, 1013, 0, NoArgs, &Row}, MapEnd};
    EXPECT_NE(FindMapEntry(single, Command, 1013), nullptr);
    EXPECT_EQ(FindMapEntry(single, Command, 1014), nullptr);
    EXPECT_EQ(FindMapEntry(single, Command, 1012), nullptr);
}

TEST(MessageMap, RangeComparisonIsUnsigned) {
    const MessageMapEntry high[] = {{Command, 0x8000, 0xFFFF, NoArgs, &Row}, MapEnd};
    EXPECT_NE(FindMapEntry(high, Command, 0xFFFF), nullptr);
    EXPECT_NE(FindMapEntry(high, Command, 0x8000), nullptr);
    EXPECT_EQ(FindMapEntry(high, Command, 0x7FFF), nullptr);
}

TEST(MessageMap, NoMapOrEmptyMapFindsNothing) {
    EXPECT_EQ(FindMapEntry(nullptr, Command, 1010), nullptr);
    const MessageMapEntry empty[] = {MapEnd};
    EXPECT_EQ(FindMapEntry(empty, Command, 1010), nullptr);
}
