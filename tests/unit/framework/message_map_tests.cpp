#include <gtest/gtest.h>

#include <iterator>

#include "framework/MessageMap.h"

namespace {
// Handlers are never called by the matching tests; each stands for one row.
int32_t Row(WindowObject&) {
    return 0;
}
int32_t RowW(WindowObject&, WParam) {
    return 0;
}
int32_t RowWL(WindowObject&, WParam, LParam) {
    return 0;
}

constexpr uint32_t Command = 0x0111;
constexpr uint32_t Timer = 0x0113;
constexpr uint32_t Paint = 0x000F;

const MessageMapEntry map[] = {
    {Command, 1010, 0, WParamArg, {.wParamArg = &RowW}},    // 0: a single id
    {Command, 1013, 1019, BothArgs, {.bothArgs = &RowWL}},  // 1: an inclusive range
    {Command, 1010, 0, NoArgs, {.noArgs = &Row}},           // 2: shadowed by row 0
    {Timer, 0, 0, NoArgs, {.noArgs = &Row}},                // 3: any id
    {Command, 0, 0, NoArgs, {.noArgs = &Row}},              // 4: any other command
    MapEnd,
    {Paint, 0, 0, NoArgs, {.noArgs = &Row}},  // never reached: after the end row
};

int RowOf(const MessageMapEntry* found) {
    return found ? static_cast<int>(found - map) : -1;
}
}  // namespace

TEST(MessageMap, FindsTheFirstMatchingRow) {
    const struct {
        uint32_t message;
        uintptr_t wParam;
        int row;  // -1: no row
    } cases[] = {
        {Command, 1010, 0},
        {Command, (5u << 16) | 1010, 0},  // notification code in the high word
        {Command, (0xFFFFu << 16) | 1010, 0},
        {Command, 1013, 1},  // range ends are inclusive
        {Command, 1016, 1},
        {Command, 1019, 1},
        {Command, 1012, 4},  // just outside the range
        {Command, 1020, 4},
        {Command, (1u << 16) | 1020, 4},
        {Command, 0, 4},  // firstId 0 also matches id 0
        {Timer, 0, 3},
        {Timer, 1, 3},
        {Timer, 0xFFFF, 3},
        {Paint, 0, -1},      // rows after the end are never seen
        {0x0200, 1010, -1},  // no row for the message
    };
    for (const auto& c : cases)
        EXPECT_EQ(RowOf(FindMapEntry(map, c.message, c.wParam)), c.row)
            << "message " << c.message << " wParam " << c.wParam;
}

TEST(MessageMap, LastIdZeroMeansOnlyTheExactId) {
    const MessageMapEntry single[] = {{Command, 1013, 0, NoArgs, {.noArgs = &Row}}, MapEnd};
    EXPECT_NE(FindMapEntry(single, Command, 1013), nullptr);
    EXPECT_EQ(FindMapEntry(single, Command, 1014), nullptr);
    EXPECT_EQ(FindMapEntry(single, Command, 1012), nullptr);
}

TEST(MessageMap, RangeComparisonIsUnsigned) {
    const MessageMapEntry high[] = {{Command, 0x8000, 0xFFFF, NoArgs, {.noArgs = &Row}}, MapEnd};
    EXPECT_NE(FindMapEntry(high, Command, 0xFFFF), nullptr);
    EXPECT_NE(FindMapEntry(high, Command, 0x8000), nullptr);
    EXPECT_EQ(FindMapEntry(high, Command, 0x7FFF), nullptr);
}

TEST(MessageMap, NoMapOrEmptyMapFindsNothing) {
    EXPECT_EQ(FindMapEntry(nullptr, Command, 1010), nullptr);
    const MessageMapEntry empty[] = {MapEnd};
    EXPECT_EQ(FindMapEntry(empty, Command, 1010), nullptr);
}

// The window base is a Win32 class; the map needs no more of it than a type
// the handlers' owner derives from, so this native test gives it one.
class WindowObject {
public:
    virtual ~WindowObject() = default;
};

namespace {
struct Recorder {
    int calls = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};
// Begins with another part, as the help balloon does: the call must convert.
struct Owner : Recorder, WindowObject {
    int32_t None() { return ++calls, 10; }
    int32_t W(WParam w) { return ++calls, wParam = w.value, 11; }
    int32_t L(LParam l) { return ++calls, lParam = l.value, 12; }
    int32_t Both(WParam w, LParam l) { return ++calls, wParam = w.value, lParam = l.value, 13; }
    int32_t Raw(uintptr_t w) { return static_cast<int32_t>(w); }
    int32_t Swapped(LParam, WParam) { return 0; }
};

// A handler that takes a bare integer, or the parameters the other way round,
// makes no row: the slip does not compile.
static_assert(!MapHandler<&Owner::Raw>);
static_assert(!MapHandler<&Owner::Swapped>);
static_assert(MapHandler<&Owner::Both>);
}  // namespace

TEST(MessageMap, EachRowIsCalledWithTheParametersOfItsShape) {
    constexpr MessageMapEntry rows[] = {
        MapRow<&Owner::None>(1), MapRow<&Owner::W>(2), MapRow<&Owner::L>(3), MapRow<&Owner::Both>(4), MapEnd,
    };
    const struct {
        uint32_t shape;
        int32_t result;
        uintptr_t wParam;  // what the handler saw; 0 when its shape has none
        intptr_t lParam;
    } expected[] = {
        {NoArgs, 10, 0, 0},
        {WParamArg, 11, 0xFFFF1234u, 0},
        {LParamArg, 12, 0, -77},
        {BothArgs, 13, 0xFFFF1234u, -77},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        Owner owner;
        const MessageMapEntry* row = FindMapEntry(rows, static_cast<uint32_t>(i + 1), 0xFFFF1234u);
        ASSERT_EQ(row, &rows[i]);
        EXPECT_EQ(row->callShape, expected[i].shape);
        EXPECT_EQ(CallMapEntry(*row, owner, 0xFFFF1234u, -77), expected[i].result);
        EXPECT_EQ(owner.calls, 1);
        EXPECT_EQ(owner.wParam, expected[i].wParam);
        EXPECT_EQ(owner.lParam, expected[i].lParam);
    }
}
