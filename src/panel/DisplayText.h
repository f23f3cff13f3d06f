// The texts of the panel's three live displays. Portable: the formatting and
// its arithmetic are tested natively; the panel only draws the result.
#pragma once

#include <cstddef>
#include <cstdint>

// One display's text. Formatting is bounded: a huge DACRange from the
// configuration, or a huge rate read back from the device, is cut at the
// buffer's end instead of running past it.
struct DisplayText {
    static constexpr size_t capacity = 256;
    char text[capacity];
};

// A channel display: output volts and the amplitude code over the channel's
// frequency, e.g. " 5.00v [16384]\n  1.00Hz". modeIndex is the periods
// selection (periods - 1); -1, no selection, shows 0 Hz.
DisplayText ChannelDisplay(int32_t appliedAmplitude, double dacRange, int32_t modeIndex,
                           double samplingFrequency);

// The sampling-frequency display: whole hertz up to 1000 Hz, kilohertz above.
DisplayText FrequencyDisplay(double samplingFrequency);
