#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "ScopeOutputs.h"

namespace {
std::string Ending(const BoardRun& run) {
    const std::string line = std::to_string(run.endLine);
    switch (run.endedBy) {
    case RunEnd::Stop: return "until the stop on line " + line;
    case RunEnd::NextRun: return "until the next run on line " + line;
    case RunEnd::Release: return "until Release on line " + line;
    case RunEnd::NewDevice: return "until a new device's Create on line " + line;
    case RunEnd::EndOfLog: break;
    }
    return "until the log ends, still playing";
}

std::string RunText(size_t number, const BoardRun& run) {
    std::string text = "run " + std::to_string(number) + " (line " + std::to_string(run.line) + "): start " +
                       std::to_string(run.start) + " ms, " + std::to_string(run.DurationMs()) + " ms " +
                       Ending(run) + ", rate " + Decimal(run.rate, 3) + " Hz, " +
                       std::to_string(run.Pairs()) + " pairs written on line " +
                       std::to_string(run.blockLine) + ", full scale " + Decimal(run.rangeVolts, 3) + " V\n";
    ChannelMeasurement m[2];
    for (int channel = 0; channel < 2; ++channel) {
        m[channel] = MeasureChannel(run, channel);
        const ChannelMeasurement& c = m[channel];
        text += "  DAC" + std::to_string(channel + 1) + ": amplitude code " + std::to_string(c.peakCode) +
                ", peak " + Decimal(c.peakVolts, 3) + " V, frequency " + Decimal(c.frequency, 4) + " Hz (" +
                std::to_string(c.periods) + (c.periods == 1 ? " period" : " periods") +
                " a cycle); highest " + std::to_string(c.highest) + " (" +
                Decimal(CodeToVolts(c.highest, run.rangeVolts), 3) + " V), lowest " +
                std::to_string(c.lowest) + " (" + Decimal(CodeToVolts(c.lowest, run.rangeVolts), 3) +
                " V), mean " + Decimal(c.mean, 2) + " (" + Decimal(c.mean * run.rangeVolts / 32768.0, 3) +
                " V)\n";
    }
    if (const std::optional<double> phase = RelativePhase(m[0], m[1]))
        text += "  DAC2 against DAC1: phase " + Decimal(*phase, 1) + " degrees\n";
    return text;
}

std::string AutoStartText(const AutoStartRequest& request) {
    const std::string where =
        " (line " + std::to_string(request.line) + ") at " + std::to_string(request.t) + " ms";
    if (!request.on) return "auto-start off" + where + "\n";
    return "auto-start on" + where + ", " + Decimal(request.rate, 3) +
           " Hz: kept for the board's power-on, not played now\n";
}
}  // namespace

std::string Summary(const Playback& playback) {
    // Everything in log order.
    std::vector<std::pair<size_t, std::string>> entries;
    for (size_t i = 0; i < playback.runs.size(); ++i)
        entries.emplace_back(playback.runs[i].line, RunText(i + 1, playback.runs[i]));
    for (const AutoStartRequest& request : playback.autoStarts)
        entries.emplace_back(request.line, AutoStartText(request));
    for (const size_t line : playback.blindRuns)
        entries.emplace_back(line, "run request on line " + std::to_string(line) +
                                       " skipped: nothing was written to its device before it\n");
    std::sort(entries.begin(), entries.end());

    std::string text = std::to_string(playback.runs.size()) +
                       (playback.runs.size() == 1 ? " run, " : " runs, ") + std::to_string(playback.writes) +
                       (playback.writes == 1 ? " written block\n" : " written blocks\n");
    for (const auto& entry : entries) text += entry.second;
    return text;
}
