// qorvelctl's command line: one command per run and its options, checked
// against the panel's ranges before anything reaches the board. Portable.
#pragma once

#include <cstdint>
#include <string>

#include "SweepPlan.h"

enum class CtlCommand { Status, Play, Load, Preview, Rate, Stop, AutoStart, Sweep, Session };

// The exit codes, as --help documents them.
namespace CtlExit {
constexpr int Done = 0;
constexpr int BadArguments = 2;
constexpr int DriverFault = 3;
constexpr int InternalError = 5;  // qorvelctl itself failed (never a driver fault)
constexpr int AttachFailed = -2;  // as the panel's start-up
}  // namespace CtlExit

// One channel's options of play (and of preview without a file). The
// values are as given; "given" tells which were.
struct ChannelOptions {
    std::string shape = "sine";
    bool shapeGiven = false;
    int32_t amplitude = 0;  // --ampN, a code
    bool amplitudeGiven = false;
    double volts = 0.0;  // --voltsN, the peak
    bool voltsGiven = false;
    double peakToPeak = 0.0;  // --vppN
    bool peakToPeakGiven = false;
    int32_t periods = 0;
    bool periodsGiven = false;
    double frequency = 0.0;  // --freqN, hertz
    bool frequencyGiven = false;
    double phase = 0.0;  // degrees
    bool phaseGiven = false;
    double offsetVolts = 0.0;  // --offsetN
    bool offsetVoltsGiven = false;
    int32_t offsetCode = 0;  // --offset-codeN
    bool offsetCodeGiven = false;
    double duty = 50.0;  // percent
    bool dutyGiven = false;
};

struct CtlArguments {
    CtlCommand command = CtlCommand::Status;
    std::string directory;  // --dir; empty for the current folder
    bool json = false;
    bool save = false;
    int32_t rate = 0;
    bool rateGiven = false;
    ChannelOptions channels[2];  // 0 for DAC1, 1 for DAC2
    bool exact = false;          // --exact: no nearest frequency
    std::string file;            // load FILE, preview [FILE]
    std::string units = "volts";
    bool unitsGiven = false;
    int channel = 0;           // load --channel: 1 or 2; 0 when not given
    std::string picture;       // preview --svg, play and load --preview; empty for none
    bool run = false;          // rate --run, autostart --run: as while Start is ticked
    bool autoStartOn = false;  // autostart on|off
    SweepOptions sweep;
};

// What parsing left to do: carry the command out (exitCode -1), or end
// with exitCode, printing text: the help on standard output (0), or what
// was wrong with the arguments on standard error (2).
struct CtlParse {
    int exitCode = -1;
    std::string text;
};

// The words are UTF-8 (the command line's, or a session's line).
CtlParse ParseCtlArguments(int argc, const char* const* argv, CtlArguments& arguments);

// Volts as the code the panel would show for them (code x dacRange /
// 32768, rounded to the nearest code). False, with why in problem, for a
// value outside lowest (0 for an amplitude, -32768 for an offset) to the
// largest code's volts.
bool VoltsToCode(const std::string& option, double volts, double dacRange, int32_t lowest, int32_t& code,
                 std::string& problem);
