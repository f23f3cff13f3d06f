// What the virtual board's two DACs played, rebuilt from its JSON-lines log,
// and the measurements taken from it. Portable: no window system, no output
// formats here.
//
// A run request (selector 1, mode 2 without a buffer) plays the last block
// written before it (mode 2 with a buffer) as a cycle of the run's `count`
// values (pairs, DAC1 first) at the run's rate, from its `t` until the next
// stop (mode 0), run request, `Release` or `Create`, or the end of the log.
// Auto-start requests only set what the board plays at power-on: the board
// keeps playing (or not) as before, so they are listed, never played.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ScopePicture.h"

// A log that cannot be played: the message names the line where it can.
class LogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class RunEnd { Stop, NextRun, Release, NewDevice, EndOfLog };

// One run; its cycle holds the range the board answered for item 53
// (DefaultRangeVolts without an answer).
struct BoardRun : PlayedCycle {
    size_t line = 0;       // the run request's line, from 1
    size_t blockLine = 0;  // the write it plays
    int64_t start = 0;     // milliseconds since the device's Create
    int64_t end = 0;
    RunEnd endedBy = RunEnd::EndOfLog;
    size_t endLine = 0;  // 0 when the log ends first

    int64_t DurationMs() const { return end - start; }
};

struct AutoStartRequest {
    size_t line = 0;
    int64_t t = 0;
    bool on = false;
    double rate = 0.0;  // the rate it keeps for power-on (0 for off)
};

struct Playback {
    std::vector<BoardRun> runs;
    std::vector<AutoStartRequest> autoStarts;
    std::vector<size_t> blindRuns;  // lines of runs with no block written to their device
    size_t writes = 0;
};

// Reads a whole log. Throws LogError for a line that is not JSON, a field of
// the wrong kind, a value outside 16 bits, a block whose size does not fit
// its count or its run, a run that cannot play, or a log without a write or
// without a run after one. A run before any write to its device is skipped
// (listed in blindRuns): the log cannot say what the board held.
Playback ReadPlayback(std::istream& log);

// The run the picture and the sound show: the last that lasted at least a
// millisecond (the program's stop-and-run sequences leave runs of 0 ms
// before a write), else the last of all.
const BoardRun& LastPlayedRun(const Playback& playback);

// What a 16-bit WAV file of a run holds: the board's samples one per frame,
// the header rate the nearest whole hertz.
struct WavPlan {
    int headerRate = 0;
    bool rateRounded = false;
    int64_t frames = 0;
    bool cut = false;  // the run played longer than the seconds asked for
};

// Throws LogError when the run's rate rounds to 0 Hz.
WavPlan PlanWav(const BoardRun& run, double maxSeconds);
