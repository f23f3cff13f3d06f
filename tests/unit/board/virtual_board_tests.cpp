#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>

#include "JsonLine.h"
#include "SimulatedBoard.h"

namespace {
struct FakeEnvironment {
    std::map<std::string, std::string> values;
    BoardSettings Read() const {
        return ReadBoardSettings([this](const char* name) -> std::optional<std::string> {
            const auto found = values.find(name);
            if (found == values.end()) return std::nullopt;
            return found->second;
        });
    }
};

std::unique_ptr<SimulatedBoard> Board() {
    auto board = SimulatedBoard::Create(BoardSettings{}, "IADCDevice");
    EXPECT_NE(board, nullptr);
    return board;
}

bool IsFault(const BoardSettings& s, FaultRequest request, FaultKind kind) {
    return s.fault && s.fault->request == request && s.fault->kind == kind;
}

DeviceRequest Request(uint32_t mode, double frequency, uint32_t count, int16_t* buffer = nullptr) {
    return DeviceRequest{RequestCode, sizeof(DeviceRequest), mode, frequency, WaveformAddress, 1, count,
                         buffer};
}
}  // namespace

TEST(FormatReal, ShortestDigitsAlwaysWithADecimalPoint) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {1000.0, "1000.0"},
        {999.5, "999.5"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {0.1, "0.1"},
        {1.0 / 3.0, "0.3333333333333333"},
        {-2.25, "-2.25"},
        {1e21, "1000000000000000000000.0"},
        {1e-7, "0.0000001"},
        {50000.0, "50000.0"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {std::numeric_limits<double>::infinity(), "null"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatReal(c.value), c.text) << c.value;
    // A float keeps its own shortest digits, not those of its widened double.
    EXPECT_EQ(FormatReal(0.1f), "0.1");
    EXPECT_EQ(FormatReal(10.0f), "10.0");
    EXPECT_EQ(FormatReal(std::nextafter(1.0, 2.0)), "1.0000000000000002");
}

TEST(JsonLine, FieldsInOrderWithEscapedText) {
    int16_t samples[] = {0, -103, 32767};
    int32_t args[] = {1, -1};
    const std::string line = JsonLine(12, "Op")
                                 .Text("name", "a\"b\\c\n\x01\xC0")
                                 .Text("none", nullptr)
                                 .Unsigned("mode", 0x80000002u)
                                 .Signed("neg", -5)
                                 .Real("f", 2.5)
                                 .SignedArray("args", args, 2)
                                 .SignedArray("buffer", samples, 3)
                                 .SignedArray("empty", samples, 0)
                                 .Null("n")
                                 .Finish();
    EXPECT_EQ(line,
              "{\"t\":12,\"op\":\"Op\",\"name\":\"a\\\"b\\\\c\\n\\u0001\\u00c0\",\"none\":null,"
              "\"mode\":2147483650,\"neg\":-5,\"f\":2.5,\"args\":[1,-1],\"buffer\":[0,-103,32767],"
              "\"empty\":[],\"n\":null}\n");
}

TEST(BoardSettings, DefaultsWithoutVariables) {
    const BoardSettings s = FakeEnvironment{}.Read();
    EXPECT_EQ(s.logPath, "");
    EXPECT_EQ(s.capabilities, 1u);
    EXPECT_EQ(s.openResult, 1);
    EXPECT_EQ(s.driverRecord, DriverRecordAnswer::Ok);
    EXPECT_EQ(s.adcRange, 10.0f);
    EXPECT_FALSE(s.goneAfter.has_value());
    EXPECT_FALSE(s.fixedRate.has_value());
    EXPECT_FALSE(s.createFails);
    EXPECT_EQ(s.openDirectory, "");
    EXPECT_FALSE(s.fault.has_value());
}

TEST(BoardSettings, EachVariableAndItsUnreadableValues) {
    const struct {
        const char* name;
        const char* value;
        std::function<bool(const BoardSettings&)> holds;
    } cases[] = {
        {"VBOARD_LOG", "C:\\x\\board.log", [](auto& s) { return s.logPath == "C:\\x\\board.log"; }},
        {"VBOARD_INFO17", "6", [](auto& s) { return s.capabilities == 6; }},
        {"VBOARD_INFO17", "0x301", [](auto& s) { return s.capabilities == 0x301; }},
        {"VBOARD_INFO17", "4294967296", [](auto& s) { return s.capabilities == 1; }},
        {"VBOARD_INFO17", "7x", [](auto& s) { return s.capabilities == 1; }},
        {"VBOARD_OPEN", "0", [](auto& s) { return s.openResult == 0; }},
        {"VBOARD_OPEN", "-3", [](auto& s) { return s.openResult == -3; }},
        {"VBOARD_OPEN", "yes", [](auto& s) { return s.openResult == 1; }},
        {"VBOARD_INFO21", "bad", [](auto& s) { return s.driverRecord == DriverRecordAnswer::Bad; }},
        {"VBOARD_INFO21", "none", [](auto& s) { return s.driverRecord == DriverRecordAnswer::None; }},
        {"VBOARD_INFO21", "ok", [](auto& s) { return s.driverRecord == DriverRecordAnswer::Ok; }},
        {"VBOARD_INFO21", "odd", [](auto& s) { return s.driverRecord == DriverRecordAnswer::Ok; }},
        {"VBOARD_ADC_RANGE", "2.5", [](auto& s) { return s.adcRange == 2.5f; }},
        {"VBOARD_ADC_RANGE", "0", [](auto& s) { return s.adcRange == 0.0f; }},
        {"VBOARD_ADC_RANGE", "volts", [](auto& s) { return s.adcRange == 10.0f; }},
        {"VBOARD_GONE_AFTER", "3", [](auto& s) { return s.goneAfter == 3u; }},
        {"VBOARD_GONE_AFTER", "0", [](auto& s) { return s.goneAfter == 0u; }},
        {"VBOARD_GONE_AFTER", "-1", [](auto& s) { return !s.goneAfter; }},
        {"VBOARD_RATE", "999.5", [](auto& s) { return s.fixedRate == 999.5; }},
        {"VBOARD_RATE", "", [](auto& s) { return !s.fixedRate; }},
        {"VBOARD_RATE", "inf", [](auto& s) { return !s.fixedRate; }},
        {"VBOARD_CREATE", "fail", [](auto& s) { return s.createFails; }},
        {"VBOARD_CREATE", "ok", [](auto& s) { return !s.createFails; }},
        {"VBOARD_CHDIR", "C:\\work", [](auto& s) { return s.openDirectory == "C:\\work"; }},
        {"VBOARD_FAULT", "write:access",
         [](auto& s) { return IsFault(s, FaultRequest::Write, FaultKind::Access); }},
        {"VBOARD_FAULT", "run:divide",
         [](auto& s) { return IsFault(s, FaultRequest::Run, FaultKind::Divide); }},
        {"VBOARD_FAULT", "run:cxx",
         [](auto& s) { return IsFault(s, FaultRequest::Run, FaultKind::ForeignCxx); }},
        {"VBOARD_FAULT", "write", [](auto& s) { return !s.fault; }},
        {"VBOARD_FAULT", "stop:access", [](auto& s) { return !s.fault; }},
        {"VBOARD_FAULT", "write:boom", [](auto& s) { return !s.fault; }},
        {"VBOARD_FAULT", "write:access:x", [](auto& s) { return !s.fault; }},
        {"VBOARD_FAULT", "write:access,release:cxx",
         [](auto& s) {
             return IsFault(s, FaultRequest::Write, FaultKind::Access) &&
                    s.releaseFault == FaultKind::ForeignCxx;
         }},
    };
    for (const auto& c : cases) {
        FakeEnvironment environment;
        environment.values[c.name] = c.value;
        EXPECT_TRUE(c.holds(environment.Read())) << c.name << "=" << c.value;
    }
}

TEST(SimulatedBoard, GeneratorKeepsTheBlockPlaysStopsAndKeepsAutoStart) {
    auto board = Board();
    std::vector<int16_t> block(2048);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<int16_t>(i * 37 - 30000);

    DeviceRequest write = Request(RequestMode::RunOrWrite, 0.0, 2048, block.data());
    EXPECT_EQ(board->Setup(SetupGenerator, &write), 1);
    EXPECT_EQ(board->Generator().block, block);
    EXPECT_EQ(board->Generator().blockAddress, 4096u);
    EXPECT_FALSE(board->Generator().playing);

    DeviceRequest run = Request(RequestMode::RunOrWrite, 2500.0, 2000);
    EXPECT_EQ(board->Setup(SetupGenerator, &run), 1);
    EXPECT_TRUE(board->Generator().playing);
    EXPECT_EQ(board->Generator().playRate, 2500.0);
    EXPECT_EQ(board->Generator().playCount, 2000u);

    DeviceRequest rate = Request(RequestMode::RunOrWrite, 800.0, 2000);
    board->Setup(SetupApplyRate, &rate);
    EXPECT_EQ(board->Generator().playRate, 800.0);

    DeviceRequest on = Request(RequestMode::AutoStartOn, 1200.0, 2000);
    EXPECT_EQ(board->Setup(SetupGenerator, &on), 1);
    EXPECT_TRUE(board->Generator().autoStart);
    EXPECT_EQ(board->Generator().autoStartRate, 1200.0);

    DeviceRequest stop = Request(RequestMode::Stop, 0.0, 0);
    EXPECT_EQ(board->Setup(SetupGenerator, &stop), 1);
    EXPECT_FALSE(board->Generator().playing);
    EXPECT_TRUE(board->Generator().autoStart);  // stopping leaves the power-on mode alone
    EXPECT_EQ(board->Generator().block, block);

    DeviceRequest off = Request(RequestMode::AutoStartOff, 0.0, 0);
    EXPECT_EQ(board->Setup(SetupGenerator, &off), 1);
    EXPECT_FALSE(board->Generator().autoStart);

    DeviceRequest odd = Request(0x1234, 1.0, 2000);
    EXPECT_EQ(board->Setup(SetupGenerator, &odd), 0);
    EXPECT_FALSE(board->Generator().playing);
}

TEST(SimulatedBoard, AWriteBeyondBoardMemoryKeepsWhatFits) {
    auto board = Board();
    std::vector<int16_t> big(BoardMemoryValues + 5, 3);
    DeviceRequest write =
        Request(RequestMode::RunOrWrite, 0.0, static_cast<uint32_t>(big.size()), big.data());
    EXPECT_EQ(board->Setup(SetupGenerator, &write), 0);
    EXPECT_EQ(board->Generator().block.size(), BoardMemoryValues);
}

TEST(SimulatedBoard, FaultFallsOnTheWriteOrTheRunOnly) {
    int16_t block[4] = {};
    const struct {
        FaultRequest asked;
        int32_t selector;
        DeviceRequest request;
        bool faults;
    } cases[] = {
        {FaultRequest::Write, 1, Request(RequestMode::RunOrWrite, 0.0, 4, block), true},
        {FaultRequest::Write, 1, Request(RequestMode::RunOrWrite, 1000.0, 2000), false},
        {FaultRequest::Write, 0, Request(RequestMode::RunOrWrite, 1000.0, 4, block), false},
        {FaultRequest::Run, 1, Request(RequestMode::RunOrWrite, 1000.0, 2000), true},
        {FaultRequest::Run, 1, Request(RequestMode::RunOrWrite, 0.0, 4, block), false},
        {FaultRequest::Run, 0, Request(RequestMode::RunOrWrite, 1000.0, 2000), false},
        {FaultRequest::Run, 1, Request(RequestMode::Stop, 0.0, 0), false},
        {FaultRequest::Run, 1, Request(RequestMode::AutoStartOn, 1000.0, 2000), false},
    };
    for (const auto& c : cases) {
        BoardSettings settings;
        settings.fault = BoardFault{c.asked, FaultKind::Divide};
        auto board = SimulatedBoard::Create(settings, "IADCDevice");
        ASSERT_NE(board, nullptr);
        DeviceRequest request = c.request;
        EXPECT_EQ(board->FaultFor(c.selector, &request).has_value(), c.faults)
            << "selector " << c.selector << " mode " << request.Mode
            << (request.Buffer ? " with" : " without") << " a buffer";
        EXPECT_FALSE(board->FaultFor(c.selector, nullptr).has_value());
    }
    EXPECT_FALSE(Board()->FaultFor(1, nullptr).has_value());
}

TEST(BoardLogFile, UnwritablePathLogsNothingAndDoesNotFail) {
    BoardSettings settings;
    settings.logPath = (std::filesystem::temp_directory_path() / "no_such_dir_vboard" / "x.log").string();
    auto board = SimulatedBoard::Create(settings, "IADCDevice");
    ASSERT_NE(board, nullptr);
    uint32_t value = 0;
    EXPECT_EQ(board->GetInfo(InfoItem::Capabilities, &value), 1);
    EXPECT_EQ(value, 1u);
}
