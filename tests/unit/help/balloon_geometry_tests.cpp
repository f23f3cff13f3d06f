#include <gtest/gtest.h>

#include <vector>

#include "help/BalloonGeometry.h"

namespace {
const OutlineExtent defaultExtent = MeasureOutline(DefaultOutline, DefaultOutlineValueCount);

// A point of the default outline, numbered from 1 as in its table.
Point ScaledPoint(const OutlineScale& scale, int number) {
    return ScaleOutlinePoint(scale, DefaultOutline[2 * (number - 1)], DefaultOutline[2 * (number - 1) + 1]);
}
}  // namespace

TEST(BalloonWords, OnlyTheSpaceSeparatesWords) {
    const struct {
        const char* text;
        int32_t words;
    } cases[] = {
        {nullptr, 0},
        {"", 0},
        {"     ", 0},
        {"one", 1},
        {"  one  ", 1},
        {"one two", 2},
        {"one   two", 2},
        {"+-10 volt", 2},
        {"tab\tand\nnewline", 1},
        {"a, b. c", 3},
        {" a b c d e f g h i j ", 10},
    };
    for (const auto& c : cases) EXPECT_EQ(CountWords(c.text), c.words) << (c.text ? c.text : "(null)");
}

TEST(BalloonOutline, DefaultOutlineIsClosedWith27PointsAndExtent42By31) {
    EXPECT_EQ(DefaultOutlineValueCount, 54);
    EXPECT_EQ(DefaultOutline[0], 0);
    EXPECT_EQ(DefaultOutline[1], 0);
    EXPECT_EQ(DefaultOutline[52], 0);
    EXPECT_EQ(DefaultOutline[53], 0);
    EXPECT_EQ(defaultExtent.x, 42);
    EXPECT_EQ(defaultExtent.y, 31);
}

TEST(BalloonOutline, ExtentsFollowTheLargestCoordinates) {
    const int32_t triangle[] = {0, 0, 10, 3, 4, 7, 0, 0};
    const OutlineExtent e = MeasureOutline(triangle, 8);
    EXPECT_EQ(e.x, 12);
    EXPECT_EQ(e.y, 8);
    const int32_t negative[] = {-5, -5, -1, -2};
    const OutlineExtent n = MeasureOutline(negative, 4);  // the running maxima start at 0
    EXPECT_EQ(n.x, 2);
    EXPECT_EQ(n.y, 1);
}

TEST(BalloonMeasure, LayoutWidthDoublesFromThreeWords) {
    const struct {
        int32_t widest, zeros, words, width;
    } cases[] = {
        {40, 24, 1, 64}, {40, 24, 2, 64}, {40, 24, 3, 128}, {40, 24, 29, 128}, {0, 24, 1, 24},
    };
    for (const auto& c : cases) EXPECT_EQ(LayoutWidth(c.widest, c.zeros, c.words), c.width) << c.words;
}

TEST(BalloonMeasure, MeasurementScalesToTheWholeOutlineWithTruncation) {
    const struct {
        int32_t right, bottom, scaledRight, scaledBottom;
    } cases[] = {
        {60, 34, 100, 62},                // 2520 / 25, 1054 / 17
        {25, 17, 42, 31},  {1, 1, 1, 1},  // 42 / 25 and 31 / 17 truncate to 1
        {24, 16, 40, 29},                 // 1008 / 25 = 40.32, 496 / 17 = 29.2
        {0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const Rect r = ScaleMeasurement({0, 0, c.right, c.bottom}, defaultExtent, DefaultTextArea);
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 0);
        EXPECT_EQ(r.right, c.scaledRight) << c.right;
        EXPECT_EQ(r.bottom, c.scaledBottom) << c.bottom;
    }
}

TEST(BalloonShape, WorkedExampleInAllFourMirrorings) {
    // A 60 by 34 text rectangle gives a window of 101 by 63 pixels.
    const Rect measured = ScaleMeasurement({0, 0, 60, 34}, defaultExtent, DefaultTextArea);
    const int32_t w = measured.right - measured.left + 1;
    const int32_t h = measured.bottom - measured.top + 1;
    ASSERT_EQ(w, 101);
    ASSERT_EQ(h, 63);

    const struct {
        int32_t flipFlags;
        Rect text;
        Point p1, p10, p16;
    } cases[] = {
        {0, {22, 12, 82, 46}, {1, 64}, {53, 4}, {97, 24}},
        {FlipLeftRight, {19, 12, 79, 46}, {100, 64}, {48, 4}, {4, 24}},
        {FlipTopBottom, {22, 17, 82, 51}, {1, -1}, {53, 59}, {97, 39}},
        {FlipLeftRight | FlipTopBottom, {19, 17, 79, 51}, {100, -1}, {48, 59}, {4, 39}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flipFlags);
        const OutlineScale scale = MakeOutlineScale(w, h, defaultExtent, c.flipFlags);
        EXPECT_EQ(scale.a, 133186);
        EXPECT_EQ(scale.b, 157598);
        const Rect t = ScaleTextArea(scale, DefaultTextArea);
        EXPECT_EQ(t.left, c.text.left);
        EXPECT_EQ(t.top, c.text.top);
        EXPECT_EQ(t.right, c.text.right);
        EXPECT_EQ(t.bottom, c.text.bottom);
        const Point p1 = ScaledPoint(scale, 1), p10 = ScaledPoint(scale, 10), p16 = ScaledPoint(scale, 16);
        EXPECT_EQ(p1.x, c.p1.x);
        EXPECT_EQ(p1.y, c.p1.y);
        EXPECT_EQ(p10.x, c.p10.x);
        EXPECT_EQ(p10.y, c.p10.y);
        EXPECT_EQ(p16.x, c.p16.x);
        EXPECT_EQ(p16.y, c.p16.y);
    }
}

TEST(BalloonShape, NegativeOutlineUnitsShiftArithmetically) {
    // (b × -1) >> 16 rounds toward minus infinity: -1, not 0.
    const OutlineScale scale = MakeOutlineScale(101, 63, defaultExtent, 0);
    const Point p = ScaleOutlinePoint(scale, -1, -1);
    EXPECT_EQ(p.x, -3 + 1);         // 157598 × -1 >> 16 = -3
    EXPECT_EQ(p.y, 63 - (-3) + 1);  // 133186 × -1 >> 16 = -3
}

TEST(BalloonShape, WideWindowsDoNotOverflowTheFixedPointProducts) {
    // 40000 × 65536 / 42 × 40 exceeds 32 bits; the point still lands at the right edge.
    const OutlineScale scale = MakeOutlineScale(40000, 30000, defaultExtent, 0);
    const Point p16 = ScaledPoint(scale, 16);  // (40, 20)
    EXPECT_EQ(p16.x, 38095 + 1);               // (62415238 × 40) >> 16
    EXPECT_EQ(p16.y, 30000 - 19354 + 1);       // (63421935 × 20) >> 16
}

TEST(BalloonPlacement, KeepsTheBalloonOnTheScreen) {
    // A 101 by 63 balloon on a 1280 by 1024 screen: maxX = 1178, maxY = 960.
    const struct {
        const char* situation;
        int32_t ax, ay;
        BalloonPlacement expected;
    } cases[] = {
        {"room above and to the right", 300, 400, {300, 337, 0}},
        {"right edge exactly fits", 1178, 400, {1178, 337, 0}},
        {"past the right edge: mirrored", 1179, 400, {1078, 337, FlipLeftRight}},
        {"far right", 1270, 400, {1169, 337, FlipLeftRight}},
        {"top edge exactly fits", 300, 63, {300, 0, 0}},
        {"too close to the top: below", 300, 62, {300, 62, FlipTopBottom}},
        {"top right corner: both", 1200, 10, {1099, 10, FlipLeftRight | FlipTopBottom}},
        {"negative x: held at 0", -50, 400, {0, 337, 0}},
        {"far down: at most maxY", 300, 1100, {300, 960, 0}},
        {"negative y: below", 300, -5, {300, -5, FlipTopBottom}},
    };
    for (const auto& c : cases) {
        const BalloonPlacement p = PlaceBalloon(c.ax, c.ay, 101, 63, 1280, 1024);
        EXPECT_EQ(p.x, c.expected.x) << c.situation;
        EXPECT_EQ(p.y, c.expected.y) << c.situation;
        EXPECT_EQ(p.flipFlags, c.expected.flipFlags) << c.situation;
    }
}

TEST(BalloonTiming, DisplayTimeGrowsWithWords) {
    const struct {
        int32_t words, postDelay, displayTime;
    } cases[] = {
        {8, 4000, 4000},
        {20, 4000, 16000},
        {29, 4000, 20000},
        {1, 4000, 4000},
        {4, 4000, 4000},  // 4 / 5 truncates to 0, raised to 1
        {9, 4000, 4000},
        {10, 4000, 8000},
        {20, 500, 2000},
        {5, 500, 500},
        {5, 60000, 60000},
        // The post-delay is held to 500..60000 before the multiplication.
        {20, 100, 2000},
        {5, 100000, 60000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayTime(c.words, c.postDelay), c.displayTime) << c.words << " words, " << c.postDelay;
    }
}

TEST(BalloonFade, FortyOpacitiesFrom200To5ThenTheWindowGoes) {
    int32_t alpha = ShapedOpacity;
    std::vector<int> applied;
    int switches = 0;
    int steps = 0;
    for (;;) {
        const FadeOutcome f = NextFadeStep(alpha, true);
        ++steps;
        ASSERT_TRUE(f.applyOpacity);
        applied.push_back(f.opacity);
        if (f.switchToSteps) {
            EXPECT_EQ(steps, 1) << "only the first step switches to 40 ms";
            ++switches;
        }
        alpha = f.alpha;
        if (f.destroy) break;
        ASSERT_LT(steps, 100);
    }
    std::vector<int> expected;
    for (int opacity = 200; opacity >= 5; opacity -= 5) expected.push_back(opacity);
    EXPECT_EQ(applied, expected);
    EXPECT_EQ(switches, 1);
    EXPECT_EQ(alpha, 0);
    // The first step comes after the display time; 39 more at 40 ms each.
    EXPECT_EQ((steps - 1) * FadeIntervalMs, 1560);
}

TEST(BalloonFade, StepsFromOddAlphasAndWithoutLayeredWindows) {
    const struct {
        const char* situation;
        int32_t alpha;
        bool canSetOpacity;
        FadeOutcome expected;
    } cases[] = {
        {"no opacity call: the first step destroys", 0, false, {false, 0, false, 0, true}},
        {"a low alpha floors at 0", 3, true, {true, 3, false, 0, true}},
        {"mid fade", 150, true, {true, 150, false, 145, false}},
        {"opacity is the low byte", 300, true, {true, 44, false, 295, false}},
    };
    for (const auto& c : cases) {
        const FadeOutcome f = NextFadeStep(c.alpha, c.canSetOpacity);
        EXPECT_EQ(f.applyOpacity, c.expected.applyOpacity) << c.situation;
        if (f.applyOpacity) {
            EXPECT_EQ(f.opacity, c.expected.opacity) << c.situation;
        }
        EXPECT_EQ(f.switchToSteps, c.expected.switchToSteps) << c.situation;
        EXPECT_EQ(f.alpha, c.expected.alpha) << c.situation;
        EXPECT_EQ(f.destroy, c.expected.destroy) << c.situation;
    }
}
