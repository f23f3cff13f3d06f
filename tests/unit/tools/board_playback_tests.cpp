// Rebuilding what the board played from its log: the measurements, where
// runs begin and end, and which logs are refused. The sound file's length and
// rate are measured on the tool's own output (boardscope_tests).
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "BoardPlayback.h"
#include "BoardSessionLog.h"

namespace {
Playback Read(const std::string& text) {
    std::istringstream log(text);
    return ReadPlayback(log);
}

std::string Refusal(const std::string& text) {
    try {
        Read(text);
    } catch (const LogError& error) {
        return error.what();
    }
    return "<accepted>";
}
}  // namespace

TEST(BoardPlayback, MeasuresEachChannelsFrequencyAndPeak) {
    const struct {
        int32_t code1, periods1, code2, periods2;
        double rate;
        float range;
    } cases[] = {
        {32767, 1, 16384, 20, 1000.0, 10.0f}, {16384, 5, 32767, 20, 20000.0, 10.0f},
        {24576, 2, 12288, 5, 20000.0, 10.0f}, {1000, 3, 100, 7, 999.5, 5.0f},
        {1, 13, 32767, 17, 50000.0, 2.5f},  // code 1: only -1, 0 and 1, still one rise a period
        {0, 4, 32767, 1, 1.0, 10.0f},       // silence has no frequency
    };
    for (const auto& c : cases) {
        const Playback playback = Read(SessionLog()
                                           .Create(0)
                                           .Range(0, c.range)
                                           .Write(10, c.code1, c.periods1, c.code2, c.periods2)
                                           .Run(20, c.rate)
                                           .Stop(30)
                                           .text);
        ASSERT_EQ(playback.runs.size(), 1u);
        const BoardRun& run = playback.runs[0];
        ASSERT_EQ(run.Pairs(), 1000u);
        const int32_t codes[] = {c.code1, c.code2}, periods[] = {c.code1 ? c.periods1 : 0, c.periods2};
        for (int channel = 0; channel < 2; ++channel) {
            const ChannelMeasurement m = MeasureChannel(run, channel);
            SCOPED_TRACE(testing::Message() << "code " << codes[channel] << ", rate " << c.rate);
            EXPECT_EQ(m.periods, periods[channel]);
            EXPECT_DOUBLE_EQ(m.frequency, periods[channel] * c.rate / 1000.0);
            // The crest can fall half a sample away from the nearest sample.
            const double lowest = std::floor(codes[channel] * std::cos(M_PI * periods[channel] / 1000.0));
            EXPECT_LE(m.peakCode, codes[channel]);
            EXPECT_GE(m.peakCode, lowest);
            EXPECT_DOUBLE_EQ(m.peakVolts, m.peakCode * c.range / 32768.0);
        }
    }
}

TEST(BoardPlayback, RunsPlayTheLastBlockUntilTheirEnd) {
    const Playback playback = Read(SessionLog()
                                       .Create(0)
                                       .Range(1, 5.0f)
                                       .Run(5, 1000.0)  // line 3: nothing written yet
                                       .Write(10, 100, 1, 100, 1)
                                       .Run(20, 1000.0)              // 5: ends at the next run
                                       .Run(50, 2000.0)              // 6: ends at the stop
                                       .Write(60, 200, 2, 200, 2)    // changes no run already playing
                                       .AutoStart(70, true, 3000.0)  // 8: neither starts nor stops
                                       .Stop(90)
                                       .AutoStart(95, false, 0.0)
                                       .Run(100, 4000.0)  // 11: ends at Release
                                       .Release(130)
                                       .Create(0)       // a new device, empty, 10 V
                                       .Run(2, 1000.0)  // 14: nothing written to it
                                       .Write(3, 300, 3, 300, 3)
                                       .Run(4, 5000.0)  // 16: ends when the next device starts
                                       .Write(7, 1, 1, 1, 1)
                                       .Create(0)
                                       .Write(1, 400, 4, 400, 4)
                                       .Run(2, 6000.0)  // 20: still playing at the end
                                       .Range(9, 2.0f)
                                       .text);
    const struct {
        size_t line, blockLine;
        int64_t start, end;
        RunEnd endedBy;
        size_t endLine;
        double rate, range;
        int periods;
    } expected[] = {
        {5, 4, 20, 50, RunEnd::NextRun, 6, 1000.0, 5.0, 1},
        {6, 4, 50, 90, RunEnd::Stop, 9, 2000.0, 5.0, 1},
        {11, 7, 100, 130, RunEnd::Release, 12, 4000.0, 5.0, 2},
        {16, 15, 4, 7, RunEnd::NewDevice, 18, 5000.0, 10.0, 3},
        {20, 19, 2, 9, RunEnd::EndOfLog, 0, 6000.0, 10.0, 4},
    };
    ASSERT_EQ(playback.runs.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const BoardRun& run = playback.runs[i];
        const auto& e = expected[i];
        SCOPED_TRACE(testing::Message() << "run on line " << e.line);
        EXPECT_EQ(run.line, e.line);
        EXPECT_EQ(run.blockLine, e.blockLine);
        EXPECT_EQ(run.start, e.start);
        EXPECT_EQ(run.end, e.end);
        EXPECT_EQ(run.endedBy, e.endedBy);
        EXPECT_EQ(run.endLine, e.endLine);
        EXPECT_EQ(run.rate, e.rate);
        EXPECT_EQ(run.rangeVolts, e.range);
        EXPECT_EQ(MeasureChannel(run, 1).periods, e.periods);
    }
    EXPECT_EQ(playback.blindRuns, (std::vector<size_t>{3, 14}));
    EXPECT_EQ(playback.writes, 5u);
    ASSERT_EQ(playback.autoStarts.size(), 2u);
    EXPECT_TRUE(playback.autoStarts[0].on);
    EXPECT_EQ(playback.autoStarts[0].rate, 3000.0);
    EXPECT_FALSE(playback.autoStarts[1].on);
    EXPECT_EQ(&LastPlayedRun(playback), &playback.runs.back());

    // A run of 0 ms, as the program's stop and run before a write leave, played nothing to show.
    const Playback churn = Read(
        SessionLog().Create(0).Write(1, 100, 1, 100, 1).Run(2, 1000.0).Stop(9).Run(9, 1000.0).Stop(9).text);
    ASSERT_EQ(churn.runs.size(), 2u);
    EXPECT_EQ(&LastPlayedRun(churn), &churn.runs[0]);
}

TEST(BoardPlayback, RefusesLogsItCannotPlayAndSaysWhere) {
    const std::string good = SessionLog().Create(0).Write(1, 100, 1, 100, 1).text;  // lines 1, 2
    DeviceRequest write;
    FillGeneratorRequest(write, WriteBlock, 0.0, nullptr);
    DeviceRequest run;
    FillGeneratorRequest(run, RunAtRate, 1000.0, nullptr);
    const int32_t tooHigh[] = {0, 32767, 32768, 0}, tooLow[] = {-32768, -32769};
    std::vector<int16_t> shortBlock(2047);
    DeviceRequest small = write, four = write;
    small.Count = 2;
    four.Count = 4;
    const int16_t pair[] = {1, -1};
    DeviceRequest odd = run;
    odd.Count = 1999;
    const struct {
        std::string log;
        const char* refusal;
    } cases[] = {
        {good + "{\"t\":3,\"op\":\"Setup\",\n", "line 3: not JSON"},
        {good + "[1,2]\n", "line 3: not a JSON object"},
        {good + "{\"t\":3,\"op\":\"Setup\",\"selector\":1,\"mode\":\"2\"}\n",
         "line 3: \"mode\" is not a whole number"},
        {good + "{\"op\":\"Release\"}\n", "line 3: no \"t\""},
        {SessionLog(good).Setup(3, four, tooHigh, 4).text,
         "line 3: value 3 of the written block, 32768, is outside 16 bits"},
        {SessionLog(good).Setup(3, small, tooLow, 2).text,
         "line 3: value 2 of the written block, -32769, is outside 16 bits"},
        {good + "{\"t\":3,\"op\":\"Setup\",\"selector\":1,\"mode\":2,\"count\":1,\"buffer\":[0.5]}\n",
         "line 3: value 1 of the written block, 0.5, is not a whole number"},
        {SessionLog(good).Setup(3, write, shortBlock.data(), shortBlock.size()).text,
         "line 3: the written block holds 2047 values for a count of 2048"},
        {SessionLog(good).Setup(3, small, pair, 2).Run(4, 1000.0).text,
         "line 4: a run of 2000 values, but the block written on line 3 holds 2"},
        {SessionLog(good).Setup(3, odd, static_cast<int16_t*>(nullptr), 0).text,
         "line 3: a run of 1999 values, not a whole number of pairs"},
        {SessionLog(good)
             .Setup(3, DeviceRequest{run.Code, run.Size, run.Mode, -1.0, run.Address, 1, 2000, nullptr},
                    static_cast<int16_t*>(nullptr), 0)
             .text,
         "line 3: a run at -1 Hz cannot play"},
        {SessionLog(good).Range(3, -1.0f).text, "line 3: item 53 answered -1 V, not a range"},
        {SessionLog().Create(0).Run(1, 1000.0).Stop(2).Run(3, 1000.0).text,
         "no written block (a request with selector 1, mode 2 and a buffer); "
         "the log's 2 run requests play what the board held before it"},
        {good, "no run request (selector 1, mode 2 without a buffer) after a written block"},
        {SessionLog(good).Release(3).Create(0).Run(1, 1000.0).text, "no run request"},
        {SessionLog(good).AutoStart(3, true, 1000.0).Release(4).text, "no run request"},
    };
    for (const auto& c : cases) {
        const std::string refusal = Refusal(c.log);
        EXPECT_EQ(refusal.substr(0, std::string(c.refusal).size()), c.refusal) << c.log.substr(0, 300);
    }
}
