// qorvelctl's command line: one command per run and its options, checked
// against the panel's ranges before anything reaches the board. Portable.
#pragma once

#include <cstdint>
#include <string>

enum class CtlCommand { Status, Play, Rate, Stop, AutoStart };

// The exit codes, as --help documents them.
namespace CtlExit {
constexpr int Done = 0;
constexpr int BadArguments = 2;
constexpr int DriverFault = 3;
constexpr int AttachFailed = -2;  // as the panel's start-up
}  // namespace CtlExit

struct CtlArguments {
    CtlCommand command = CtlCommand::Status;
    std::string directory;  // --dir; empty for the current folder
    bool json = false;
    bool save = false;
    // Values a command may be given; "given" tells which were. Channel
    // values are indexed 0 for DAC1, 1 for DAC2.
    int32_t rate = 0;
    bool rateGiven = false;
    int32_t amplitude[2] = {};
    bool amplitudeGiven[2] = {};
    int32_t periods[2] = {};
    bool periodsGiven[2] = {};
    double volts[2] = {};
    bool voltsGiven[2] = {};
    bool run = false;          // rate --run
    bool autoStartOn = false;  // autostart on|off
};

// What parsing left to do: carry the command out (exitCode -1), or end
// with exitCode, printing text: the help on standard output (0), or what
// was wrong with the arguments on standard error (2).
struct CtlParse {
    int exitCode = -1;
    std::string text;
};

CtlParse ParseCtlArguments(int argc, const char* const* argv, CtlArguments& arguments);

// An amplitude in volts as the code the panel would show for it
// (code x dacRange / 32768, rounded to the nearest code). False, with why in
// problem, for a value outside 0 to the largest code's volts.
bool VoltsToCode(const char* option, double volts, double dacRange, int32_t& code, std::string& problem);
