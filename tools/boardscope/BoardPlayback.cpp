#include "BoardPlayback.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "device/AdcDevice.h"

using nlohmann::json;

namespace {
std::string At(size_t line) {
    return "line " + std::to_string(line) + ": ";
}

// One log line, with its fields read strictly: a field of the wrong kind is
// an error, never a default.
class LogLine {
public:
    LogLine(const json& fields, size_t lineNumber) : object(fields), number(lineNumber) {}

    bool Has(const char* key) const { return object.contains(key); }

    const json& Field(const char* key) const {
        const auto found = object.find(key);
        if (found == object.end()) throw LogError(At(number) + "no \"" + key + "\"");
        return *found;
    }

    int64_t Whole(const char* key) const {
        const json& value = Field(key);
        if (value.is_number_unsigned() &&
            value.get<uint64_t>() <= uint64_t(std::numeric_limits<int64_t>::max()))
            return int64_t(value.get<uint64_t>());
        if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<int64_t>();
        throw LogError(At(number) + "\"" + key + "\" is not a whole number");
    }

    // A real; null (the board's NaN) gives nullopt.
    std::optional<double> Real(const char* key) const {
        const json& value = Field(key);
        if (value.is_null()) return std::nullopt;
        if (!value.is_number()) throw LogError(At(number) + "\"" + key + "\" is not a number");
        return value.get<double>();
    }

    std::string Text(const char* key) const {
        const json& value = Field(key);
        if (!value.is_string()) throw LogError(At(number) + "\"" + key + "\" is not text");
        return value.get<std::string>();
    }

    std::vector<int16_t> Block() const {
        const json& buffer = Field("buffer");
        const int64_t count = Whole("count");
        if (int64_t(buffer.size()) != count)
            throw LogError(At(number) + "the written block holds " + std::to_string(buffer.size()) +
                           " values for a count of " + std::to_string(count));
        std::vector<int16_t> values;
        values.reserve(buffer.size());
        for (size_t i = 0; i < buffer.size(); ++i) {
            const json& value = buffer[i];
            const bool whole = value.is_number_integer();
            // Non-negative whole numbers read as unsigned, negative ones as signed.
            const bool fits = whole && (value.is_number_unsigned() ? value.get<uint64_t>() <= 32767
                                                                   : value.get<int64_t>() >= -32768);
            if (!fits)
                throw LogError(At(number) + "value " + std::to_string(i + 1) + " of the written block, " +
                               value.dump() + (whole ? ", is outside 16 bits" : ", is not a whole number"));
            values.push_back(int16_t(value.get<int64_t>()));
        }
        return values;
    }

    size_t Number() const { return number; }

private:
    const json& object;
    size_t number;
};

class PlaybackBuilder {
public:
    void Read(const LogLine& line) {
        const int64_t t = line.Whole("t");
        const std::string op = line.Text("op");
        if (op == "Create") {
            Finish(RunEnd::NewDevice, lastT, line.Number());
            // A new device starts with an empty memory and answers item 53 anew.
            block.clear();
            range = DefaultRangeVolts;
        } else if (op == "Release") {
            Finish(RunEnd::Release, t, line.Number());
            block.clear();
        } else if (op == "GetInfo") {
            ReadInfo(line);
        } else if (op == "Setup" && !line.Has("request") && line.Whole("selector") == SetupGenerator) {
            ReadGenerator(line, t);
        }
        lastT = t;
    }

    Playback Done() {
        Finish(RunEnd::EndOfLog, lastT, 0);
        if (playback.writes == 0)
            throw LogError("no written block (a request with selector 1, mode 2 and a buffer)" +
                           BlindRunsNote());
        if (playback.runs.empty())
            throw LogError("no run request (selector 1, mode 2 without a buffer) after a written block");
        return std::move(playback);
    }

private:
    std::string BlindRunsNote() const {
        const size_t count = playback.blindRuns.size();
        if (count == 0) return "";
        return "; the log's " + std::to_string(count) +
               (count == 1 ? " run request plays" : " run requests play") + " what the board held before it";
    }

    void ReadInfo(const LogLine& line) {
        if (line.Whole("item") != InfoItem::AdcRange || line.Whole("result") != 1) return;
        const std::optional<double> volts = line.Real("value");
        if (!volts) return;  // nothing was stored
        if (!(*volts > 0.0) || !std::isfinite(*volts))
            throw LogError(At(line.Number()) + "item 53 answered " + Decimal(*volts, 6) + " V, not a range");
        range = *volts;
    }

    void ReadGenerator(const LogLine& line, int64_t t) {
        const int64_t mode = line.Whole("mode");
        if (mode == RequestMode::RunOrWrite && !line.Field("buffer").is_null()) {
            block = line.Block();
            blockLine = line.Number();
            ++playback.writes;
        } else if (mode == RequestMode::RunOrWrite) {
            StartRun(line, t);
        } else if (mode == RequestMode::Stop) {
            Finish(RunEnd::Stop, t, line.Number());
        } else if (mode == RequestMode::AutoStartOn || mode == RequestMode::AutoStartOff) {
            const bool on = mode == RequestMode::AutoStartOn;
            playback.autoStarts.push_back(
                {line.Number(), t, on, on ? line.Real("frequency").value_or(NAN) : 0.0});
        }
    }

    void StartRun(const LogLine& line, int64_t t) {
        Finish(RunEnd::NextRun, t, line.Number());
        const std::optional<double> rate = line.Real("frequency");
        if (!rate || !(*rate > 0.0) || !std::isfinite(*rate))
            throw LogError(At(line.Number()) + "a run at " + (rate ? Decimal(*rate, 6) : "no") +
                           " Hz cannot play");
        const int64_t count = line.Whole("count");
        if (count < 2 || count % 2 != 0)
            throw LogError(At(line.Number()) + "a run of " + std::to_string(count) +
                           " values, not a whole number of pairs");
        if (block.empty()) {
            // Nothing written to this device in the log: what it plays is unknown.
            playback.blindRuns.push_back(line.Number());
            return;
        }
        if (size_t(count) > block.size())
            throw LogError(At(line.Number()) + "a run of " + std::to_string(count) +
                           " values, but the block written on line " + std::to_string(blockLine) + " holds " +
                           std::to_string(block.size()));
        BoardRun run;
        run.line = line.Number();
        run.blockLine = blockLine;
        run.start = t;
        run.rate = *rate;
        run.rangeVolts = range;
        run.cycle.assign(block.begin(), block.begin() + count);
        open = std::move(run);
    }

    void Finish(RunEnd why, int64_t t, size_t line) {
        if (!open) return;
        open->end = std::max(t, open->start);
        open->endedBy = why;
        open->endLine = line;
        playback.runs.push_back(std::move(*open));
        open.reset();
    }

    Playback playback;
    std::optional<BoardRun> open;
    std::vector<int16_t> block;
    size_t blockLine = 0;
    double range = DefaultRangeVolts;
    int64_t lastT = 0;
};
}  // namespace

Playback ReadPlayback(std::istream& log) {
    PlaybackBuilder builder;
    size_t number = 0;
    for (std::string text; std::getline(log, text);) {
        ++number;
        const json object = json::parse(text, nullptr, false);
        if (object.is_discarded()) throw LogError(At(number) + "not JSON");
        if (!object.is_object()) throw LogError(At(number) + "not a JSON object");
        builder.Read(LogLine(object, number));
    }
    if (log.bad()) throw LogError("reading stopped after line " + std::to_string(number));
    return builder.Done();
}

const BoardRun& LastPlayedRun(const Playback& playback) {
    for (auto run = playback.runs.rbegin(); run != playback.runs.rend(); ++run)
        if (run->DurationMs() > 0) return *run;
    return playback.runs.back();
}

WavPlan PlanWav(const BoardRun& run, double maxSeconds) {
    if (!(run.rate >= 0.5) || run.rate >= double(std::numeric_limits<int32_t>::max()))
        throw LogError(At(run.line) + "a rate of " + Decimal(run.rate, 6) + " Hz does not fit a WAV header");
    WavPlan plan;
    plan.headerRate = int(std::lround(run.rate));
    plan.rateRounded = plan.headerRate != run.rate;
    const double played = std::round(double(run.DurationMs()) * run.rate / 1000.0);
    const double most = std::floor(maxSeconds * run.rate);
    plan.cut = most < played;
    plan.frames = int64_t(plan.cut ? most : played);
    return plan;
}
