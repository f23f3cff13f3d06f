// The scope picture: a dark screen with a grid, the volt axis at the left,
// the time axis in milliseconds below, both traces and a legend above.
#include <cmath>
#include <vector>

#include "ScopePicture.h"

namespace {
constexpr double Width = 960, Height = 540;
constexpr double Left = 80, Right = Width - 30, Top = 80, Bottom = Height - 60;
const char* const TraceColours[2] = {"#ffd54f", "#4fc3f7"};

// A grid step of 1, 2 or 5 times a power of ten giving about eight divisions.
double GridStep(double span) {
    const double raw = span / 8.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double normal = raw / magnitude;
    return magnitude * (normal < 1.5 ? 1.0 : normal < 3.5 ? 2.0 : normal < 7.5 ? 5.0 : 10.0);
}

// Multiples of step from low to high, both ends included when they fall on it.
std::vector<double> Ticks(double low, double high, double step) {
    std::vector<double> ticks;
    const double slack = step * 1e-9;
    for (double k = std::ceil((low - slack) / step); k * step <= high + slack; ++k) ticks.push_back(k * step);
    return ticks;
}

std::string Coordinate(double value) {
    return Decimal(value, 2);
}

std::string Text(double x, double y, const char* anchor, const char* colour, const std::string& text) {
    return "<text x=\"" + Coordinate(x) + "\" y=\"" + Coordinate(y) + "\" text-anchor=\"" + anchor +
           "\" fill=\"" + colour + "\">" + text + "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2, const char* colour) {
    return "<line x1=\"" + Coordinate(x1) + "\" y1=\"" + Coordinate(y1) + "\" x2=\"" + Coordinate(x2) +
           "\" y2=\"" + Coordinate(y2) + "\" stroke=\"" + colour + "\"/>\n";
}
}  // namespace

std::string ScopeSvg(const PlayedCycle& run, int cycles, const std::string& caption) {
    const size_t points = cycles * run.Pairs();
    const double spanMs = points * 1000.0 / run.rate;
    const double range = run.rangeVolts;
    auto x = [&](double ms) { return Left + ms / spanMs * (Right - Left); };
    auto y = [&](double volts) { return (Top + Bottom) / 2 - volts / range * (Bottom - Top) / 2; };

    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"960\" height=\"540\" viewBox=\"0 0 960 540\" "
        "font-family=\"sans-serif\" font-size=\"13\">\n"
        "<rect width=\"960\" height=\"540\" fill=\"#0b0f14\"/>\n";

    svg += "<g class=\"grid\">\n";
    for (const double ms : Ticks(0.0, spanMs, GridStep(spanMs))) {
        svg += Line(x(ms), Top, x(ms), Bottom, "#263238");
        svg += Text(x(ms), Bottom + 18, "middle", "#b0bec5", Decimal(ms, 3));
    }
    for (const double volts : Ticks(-range, range, GridStep(2 * range))) {
        svg += Line(Left, y(volts), Right, y(volts), volts == 0.0 ? "#546e7a" : "#263238");
        svg += Text(Left - 8, y(volts) + 4, "end", "#b0bec5", Decimal(volts, 3));
    }
    svg += "</g>\n";
    svg += Text((Left + Right) / 2, Height - 14, "middle", "#b0bec5", "time, ms");
    svg += "<text x=\"20\" y=\"" + Coordinate((Top + Bottom) / 2) +
           "\" text-anchor=\"middle\" fill=\"#b0bec5\" transform=\"rotate(-90 20 " +
           Coordinate((Top + Bottom) / 2) + ")\">volts</text>\n";

    for (int channel = 0; channel < 2; ++channel) {
        svg += "<polyline class=\"trace\" id=\"dac" + std::to_string(channel + 1) +
               "\" fill=\"none\" stroke=\"" + TraceColours[channel] + "\" stroke-width=\"1.5\" points=\"";
        for (size_t i = 0; i < points; ++i) {
            if (i) svg += ' ';
            const double volts = CodeToVolts(run.Value(channel, i % run.Pairs()), range);
            svg += Decimal(x(i * 1000.0 / run.rate), 3) + "," + Decimal(y(volts), 3);
        }
        svg += "\"/>\n";
    }

    svg += "<g class=\"legend\">\n";
    for (int channel = 0; channel < 2; ++channel) {
        const ChannelMeasurement m = MeasureChannel(run, channel);
        svg += Text(Left + channel * 300, 30, "start", TraceColours[channel],
                    "DAC" + std::to_string(channel + 1) + ": " + Decimal(m.frequency, 4) + " Hz, peak " +
                        Decimal(m.peakVolts, 3) + " V (code " + std::to_string(m.peakCode) + ")");
    }
    svg += Text(Right, 30, "end", "#eceff1", "rate " + Decimal(run.rate, 3) + " Hz");
    svg += Text(Left, 56, "start", "#90a4ae", caption);
    svg += "</g>\n</svg>\n";
    return svg;
}
