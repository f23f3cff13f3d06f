// qorvelctl: drives the board from a command line through the panel's own
// code: the same attach, the same request filling, synthesis and write/run
// guard, the same settings files. Where the panel shows attach's messages in
// a box, this prints them on standard error. One command a run, or a session
// of many over one attach. play, load and preview build their block before
// the board is attached (or, for volts that only the board's range gives,
// right after it), so a refusal sends nothing.
//
// Every text here is UTF-8: the command line is taken wide and turned into
// UTF-8, a session's lines are UTF-8, and the program's 1251 texts (attach's
// messages, the device name) are converted where they come in.
#include <windows.h>
#include <psapi.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "win/BlockFileReader.h"
#include "win/ConsoleOutput.h"
#include "CtlArguments.h"
#include "CtlBlock.h"
#include "ScopePicture.h"
#include "SessionLine.h"
#include "SweepPlan.h"
#include "device/win/DeviceAttach.h"
#include "device/DriverKey.h"
#include "device/win/GeneratorCommands.h"
#include "device/win/RequestGuard.h"
#include "panel/DisplayText.h"
#include "panel/PanelValues.h"
#include "settings/ConfigFiles.h"
#include "settings/FileAccess.h"
#include "settings/SettingsReader.h"
#include "settings/SettingsValues.h"

namespace {
constexpr char ConfigurationFile[] = "QorvelGen.cfg";
constexpr char SavedStateFile[] = "QorvelGen.sav";

// Ctrl+C (or Ctrl+Break, or the console closing): a sweep ends at the step
// it is on and the board is released.
std::atomic<bool> interrupted{false};

BOOL WINAPI OnConsoleBreak(DWORD) {
    interrupted = true;
    return TRUE;
}

// Neither an uncaught exception nor the C runtime's abort may end qorvelctl
// with 3, the code of a caught driver fault.
[[noreturn]] void InternalError() {
    Print(OutputStream::Error, "qorvelctl: internal error; the board's state is unknown\n", Utf8);
    std::_Exit(CtlExit::InternalError);
}

void OnAbortSignal(int) {
    InternalError();
}

// The board and what it was last told: the panel's application record of
// the settings and the device, for one command or a whole session.
struct Board : Configuration, GeneratorDevice, SavedState {
    bool savedStateRead = false;          // QorvelGen.sav was there
    std::optional<CtlBlock> lastPlayed;   // a session's last play or load
    std::optional<ChannelWave> waves[2];  // a session's last shapes
    bool session = false;
};

// Attach's message, kept for standard error and the JSON object.
class ConsoleReport final : public AttachReport {
public:
    void DeviceRefused(const char* message) override { this->message = Utf8From1251(message); }
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
    case CtlCommand::Sweep: return "sweep";
    case CtlCommand::Session: return "session";
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
    std::snprintf(text, sizeof text, "%g\xC2\xB0", degrees);
    return text;
}

// Milliseconds on the steady clock.
double Now() {
    static const double perMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / perMs;
}

// The handles the process holds: the system's count where it gives one,
// else (this Wine answers 0) the handle values that name an open object,
// probed up to a long run of free ones.
DWORD CountHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
    count = 0;
    DWORD flags = 0;
    for (uintptr_t value = 4, free = 0; free < 1024; value += 4) {
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            free = 0;
        } else {
            ++free;
        }
    }
    return count;
}

// Releases the device under the guard: a driver that faulted in a request
// may fault again on its way out. After such a fault the device and its
// library are given up, not touched again. True when the release returned.
bool ReleaseGuarded(Board& board) {
    if (CallGuarded([](void* context) { ReleaseDevice(*static_cast<Board*>(context)); }, &board)) return true;
    board.device = nullptr;
    board.driverLibrary = nullptr;
    board.factoryEntry = nullptr;
    return false;
}

// Standard input line by line, for a session; and, between a sweep's steps,
// whether it has ended, without waiting for it. A thread of its own reads
// it, so this holds for every kind of input: a pipe, a file, a console.
class InputLines {
public:
    InputLines() : changed(CreateEventW(nullptr, FALSE, FALSE, nullptr)) { InitializeCriticalSection(&lock); }
    InputLines(const InputLines&) = delete;
    InputLines& operator=(const InputLines&) = delete;
    // The reader may still wait in its read: the process ends it.

    bool Next(std::string& line) {
        Start();
        for (;;) {
            EnterCriticalSection(&lock);
            const size_t end = buffer.find('\n');
            const bool whole = end != std::string::npos, last = !whole && ended;
            if (whole) {
                line = buffer.substr(0, end);
                buffer.erase(0, end + 1);
            } else if (last) {
                line.swap(buffer);
                buffer.clear();
            }
            LeaveCriticalSection(&lock);
            if (whole) return true;
            if (last) return !line.empty();
            WaitForSingleObject(changed, INFINITE);
        }
    }

    // True once no line can come any more: the input is closed and every
    // line of it taken.
    bool Ended() {
        EnterCriticalSection(&lock);
        const bool over = ended && buffer.empty();
        LeaveCriticalSection(&lock);
        return over;
    }

private:
    void Start() {
        if (reader || !changed) return;
        reader = CreateThread(nullptr, 0, Read, this, 0, nullptr);
        if (!reader) ended = true;
    }

    static DWORD WINAPI Read(void* context) {
        auto& self = *static_cast<InputLines*>(context);
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        char chunk[4096];
        for (;;) {
            DWORD got = 0;
            const bool read = ReadFile(input, chunk, sizeof chunk, &got, nullptr) && got > 0;
            EnterCriticalSection(&self.lock);
            if (read)
                self.buffer.append(chunk, got);
            else
                self.ended = true;
            LeaveCriticalSection(&self.lock);
            SetEvent(self.changed);
            if (!read) return 0;
        }
    }

    CRITICAL_SECTION lock;
    HANDLE changed;
    HANDLE reader = nullptr;
    std::string buffer;
    bool ended = false;
};

class Command {
public:
    Command(const CtlArguments& arguments, Board& board, InputLines* input)
        : options(arguments), record(board), input(input) {
        summary["command"] = CommandName(arguments.command);
    }

    // One command on an attached board, or (attach true) the whole run of one:
    // the files and the block first, then attach, the requests and the release.
    int Run(bool attach);
    // Prints the report (text, or JSON with --json and in a session) and
    // gives the exit code.
    int Finish(int exitCode, const char* outcome);
    int Fail(int exitCode, const char* outcome, const std::string& message) {
        if (!record.session) Print(OutputStream::Error, message, Utf8);
        std::string text = message;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        summary["message"] = text;
        return Finish(exitCode, outcome);
    }
    bool Attach(int& exitCode);
    nlohmann::json& Summary() { return summary; }

private:
    int Refuse(const std::string& problem) {
        return Fail(CtlExit::BadArguments, "bad arguments", "qorvelctl: " + problem + "; nothing was sent\n");
    }
    int DriverFault(const char* where) {
        return Fail(CtlExit::DriverFault, "driver fault",
                    std::string("qorvelctl: the driver faulted inside the ") + where +
                        "; caught, the board's state is unknown\n");
    }
    bool Json() const { return options.json || record.session; }
    bool PlanBlock(double dacRange, int& exitCode);
    bool DrawPreview(double dacRange, int& exitCode);
    void TakeChosenValues();
    void ApplyRate();
    void RateLine(const std::string& after = "");
    bool Reload(bool write, int& exitCode);
    bool WriteAndRun(int& exitCode);
    bool Sweep(int& exitCode);
    void WarnOfStartValues();
    void ReportChannels(const CtlBlock& block);
    CtlBlock BlockInTheBoard() const;
    void Line(const std::string& text) { printed += text + "\n"; }

    const CtlArguments& options;
    Board& record;
    InputLines* input;              // a session's, for a sweep to see its end
    std::optional<FileBlock> file;  // load's and preview's FILE
    std::optional<CtlBlock> planned;
    std::optional<SweepPlan> sweepPlan;  // sweep's, made before anything is sent
    nlohmann::json summary;
    std::string printed;
};

bool Command::Attach(int& exitCode) {
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
        report.message = "qorvelctl: no board driver answers at HKEY_LOCAL_MACHINE\\" + Utf8From1251(key) +
                         " (value \"path\")";
    }
    exitCode = Fail(CtlExit::AttachFailed, "attach failed", report.message + "\n");
    return false;
}

// The block of play, load or preview, with the range its volts need.
bool Command::PlanBlock(double dacRange, int& exitCode) {
    CtlBlock block;
    std::string problem;
    ChannelWave previous[2];
    const bool remembered = record.waves[0] && record.waves[1];
    if (remembered) previous[0] = *record.waves[0], previous[1] = *record.waves[1];
    if (!PlanCtlBlock(options, file ? &*file : nullptr, dacRange, record, remembered ? previous : nullptr,
                      block, problem)) {
        exitCode = Refuse(problem);
        return false;
    }
    planned = block;
    return true;
}

// The block that is written, both channels in volts over one block, drawn
// by the code that draws what the board played.
bool Command::DrawPreview(double dacRange, int& exitCode) {
    if (options.picture.empty()) return true;
    PlayedCycle cycle;
    cycle.rate = planned->rate;
    cycle.rangeVolts = dacRange;
    cycle.cycle.assign(planned->block.values, planned->block.values + PlayedValues);
    const std::string caption = "preview of the block qorvelctl writes: one cycle of " +
                                std::to_string(SamplePairs) + " pairs at " + std::to_string(planned->rate) +
                                " Hz, full scale " + Decimal(dacRange, 3) + " V";
    std::ofstream picture(std::filesystem::path(WideFrom(options.picture, Utf8)),
                          std::ios::binary | std::ios::trunc);
    picture << ScopeSvg(cycle, 1, caption);
    picture.close();
    if (!picture) {
        exitCode = Refuse("--preview: cannot write " + options.picture);
        return false;
    }
    summary["preview"] = options.picture;
    return true;
}

// The values the command was given over those of the saved state (or of
// the session's last command), held in the panel's ranges as the panel
// holds them: the rate, and play's amplitudes and periods, which --save keeps.
void Command::TakeChosenValues() {
    if (planned) {
        record.FreqIndex = planned->rate;
        if (!planned->fromFile) {
            record.AmplitudeIndex1 = planned->waves[0].amplitude;
            record.AmplitudeIndex2 = planned->waves[1].amplitude;
            record.ModeIndex1 = std::min(planned->waves[0].periods - 1, MaxModeIndex);
            record.ModeIndex2 = std::min(planned->waves[1].periods - 1, MaxModeIndex);
        }
    } else if (options.rateGiven) {
        record.FreqIndex = options.rate;
    }
    ClampChosenValues(record, record.appliedAmplitude1, record.appliedAmplitude2);
}

// As every change on the panel: the chosen rate applied, the board's own
// taken back.
void Command::ApplyRate() {
    record.samplingFrequency = record.FreqIndex;
    ApplySamplingFrequency(record, record.samplingFrequency);
    summary["rateRequested"] = record.FreqIndex;
    summary["rate"] = record.samplingFrequency;
}

// The rate in effect, as the panel's display shows it.
void Command::RateLine(const std::string& after) {
    Line("rate    " + OneLine(FrequencyDisplay(record.samplingFrequency)) + after);
}

bool Command::Reload(bool write, int& exitCode) {
    if (ReloadGenerator(record, record.ModeIndex1, record.ModeIndex2, write)) return true;
    exitCode = DriverFault(write ? "write request" : "run request");
    return false;
}

// The panel's Write with the Start box clear (rate, stop; then stop, write
// with the planned block), then ticking the Start box (rate; stop, run).
bool Command::WriteAndRun(int& exitCode) {
    ApplyRate();
    StopGenerator(record);
    if (!WriteGivenBlock(record, planned->block)) {
        exitCode = DriverFault("write request");
        return false;
    }
    ApplyRate();
    if (!Reload(false, exitCode)) return false;
    RateLine();
    record.lastPlayed = planned;
    if (!planned->fromFile) record.waves[0] = planned->waves[0], record.waves[1] = planned->waves[1];
    ReportChannels(*planned);
    return true;
}

// Without QorvelGen.sav (and outside a session's memory) a channel not given
// plays the panel's start values: amplitude 0, silence. Said, not refused.
void Command::WarnOfStartValues() {
    if (record.savedStateRead || record.waves[0] || !planned || planned->fromFile) return;
    for (int channel = 0; channel < 2; ++channel) {
        const ChannelOptions& given = options.channels[channel];
        if (given.amplitudeGiven || given.voltsGiven || given.peakToPeakGiven) continue;
        const std::string warning = "no QorvelGen.sav here: DAC" + std::to_string(channel + 1) +
                                    " plays the panel's start values (amplitude 0: silent)";
        summary["warnings"].push_back(warning);
        if (!record.session) Print(OutputStream::Error, "qorvelctl: " + warning + "\n", Utf8);
    }
}

// Each channel as the panel's display shows it (at the rate in effect), and
// what else it plays.
void Command::ReportChannels(const CtlBlock& block) {
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

// The block in the board as far as this run knows it: the session's last,
// else the sines of the saved state.
CtlBlock Command::BlockInTheBoard() const {
    if (record.lastPlayed) return *record.lastPlayed;
    CtlArguments sines;
    CtlBlock block;
    std::string problem;
    PlanCtlBlock(sines, nullptr, record.DACRange > 0 ? record.DACRange : DefaultRangeVolts, record, nullptr,
                 block, problem);
    return block;
}

// One step: the panel's rate change while playing (the rate with read-back,
// then stop and run), so both channels follow and keep their phase.
bool Command::Sweep(int& exitCode) {
    const CtlBlock& block = *planned;
    const SweepPlan& plan = *sweepPlan;
    // Sleeps of a millisecond, not of the system's default tick.
    timeBeginPeriod(1);
    struct EndPeriod {
        ~EndPeriod() { timeEndPeriod(1); }
    } endPeriod;
    const double began = Now();
    size_t done = 0;
    const char* outcome = "done";
    for (size_t k = 0; k < plan.steps.size(); ++k) {
        // Step k starts k dwells after the first: no drift from the time the
        // requests take.
        const double due = k * options.sweep.dwellMs;
        // Ctrl+C, or the end of a session's input, ends it at the step it is on.
        const auto over = [&] { return k > 0 && (interrupted || (input && input->Ended())); };
        for (;;) {
            const double left = due - (Now() - began);
            if (left <= 0 || over()) break;
            Sleep(left > 3 ? static_cast<DWORD>(std::min(left - 2, 5.0)) : 0);
        }
        if (over()) {
            outcome = "interrupted";
            break;
        }
        const double at = Now() - began;
        record.samplingFrequency = plan.steps[k].rate;
        ApplySamplingFrequency(record, record.samplingFrequency);
        if (!Reload(false, exitCode)) return false;
        ++done;
        const double rate = record.samplingFrequency;
        const double hertz[2] = {PlayedHertz(block.Periods(0), rate), PlayedHertz(block.Periods(1), rate)};
        if (Json()) {
            const nlohmann::json step = {{"step", k + 1},
                                         {"rate", rate},
                                         {"rateRequested", plan.steps[k].rate},
                                         {"frequencies", {hertz[0], hertz[1]}},
                                         {"t", at}};
            Print(OutputStream::Standard, step.dump() + "\n", Utf8);
        } else {
            char text[160];
            std::snprintf(text, sizeof text, "step %zu  %9.3f ms  rate %.6g Hz  DAC1 %.6g Hz  DAC2 %.6g Hz\n",
                          k + 1, at, rate, hertz[0], hertz[1]);
            Print(OutputStream::Standard, text, Utf8);
        }
    }
    summary["steps"] = done;
    summary["rate"] = record.samplingFrequency;
    summary["result"] = outcome;
    // What plays now is what the next command starts from.
    record.FreqIndex = std::clamp(static_cast<int32_t>(record.samplingFrequency + 0.5), MinSamplingFrequency,
                                  MaxSamplingFrequency);
    RateLine(" after " + std::to_string(done) + " steps" + (outcome[0] == 'i' ? ", interrupted" : ""));
    ReportChannels(block);
    return true;
}

int Command::Run(bool attach) {
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
    if (options.command == CtlCommand::Sweep) {
        // The sweep's rates follow from the periods of the block in the board.
        planned = BlockInTheBoard();
        sweepPlan = PlanSweep(options.sweep, planned->Periods(options.sweep.channel - 1));
        if (const std::string& problem = sweepPlan->problem; !problem.empty())
            return Fail(CtlExit::BadArguments, "bad arguments", problem + "; nothing was sent\n");
    }
    if (preview) {
        record.samplingFrequency = planned->rate;
        record.DACRange = knownRange > 0 ? knownRange : DefaultRangeVolts;
        summary["rate"] = record.samplingFrequency;
        RateLine();
        ReportChannels(*planned);
        Line("preview " + options.picture);
        return Finish(CtlExit::Done, "done");
    }

    if (attach && !Attach(exitCode)) return exitCode;
    // Volts that only the board's range gives: still nothing has been sent.
    if (writes && !planned &&
        (!PlanBlock(record.DACRange, exitCode) || !DrawPreview(record.DACRange, exitCode)))
        return exitCode;
    WarnOfStartValues();
    TakeChosenValues();
    switch (options.command) {
    case CtlCommand::Status: {
        uint32_t present = 1;  // a driver that leaves it untouched counts as present, as in the panel's poll
        record.device->table->GetInfo(record.device, InfoItem::Presence, &present);
        summary["device"] = {{"name", Utf8From1251(record.DeviceName)},
                             {"number", record.Device},
                             {"serial", record.deviceInfo},
                             {"adcRange", record.ADCRange},
                             {"dacRange", record.DACRange},
                             {"present", present != 0}};
        char ranges[128];
        std::snprintf(ranges, sizeof ranges, "ADC range %g V, DAC range %g V", record.ADCRange,
                      record.DACRange);
        Line("device  " + Utf8From1251(record.DeviceName) + ", number " + std::to_string(record.Device));
        Line("serial  " + std::to_string(record.deviceInfo));
        Line(std::string("ranges  ") + ranges);
        Line(std::string("present ") + (present ? "yes" : "no"));
        if (record.session) {
            // What a long session costs the process, to see that it stays put.
            PROCESS_MEMORY_COUNTERS memory{};
            memory.cb = sizeof memory;
            GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
            summary["process"] = {{"handles", CountHandles()},
                                  {"privateBytes", memory.PagefileUsage},
                                  {"workingSet", memory.WorkingSetSize}};
            ReportChannels(BlockInTheBoard());
        }
        break;
    }
    case CtlCommand::Play:
    case CtlCommand::Load:
        if (!WriteAndRun(exitCode)) return exitCode;
        if (!options.picture.empty()) Line("preview " + options.picture);
        break;
    case CtlCommand::Preview:
    case CtlCommand::Session: break;  // drawn above, without the board; a session runs elsewhere
    case CtlCommand::Rate:
        // The frequency slider moved: with the Start box clear the board
        // stops; ticked, it runs the block in it at the rate in effect.
        ApplyRate();
        RateLine();
        summary["run"] = options.run;
        if (options.run) {
            if (!Reload(false, exitCode)) return exitCode;
            Line("running the block in the board");
        } else {
            StopGenerator(record);
            Line("stopped");
        }
        break;
    case CtlCommand::Stop:
        // The Start box cleared: the controls applied, and the stop.
        ApplyRate();
        RateLine();
        StopGenerator(record);
        Line("stopped");
        break;
    case CtlCommand::AutoStart:
        // The panel's buttons: the controls applied (rate, then stop, or stop
        // and run with the Start box ticked), then the switch, which the
        // board takes in a second.
        ApplyRate();
        RateLine();
        if (options.run) {
            if (!Reload(false, exitCode)) return exitCode;
        } else {
            StopGenerator(record);
        }
        GeneratorCommand(record, options.autoStartOn ? AutoStartOn : AutoStartOff, record.samplingFrequency);
        summary["autoStart"] = options.autoStartOn ? "on" : "off";
        summary["run"] = options.run;
        Line(std::string("auto-start ") + (options.autoStartOn ? "on" : "off"));
        break;
    case CtlCommand::Sweep:
        if (!Sweep(exitCode)) return exitCode;
        break;
    }
    if (options.save) {
        // As the panel at exit: the device goes first, then the file. A
        // session keeps its board.
        if (!record.session && !ReleaseGuarded(record)) return DriverFault("release");
        WriteSavedState(record, SavedStateFile);
        summary["saved"] = true;
        Line(std::string("saved   ") + SavedStateFile);
    }
    const std::string outcome = summary.value("result", std::string("done"));
    return Finish(CtlExit::Done, outcome == "interrupted" ? "interrupted" : "done");
}

int Command::Finish(int exitCode, const char* outcome) {
    // A run of one command releases the board before it reports, guarded:
    // a driver that faulted may fault again on its way out.
    if (!record.session && record.device && !ReleaseGuarded(record)) {
        if (exitCode != CtlExit::DriverFault) {
            const std::string fault = "qorvelctl: the driver faulted inside the release; caught\n";
            Print(OutputStream::Error, fault, Utf8);
            summary["message"] = fault.substr(0, fault.size() - 1);
        }
        exitCode = CtlExit::DriverFault;
        outcome = "driver fault";
    }
    summary["result"] = outcome;
    summary["exit"] = exitCode;
    if (Json())
        Print(OutputStream::Standard, summary.dump() + "\n", Utf8);
    else
        Print(OutputStream::Standard, printed, Utf8);
    return exitCode;
}

// The folder of the settings files (--dir, any letters, else the current
// one) made current, and both files read, as the panel at its start.
bool TakeFolder(const CtlArguments& arguments, Board& board, std::string& problem) {
    if (!arguments.directory.empty() && !ChangeDirectory(WideFrom(arguments.directory, Utf8).c_str())) {
        problem = "qorvelctl: --dir: cannot enter the folder " + arguments.directory + "\n";
        return false;
    }
    TakeStartDirectory(board);
    ReadConfiguration(board, ConfigurationFile);
    board.savedStateRead = SettingsReader(SavedStateFile).Loaded();
    ReadSavedState(board, SavedStateFile);
    return true;
}

// The answer to a line that is no command to carry out.
void Answer(const char* outcome, int exitCode, const std::string& message) {
    nlohmann::json answer = {{"result", outcome}, {"exit", exitCode}};
    std::string text = message;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty()) answer["message"] = text;
    Print(OutputStream::Standard, answer.dump() + "\n", Utf8);
}

// After a driver fault a session goes on only while the board still answers.
bool StillAnswers(Board& board) {
    if (!board.device) return false;
    struct Asked {
        Board& board;
        uint32_t present = 1;
    } asked{board};
    const bool returned = CallGuarded(
        [](void* context) {
            auto& a = *static_cast<Asked*>(context);
            a.board.device->table->GetInfo(a.board.device, InfoItem::Presence, &a.present);
        },
        &asked);
    return returned && asked.present != 0;
}

// qorvelctl session: one attach, then a command a line, one JSON line each.
int RunSession(const CtlArguments& arguments) {
    Board board;
    board.session = true;
    CtlArguments opening = arguments;
    Command start(opening, board, nullptr);
    std::string problem;
    if (!TakeFolder(arguments, board, problem))
        return start.Fail(CtlExit::BadArguments, "bad arguments", problem);
    int exitCode = CtlExit::Done;
    if (!start.Attach(exitCode)) return exitCode;
    start.Summary()["result"] = "attached";
    start.Finish(CtlExit::Done, "attached");

    InputLines input;
    std::string text;
    int commands = 0;
    while (input.Next(text)) {
        const SessionLine line = ReadSessionLine(text);
        if (line.kind == SessionLineKind::Ignored) continue;
        if (line.kind == SessionLineKind::Quit) break;
        if (line.kind == SessionLineKind::Bad) {
            Answer("bad arguments", CtlExit::BadArguments, line.problem);
            continue;
        }
        std::vector<const char*> words = {"qorvelctl"};
        for (const std::string& word : line.words) words.push_back(word.c_str());
        CtlArguments command;
        const CtlParse parse = ParseCtlArguments(static_cast<int>(words.size()), words.data(), command);
        if (parse.exitCode == CtlExit::Done) {
            Answer("help", CtlExit::Done, parse.text);
            continue;
        }
        if (parse.exitCode == CtlExit::BadArguments) {
            Answer("bad arguments", CtlExit::BadArguments, parse.text.substr(0, parse.text.find('\n')));
            continue;
        }
        if (command.command == CtlCommand::Session || !command.directory.empty()) {
            Answer(
                "bad arguments", CtlExit::BadArguments,
                "qorvelctl: in a session, neither session nor --dir: the session has its board and folder");
            continue;
        }
        ++commands;
        const int result = Command(command, board, &input).Run(false);
        if (result == CtlExit::DriverFault && !StillAnswers(board)) {
            exitCode = CtlExit::DriverFault;
            break;
        }
        if (interrupted || (command.command == CtlCommand::Sweep && input.Ended())) break;
    }
    if (!ReleaseGuarded(board)) exitCode = CtlExit::DriverFault;
    return exitCode;
}

// The command line as UTF-8 words: the narrow argv holds only what the
// system's code page spells.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    if (!wide) {
        for (int i = 0; i < argc; ++i) words.emplace_back(argv[i]);
        return words;
    }
    for (int i = 0; i < count; ++i) words.push_back(Utf8FromWide(wide[i], wcslen(wide[i])));
    LocalFree(wide);
    return words;
}
}  // namespace

int main(int argc, char** argv) {
    std::set_terminate(InternalError);
    std::signal(SIGABRT, OnAbortSignal);
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);

    const std::vector<std::string> words = Utf8Arguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& word : words) pointers.push_back(word.c_str());
    CtlArguments arguments;
    const CtlParse parse = ParseCtlArguments(static_cast<int>(pointers.size()), pointers.data(), arguments);
    if (parse.exitCode == CtlExit::Done) {
        Print(OutputStream::Standard, parse.text, Utf8);
        return parse.exitCode;
    }
    if (parse.exitCode == CtlExit::BadArguments) {
        Print(OutputStream::Error, parse.text, Utf8);
        // A script that asked for JSON gets its object, as for every other end.
        for (const std::string& word : words) {
            if (word != "--json") continue;
            nlohmann::json result = {{"result", "bad arguments"},
                                     {"exit", CtlExit::BadArguments},
                                     {"message", parse.text.substr(0, parse.text.find('\n'))}};
            Print(OutputStream::Standard, result.dump() + "\n", Utf8);
            break;
        }
        return parse.exitCode;
    }
    if (arguments.command == CtlCommand::Session) return RunSession(arguments);

    Board board;
    Command command(arguments, board, nullptr);
    std::string problem;
    if (!TakeFolder(arguments, board, problem))
        return command.Fail(CtlExit::BadArguments, "bad arguments", problem);
    return command.Run(true);  // released before it reports
}
