// The simulated board behind VirtualBoard.dll: its settings (taken from the
// environment when Create runs), its answer to every driver operation, the
// generator it runs, and the log of every call. Portable: the DLL around it
// only turns the driver tables' calls into these and reads the environment.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/AdcDevice.h"

// What item 21 answers: a record with both required bits, a record with 0x100
// only, or no record at all (result 0, the caller's pointer left alone).
enum class DriverRecordAnswer { Ok, Bad, None };

// VBOARD_FAULT: the request that faults inside the driver, and how.
enum class FaultRequest { Write, Run };
enum class FaultKind { Access, Divide, ForeignCxx };
struct BoardFault {
    FaultRequest request;
    FaultKind kind;
};

struct BoardSettings {
    std::string logPath;                                       // VBOARD_LOG; empty: no log
    uint32_t capabilities = 1;                                 // VBOARD_INFO17
    int32_t openResult = 1;                                    // VBOARD_OPEN
    DriverRecordAnswer driverRecord = DriverRecordAnswer::Ok;  // VBOARD_INFO21
    float adcRange = 10.0f;                                    // VBOARD_ADC_RANGE, volts
    std::optional<uint64_t> goneAfter;                         // VBOARD_GONE_AFTER: presence calls answered 1
    std::optional<double> fixedRate;                           // VBOARD_RATE: the rate selector 0 reads back
    bool createFails = false;                                  // VBOARD_CREATE=fail
    std::string openDirectory;                                 // VBOARD_CHDIR: made current by Open
    std::optional<BoardFault> fault;                           // VBOARD_FAULT=write|run:access|divide|cxx
    std::optional<FaultKind> releaseFault;                     // VBOARD_FAULT=...,release:KIND
};

// A variable's value, or nothing when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// Unset, empty and unreadable values keep their defaults.
BoardSettings ReadBoardSettings(const EnvironmentLookup& lookup);

// The log file, opened for appending when the board is created. Every line is
// written whole and flushed at once, so a reader sees it while the board lives.
class BoardLog {
public:
    explicit BoardLog(const std::string& path);  // empty path: no log
    int64_t Elapsed() const;                     // ms since the log was made
    void Write(const std::string& line);

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, FileCloser> file;
    std::chrono::steady_clock::time_point start;
};

// What selector 1 has done to the board's generator.
struct GeneratorStatus {
    std::vector<int16_t> block;  // the last written block
    uint32_t blockAddress = 0;
    bool playing = false;
    double playRate = 0.0;
    uint32_t playCount = 0;
    bool autoStart = false;  // the power-on auto-start mode
    double autoStartRate = 0.0;
    uint32_t autoStartCount = 0;
};

constexpr uint32_t BoardSerialNumber = 100417;  // item 200
// Values a write can hold; a longer write keeps (and logs) only these.
constexpr size_t BoardMemoryValues = 65536;

class SimulatedBoard {
public:
    // Logs the call; null unless `name` is "IADCDevice" and creation is not
    // set to fail. Every created board is a device of its own.
    static std::unique_ptr<SimulatedBoard> Create(BoardSettings settings, const char* name);

    const BoardSettings& Settings() const { return settings; }
    const GeneratorStatus& Generator() const { return generator; }

    int32_t Open(int32_t device, int32_t a, int32_t b, int32_t c);
    // Selector 0 applies a rate and writes back the one in effect; selector 1
    // is a generator command. A null request or another selector answers 0.
    int32_t Setup(int32_t selector, DeviceRequest* request);
    // The fault the settings ask for on this call, if any: a write is
    // selector 1 with a buffer, a run selector 1, Mode 2 and no buffer.
    std::optional<FaultKind> FaultFor(int32_t selector, const DeviceRequest* request) const;
    // Unknown items and null variables answer 0 and leave the variable alone.
    int32_t GetInfo(uint32_t item, void* variable);
    // A slot the program never calls: logged, nothing else.
    void UnusedSlot(int slot);
    void Release();

private:
    SimulatedBoard(BoardSettings chosen, BoardLog opened);
    int32_t GeneratorCommand(const DeviceRequest& request, const int16_t* values, size_t valueCount);

    BoardSettings settings;
    BoardLog log;
    GeneratorStatus generator;
    std::array<uint32_t, 2> driverRecord{};  // item 21 hands out its address
    uint64_t presenceCalls = 0;
};
