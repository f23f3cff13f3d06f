// One cycle of what the board's two DACs hold, the measurements taken from
// it and its scope picture. Portable and without outside libraries:
// boardscope draws what the board played, qorvelctl the block it would write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The full-scale volts when nothing says otherwise.
constexpr double DefaultRangeVolts = 10.0;

struct PlayedCycle {
    double rate = 0.0;  // board samples (pairs) per second
    double rangeVolts = DefaultRangeVolts;
    std::vector<int16_t> cycle;  // one cycle, pairs interleaved, DAC1 first

    size_t Pairs() const { return cycle.size() / 2; }
    int16_t Value(int channel, size_t pair) const { return cycle[2 * pair + channel]; }
};

struct ChannelMeasurement {
    int peakCode = 0;  // largest |value| in the cycle
    double peakVolts = 0.0;
    int highest = 0;  // the largest and smallest values
    int lowest = 0;
    double mean = 0.0;  // codes: the channel's offset
    // The fundamental: the strongest frequency component, as periods a cycle
    // (0 for a channel that holds one level) and in hertz at the cycle's rate.
    int periods = 0;
    double frequency = 0.0;
    // The fundamental's phase in degrees against a sine that starts at the
    // cycle's first sample; meaningless when periods is 0.
    double phaseDegrees = 0.0;
};

// channel 0 is DAC1, 1 is DAC2.
ChannelMeasurement MeasureChannel(const PlayedCycle& cycle, int channel);

// DAC2's phase against DAC1's in degrees, above -180 and up to 180, when both
// have the same fundamental; nothing otherwise.
std::optional<double> RelativePhase(const ChannelMeasurement& dac1, const ChannelMeasurement& dac2);

double CodeToVolts(int code, double rangeVolts);

// At most maxFraction decimals, trailing zeros dropped: "20000", "999.5".
std::string Decimal(double value, int maxFraction);

// Both channels over `cycles` cycles on a dark screen with a grid, volts at
// the left, milliseconds below, a legend above; `caption` is its second line.
// One polyline point per sample, to a thousandth of a pixel, so the samples
// read back from the picture.
std::string ScopeSvg(const PlayedCycle& cycle, int cycles, const std::string& caption);
