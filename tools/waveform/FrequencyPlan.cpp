#include "FrequencyPlan.h"

#include <algorithm>
#include <cmath>

#include "Waveform.h"
#include "settings/SettingsValues.h"

namespace {
struct Candidate {
    int32_t periods[2] = {};
    double error = 0.0;  // the largest relative error of the asked channels
};

Candidate AtRate(const std::optional<double> hertz[2], int32_t rate) {
    Candidate candidate;
    for (int channel = 0; channel < 2; ++channel) {
        if (!hertz[channel]) continue;
        const double wanted = *hertz[channel];
        const double nearest = std::round(wanted * 1000.0 / rate);
        const int32_t periods = int32_t(std::clamp(nearest, 1.0, double(MaxPeriods)));
        candidate.periods[channel] = periods;
        candidate.error = std::max(candidate.error, std::fabs(PlayedHertz(periods, rate) - wanted) / wanted);
    }
    return candidate;
}
}  // namespace

double PlayedHertz(int32_t periods, double rate) {
    return periods * rate / 1000.0;
}

FrequencyPlan PlanFrequencies(const std::optional<double> hertz[2], std::optional<int32_t> rate) {
    FrequencyPlan plan;
    Candidate best;
    if (rate) {
        plan.rate = *rate;
        best = AtRate(hertz, *rate);
    } else {
        best.error = INFINITY;
        // From the highest rate down: the first exact one is the answer.
        for (int32_t r = MaxSamplingFrequency; r >= MinSamplingFrequency && best.error > 0.0; --r) {
            const Candidate candidate = AtRate(hertz, r);
            if (candidate.error >= best.error) continue;
            best = candidate;
            plan.rate = r;
        }
    }
    plan.periods[0] = best.periods[0];
    plan.periods[1] = best.periods[1];
    plan.exact = best.error == 0.0;
    return plan;
}
