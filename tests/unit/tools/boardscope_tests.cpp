// Runs the built boardscope on logs written by the test and measures what it
// makes with outside tools: sox for the sound file, xmllint for the picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "BoardSessionLog.h"
#include "ProgramRun.h"
#include "TempDir.h"
#include "Waveform.h"

namespace {
Outcome Boardscope(const std::vector<std::string>& arguments) {
    return RunProgram(BOARDSCOPE_PATH, arguments);
}

std::string LogFile(const TempDir& directory, const SessionLog& log) {
    const std::string path = directory.File("board.log");
    WriteBytes(path, log.text);
    return path;
}

// Two seconds at 20000 Hz: DAC1 half scale, 5 periods; DAC2 full, 20.
SessionLog KnownSession() {
    return SessionLog().Create(0).Range(0, 10.0f).Write(10, 16384, 5, 32767, 20).Run(20, 20000.0).Stop(2020);
}

std::string Trimmed(std::string text) {
    text.erase(text.find_last_not_of(" \n") + 1);
    return text;
}

// A value of sox's "stat" report, such as "Rough   frequency:   400".
double SoxStat(const std::string& report, const std::string& label) {
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        std::string squeezed;
        for (const char c : line)
            if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) squeezed += c;
        if (squeezed.rfind(label + ": ", 0) == 0) return std::stod(squeezed.substr(label.size() + 2));
    }
    ADD_FAILURE() << "no \"" << label << "\" in " << report;
    return NAN;
}

std::string XPath(const std::string& file, const std::string& expression) {
    const Outcome outcome = RunProgram("xmllint", {"--xpath", expression, file});
    EXPECT_EQ(outcome.exitCode, 0) << expression << ": " << outcome.err;
    return Trimmed(outcome.out);
}
}  // namespace

TEST(BoardscopeWav, SoxMeasuresEachChannelsFrequencyLevelAndTheFilesRateAndLength) {
    TempDir directory;
    const std::string wav = directory.File("out.wav");
    const Outcome made = Boardscope({LogFile(directory, KnownSession()), "--wav", wav});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(Trimmed(RunProgram("sox", {"--i", "-r", wav}).out), "20000");
    EXPECT_EQ(Trimmed(RunProgram("sox", {"--i", "-c", wav}).out), "2");
    EXPECT_EQ(Trimmed(RunProgram("sox", {"--i", "-b", wav}).out), "16");
    EXPECT_EQ(Trimmed(RunProgram("sox", {"--i", "-s", wav}).out), "40000");

    const struct {
        const char* channel;
        double frequency;
        int code;
    } channels[] = {{"1", 5 * 20000.0 / 1000, 16384}, {"2", 20 * 20000.0 / 1000, 32767}};
    for (const auto& c : channels) {
        SCOPED_TRACE(testing::Message() << "channel " << c.channel);
        const std::string report = RunProgram("sox", {wav, "-n", "remix", c.channel, "stat"}).err;
        EXPECT_NEAR(SoxStat(report, "Rough frequency"), c.frequency, c.frequency * 0.01);
        const double rms = c.code / 32768.0 / std::sqrt(2.0);
        EXPECT_NEAR(SoxStat(report, "RMS amplitude"), rms, rms * 0.01);
    }

    // How long the file runs, and the rate its header carries.
    const struct {
        double rate;
        int64_t playedMs;
        const char* seconds;
        const char* headerRate;
        const char* samples;
        const char* note;
    } lengths[] = {
        {20000.0, 2000, "0.25", "20000", "5000", "the file keeps the first 0.25 s"},
        {999.5, 3000, "1", "1000", "999", "the board played at 999.5 Hz; the WAV header says 1000 Hz"},
        {44100.0, 20000, nullptr, "44100", "441000", "the file keeps the first 10 s"},
        {8000.0, 1500, "5", "8000", "12000", nullptr},
    };
    for (const auto& c : lengths) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz for " << c.playedMs << " ms");
        const SessionLog log =
            SessionLog().Create(0).Write(1, 100, 1, 100, 1).Run(10, c.rate).Stop(10 + c.playedMs);
        std::vector<std::string> arguments = {LogFile(directory, log), "--wav", wav};
        if (c.seconds) arguments.insert(arguments.end(), {"--seconds", c.seconds});
        const Outcome outcome = Boardscope(arguments);
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(Trimmed(RunProgram("sox", {"--i", "-r", wav}).out), c.headerRate);
        EXPECT_EQ(Trimmed(RunProgram("sox", {"--i", "-s", wav}).out), c.samples);
        if (c.note)
            EXPECT_NE(outcome.out.find(c.note), std::string::npos) << outcome.out;
        else
            EXPECT_EQ(outcome.out.find("note:"), std::string::npos) << outcome.out;
    }
}

TEST(BoardscopeSvg, ParsesAsXmlWithTwoTracesOfTwoCyclesAtTheirLevels) {
    TempDir directory;
    const std::string svg = directory.File("scope.svg"), wav = directory.File("out.wav");
    const Outcome made = Boardscope({LogFile(directory, KnownSession()), "--svg", svg, "--wav", wav});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(RunProgram("xmllint", {"--noout", svg}).exitCode, 0);
    EXPECT_EQ(XPath(svg, "count(//*[local-name()='polyline'][@class='trace'])"), "2");

    // Two cycles of 1000 pairs: 2000 points a trace; DAC1's swing is half DAC2's.
    double swing[2] = {};
    for (int channel = 0; channel < 2; ++channel) {
        std::istringstream points(
            XPath(svg, "string(//*[@id='dac" + std::to_string(channel + 1) + "']/@points)"));
        std::vector<double> heights;
        for (std::string point; points >> point;)
            heights.push_back(std::stod(point.substr(point.find(',') + 1)));
        EXPECT_EQ(heights.size(), 2000u) << "DAC" << channel + 1;
        if (!heights.empty())
            swing[channel] = *std::max_element(heights.begin(), heights.end()) -
                             *std::min_element(heights.begin(), heights.end());
    }
    EXPECT_GT(swing[1], 100.0);
    EXPECT_NEAR(swing[0] / swing[1], 16384.0 / 32767.0, 0.01);
    EXPECT_TRUE(RunProgram("sox", {"--i", "-s", wav}).out.find("40000") != std::string::npos);
}

TEST(BoardscopeSummary, ListsEachRunWithTheFrequenciesItMeasured) {
    TempDir directory;
    // DAC2 a quarter period ahead of DAC1 and lifted by 1000 codes.
    const ChannelWave sine{WaveShape::Sine, 16384, 5}, ahead{WaveShape::Sine, 8192, 5, 90.0, 1000};
    const SessionLog log = SessionLog()
                               .Create(0)
                               .Range(0, 5.0f)
                               .Write(10, 32767, 1, 16384, 20)
                               .Run(20, 1000.0)
                               .Stop(520)
                               .Write(600, 24576, 3, 12288, 7)
                               .Run(700, 999.5)
                               .AutoStart(800, true, 999.5)
                               .Run(1700, 20000.0)
                               .Write(1750, ToSampleBlock(SynthesizeWaves(sine, ahead)))
                               .Run(1760, 1000.0)
                               .Release(1800);
    const Outcome outcome = Boardscope({LogFile(directory, log)});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const char* const expected[] = {
        "4 runs, 3 written blocks\n",
        "run 1 (line 4): start 20 ms, 500 ms until the stop on line 5, rate 1000 Hz, 1000 pairs written on "
        "line 3, "
        "full scale 5 V\n",
        // 20 periods put the crest half a sample from the nearest one: 16384 cos(pi 20 / 1000).
        "  DAC1: amplitude code 32767, peak 5 V, frequency 1 Hz (1 period a cycle); highest 32767 (5 V), "
        "lowest "
        "-32767 (-5 V), mean 0 (0 V)\n"
        "  DAC2: amplitude code 16352, peak 2.495 V, frequency 20 Hz (20 periods a cycle); highest 16352 "
        "(2.495 "
        "V), lowest -16352 (-2.495 V), mean 0 (0 V)\n",
        "run 2 (line 7): start 700 ms, 1000 ms until the next run on line 9, rate 999.5 Hz",
        "  DAC1: amplitude code 24576, peak 3.75 V, frequency 2.9985 Hz (3 periods a cycle);",
        "  DAC2: amplitude code 12288, peak 1.875 V, frequency 6.9965 Hz (7 periods a cycle);",
        "auto-start on (line 8) at 800 ms, 999.5 Hz: kept for the board's power-on, not played now\n"
        "run 3 (line 9): start 1700 ms, 60 ms until the next run on line 11, rate 20000 Hz",
        "frequency 60 Hz (3 periods a cycle);",
        "run 4 (line 11): start 1760 ms, 40 ms until Release on line 12, rate 1000 Hz",
        "  DAC2: amplitude code 9192, peak 1.403 V, frequency 5 Hz (5 periods a cycle); highest 9192 (1.403 "
        "V), "
        "lowest -7192 (-1.097 V), mean 1000 (0.153 V)\n"
        "  DAC2 against DAC1: phase 90 degrees\n",
    };
    for (const char* text : expected)
        EXPECT_NE(outcome.out.find(text), std::string::npos) << text << "\nin\n" << outcome.out;
    // Channels of different frequencies have no phase between them.
    EXPECT_EQ(outcome.out.find("phase"), outcome.out.rfind("phase")) << outcome.out;
}

TEST(BoardscopeBadInput, ExitsWithTwoAndSaysWhy) {
    TempDir directory;
    const std::string good = LogFile(directory, KnownSession());
    const std::string missing = directory.File("missing.log");
    const std::string notJson = directory.File("not-json.log");
    WriteBytes(notJson, KnownSession().text.substr(0, 42) + "{\"t\":1,\"op\"\n");
    const std::string noRun = directory.File("no-run.log");
    WriteBytes(noRun, SessionLog().Create(0).Write(1, 100, 1, 100, 1).Stop(2).text);
    const std::string tooSlow = directory.File("slow.log");
    WriteBytes(tooSlow, SessionLog().Create(0).Write(1, 100, 1, 100, 1).Run(2, 0.25).Stop(5000).text);
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string message;
    } cases[] = {
        {{missing}, 2, "boardscope: cannot read " + missing + ": No such file or directory\n"},
        {{directory.Path().string()},
         2,
         "boardscope: cannot read " + directory.Path().string() + ": a directory\n"},
        {{notJson}, 2, "boardscope: " + notJson + ": line 2: not JSON\n"},
        {{noRun}, 2, "boardscope: " + noRun + ": no run request"},
        {{tooSlow, "--wav", directory.File("slow.wav")},
         2,
         "line 3: a rate of 0.25 Hz does not fit a WAV header"},
        {{}, 2, "boardscope: no log given\nusage: boardscope LOG"},
        {{good, good}, 2, "boardscope: one log at a time\n"},
        {{good, "--svg"}, 2, "boardscope: --svg needs a value\n"},
        {{good, "--wav", directory.File("a.wav"), "--seconds", "0"},
         2,
         "--seconds needs a positive number of seconds, not '0'"},
        {{good, "--seconds", "3"}, 2, "boardscope: --seconds goes with --wav\n"},
        {{good, "--scope"}, 2, "boardscope: unknown option --scope\n"},
        {{good, "--wav", directory.File("none/out.wav")},
         1,
         "boardscope: cannot write " + directory.File("none/out.wav")},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Boardscope(c.arguments);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(ReadBytes(directory.File("slow.wav")), "<missing>");

    // A write that fails halfway (here at the file size limit) leaves no partial file.
    const std::string cut = directory.File("cut.wav");
    const Outcome limited = RunProgram(
        "sh", {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"", BOARDSCOPE_PATH, good, "--wav", cut});
    EXPECT_EQ(limited.exitCode, 1);
    EXPECT_NE(limited.err.find("boardscope: cannot write " + cut), std::string::npos) << limited.err;
    EXPECT_EQ(ReadBytes(cut), "<missing>");
}
