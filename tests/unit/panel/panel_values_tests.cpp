#include <gtest/gtest.h>

#include "panel/PanelValues.h"

TEST(SignedLowWord, ReadsTheLowWordAsSigned) {
    const struct {
        intptr_t answer;
        int32_t expected;
    } cases[] = {
        {0, 0},
        {1, 1},
        {0xFFFF, -1},  // a step of -1 with only the low word filled in
        {-1, -1},      // the same step sign-extended
        {0x8000, -32768},
        {0x7FFF, 32767},
        {0x10001, 1},  // the high word never counts
        {0x0032FFCE, -50},
    };
    for (const auto& c : cases) EXPECT_EQ(SignedLowWord(c.answer), c.expected) << c.answer;
}

TEST(ClampChosenValues, HoldsValuesInRangeAndAppliesTheAmplitudes) {
    const struct {
        int32_t amplitude1, amplitude2, frequency;
        int32_t expected1, expected2, expectedFrequency;
    } cases[] = {
        {16384, 100, 1000, 16384, 100, 1000},
        {-1, 32768, 0, 0, 32767, 1},
        {0, 32767, 50001, 0, 32767, 50000},
        {INT32_MIN, INT32_MAX, INT32_MIN, 0, 32767, 1},
        {5, 6, 1, 5, 6, 1},
        {7, 8, 50000, 7, 8, 50000},
    };
    for (const auto& c : cases) {
        SavedState state;
        state.AmplitudeIndex1 = c.amplitude1;
        state.AmplitudeIndex2 = c.amplitude2;
        state.FreqIndex = c.frequency;
        state.ModeIndex1 = 25;  // the periods selection is not this function's business
        int32_t applied1 = -5, applied2 = -5;
        ClampChosenValues(state, applied1, applied2);
        EXPECT_EQ(state.AmplitudeIndex1, c.expected1);
        EXPECT_EQ(applied1, c.expected1);
        EXPECT_EQ(state.AmplitudeIndex2, c.expected2);
        EXPECT_EQ(applied2, c.expected2);
        EXPECT_EQ(state.FreqIndex, c.expectedFrequency);
        EXPECT_EQ(state.ModeIndex1, 25);
    }
}
