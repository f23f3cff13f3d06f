#include "SimulatedBoard.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

#include "JsonLine.h"

namespace {
// The whole text must be the number; "0x" introduces hexadecimal.
std::optional<uint64_t> ParseUnsigned(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<int32_t> ParseSigned(std::string_view text) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> ParseReal(std::string_view text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool IsWrite(const DeviceRequest& request) {
    return request.Mode == RequestMode::RunOrWrite && request.Buffer;
}

std::optional<FaultKind> ParseFaultKind(std::string_view kind) {
    if (kind == "access") return FaultKind::Access;
    if (kind == "divide") return FaultKind::Divide;
    if (kind == "cxx") return FaultKind::ForeignCxx;
    return std::nullopt;
}

// "REQUEST:KIND" items, separated by commas; one that is not of that form
// asks for no fault.
void ParseFaults(std::string_view text, BoardSettings& settings) {
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const size_t colon = item.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view request = item.substr(0, colon);
        const std::optional<FaultKind> kind = ParseFaultKind(item.substr(colon + 1));
        if (!kind) continue;
        if (request == "write") settings.fault = BoardFault{FaultRequest::Write, *kind};
        if (request == "run") settings.fault = BoardFault{FaultRequest::Run, *kind};
        if (request == "release") settings.releaseFault = kind;
    }
}
}  // namespace

BoardSettings ReadBoardSettings(const EnvironmentLookup& lookup) {
    BoardSettings settings;
    auto read = [&](const char* name) -> std::string {
        const auto value = lookup(name);
        return value ? *value : std::string();
    };
    settings.logPath = read("VBOARD_LOG");
    if (const auto value = ParseUnsigned(read("VBOARD_INFO17")); value && *value <= UINT32_MAX)
        settings.capabilities = static_cast<uint32_t>(*value);
    if (const auto value = ParseSigned(read("VBOARD_OPEN"))) settings.openResult = *value;
    const std::string record = read("VBOARD_INFO21");
    if (record == "bad") settings.driverRecord = DriverRecordAnswer::Bad;
    if (record == "none") settings.driverRecord = DriverRecordAnswer::None;
    if (const auto value = ParseReal(read("VBOARD_ADC_RANGE")))
        settings.adcRange = static_cast<float>(*value);
    if (const auto value = ParseUnsigned(read("VBOARD_GONE_AFTER"))) settings.goneAfter = *value;
    if (const auto value = ParseReal(read("VBOARD_RATE"))) settings.fixedRate = *value;
    settings.createFails = read("VBOARD_CREATE") == "fail";
    settings.openDirectory = read("VBOARD_CHDIR");
    ParseFaults(read("VBOARD_FAULT"), settings);
    return settings;
}

BoardLog::BoardLog(const std::string& path) : start(std::chrono::steady_clock::now()) {
    if (!path.empty()) file.reset(std::fopen(path.c_str(), "ab"));
}

int64_t BoardLog::Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

void BoardLog::Write(const std::string& line) {
    if (!file) return;
    std::fwrite(line.data(), 1, line.size(), file.get());
    std::fflush(file.get());
}

std::unique_ptr<SimulatedBoard> SimulatedBoard::Create(BoardSettings settings, const char* name) {
    BoardLog log(settings.logPath);
    log.Write(JsonLine(log.Elapsed(), "Create").Text("name", name).Finish());
    if (settings.createFails || !name || std::strcmp(name, DeviceInterfaceName) != 0) return nullptr;
    return std::unique_ptr<SimulatedBoard>(new SimulatedBoard(std::move(settings), std::move(log)));
}

SimulatedBoard::SimulatedBoard(BoardSettings chosen, BoardLog opened)
    : settings(std::move(chosen)), log(std::move(opened)) {
    driverRecord = {sizeof driverRecord, settings.driverRecord == DriverRecordAnswer::Bad ? 0x100u : 0x300u};
}

int32_t SimulatedBoard::Open(int32_t device, int32_t a, int32_t b, int32_t c) {
    const int32_t args[] = {device, a, b, c};
    log.Write(JsonLine(log.Elapsed(), "Open")
                  .SignedArray("args", args, 4)
                  .Signed("result", settings.openResult)
                  .Finish());
    return settings.openResult;
}

int32_t SimulatedBoard::Setup(int32_t selector, DeviceRequest* request) {
    JsonLine line(log.Elapsed(), "Setup");
    line.Signed("selector", selector);
    if (!request) {
        log.Write(line.Null("request").Finish());
        return 0;
    }
    // The board takes the block's contents during the call and trusts Count,
    // as a driver would, up to its own memory.
    const size_t valueCount = request->Buffer ? std::min<size_t>(request->Count, BoardMemoryValues) : 0;
    line.Unsigned("code", request->Code)
        .Unsigned("size", request->Size)
        .Unsigned("mode", request->Mode)
        .Real("frequency", request->Frequency)
        .Unsigned("address", request->Address)
        .Unsigned("flag", request->Flag)
        .Unsigned("count", request->Count);
    if (request->Buffer)
        line.SignedArray("buffer", request->Buffer, valueCount);
    else
        line.Null("buffer");
    log.Write(line.Finish());

    switch (selector) {
    case SetupApplyRate: {
        // A copy first: the packed block's Frequency may be misaligned for a reference.
        const double requested = request->Frequency;
        const double rate = settings.fixedRate.value_or(requested);
        request->Frequency = rate;
        if (generator.playing) generator.playRate = rate;
        return 1;
    }
    case SetupGenerator: return GeneratorCommand(*request, request->Buffer, valueCount);
    default: return 0;
    }
}

std::optional<FaultKind> SimulatedBoard::FaultFor(int32_t selector, const DeviceRequest* request) const {
    if (!settings.fault || selector != SetupGenerator || !request || request->Mode != RequestMode::RunOrWrite)
        return std::nullopt;
    const FaultRequest asked = request->Buffer ? FaultRequest::Write : FaultRequest::Run;
    if (asked != settings.fault->request) return std::nullopt;
    return settings.fault->kind;
}

int32_t SimulatedBoard::GeneratorCommand(const DeviceRequest& request, const int16_t* values,
                                         size_t valueCount) {
    switch (request.Mode) {
    case RequestMode::RunOrWrite:
        if (IsWrite(request)) {
            generator.block.assign(values, values + valueCount);
            generator.blockAddress = request.Address;
            return valueCount == request.Count ? 1 : 0;
        }
        generator.playing = true;
        generator.playRate = request.Frequency;
        generator.playCount = request.Count;
        return 1;
    case RequestMode::Stop: generator.playing = false; return 1;
    case RequestMode::AutoStartOn:
        generator.autoStart = true;
        generator.autoStartRate = request.Frequency;
        generator.autoStartCount = request.Count;
        return 1;
    case RequestMode::AutoStartOff: generator.autoStart = false; return 1;
    default: return 0;
    }
}

int32_t SimulatedBoard::GetInfo(uint32_t item, void* variable) {
    JsonLine line(log.Elapsed(), "GetInfo");
    line.Unsigned("item", item);
    auto answer = [&](int32_t result, auto&& writeValue) {
        line.Signed("result", result);
        writeValue();
        log.Write(line.Finish());
        return result;
    };
    auto storeWord = [&](uint32_t value) {
        std::memcpy(variable, &value, sizeof value);
        return answer(1, [&] { line.Unsigned("value", value); });
    };
    if (!variable) return answer(0, [&] { line.Null("value"); });

    switch (item) {
    case InfoItem::Capabilities: return storeWord(settings.capabilities);
    case InfoItem::SerialNumber: return storeWord(BoardSerialNumber);
    case InfoItem::DriverRecord: {
        if (settings.driverRecord == DriverRecordAnswer::None) return answer(0, [&] { line.Null("value"); });
        const uint32_t* record = driverRecord.data();
        std::memcpy(variable, &record, sizeof record);
        return answer(1, [&] { line.Unsigned("value", driverRecord[1]); });
    }
    case InfoItem::AdcRange:
        std::memcpy(variable, &settings.adcRange, sizeof settings.adcRange);
        return answer(1, [&] { line.Real("value", settings.adcRange); });
    case InfoItem::Presence: {
        const bool present = !settings.goneAfter || presenceCalls < *settings.goneAfter;
        ++presenceCalls;
        const uint32_t value = present ? 1 : 0;
        std::memcpy(variable, &value, sizeof value);
        return answer(present ? 1 : 0, [&] { line.Unsigned("value", value); });
    }
    default: return answer(0, [&] { line.Null("value"); });
    }
}

void SimulatedBoard::UnusedSlot(int slot) {
    log.Write(JsonLine(log.Elapsed(), "Unused").Signed("slot", slot).Finish());
}

void SimulatedBoard::Release() {
    log.Write(JsonLine(log.Elapsed(), "Release").Finish());
}
