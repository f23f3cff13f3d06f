// qorvelctl: drives the board from a command line, one command per run,
// through the panel's own code: the same attach, the same request filling,
// synthesis and write/run guard, the same settings files. Where the panel
// shows attach's messages in a box, this prints them on standard error.
// play, load and preview build their block before the board is attached
// (or, for volts that only the board's range gives, right after it), so a
// refusal sends nothing.
#include <windows.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

#include "win/BlockFileReader.h"
#include "win/ConsoleOutput.h"
#include "CtlArguments.h"
#include "CtlBlock.h"
#include "ScopePicture.h"
#include "device/win/DeviceAttach.h"
#include "device/DriverKey.h"
#include "device/win/GeneratorCommands.h"
#include "panel/DisplayText.h"
#include "panel/PanelValues.h"
#include "settings/ConfigFiles.h"
#include "settings/SettingsValues.h"

namespace {
constexpr char ConfigurationFile[] = "QorvelGen.cfg";
constexpr char SavedStateFile[] = "QorvelGen.sav";

// What the panel's application record holds of the settings and the device.
struct CtlState : Configuration, GeneratorDevice, SavedState {};

// Attach's message, kept for standard error and the JSON object.
class ConsoleReport final : public AttachReport {
public:
    void DeviceRefused(const char* message) override { this->message = message; }
    std::string message;
};

const char* CommandName(CtlCommand command) {
    switch (command) {
    case CtlCommand::Status: return "status";
    case CtlCommand::Play: return "play";
    case CtlCommand::Load: return "load";
    case CtlCommand::Preview: return "preview";
    case CtlCommand::Rate: return "rate";
    case CtlCommand::Stop: return "stop";
    case CtlCommand::AutoStart: return "autostart";
    }
    return "";
}

bool WritesABlock(CtlCommand command) {
    return command == CtlCommand::Play || command == CtlCommand::Load || command == CtlCommand::Preview;
}

// One display's text on one line.
std::string OneLine(const DisplayText& display) {
    std::string text = display.text;
    for (char& c : text)
        if (c == '\n') c = ' ';
    return text;
}

std::string PhaseText(double degrees) {
    char text[32];
    std::snprintf(text, sizeof text, "%g\xB0", degrees);  // the degree sign of code page 1251
    return text;
}

class Session {
public:
    explicit Session(const CtlArguments& arguments) : options(arguments) {
        summary["command"] = CommandName(arguments.command);
    }

    int Run();
    // Prints the report (text or JSON) and gives the exit code.
    int Finish(int exitCode, const char* outcome);

private:
    int Fail(int exitCode, const char* outcome, const std::string& message) {
        // The message in its own code page for the console, UTF-8 in JSON.
        Print(OutputStream::Error, message, Cp1251);
        std::string text = Utf8From1251(message);
        while (!text.empty() && text.back() == '\n') text.pop_back();
        summary["message"] = text;
        return Finish(exitCode, outcome);
    }
    int Refuse(const std::string& problem) {
        return Fail(CtlExit::BadArguments, "bad arguments", "qorvelctl: " + problem + "; nothing was sent\n");
    }
    bool Attach(int& exitCode);
    bool PlanBlock(double dacRange, int& exitCode);
    bool DrawPreview(double dacRange, int& exitCode);
    void TakeChosenValues();
    void ApplyRate();
    bool Reload(bool write, int& exitCode);
    bool WriteAndRun(int& exitCode);
    void ReportChannels();
    void Line(const std::string& text) { printed += text + "\n"; }

    const CtlArguments& options;
    CtlState record;
    std::optional<FileBlock> file;  // load's and preview's FILE
    std::optional<CtlBlock> planned;
    nlohmann::json summary;
    std::string printed;
};

bool Session::Attach(int& exitCode) {
    ConsoleReport report;
    if (AttachDevice(record, record.DeviceName, record.Device, record.ADCRange, record.DACRange, report)) {
        summary["device"] = {{"name", Utf8From1251(record.DeviceName)},
                             {"number", record.Device},
                             {"serial", record.deviceInfo},
                             {"adcRange", record.ADCRange},
                             {"dacRange", record.DACRange}};
        return true;
    }
    // The panel ends silently where no driver answers; a script is told
    // where the program looked.
    if (report.message.empty()) {
        char key[512];
        BuildDriverKeyPath(record.DeviceName, key, sizeof key);
        report.message = "qorvelctl: no board driver answers at HKEY_LOCAL_MACHINE\\" + std::string(key) +
                         " (value \"path\")";
    }
    exitCode = Fail(CtlExit::AttachFailed, "attach failed", report.message + "\n");
    return false;
}

// The block of play, load or preview, with the range its volts need.
bool Session::PlanBlock(double dacRange, int& exitCode) {
    CtlBlock block;
    std::string problem;
    if (!PlanCtlBlock(options, file ? &*file : nullptr, dacRange, record, block, problem)) {
        exitCode = Refuse(problem);
        return false;
    }
    planned = block;
    return true;
}

// The block that is written, both channels in volts over one block, drawn
// by the code that draws what the board played.
bool Session::DrawPreview(double dacRange, int& exitCode) {
    if (options.picture.empty()) return true;
    PlayedCycle cycle;
    cycle.rate = planned->rate;
    cycle.rangeVolts = dacRange;
    cycle.cycle.assign(planned->block.values, planned->block.values + PlayedValues);
    const std::string caption = "preview of the block qorvelctl writes: one cycle of " +
                                std::to_string(SamplePairs) + " pairs at " + std::to_string(planned->rate) +
                                " Hz, full scale " + Decimal(dacRange, 3) + " V";
    std::ofstream picture(options.picture, std::ios::binary | std::ios::trunc);
    picture << ScopeSvg(cycle, 1, caption);
    picture.close();
    if (!picture) {
        exitCode = Refuse("--preview: cannot write " + options.picture);
        return false;
    }
    summary["preview"] = options.picture;
    return true;
}

// The values the command was given over those of the saved state, held in
// the panel's ranges as the panel holds them: the rate, and play's
// amplitudes and periods, which --save keeps.
void Session::TakeChosenValues() {
    if (planned) {
        record.FreqIndex = planned->rate;
        if (!planned->fromFile) {
            record.AmplitudeIndex1 = planned->waves[0].amplitude;
            record.AmplitudeIndex2 = planned->waves[1].amplitude;
            record.ModeIndex1 = planned->waves[0].periods - 1;
            record.ModeIndex2 = planned->waves[1].periods - 1;
        }
    } else if (options.rateGiven) {
        record.FreqIndex = options.rate;
    }
    ClampChosenValues(record, record.appliedAmplitude1, record.appliedAmplitude2);
}

// As every change on the panel: the chosen rate applied, the board's own
// taken back.
void Session::ApplyRate() {
    record.samplingFrequency = record.FreqIndex;
    ApplySamplingFrequency(record, record.samplingFrequency);
    summary["rateRequested"] = record.FreqIndex;
    summary["rate"] = record.samplingFrequency;
    Line("rate    " + OneLine(FrequencyDisplay(record.samplingFrequency)));
}

bool Session::Reload(bool write, int& exitCode) {
    if (ReloadGenerator(record, record.ModeIndex1, record.ModeIndex2, write)) return true;
    exitCode = Fail(CtlExit::DriverFault, "driver fault",
                    std::string("qorvelctl: the driver faulted inside the ") + (write ? "write" : "run") +
                        " request; caught, the board's state is unknown\n");
    return false;
}

// The panel's Write (stop, write) with the planned block, then its Start
// (stop, run).
bool Session::WriteAndRun(int& exitCode) {
    ApplyRate();
    if (!WriteGivenBlock(record, planned->block)) {
        exitCode =
            Fail(CtlExit::DriverFault, "driver fault",
                 "qorvelctl: the driver faulted inside the write request; caught, the board's state is "
                 "unknown\n");
        return false;
    }
    if (!Reload(false, exitCode)) return false;
    ReportChannels();
    return true;
}

// Each channel as the panel's display shows it (at the rate in effect), and
// what else it plays.
void Session::ReportChannels() {
    const CtlBlock& block = *planned;
    const double rate = record.samplingFrequency;
    const double perCode = record.DACRange / 32768.0;
    PlayedCycle cycle;
    cycle.rangeVolts = record.DACRange;
    cycle.cycle.assign(block.block.values, block.block.values + PlayedValues);
    nlohmann::json channels = nlohmann::json::array();
    for (int channel = 0; channel < 2; ++channel) {
        const std::string dac = "DAC" + std::to_string(channel + 1);
        const int32_t periods = block.Periods(channel);
        const double hertz = PlayedHertz(periods, rate);
        const ChannelWave& wave = block.waves[channel];
        nlohmann::json entry;
        int32_t shown = wave.amplitude;
        std::string extra;
        if (block.fromFile) {
            const ChannelMeasurement m = MeasureChannel(cycle, channel);
            shown = m.peakCode;
            entry = {{"shape", "file"},      {"amplitude", m.peakCode},
                     {"volts", m.peakVolts}, {"peakToPeak", (m.highest - m.lowest) * perCode},
                     {"offset", nullptr},    {"offsetVolts", nullptr},
                     {"phase", nullptr},     {"duty", nullptr}};
            extra = std::string(periods == 1 ? " cycle" : " cycles") + " of the file, highest " +
                    std::to_string(m.highest) + ", lowest " + std::to_string(m.lowest);
        } else {
            const bool dc = wave.shape == WaveShape::Dc;
            const bool square = wave.shape == WaveShape::Square;
            entry = {{"shape", ShapeName(wave.shape)},
                     {"amplitude", wave.amplitude},
                     {"volts", wave.amplitude * perCode},
                     {"peakToPeak", dc ? 0.0 : 2 * wave.amplitude * perCode},
                     {"offset", wave.offset},
                     {"offsetVolts", wave.offset * perCode},
                     {"phase", wave.phase},
                     {"duty", square ? nlohmann::json(wave.duty) : nlohmann::json(nullptr)}};
            extra = periods == 1 ? " period" : " periods";
            if (!(wave.shape == WaveShape::Sine)) extra += std::string(", ") + ShapeName(wave.shape);
            if (square) extra += ", duty " + Decimal(wave.duty, 3) + " %";
            if (wave.phase != 0.0) extra += ", phase " + PhaseText(wave.phase);
            if (wave.offset != 0) {
                char offset[64];
                std::snprintf(offset, sizeof offset, ", offset %.2fv [%d]", wave.offset * perCode,
                              wave.offset);
                extra += offset;
            }
        }
        Line(dac + "    " + OneLine(ChannelDisplay(shown, record.DACRange, periods - 1, rate)) + "  (" +
             std::to_string(periods) + extra + ")");
        entry["periods"] = periods;
        entry["frequency"] = hertz;
        if (const std::optional<double> asked = block.askedHertz[channel]) {
            entry["frequencyAsked"] = *asked;
            entry["frequencyError"] = hertz - *asked;
            if (hertz != *asked)
                Line("note    " + dac + ": " + Decimal(*asked, 4) + " Hz asked, " + Decimal(hertz, 6) +
                     " Hz plays (error " + (hertz > *asked ? "+" : "") + Decimal(hertz - *asked, 6) +
                     " Hz, " + Decimal((hertz - *asked) / *asked * 100, 4) + " %)");
        }
        channels.push_back(entry);
    }
    summary["channels"] = channels;
}

int Session::Run() {
    if (!options.directory.empty() && !SetCurrentDirectoryA(options.directory.c_str()))
        return Fail(CtlExit::BadArguments, "bad arguments",
                    "qorvelctl: --dir: cannot enter the folder " + options.directory + "\n");
    // As the panel: the files by their names in the folder it started in.
    const DWORD length = GetCurrentDirectoryA(sizeof record.workingDirectory, record.workingDirectory);
    if (length == 0 || length >= sizeof record.workingDirectory) record.workingDirectory[0] = '\0';
    ReadConfiguration(record, ConfigurationFile);
    ReadSavedState(record, SavedStateFile);

    int exitCode = CtlExit::Done;
    const bool writes = WritesABlock(options.command);
    if (writes && !options.file.empty()) {
        FileUnits units = FileUnits::Volts;
        UnitsFromName(options.units, units);
        FileBlock read;
        std::string problem;
        if (!ReadBlockFile(options.file, units, read, problem)) return Refuse(problem);
        file = std::move(read);
    }
    // The volts' range: the configuration's, which attach keeps, else the
    // board's answer; a preview without one takes 10 V.
    const double knownRange = record.DACRange > 0   ? record.DACRange
                              : record.ADCRange > 0 ? record.ADCRange
                                                    : 0.0;
    const bool preview = options.command == CtlCommand::Preview;
    if (writes && (knownRange > 0 || preview || !BlockNeedsRange(options, file ? &*file : nullptr))) {
        const double range = knownRange > 0 ? knownRange : DefaultRangeVolts;
        if (!PlanBlock(range, exitCode) || !DrawPreview(range, exitCode)) return exitCode;
    }
    if (preview) {
        record.samplingFrequency = planned->rate;
        record.DACRange = knownRange > 0 ? knownRange : DefaultRangeVolts;
        summary["rate"] = record.samplingFrequency;
        Line("rate    " + OneLine(FrequencyDisplay(record.samplingFrequency)));
        ReportChannels();
        Line("preview " + options.picture);
        return Finish(CtlExit::Done, "done");
    }

    if (!Attach(exitCode)) return exitCode;
    // Volts that only the board's range gives: still nothing has been sent.
    if (writes && !planned &&
        (!PlanBlock(record.DACRange, exitCode) || !DrawPreview(record.DACRange, exitCode)))
        return exitCode;
    TakeChosenValues();
    switch (options.command) {
    case CtlCommand::Status: {
        uint32_t present = 1;  // a driver that leaves it untouched counts as present, as in the panel's poll
        record.device->table->GetInfo(record.device, InfoItem::Presence, &present);
        summary["device"]["present"] = present != 0;
        char ranges[128];
        std::snprintf(ranges, sizeof ranges, "ADC range %g V, DAC range %g V", record.ADCRange,
                      record.DACRange);
        Line("device  " + std::string(record.DeviceName) + ", number " + std::to_string(record.Device));
        Line("serial  " + std::to_string(record.deviceInfo));
        Line(std::string("ranges  ") + ranges);
        Line(std::string("present ") + (present ? "yes" : "no"));
        break;
    }
    case CtlCommand::Play:
    case CtlCommand::Load:
        if (!WriteAndRun(exitCode)) return exitCode;
        if (!options.picture.empty()) Line("preview " + options.picture);
        break;
    case CtlCommand::Preview: break;  // drawn above, without the board
    case CtlCommand::Rate:
        ApplyRate();
        summary["run"] = options.run;
        if (options.run && !Reload(false, exitCode)) return exitCode;
        if (options.run) Line("running the block in the board");
        break;
    case CtlCommand::Stop:
        StopGenerator(record);
        Line("stopped");
        break;
    case CtlCommand::AutoStart:
        // The panel's buttons: the controls applied (rate, stop), then the
        // switch, which the board takes in a second.
        ApplyRate();
        StopGenerator(record);
        GeneratorCommand(record, options.autoStartOn ? AutoStartOn : AutoStartOff, record.samplingFrequency);
        summary["autoStart"] = options.autoStartOn ? "on" : "off";
        Line(std::string("auto-start ") + (options.autoStartOn ? "on" : "off"));
        break;
    }
    if (options.save) {
        // As the panel at exit: the device goes first, then the file.
        ReleaseDevice(record);
        WriteSavedState(record, SavedStateFile);
        summary["saved"] = true;
        Line(std::string("saved   ") + SavedStateFile);
    }
    return Finish(CtlExit::Done, "done");
}

int Session::Finish(int exitCode, const char* outcome) {
    summary["result"] = outcome;
    summary["exit"] = exitCode;
    if (options.json)
        Print(OutputStream::Standard, summary.dump() + "\n", Utf8);
    else
        Print(OutputStream::Standard, printed, Cp1251);
    return exitCode;
}
}  // namespace

int main(int argc, char** argv) {
    CtlArguments arguments;
    const CtlParse parse = ParseCtlArguments(argc, argv, arguments);
    if (parse.exitCode == CtlExit::Done) {
        Print(OutputStream::Standard, parse.text, Cp1251);
        return parse.exitCode;
    }
    if (parse.exitCode == CtlExit::BadArguments) {
        Print(OutputStream::Error, parse.text, Cp1251);
        // A script that asked for JSON gets its object, as for every other end.
        for (int i = 1; i < argc; ++i) {
            if (std::string(argv[i]) != "--json") continue;
            nlohmann::json result = {{"result", "bad arguments"},
                                     {"exit", CtlExit::BadArguments},
                                     {"message", Utf8From1251(parse.text.substr(0, parse.text.find('\n')))}};
            Print(OutputStream::Standard, result.dump() + "\n", Utf8);
            break;
        }
        return parse.exitCode;
    }
    return Session(arguments).Run();
}
