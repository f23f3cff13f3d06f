#include "CtlArguments.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "FrequencyPlan.h"
#include "Waveform.h"
#include "settings/SettingsValues.h"

namespace {
constexpr char Footer[] =
    "Each run attaches to the board as QorvelGen does (QorvelGen.cfg, the same\n"
    "registry key), carries out one command and releases the board; the board\n"
    "keeps playing what it was told. Values a command is not given come from\n"
    "QorvelGen.sav, else the panel's start values. QorvelGen.sav is written only\n"
    "with --save. Each command sends what the panel sends for one action: play\n"
    "and load as Write and then ticking Start (rate, stop, stop, write, rate,\n"
    "stop, run); rate as moving the frequency slider with Start clear (rate,\n"
    "stop), with --run as with Start ticked (rate, stop, run); stop as clearing\n"
    "Start (rate, stop); autostart as the panel's button with Start clear (rate,\n"
    "stop, the switch; then the board takes a second), with --run as with Start\n"
    "ticked (rate, stop, run, the switch).\n"
    "\n"
    "session attaches once and then reads one command a line from standard input\n"
    "(the words after qorvelctl, as here; # starts a comment line; quit or the end\n"
    "of input ends it) and answers each with one JSON line, the object --json\n"
    "prints, its exit code in \"exit\". A session remembers what it last played:\n"
    "what a command is not given is what the one before left.\n"
    "sweep steps the common rate so that one channel's frequency (--channel, DAC1\n"
    "by default) goes --from HZ --to HZ in --steps N (--log: evenly on a log\n"
    "scale) or by --step HZ, each step --dwell MS long on a steady clock, --down\n"
    "from the top, --repeat N times; each step is the rate with read-back, a\n"
    "stop and a run, and prints one line (JSON with --json and in a session) as\n"
    "it begins. The block in the board stays; the last step keeps playing.\n"
    "Ctrl+C ends a sweep at the step it is on.\n"
    "\n"
    "Waveforms (play, preview): per channel N (1 or 2) a shape (--shapeN sine,\n"
    "square, triangle, ramp or dc), a peak (--ampN CODE, --voltsN V or --vppN V\n"
    "peak to peak), --periodsN (1 to 499 in the block of 1000 pairs) or --freqN HZ,\n"
    "a start phase --phaseN DEG, an offset --offsetN V or --offset-codeN CODE, and\n"
    "for a square --dutyN PERCENT. --freq picks the highest rate whose whole\n"
    "periods give every asked frequency exactly, else the nearest (the text says\n"
    "its error; --exact refuses it); with --rate it picks the periods. A sample\n"
    "beyond 16 bits is refused, never clipped. Sines from phase 0 without an\n"
    "offset are the panel's block; --save keeps only such a block.\n"
    "load FILE plays a CSV file (one or two columns, DAC1 and DAC2, an optional\n"
    "header; comma-separated, or semicolons with a decimal comma; volts unless\n"
    "--units codes or fraction) or a WAV file (16-, 24-, 32-bit integer or 32-bit\n"
    "float, mono or stereo, at its own rate unless --rate), of 1000 rows or a\n"
    "number that divides 1000, repeated to fill the block. preview draws the\n"
    "block that would be written into an SVG file, without the board (the DAC\n"
    "range from QorvelGen.cfg, else 10 V); --preview FILE draws it on play and load.\n"
    "\n"
    "Examples:\n"
    "  qorvelctl play --freq1 1000 --volts1 5 --freq2 1000 --volts2 5 --phase2 90\n"
    "  qorvelctl play --freq1 1000 --shape1 square --duty1 10 --volts1 2.5\n"
    "  qorvelctl load table.csv --rate 20000 --preview table.svg\n"
    "  qorvelctl preview --freq1 440 --shape1 triangle --amp1 20000 --svg tone.svg\n"
    "\n"
    "Exit codes:\n"
    "  0   done\n"
    "  2   bad arguments, a file that holds no block, or a sample beyond 16 bits:\n"
    "      what and where are named on standard error; nothing was sent to the board\n"
    "  -2  the board could not be attached (shown as 254 or 4294967294 by some\n"
    "      shells): the panel's message, if it has one, on standard error; no\n"
    "      request was sent. A board opened by another program answers so.\n"
    "  3   the driver faulted inside a request or the release; the fault was\n"
    "      caught, the board's state is unknown\n"
    "  5   qorvelctl itself failed (out of memory, say); the board's state is unknown\n";

const std::string ChannelOptionNames[] = {"--shape", "--amp",   "--volts",  "--vpp",         "--periods",
                                          "--freq",  "--phase", "--offset", "--offset-code", "--duty"};

void AddChannelOptions(CLI::App& command, ChannelOptions& options, int channel) {
    const std::string n = std::to_string(channel + 1), dac = "DAC" + n + " ";
    command
        .add_option("--shape" + n, options.shape, dac + "shape: sine (default), square, triangle, ramp, dc")
        ->check(CLI::IsMember({"sine", "square", "triangle", "ramp", "dc"}));
    CLI::Option* code =
        command.add_option("--amp" + n, options.amplitude, dac + "peak as a code, 0 to 32767")
            ->check(CLI::Range(0, MaxAmplitudeCode));
    CLI::Option* volts =
        command.add_option("--volts" + n, options.volts, dac + "peak in volts, 0 to the DAC range")
            ->check(CLI::NonNegativeNumber);
    CLI::Option* peakToPeak = command
                                  .add_option("--vpp" + n, options.peakToPeak,
                                              dac + "peak to peak in volts, 0 to twice the DAC range")
                                  ->check(CLI::NonNegativeNumber);
    code->excludes(volts)->excludes(peakToPeak);
    volts->excludes(peakToPeak);
    CLI::Option* periods = command
                               .add_option("--periods" + n, options.periods,
                                           dac + "periods per block, 1 to " + std::to_string(MaxPeriods) +
                                               " (the panel: 1 to 20)")
                               ->check(CLI::Range(1, MaxPeriods));
    command
        .add_option("--freq" + n, options.frequency,
                    dac + "frequency in Hz, 0.001 to 24950, instead of --periods" + n +
                        ": picks the rate and the periods")
        ->check(CLI::Range(LowestPlannedHertz, HighestPlannedHertz))
        ->excludes(periods);
    command.add_option("--phase" + n, options.phase, dac + "start phase in degrees, -360 to 360 (default 0)")
        ->check(CLI::Range(-360.0, 360.0));
    CLI::Option* offset = command.add_option("--offset" + n, options.offsetVolts, dac + "DC offset in volts")
                              ->check(CLI::Number);
    command.add_option("--offset-code" + n, options.offsetCode, dac + "DC offset as a code, -32768 to 32767")
        ->check(CLI::Range(-32768, 32767))
        ->excludes(offset);
    command
        .add_option("--duty" + n, options.duty, dac + "square: percent of the period that is high, 1 to 99")
        ->check(CLI::Range(1.0, 99.0));
}

// The given-ness of a channel's options, once parsed.
std::string TakeChannelOptions(CLI::App& command, ChannelOptions& options, int channel) {
    const std::string n = std::to_string(channel + 1);
    const auto given = [&](const char* name) { return command.get_option(name + n)->count() > 0; };
    options.amplitudeGiven = given("--amp");
    options.voltsGiven = given("--volts");
    options.peakToPeakGiven = given("--vpp");
    options.periodsGiven = given("--periods");
    options.frequencyGiven = given("--freq");
    options.offsetVoltsGiven = given("--offset");
    options.shapeGiven = given("--shape");
    options.phaseGiven = given("--phase");
    options.offsetCodeGiven = given("--offset-code");
    options.dutyGiven = given("--duty");
    if (options.dutyGiven && options.shapeGiven && options.shape != "square")
        return "--duty" + n + " goes with --shape" + n + " square";
    return "";
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
    CLI::App* play = app.add_subcommand(
        "play", "apply the rate, write the block of these shapes (the panel's sines by default), run it");
    CLI::App* load =
        app.add_subcommand("load", "apply the rate, write a block from a CSV or WAV file, run it");
    CLI::App* preview = app.add_subcommand(
        "preview", "draw the block that play (or load, given a FILE) would write; no board");
    load->add_option("FILE", arguments.file, "CSV (one or two columns) or WAV (mono or stereo)")->required();
    preview->add_option("FILE", arguments.file, "a CSV or WAV file, as for load; without it, play's shapes");
    CLI::Option* rateOptions[3];
    CLI::App* writing[3] = {play, load, preview};
    for (int i = 0; i < 3; ++i) rateOptions[i] = AddRateOption(*writing[i], arguments);
    for (CLI::App* shapes : {play, preview}) {
        for (int channel = 0; channel < 2; ++channel)
            AddChannelOptions(*shapes, arguments.channels[channel], channel);
        shapes->add_flag("--exact", arguments.exact, "refuse a --freq that no rate and periods give exactly");
    }
    for (CLI::App* file : {load, preview}) {
        file->add_option("--units", arguments.units,
                         "a CSV file's values: volts (default), codes, fraction (-1 to 1)")
            ->check(CLI::IsMember({"volts", "codes", "fraction"}));
        file->add_option("--channel", arguments.channel,
                         "the DAC of a one-column file or a mono WAV: 1 (default) or 2")
            ->check(CLI::Range(1, 2));
    }
    for (CLI::App* drawing : {play, load})
        drawing->add_option("--preview", arguments.picture, "also draw the block written into this SVG file");
    preview->add_option("--svg", arguments.picture, "the SVG file to draw into")->required();
    CLI::App* rate = app.add_subcommand(
        "rate", "a new sampling frequency, as the panel's slider: rate, stop; --run: and run");
    rate->add_option("HZ", arguments.rate, "sampling frequency in Hz, 1 to 50000")
        ->required()
        ->check(CLI::Range(MinSamplingFrequency, MaxSamplingFrequency));
    rate->add_flag("--run", arguments.run, "run the block already in the board at the rate in effect");
    CLI::App* stop = app.add_subcommand("stop", "stop the board, as clearing the Start box: rate, stop");
    CLI::App* autoStart =
        app.add_subcommand("autostart", "switch the board's power-on auto-start, as the panel's two buttons");
    std::string onOff;
    autoStart->add_option("MODE", onOff, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
    CLI::Option* autoStartRate = AddRateOption(*autoStart, arguments);
    autoStart->add_flag("--run", arguments.run,
                        "as with the Start box ticked: run the block before the switch");
    CLI::App* sweep = app.add_subcommand(
        "sweep", "step the common rate so that one channel's frequency goes from one value to another");
    SweepOptions& s = arguments.sweep;
    sweep->add_option("--from", s.from, "the channel's first frequency in Hz")->required();
    sweep->add_option("--to", s.to, "its last frequency in Hz")->required();
    CLI::Option* steps = sweep->add_option("--steps", s.steps, "this many steps, --from and --to included")
                             ->check(CLI::Range(1, 100000));
    sweep->add_option("--step", s.step, "steps this many Hz apart (not with --log)")->excludes(steps);
    sweep->add_option("--dwell", s.dwellMs, "how long each step plays, in ms (1 to 3600000)")->required();
    sweep->add_flag("--log", s.log, "steps evenly spaced on a log scale");
    sweep->add_option("--channel", s.channel, "the channel whose frequency is named: 1 (default) or 2")
        ->check(CLI::Range(1, 2));
    sweep->add_flag("--down", s.down, "from --to down to --from");
    sweep->add_option("--repeat", s.repeat, "the whole sweep this many times (default 1)")
        ->check(CLI::Range(1, 100000));
    CLI::App* session = app.add_subcommand(
        "session", "attach once, then carry out one command a line from standard input, one JSON line each");
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
        return badArguments(
            "a command is needed: status, play, load, preview, rate, stop, autostart, sweep or session");

    arguments.command = status->parsed()    ? CtlCommand::Status
                        : play->parsed()    ? CtlCommand::Play
                        : load->parsed()    ? CtlCommand::Load
                        : preview->parsed() ? CtlCommand::Preview
                        : rate->parsed()    ? CtlCommand::Rate
                        : stop->parsed()    ? CtlCommand::Stop
                        : sweep->parsed()   ? CtlCommand::Sweep
                        : session->parsed() ? CtlCommand::Session
                                            : CtlCommand::AutoStart;
    s.stepGiven = sweep->get_option("--step")->count() > 0;
    arguments.rateGiven = rate->parsed() || autoStartRate->count() > 0;
    for (CLI::Option* option : rateOptions) arguments.rateGiven = arguments.rateGiven || option->count() > 0;
    const bool shapes = play->parsed() || (preview->parsed() && arguments.file.empty());
    CLI::App* shapesCommand = play->parsed() ? play : preview;
    bool frequencies = false;
    for (int channel = 0; channel < 2 && (play->parsed() || preview->parsed()); ++channel) {
        const std::string problem = TakeChannelOptions(*shapesCommand, arguments.channels[channel], channel);
        if (!problem.empty()) return badArguments(problem);
        frequencies = frequencies || arguments.channels[channel].frequencyGiven;
        if (!shapes &&
            std::any_of(std::begin(ChannelOptionNames), std::end(ChannelOptionNames),
                        [&](const std::string& name) {
                            return shapesCommand->get_option(name + std::to_string(channel + 1))->count() > 0;
                        }))
            return badArguments("preview FILE draws the file; the channel options go without one");
    }
    if (arguments.exact && !frequencies) return badArguments("--exact goes with --freq1 or --freq2");
    CLI::App* fileCommand = load->parsed() ? load : preview;
    arguments.unitsGiven = fileCommand->get_option("--units")->count() > 0;
    if (shapes && (arguments.unitsGiven || fileCommand->get_option("--channel")->count() > 0))
        return badArguments("--units and --channel go with a FILE");
    arguments.autoStartOn = onOff == "on";
    return {};
}

bool VoltsToCode(const std::string& option, double volts, double dacRange, int32_t lowest, int32_t& code,
                 std::string& problem) {
    const double perCode = dacRange / 32768.0;
    const double nearest = std::floor(volts / perCode + 0.5);
    if (std::isfinite(nearest) && nearest >= lowest && nearest <= MaxAmplitudeCode) {
        code = static_cast<int32_t>(nearest);
        return true;
    }
    char text[256];
    std::snprintf(text, sizeof text, "%s: %g V is outside %g to %.4f V (DACRange %g V)", option.c_str(),
                  volts, lowest * perCode, MaxAmplitudeCode * perCode, dacRange);
    problem = text;
    return false;
}
