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
    explicit Session(const CtlArguments& arguments) : arguments_(arguments) {
        result_["command"] = CommandName(arguments.command);
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
        result_["message"] = text;
        return Finish(exitCode, outcome);
    }
    bool Attach(int& exitCode);
    bool TakeChosenValues(int& exitCode);
    void ApplyRate();
    bool Reload(bool write, int& exitCode);
    void ReportChannels();
    void Line(const std::string& text) { text_ += text + "\n"; }

    const CtlArguments& arguments_;
    CtlState state_;
    nlohmann::json result_;
    std::string text_;
};

bool Session::Attach(int& exitCode) {
    ConsoleReport report;
    if (AttachDevice(state_, state_.DeviceName, state_.Device, state_.ADCRange, state_.DACRange, report)) {
        result_["device"] = {{"name", Utf8From1251(state_.DeviceName)},
                             {"number", state_.Device},
                             {"serial", state_.deviceInfo},
                             {"adcRange", state_.ADCRange},
                             {"dacRange", state_.DACRange}};
        return true;
    }
    // The panel ends silently where no driver answers; a script is told
    // where the program looked.
    if (report.message.empty()) {
        char key[512];
        BuildDriverKeyPath(state_.DeviceName, key, sizeof key);
        report.message = "qorvelctl: no board driver answers at HKEY_LOCAL_MACHINE\\" + std::string(key) +
                         " (value \"path\")";
    }
    exitCode = Fail(CtlExit::AttachFailed, "attach failed", report.message + "\n");
    return false;
}

// The values the command was given over those of the saved state, held in
// the panel's ranges as the panel holds them.
bool Session::TakeChosenValues(int& exitCode) {
    if (arguments_.rateGiven) state_.FreqIndex = arguments_.rate;
    int32_t* amplitudes[2] = {&state_.AmplitudeIndex1, &state_.AmplitudeIndex2};
    int32_t* modes[2] = {&state_.ModeIndex1, &state_.ModeIndex2};
    for (int channel = 0; channel < 2; ++channel) {
        if (arguments_.amplitudeGiven[channel]) *amplitudes[channel] = arguments_.amplitude[channel];
        if (arguments_.periodsGiven[channel]) *modes[channel] = arguments_.periods[channel] - 1;
        if (!arguments_.voltsGiven[channel]) continue;
        // Volts need the DAC range, known only once the board is attached;
        // still nothing has been sent.
        std::string problem;
        const char* option = channel == 0 ? "--volts1" : "--volts2";
        if (!VoltsToCode(option, arguments_.volts[channel], state_.DACRange, *amplitudes[channel], problem)) {
            exitCode = Fail(CtlExit::BadArguments, "bad arguments", problem);
            return false;
        }
    }
    ClampChosenValues(state_, state_.appliedAmplitude1, state_.appliedAmplitude2);
    return true;
}

// As every change on the panel: the chosen rate applied, the board's own
// taken back.
void Session::ApplyRate() {
    state_.samplingFrequency = state_.FreqIndex;
    ApplySamplingFrequency(state_, state_.samplingFrequency);
    result_["rateRequested"] = state_.FreqIndex;
    result_["rate"] = state_.samplingFrequency;
    Line("rate    " + OneLine(FrequencyDisplay(state_.samplingFrequency)));
}

bool Session::Reload(bool write, int& exitCode) {
    if (ReloadGenerator(state_, state_.ModeIndex1, state_.ModeIndex2, write)) return true;
    exitCode = Fail(CtlExit::DriverFault, "driver fault",
                    std::string("qorvelctl: the driver faulted inside the ") + (write ? "write" : "run") +
                        " request; caught, the board's state is unknown\n");
    return false;
}

void Session::ReportChannels() {
    const int32_t applied[2] = {state_.appliedAmplitude1, state_.appliedAmplitude2};
    const int32_t modes[2] = {state_.ModeIndex1, state_.ModeIndex2};
    nlohmann::json channels = nlohmann::json::array();
    for (int channel = 0; channel < 2; ++channel) {
        channels.push_back({{"amplitude", applied[channel]},
                            {"volts", applied[channel] * (state_.DACRange / 32768.0)},
                            {"periods", modes[channel] + 1},
                            {"frequency", (modes[channel] + 1) * state_.samplingFrequency * 0.001}});
        Line("DAC" + std::to_string(channel + 1) + "    " +
             OneLine(ChannelDisplay(applied[channel], state_.DACRange, modes[channel], state_.samplingFrequency)) +
             "  (" + std::to_string(modes[channel] + 1) + (modes[channel] ? " periods)" : " period)"));
    }
    result_["channels"] = channels;
}

int Session::Run() {
    if (!arguments_.directory.empty() && !SetCurrentDirectoryA(arguments_.directory.c_str()))
        return Fail(CtlExit::BadArguments, "bad arguments",
                    "qorvelctl: --dir: cannot enter the folder " + arguments_.directory + "\n");
    // As the panel: the files by their names in the folder it started in.
    const DWORD length = GetCurrentDirectoryA(sizeof state_.workingDirectory, state_.workingDirectory);
    if (length == 0 || length >= sizeof state_.workingDirectory) state_.workingDirectory[0] = '\0';
    ReadConfiguration(state_, ConfigurationFile);
    ReadSavedState(state_, SavedStateFile);

    int exitCode = CtlExit::Done;
    if (!Attach(exitCode)) return exitCode;
    if (!TakeChosenValues(exitCode)) return exitCode;
    switch (arguments_.command) {
    case CtlCommand::Status: {
        uint32_t present = 1;  // a driver that leaves it untouched counts as present, as in the panel's poll
        state_.device->table->GetInfo(state_.device, InfoItem::Presence, &present);
        result_["device"]["present"] = present != 0;
        char ranges[128];
        std::snprintf(ranges, sizeof ranges, "ADC range %g V, DAC range %g V", state_.ADCRange, state_.DACRange);
        Line("device  " + std::string(state_.DeviceName) + ", number " + std::to_string(state_.Device));
        Line("serial  " + std::to_string(state_.deviceInfo));
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
        result_["run"] = arguments_.run;
        if (arguments_.run && !Reload(false, exitCode)) return exitCode;
        if (arguments_.run) Line("running the block in the board");
        break;
    case CtlCommand::Stop:
        StopGenerator(state_);
        Line("stopped");
        break;
    case CtlCommand::AutoStart:
        // The panel's buttons: the controls applied (rate, stop), then the
        // switch, which the board takes in a second.
        ApplyRate();
        StopGenerator(state_);
        GeneratorCommand(state_, arguments_.autoStartOn ? AutoStartOn : AutoStartOff, state_.samplingFrequency);
        result_["autoStart"] = arguments_.autoStartOn ? "on" : "off";
        Line(std::string("auto-start ") + (arguments_.autoStartOn ? "on" : "off"));
        break;
    }
    if (arguments_.save) {
        // As the panel at exit: the device goes first, then the file.
        ReleaseDevice(state_);
        WriteSavedState(state_, SavedStateFile);
        result_["saved"] = true;
        Line(std::string("saved   ") + SavedStateFile);
    }
    return Finish(CtlExit::Done, "done");
}

int Session::Finish(int exitCode, const char* outcome) {
    result_["result"] = outcome;
    result_["exit"] = exitCode;
    if (arguments_.json)
        Print(OutputStream::Standard, result_.dump() + "\n", Utf8);
    else
        Print(OutputStream::Standard, text_, Cp1251);
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
            nlohmann::json result = {{"result", "bad arguments"}, {"exit", CtlExit::BadArguments},
                                     {"message", Utf8From1251(parse.text.substr(0, parse.text.find('\n')))}};
            Print(OutputStream::Standard, result.dump() + "\n", Utf8);
            break;
        }
        return parse.exitCode;
    }
    return Session(arguments).Run();
}
