// A frequency sweep: the frequencies one channel steps through and the
// common rates that give them. Portable; the timing and the requests are the
// command's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SweepOptions {
    double from = 0.0;  // Hz, the named channel's first frequency
    double to = 0.0;    // Hz, its last
    int32_t steps = 0;  // --steps: this many frequencies, from and to included
    double step = 0.0;  // --step: this far apart (from, from + step, ... up to to)
    bool stepGiven = false;
    double dwellMs = 0.0;  // how long each step plays
    bool log = false;      // the steps spaced evenly on a log scale (with --steps)
    bool down = false;     // from "to" down to "from"
    int32_t channel = 1;   // the channel whose frequency is named: 1 or 2
    int32_t repeat = 1;    // the whole sequence this many times
};

struct SweepStep {
    double frequency;  // Hz, the named channel's
    double rate;       // Hz, the common rate asked for it
};

struct SweepPlan {
    std::vector<SweepStep> steps;  // in the order they play, repeats included
    std::string problem;           // why there is no plan; empty when there is one
};

// The steps of a sweep for a channel that plays `periods` periods per block
// (frequency = periods x rate / 1000). A step whose rate falls outside
// 1..50000 Hz is named, and there are no steps then.
SweepPlan PlanSweep(const SweepOptions& options, int32_t periods);
