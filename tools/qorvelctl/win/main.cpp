// qorvelctl: drives the board from a command line, one command per run,
// through the panel's own code: the same attach, the same request filling,
// synthesis and write/run guard, the same settings files. Where the panel
// shows attach's messages in a box, this prints them on standard error.
#include <windows.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

#include "win/ConsoleOutput.h"
#include "CtlArguments.h"
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
    case CtlCommand::Rate: return "rate";
    case CtlCommand::Stop: return "stop";
    case CtlCommand::AutoStart: return "autostart";
    }
    return "";
}

// One display's text on one line.
std::string OneLine(const DisplayText& display) {
    std::string text = display.text;
    for (char& c : text)
        if (c == '\n') c = ' ';
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
    bool Attach(int& exitCode);
    bool TakeChosenValues(int& exitCode);
    void ApplyRate();
    bool Reload(bool write, int& exitCode);
    void ReportChannels();
    void Line(const std::string& text) { printed += text + "\n"; }

    const CtlArguments& options;
    CtlState record;
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

// The values the command was given over those of the saved state, held in
// the panel's ranges as the panel holds them.
bool Session::TakeChosenValues(int& exitCode) {
    if (options.rateGiven) record.FreqIndex = options.rate;
    int32_t* amplitudes[2] = {&record.AmplitudeIndex1, &record.AmplitudeIndex2};
    int32_t* modes[2] = {&record.ModeIndex1, &record.ModeIndex2};
    for (int channel = 0; channel < 2; ++channel) {
        if (options.amplitudeGiven[channel]) *amplitudes[channel] = options.amplitude[channel];
        if (options.periodsGiven[channel]) *modes[channel] = options.periods[channel] - 1;
        if (!options.voltsGiven[channel]) continue;
        // Volts need the DAC range, known only once the board is attached;
        // still nothing has been sent.
        std::string problem;
        const char* option = channel == 0 ? "--volts1" : "--volts2";
        if (!VoltsToCode(option, options.volts[channel], record.DACRange, *amplitudes[channel], problem)) {
            exitCode = Fail(CtlExit::BadArguments, "bad arguments", problem);
            return false;
        }
    }
    ClampChosenValues(record, record.appliedAmplitude1, record.appliedAmplitude2);
    return true;
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

void Session::ReportChannels() {
    const int32_t applied[2] = {record.appliedAmplitude1, record.appliedAmplitude2};
    const int32_t modes[2] = {record.ModeIndex1, record.ModeIndex2};
    nlohmann::json channels = nlohmann::json::array();
    for (int channel = 0; channel < 2; ++channel) {
        channels.push_back({{"amplitude", applied[channel]},
                            {"volts", applied[channel] * (record.DACRange / 32768.0)},
                            {"periods", modes[channel] + 1},
                            {"frequency", (modes[channel] + 1) * record.samplingFrequency * 0.001}});
        Line("DAC" + std::to_string(channel + 1) + "    " +
             OneLine(ChannelDisplay(applied[channel], record.DACRange, modes[channel],
                                    record.samplingFrequency)) +
             "  (" + std::to_string(modes[channel] + 1) + (modes[channel] ? " periods)" : " period)"));
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
    if (!Attach(exitCode)) return exitCode;
    if (!TakeChosenValues(exitCode)) return exitCode;
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
        ApplyRate();
        // The panel's Write (stop, write), then its Start (stop, run).
        if (!Reload(true, exitCode) || !Reload(false, exitCode)) return exitCode;
        ReportChannels();
        break;
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
