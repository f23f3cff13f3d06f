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
std::string At(size_t line) { return "line " + std::to_string(line) + ": "; }


// One log line, with its fields read strictly: a field of the wrong kind is
// an error, never a default.
class LogLine {
public:
    LogLine(const json& object, size_t number) : object_(object), number_(number) {}

    bool Has(const char* key) const { return object_.contains(key); }

    const json& Field(const char* key) const {
        const auto found = object_.find(key);
        if (found == object_.end()) throw LogError(At(number_) + "no \"" + key + "\"");
        return *found;
    }

    int64_t Whole(const char* key) const {
        const json& value = Field(key);
        if (value.is_number_unsigned() && value.get<uint64_t>() <= uint64_t(std::numeric_limits<int64_t>::max()))
            return int64_t(value.get<uint64_t>());
        if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<int64_t>();
        throw LogError(At(number_) + "\"" + key + "\" is not a whole number");
    }

    // A real; null (the board's NaN) gives nullopt.
    std::optional<double> Real(const char* key) const {
        const json& value = Field(key);
        if (value.is_null()) return std::nullopt;
        if (!value.is_number()) throw LogError(At(number_) + "\"" + key + "\" is not a number");
        return value.get<double>();
    }

    std::string Text(const char* key) const {
        const json& value = Field(key);
        if (!value.is_string()) throw LogError(At(number_) + "\"" + key + "\" is not text");
        return value.get<std::string>();
    }

    std::vector<int16_t> Block() const {
        const json& buffer = Field("buffer");
        const int64_t count = Whole("count");
        if (int64_t(buffer.size()) != count)
            throw LogError(At(number_) + "the written block holds " + std::to_string(buffer.size()) +
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
                throw LogError(At(number_) + "value " + std::to_string(i + 1) + " of the written block, " +
                               value.dump() + (whole ? ", is outside 16 bits" : ", is not a whole number"));
            values.push_back(int16_t(value.get<int64_t>()));
        }
        return values;
    }

    size_t Number() const { return number_; }

private:
    const json& object_;
    size_t number_;
};

class PlaybackBuilder {
public:
    void Read(const LogLine& line) {
        const int64_t t = line.Whole("t");
        const std::string op = line.Text("op");
        if (op == "Create") {
            Finish(RunEnd::NewDevice, lastT_, line.Number());
            // A new device starts with an empty memory and answers item 53 anew.
            block_.clear();
            range_ = DefaultRangeVolts;
        } else if (op == "Release") {
            Finish(RunEnd::Release, t, line.Number());
            block_.clear();
        } else if (op == "GetInfo") {
            ReadInfo(line);
        } else if (op == "Setup" && !line.Has("request") && line.Whole("selector") == SetupGenerator) {
            ReadGenerator(line, t);
        }
        lastT_ = t;
    }

    Playback Done() {
        Finish(RunEnd::EndOfLog, lastT_, 0);
        if (playback_.writes == 0)
            throw LogError("no written block (a request with selector 1, mode 2 and a buffer)" + BlindRunsNote());
        if (playback_.runs.empty())
            throw LogError("no run request (selector 1, mode 2 without a buffer) after a written block");
        return std::move(playback_);
    }

private:
    std::string BlindRunsNote() const {
        const size_t count = playback_.blindRuns.size();
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
        range_ = *volts;
    }

    void ReadGenerator(const LogLine& line, int64_t t) {
        const int64_t mode = line.Whole("mode");
        if (mode == RequestMode::RunOrWrite && !line.Field("buffer").is_null()) {
            block_ = line.Block();
            blockLine_ = line.Number();
            ++playback_.writes;
        } else if (mode == RequestMode::RunOrWrite) {
            StartRun(line, t);
        } else if (mode == RequestMode::Stop) {
            Finish(RunEnd::Stop, t, line.Number());
        } else if (mode == RequestMode::AutoStartOn || mode == RequestMode::AutoStartOff) {
            const bool on = mode == RequestMode::AutoStartOn;
            playback_.autoStarts.push_back({line.Number(), t, on, on ? line.Real("frequency").value_or(NAN) : 0.0});
        }
    }

    void StartRun(const LogLine& line, int64_t t) {
        Finish(RunEnd::NextRun, t, line.Number());
        const std::optional<double> rate = line.Real("frequency");
        if (!rate || !(*rate > 0.0) || !std::isfinite(*rate))
            throw LogError(At(line.Number()) + "a run at " + (rate ? Decimal(*rate, 6) : "no") + " Hz cannot play");
        const int64_t count = line.Whole("count");
        if (count < 2 || count % 2 != 0)
            throw LogError(At(line.Number()) + "a run of " + std::to_string(count) +
                           " values, not a whole number of pairs");
        if (block_.empty()) {
            // Nothing written to this device in the log: what it plays is unknown.
            playback_.blindRuns.push_back(line.Number());
            return;
        }
        if (size_t(count) > block_.size())
            throw LogError(At(line.Number()) + "a run of " + std::to_string(count) +
                           " values, but the block written on line " +
                           std::to_string(blockLine_) + " holds " + std::to_string(block_.size()));
        BoardRun run;
        run.line = line.Number();
        run.blockLine = blockLine_;
        run.start = t;
        run.rate = *rate;
        run.rangeVolts = range_;
        run.cycle.assign(block_.begin(), block_.begin() + count);
        open_ = std::move(run);
    }

    void Finish(RunEnd why, int64_t t, size_t line) {
        if (!open_) return;
        open_->end = std::max(t, open_->start);
        open_->endedBy = why;
        open_->endLine = line;
        playback_.runs.push_back(std::move(*open_));
        open_.reset();
    }

    Playback playback_;
    std::optional<BoardRun> open_;
    std::vector<int16_t> block_;
    size_t blockLine_ = 0;
    double range_ = DefaultRangeVolts;
    int64_t lastT_ = 0;
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

std::string Decimal(double value, int maxFraction) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", maxFraction, value);
    std::string result = text;
    if (result.find('.') != std::string::npos) {
        result.erase(result.find_last_not_of('0') + 1);
        if (result.back() == '.') result.pop_back();
    }
    return result == "-0" ? "0" : result;
}

const BoardRun& LastPlayedRun(const Playback& playback) {
    for (auto run = playback.runs.rbegin(); run != playback.runs.rend(); ++run)
        if (run->DurationMs() > 0) return *run;
    return playback.runs.back();
}

double CodeToVolts(int code, double rangeVolts) { return code * rangeVolts / 32768.0; }

ChannelMeasurement MeasureChannel(const BoardRun& run, int channel) {
    ChannelMeasurement m;
    const size_t pairs = run.Pairs();
    for (size_t i = 0; i < pairs; ++i) {
        const int value = run.Value(channel, i);
        m.peakCode = std::max(m.peakCode, std::abs(value));
        // The cycle repeats, so the last pair precedes the first.
        if (run.Value(channel, (i + pairs - 1) % pairs) < 0 && value >= 0) ++m.risingCrossings;
    }
    m.peakVolts = CodeToVolts(m.peakCode, run.rangeVolts);
    m.frequency = m.risingCrossings * run.rate / double(pairs);
    return m;
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
