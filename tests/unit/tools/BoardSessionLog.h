// Writes board logs for the boardscope tests line by line, as the virtual
// board writes them: its own line writer, and the program's own requests and
// synthesised blocks, with the times the test chooses.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "JsonLine.h"
#include "device/Synthesis.h"

class SessionLog {
public:
    SessionLog() = default;
    explicit SessionLog(std::string start) : text(std::move(start)) {}

    SessionLog& Create(int64_t t) {
        text += JsonLine(t, "Create").Text("name", "IADCDevice").Finish();
        return *this;
    }
    SessionLog& Range(int64_t t, float volts) {
        text += JsonLine(t, "GetInfo").Unsigned("item", 53).Signed("result", 1).Real("value", volts).Finish();
        return *this;
    }
    SessionLog& Write(int64_t t, int32_t code1, int32_t periods1, int32_t code2, int32_t periods2) {
        SineOscillator channel1, channel2;
        channel1.Prepare(code1, periods1);
        channel2.Prepare(code2, periods2);
        SampleBlock block;
        SynthesizeBlock(channel1, channel2, block);
        return Request(t, WriteBlock, 0.0, &block);
    }
    SessionLog& Write(int64_t t, SampleBlock block) { return Request(t, WriteBlock, 0.0, &block); }
    SessionLog& Run(int64_t t, double rate) { return Request(t, RunAtRate, rate); }
    SessionLog& Stop(int64_t t) { return Request(t, RunAtRate, 0.0); }
    SessionLog& AutoStart(int64_t t, bool on, double rate) {
        return Request(t, on ? AutoStartOn : AutoStartOff, rate);
    }
    SessionLog& Release(int64_t t) {
        text += JsonLine(t, "Release").Finish();
        return *this;
    }

    // A selector-1 request line in the board's field order, its buffer
    // holding `values` of any width (the board itself only logs 16 bits).
    template <typename Value>
    SessionLog& Setup(int64_t t, const DeviceRequest& request, const Value* values, size_t valueCount) {
        JsonLine line(t, "Setup");
        line.Signed("selector", SetupGenerator)
            .Unsigned("code", request.Code)
            .Unsigned("size", request.Size)
            .Unsigned("mode", request.Mode)
            .Real("frequency", request.Frequency)
            .Unsigned("address", request.Address)
            .Unsigned("flag", request.Flag)
            .Unsigned("count", request.Count);
        if (values)
            line.SignedArray("buffer", values, valueCount);
        else
            line.Null("buffer");
        text += line.Finish();
        return *this;
    }

    std::string text;

private:
    SessionLog& Request(int64_t t, int32_t kind, double rate, SampleBlock* block = nullptr) {
        DeviceRequest request;
        FillGeneratorRequest(request, kind, rate, block);
        return Setup(t, request, block ? block->values : nullptr, request.Count);
    }
};
