// Frequencies asked in hertz, as the board can play them: a channel plays
// periods x rate / 1000, with one integer rate (1 to 50000 Hz) for both
// channels and integer periods (1 to 499) per channel. Portable.
#pragma once

#include <cstdint>
#include <optional>

// The highest and lowest frequencies a block can hold.
constexpr double LowestPlannedHertz = 0.001;     // 1 period at 1 Hz
constexpr double HighestPlannedHertz = 24950.0;  // 499 periods at 50000 Hz

struct FrequencyPlan {
    int32_t rate = 0;
    int32_t periods[2] = {};  // for the channels asked; 0 for the others
    bool exact = false;       // every asked frequency plays exactly
};

// Plans the channels given a frequency (hertz[c]; at least one). Exact where
// some rate and periods give every asked frequency: the highest such rate
// (the most samples per period). Otherwise the nearest, the largest relative
// error of the channels being the least, the higher rate winning a tie.
// With `rate`, only the periods are chosen, for that rate.
FrequencyPlan PlanFrequencies(const std::optional<double> hertz[2], std::optional<int32_t> rate);

// What a channel of `periods` plays at `rate`.
double PlayedHertz(int32_t periods, double rate);
