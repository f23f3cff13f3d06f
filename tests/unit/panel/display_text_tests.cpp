#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "panel/DisplayText.h"

TEST(ChannelDisplay, ShowsVoltsCodeAndChannelFrequency) {
    const struct {
        int32_t amplitude;
        double dacRange;
        int32_t modeIndex;
        double samplingFrequency;
        const char* expected;
    } cases[] = {
        // Volts padded to five characters, the frequency to six.
        {16384, 10.0, 0, 1000.0, " 5.00v [16384]\n  1.00Hz"},
        {32767, 10.0, 0, 1000.0, "10.00v [32767]\n  1.00Hz"},
        {0, 10.0, 0, 1.0, " 0.00v [0]\n  0.00Hz"},
        // 20 periods at 50000 Hz overflows the six-character field unpadded.
        {16384, 10.0, 19, 50000.0, " 5.00v [16384]\n1000.00Hz"},
        {8192, 5.0, 1, 999.5, " 1.25v [8192]\n  2.00Hz"},
        // No periods selection (-1) shows the frequency of 0 periods.
        {16384, 10.0, -1, 1000.0, " 5.00v [16384]\n  0.00Hz"},
        // A negative range is shown as it stands.
        {32767, -2.5, 4, 100.0, "-2.50v [32767]\n  0.50Hz"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(ChannelDisplay(c.amplitude, c.dacRange, c.modeIndex, c.samplingFrequency).text,
                     c.expected)
            << c.amplitude << " " << c.dacRange << " " << c.modeIndex << " " << c.samplingFrequency;
    }
}

TEST(FrequencyDisplay, WholeHertzUpTo1000KilohertzAbove) {
    const struct {
        double samplingFrequency;
        const char* expected;
    } cases[] = {
        {1000.0, "1000Hz"}, {1001.0, "1.00KHz"}, {1.0, "1Hz"},          {50000.0, "50.00KHz"},
        {999.4, "999Hz"},   {1000.5, "1.00KHz"}, {12345.0, "12.35KHz"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(FrequencyDisplay(c.samplingFrequency).text, c.expected) << c.samplingFrequency;
}

// A range or rate far beyond any board prints hundreds of digits; the text is
// cut at the buffer's end, still terminated, and nothing beyond it is touched.
TEST(DisplayText, HugeValuesAreCutAtTheBufferEnd) {
    const DisplayText channel = ChannelDisplay(32767, 1e300, 0, 1000.0);
    ASSERT_EQ(std::strlen(channel.text), DisplayText::capacity - 1);
    EXPECT_EQ(std::string(channel.text, 6), "999969");

    const DisplayText frequency = FrequencyDisplay(1e300);
    ASSERT_EQ(std::strlen(frequency.text), DisplayText::capacity - 1);
    EXPECT_EQ(frequency.text[0], '1');

    const DisplayText wideChannel = ChannelDisplay(1, 10.0, 0, 1e300);
    ASSERT_EQ(std::strlen(wideChannel.text), DisplayText::capacity - 1);
    EXPECT_EQ(std::string(wideChannel.text, 13), " 0.00v [1]\n10");
}
