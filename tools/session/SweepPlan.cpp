#include "SweepPlan.h"

#include <cmath>
#include <cstdio>

#include "settings/SettingsValues.h"

namespace {
// More would take hours at the shortest dwell and only fill the memory.
constexpr double MaxSteps = 100000;

std::string Say(const char* format, double a, double b = 0.0, double c = 0.0, double d = 0.0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

std::vector<double> Frequencies(const SweepOptions& o, std::string& problem) {
    std::vector<double> frequencies;
    double count = o.steps;
    if (o.stepGiven) {
        if (o.log) {
            problem = "qorvelctl: sweep: --step is a distance in Hz; with --log give --steps";
            return frequencies;
        }
        // The last step lands on "to" when the distance is a whole number of
        // steps, give or take rounding; it never passes it.
        count = std::floor(std::fabs(o.to - o.from) / o.step + 1e-9) + 1;
    }
    if (count > MaxSteps) {
        problem = Say("qorvelctl: sweep: %.0f steps; at most %.0f", count, MaxSteps);
        return frequencies;
    }
    const auto n = static_cast<int32_t>(count);
    for (int32_t k = 0; k < n; ++k) {
        double f = o.from;
        if (o.stepGiven)
            f = o.from + (o.to >= o.from ? k : -k) * o.step;
        else if (n > 1 && o.log)
            f = o.from * std::pow(o.to / o.from, static_cast<double>(k) / (n - 1));
        else if (n > 1)
            f = o.from + (o.to - o.from) * k / (n - 1);
        frequencies.push_back(f);
    }
    if (o.down) {
        for (size_t i = 0, j = frequencies.size() - 1; i < j; ++i, --j)
            std::swap(frequencies[i], frequencies[j]);
    }
    return frequencies;
}
}  // namespace

SweepPlan PlanSweep(const SweepOptions& o, int32_t periods) {
    SweepPlan plan;
    if (!(o.from > 0) || !(o.to > 0) || !std::isfinite(o.from) || !std::isfinite(o.to)) {
        plan.problem = "qorvelctl: sweep: --from and --to must be frequencies above 0 Hz";
        return plan;
    }
    if (o.stepGiven == (o.steps > 0) || (o.stepGiven && !(o.step > 0))) {
        plan.problem = "qorvelctl: sweep: give either --steps N (1 or more) or --step HZ (above 0)";
        return plan;
    }
    if (!(o.dwellMs >= 1) || o.dwellMs > 3600000) {
        plan.problem = "qorvelctl: sweep: --dwell must be 1 to 3600000 ms";
        return plan;
    }
    if (o.repeat < 1 || o.channel < 1 || o.channel > 2 || periods < 1) {
        plan.problem = "qorvelctl: sweep: --repeat must be 1 or more and --channel 1 or 2";
        return plan;
    }
    const std::vector<double> frequencies = Frequencies(o, plan.problem);
    if (!plan.problem.empty()) return plan;
    if (frequencies.size() * static_cast<double>(o.repeat) > MaxSteps) {
        plan.problem = Say("qorvelctl: sweep: %.0f steps with the repeats; at most %.0f",
                           frequencies.size() * static_cast<double>(o.repeat), MaxSteps);
        return plan;
    }
    std::vector<SweepStep> once;
    for (size_t k = 0; k < frequencies.size(); ++k) {
        const double rate = frequencies[k] * 1000.0 / periods;
        if (!(rate >= MinSamplingFrequency && rate <= MaxSamplingFrequency)) {
            // The periods are named too: the reach of the rate range is theirs.
            char text[256];
            std::snprintf(
                text, sizeof text,
                "qorvelctl: sweep: step %zu, %g Hz, needs a rate of %g Hz, outside 1 to 50000: DAC%d "
                "plays %d periods per block, which reach %g to %g Hz",
                k + 1, frequencies[k], rate, o.channel, periods, periods * 0.001, periods * 50.0);
            plan.problem = text;
            return plan;
        }
        once.push_back({frequencies[k], rate});
    }
    for (int32_t r = 0; r < o.repeat; ++r) plan.steps.insert(plan.steps.end(), once.begin(), once.end());
    return plan;
}
