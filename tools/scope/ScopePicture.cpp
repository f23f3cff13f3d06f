#include "ScopePicture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

double CodeToVolts(int code, double rangeVolts) {
    return code * rangeVolts / 32768.0;
}

std::string Decimal(double value, int maxFraction) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", maxFraction, value);
    std::string result = text;
    if (result.find('.') != std::string::npos) {
        result.erase(result.find_last_not_of('0') + 1);
        if (result.back() == '.') result.pop_back();
    }
    return result == "-0" ? "0" : result;
}

ChannelMeasurement MeasureChannel(const PlayedCycle& cycle, int channel) {
    ChannelMeasurement m;
    const size_t pairs = cycle.Pairs();
    if (pairs == 0) return m;
    m.highest = m.lowest = cycle.Value(channel, 0);
    double sum = 0.0;
    for (size_t i = 0; i < pairs; ++i) {
        const int value = cycle.Value(channel, i);
        m.peakCode = std::max(m.peakCode, std::abs(value));
        m.highest = std::max(m.highest, value);
        m.lowest = std::min(m.lowest, value);
        sum += value;
    }
    m.mean = sum / double(pairs);
    m.peakVolts = CodeToVolts(m.peakCode, cycle.rangeVolts);

    // The cycle's spectrum, bin by bin up to half the pairs: the strongest
    // bin is the fundamental. One table of the unit circle serves every bin.
    std::vector<double> cosines(pairs), sines(pairs);
    for (size_t i = 0; i < pairs; ++i) {
        const double angle = 2.0 * std::numbers::pi * double(i) / double(pairs);
        cosines[i] = std::cos(angle);
        sines[i] = std::sin(angle);
    }
    // Weaker than half a code of amplitude is no component at all.
    double strongest = 0.5 * 0.5 * double(pairs);
    for (size_t k = 1; k <= pairs / 2; ++k) {
        double c = 0.0, s = 0.0;
        for (size_t i = 0, step = 0; i < pairs; ++i, step = (step + k) % pairs) {
            const double value = cycle.Value(channel, i) - m.mean;
            c += value * cosines[step];
            s += value * sines[step];
        }
        const double magnitude = std::hypot(c, s);
        if (magnitude > strongest * (1.0 + 1e-9)) {
            strongest = magnitude;
            m.periods = int(k);
            // A sin(2 pi k i / n + phase) gives c = A n/2 sin(phase), s = A n/2 cos(phase).
            m.phaseDegrees = std::atan2(c, s) * 180.0 / std::numbers::pi;
        }
    }
    m.frequency = m.periods * cycle.rate / double(pairs);
    return m;
}

std::optional<double> RelativePhase(const ChannelMeasurement& dac1, const ChannelMeasurement& dac2) {
    if (dac1.periods == 0 || dac1.periods != dac2.periods) return std::nullopt;
    double phase = std::fmod(dac2.phaseDegrees - dac1.phaseDegrees, 360.0);
    if (phase <= -180.0) phase += 360.0;
    if (phase > 180.0) phase -= 360.0;
    return phase;
}
