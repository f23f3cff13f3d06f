#include "panel/DisplayText.h"

#include <cstdarg>
#include <cstdio>

namespace {
[[gnu::format(printf, 1, 2)]] DisplayText Format(const char* format, ...) {
    DisplayText display;
    va_list args;
    va_start(args, format);
    std::vsnprintf(display.text, sizeof display.text, format, args);
    va_end(args);
    return display;
}
}  // namespace

DisplayText ChannelDisplay(int32_t appliedAmplitude, double dacRange, int32_t modeIndex,
                           double samplingFrequency) {
    const double voltsPerCode = dacRange * (1.0 / 32768.0);
    return Format("%5.2fv [%d]\n%6.2fHz", appliedAmplitude * voltsPerCode, appliedAmplitude,
                  (modeIndex + 1) * samplingFrequency * 0.001);
}

DisplayText FrequencyDisplay(double samplingFrequency) {
    if (samplingFrequency > 1000.0) return Format("%.2fKHz", samplingFrequency * 0.001);
    return Format("%.0fHz", samplingFrequency);
}
