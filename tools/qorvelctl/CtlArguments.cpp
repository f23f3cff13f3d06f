#include "CtlArguments.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>

#include "settings/SettingsValues.h"

namespace {
constexpr char Footer[] =
    "Each run attaches to the board as QorvelGen does (QorvelGen.cfg, the same\n"
    "registry key), carries out one command and releases the board; the board\n"
    "keeps playing what it was told. Values a command is not given come from\n"
    "QorvelGen.sav, else the panel's start values. QorvelGen.sav is written only\n"
    "with --save.\n"
    "\n"
    "Exit codes:\n"
    "  0   done\n"
    "  2   bad arguments: the option and its range are named on standard error;\n"
    "      nothing was sent to the board\n"
    "  -2  the board could not be attached (shown as 254 or 4294967294 by some\n"
    "      shells): the panel's message, if it has one, on standard error; no\n"
    "      request was sent. A board opened by another program answers so.\n"
    "  3   the driver faulted inside the write or run request; the fault was\n"
    "      caught, the board's state is unknown\n";

void AddChannelOptions(CLI::App& play, CtlArguments& arguments, int channel) {
    const std::string n = std::to_string(channel + 1);
    CLI::Option* code =
        play.add_option("--amp" + n, arguments.amplitude[channel], "DAC" + n + " amplitude code, 0 to 32767")
            ->check(CLI::Range(0, MaxAmplitudeCode));
    CLI::Option* volts =
        play.add_option("--volts" + n, arguments.volts[channel],
                        "DAC" + n + " amplitude in volts, 0 to the DAC range (instead of --amp" + n + ")");
    code->excludes(volts);
    play.add_option("--periods" + n, arguments.periods[channel],
                    "DAC" + n + " sine periods per block, 1 to 20")
        ->check(CLI::Range(1, MaxModeIndex + 1));
}

CLI::Option* AddRateOption(CLI::App& command, CtlArguments& arguments) {
    return command.add_option("--rate", arguments.rate, "sampling frequency in Hz, 1 to 50000")
        ->check(CLI::Range(MinSamplingFrequency, MaxSamplingFrequency));
}
}  // namespace

CtlParse ParseCtlArguments(int argc, const char* const* argv, CtlArguments& arguments) {
    CLI::App app{"qorvelctl: drives the QorvelGen board from scripts, one command per run", "qorvelctl"};
    app.footer(Footer);
    // At most one command; none is refused after parsing, so that a word
    // that is no command is named as such rather than as a missing one.
    app.require_subcommand(0, 1);
    app.fallthrough();  // the common options may follow the command too
    app.add_option("--dir", arguments.directory,
                   "the folder of QorvelGen.cfg and QorvelGen.sav (default: current)");
    app.add_flag("--json", arguments.json,
                 "print one JSON object: the values applied and read back, the result");

    CLI::App* status =
        app.add_subcommand("status", "device name, number, serial, ranges and presence; no request");
    CLI::App* play =
        app.add_subcommand("play", "apply the rate, write the panel's block for these values, run it");
    CLI::Option* playRate = AddRateOption(*play, arguments);
    for (int channel = 0; channel < 2; ++channel) AddChannelOptions(*play, arguments, channel);
    CLI::App* rate =
        app.add_subcommand("rate", "apply a sampling frequency; with --run, run the block in the board");
    rate->add_option("HZ", arguments.rate, "sampling frequency in Hz, 1 to 50000")
        ->required()
        ->check(CLI::Range(MinSamplingFrequency, MaxSamplingFrequency));
    rate->add_flag("--run", arguments.run, "run the block already in the board at the rate in effect");
    CLI::App* stop = app.add_subcommand("stop", "the stop request");
    CLI::App* autoStart =
        app.add_subcommand("autostart", "switch the board's power-on auto-start, as the panel's two buttons");
    std::string onOff;
    autoStart->add_option("MODE", onOff, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
    CLI::Option* autoStartRate = AddRateOption(*autoStart, arguments);
    for (CLI::App* saving : {play, rate, autoStart})
        saving->add_flag("--save", arguments.save,
                         "write the values used into QorvelGen.sav, as the panel at exit");

    const auto badArguments = [](const std::string& problem) -> CtlParse {
        return {CtlExit::BadArguments, "qorvelctl: " + problem + "\nRun qorvelctl --help for more.\n"};
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return {CtlExit::Done, app.help()};
    } catch (const CLI::ParseError& error) {
        return badArguments(error.what());
    }
    if (app.get_subcommands().empty())
        return badArguments("a command is needed: status, play, rate, stop or autostart");

    arguments.command = status->parsed() ? CtlCommand::Status
                        : play->parsed() ? CtlCommand::Play
                        : rate->parsed() ? CtlCommand::Rate
                        : stop->parsed() ? CtlCommand::Stop
                                         : CtlCommand::AutoStart;
    arguments.rateGiven = rate->parsed() || playRate->count() > 0 || autoStartRate->count() > 0;
    for (int channel = 0; channel < 2; ++channel) {
        const std::string n = std::to_string(channel + 1);
        arguments.amplitudeGiven[channel] = play->get_option("--amp" + n)->count() > 0;
        arguments.voltsGiven[channel] = play->get_option("--volts" + n)->count() > 0;
        arguments.periodsGiven[channel] = play->get_option("--periods" + n)->count() > 0;
    }
    arguments.autoStartOn = onOff == "on";
    return {};
}

bool VoltsToCode(const char* option, double volts, double dacRange, int32_t& code, std::string& problem) {
    const double perCode = dacRange / 32768.0;
    const double top = MaxAmplitudeCode * perCode;
    const double nearest = std::floor(volts / perCode + 0.5);
    if (std::isfinite(nearest) && volts >= 0.0 && nearest <= MaxAmplitudeCode) {
        code = static_cast<int32_t>(nearest);
        return true;
    }
    char text[256];
    std::snprintf(text, sizeof text, "qorvelctl: %s: %g V is outside 0 to %.4f V (DACRange %g V)\n", option,
                  volts, top, dacRange);
    problem = text;
    return false;
}
