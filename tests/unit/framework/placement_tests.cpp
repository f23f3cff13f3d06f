#include <gtest/gtest.h>

#include "framework/Placement.h"

namespace {
constexpr int ScreenWidth = 1280;
constexpr int ScreenHeight = 1024;
// A 300 x 200 window now at (50, 60).
constexpr Rect Window{50, 60, 350, 260};
}  // namespace

TEST(Placement, CentresClampsAndKeeps) {
    const struct {
        int x, y;
        Point expected;
        const char* what;
    } cases[] = {
        {-1000, -1000, {490, 412}, "both centred"},
        {-10000, 10, {490, 10}, "only x below -9999: x centred, y kept as asked"},
        {10, -10000, {10, 412}, "only y below -9999"},
        {-10000, -10000, {50, 60}, "both below -9999: the current position"},
        {-9999, -9999, {490, 412}, "-9999 is not below -9999: centred"},
        {-999, -1, {0, 0}, "-999 is used unchanged, then held at 0"},
        {-1000, 5000, {490, 824}, "y pulled back to the bottom edge"},
        {980, 824, {980, 824}, "exactly at the limits"},
        {981, 825, {980, 824}, "one past the limits"},
        {0, 0, {0, 0}, "origin"},
    };
    for (const auto& c : cases) {
        const Point p = PlaceWindow(c.x, c.y, Window, ScreenWidth, ScreenHeight);
        EXPECT_EQ(p.x, c.expected.x) << c.what;
        EXPECT_EQ(p.y, c.expected.y) << c.what;
    }
}

TEST(Placement, KeptPositionIsAlsoClamped) {
    const Rect offScreen{1200, -50, 1500, 150};
    const Point p = PlaceWindow(-20000, -20000, offScreen, ScreenWidth, ScreenHeight);
    EXPECT_EQ(p.x, 980);
    EXPECT_EQ(p.y, 0);
}

TEST(Placement, CentringRoundsTowardsMinusInfinity) {
    // Odd spare room: 1280 - 301 = 979, half of it 489.
    const Rect odd{0, 0, 301, 100};
    EXPECT_EQ(PlaceWindow(-1000, 0, odd, ScreenWidth, ScreenHeight).x, 489);
    // Only a negative odd limit tells flooring from truncation (which would
    // give -110 and 0); PlaceWindow then holds the result at 0.
    EXPECT_EQ(CentredCoordinate(-221), -111);
    EXPECT_EQ(CentredCoordinate(-1), -1);
    EXPECT_EQ(CentredCoordinate(979), 489);
}

TEST(Placement, WindowWiderThanTheScreen) {
    const Rect wide{0, 0, 1501, 100};  // limit 1280 - 1501 = -221
    const struct {
        int x;
        int expected;
    } cases[] = {
        {-1000, 0},              // centring gives -111, held at 0
        {-500, 0},   {-100, 0},  // a negative position is held at 0 before the limit applies
        {0, -221},               // right edge on the screen's right edge
        {700, -221},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaceWindow(c.x, 0, wide, ScreenWidth, ScreenHeight).x, c.expected) << "x " << c.x;
}
