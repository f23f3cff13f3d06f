// boardscope: shows and plays back what the virtual board's DACs played,
// from the board's log.
//
//   boardscope LOG [--svg FILE] [--wav FILE [--seconds N]]
//
// Exit status: 0 done, 1 an output file could not be written, 2 bad
// arguments or a log that cannot be played.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "BoardPlayback.h"
#include "ScopeOutputs.h"

namespace {
constexpr double DefaultWavSeconds = 10.0;

struct Arguments {
    std::string log;
    std::optional<std::string> svg;
    std::optional<std::string> wav;
    double seconds = DefaultWavSeconds;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Arguments Parse(int argc, char** argv) {
    Arguments arguments;
    bool haveLog = false, haveSeconds = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw UsageError(argument + " needs a value");
            return argv[++i];
        };
        if (argument == "--svg") {
            arguments.svg = value();
        } else if (argument == "--wav") {
            arguments.wav = value();
        } else if (argument == "--seconds") {
            const std::string text = value();
            char* end = nullptr;
            errno = 0;
            arguments.seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end || errno || !(arguments.seconds > 0.0) ||
                !std::isfinite(arguments.seconds))
                throw UsageError("--seconds needs a positive number of seconds, not '" + text + "'");
            haveSeconds = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            throw UsageError("unknown option " + argument);
        } else if (haveLog) {
            throw UsageError("one log at a time");
        } else {
            arguments.log = argument;
            haveLog = true;
        }
    }
    if (!haveLog) throw UsageError("no log given");
    if (haveSeconds && !arguments.wav) throw UsageError("--seconds goes with --wav");
    return arguments;
}

Playback Read(const std::string& path) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        throw std::runtime_error("cannot read " + path + ": a directory");
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
    try {
        return ReadPlayback(file);
    } catch (const LogError& error) {
        throw std::runtime_error(path + ": " + error.what());
    }
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path);
}

// Runs one writer; when it fails, what it left is removed if it is a plain
// file. The path may name a device or a pipe (--wav /dev/full), never removed.
template <typename Writer>
void WriteOutput(const std::string& path, Writer write) {
    try {
        write();
    } catch (...) {
        std::error_code ignored;
        if (std::filesystem::is_regular_file(path, ignored)) std::filesystem::remove(path, ignored);
        throw;
    }
}
size_t RunNumber(const Playback& playback, const BoardRun& run) {
    return size_t(&run - playback.runs.data()) + 1;
}
}  // namespace

int main(int argc, char** argv) {
    Arguments arguments;
    Playback playback;
    try {
        arguments = Parse(argc, argv);
        playback = Read(arguments.log);
    } catch (const UsageError& error) {
        std::cerr << "boardscope: " << error.what() << "\n"
                  << "usage: boardscope LOG [--svg FILE] [--wav FILE [--seconds N]]\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "boardscope: " << error.what() << "\n";
        return 2;
    }

    std::cout << Summary(playback);
    const BoardRun& last = LastPlayedRun(playback);
    WavPlan plan;
    if (arguments.wav) {
        try {
            plan = PlanWav(last, arguments.seconds);
        } catch (const LogError& error) {
            std::cerr << "boardscope: " << arguments.log << ": " << error.what() << "\n";
            return 2;
        }
    }
    try {
        if (arguments.svg) {
            const std::string caption = "run at " + std::to_string(last.start) + " ms, played " +
                                        std::to_string(last.DurationMs()) + " ms; two cycles of " +
                                        std::to_string(last.Pairs()) + " pairs, full scale " +
                                        Decimal(last.rangeVolts, 3) + " V";
            WriteOutput(*arguments.svg, [&] { WriteText(*arguments.svg, ScopeSvg(last, 2, caption)); });
            std::cout << "scope picture of run " << RunNumber(playback, last) << ": " << *arguments.svg
                      << "\n";
        }
        if (arguments.wav) {
            WriteOutput(*arguments.wav, [&] { WriteWav(*arguments.wav, last, plan); });
            std::cout << "sound of run " << RunNumber(playback, last) << ": " << *arguments.wav << ", "
                      << plan.frames << " frames at " << plan.headerRate << " Hz ("
                      << Decimal(plan.frames / last.rate, 3) << " s), left DAC1, right DAC2\n";
            if (plan.cut)
                std::cout << "note: the run played " << last.DurationMs() << " ms; the file keeps the first "
                          << Decimal(arguments.seconds, 3) << " s (--seconds)\n";
            if (plan.rateRounded)
                std::cout << "note: the board played at " << Decimal(last.rate, 6)
                          << " Hz; the WAV header says " << plan.headerRate
                          << " Hz, so the file plays at that rounded rate\n";
        }
    } catch (const std::exception& error) {
        std::cerr << "boardscope: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
